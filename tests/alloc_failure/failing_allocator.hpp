// Replacement global allocation functions that count the allocations made
// while armed and fail exactly one of them: the throwing forms throw
// std::bad_alloc, the nothrow forms return nullptr, as a heap that has run
// out would. Every form is replaced (single and array, nothrow, aligned), and
// every deallocation form, so the live-block count is exact.
//
// Only the C++ allocation functions are covered; memory the C library takes
// for itself through malloc (a FILE's buffer, for one) is not.
#pragma once

#include <cstddef>

namespace mthc::test {

// Starts counting at 0; the `fail_at`-th allocation from now on (1-based)
// fails, none when `fail_at` is 0.
void arm_allocation_failure(std::size_t fail_at) noexcept;

// Stops counting and failing; returns the number of allocations attempted
// while armed (the failed one included).
std::size_t disarm_allocation_failure() noexcept;

// Whether the armed failure has happened.
bool allocation_failure_injected() noexcept;

// Blocks allocated through the replaced functions and not yet released.
std::size_t live_allocations() noexcept;

// Size in bytes of the i-th allocation (0-based) of the last armed period, for
// the first k_logged_allocations of them.
inline constexpr std::size_t k_logged_allocations = 4096;
std::size_t logged_allocation_size(std::size_t i) noexcept;

}  // namespace mthc::test
