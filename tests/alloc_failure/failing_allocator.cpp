#include "failing_allocator.hpp"

#include <array>
#include <cstdlib>
#include <new>

namespace mthc::test {

namespace {

// Single-threaded tests only: plain globals, no locking.
bool g_armed = false;
bool g_injected = false;
std::size_t g_fail_at = 0;
std::size_t g_count = 0;
std::size_t g_live = 0;
std::array<std::size_t, k_logged_allocations> g_sizes{};

// Returns false when this allocation is the one to fail.
bool admit(std::size_t size) noexcept {
  if (!g_armed) return true;
  if (g_count < g_sizes.size()) g_sizes[g_count] = size;
  ++g_count;
  if (g_count == g_fail_at) {
    g_injected = true;
    return false;
  }
  return true;
}

void* allocate(std::size_t size) noexcept {
  if (!admit(size)) return nullptr;
  // malloc(0) may return nullptr; operator new must not.
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p != nullptr) ++g_live;
  return p;
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) noexcept {
  if (!admit(size)) return nullptr;
  const auto align = static_cast<std::size_t>(alignment);
  // Aligned storage is released through the aligned deallocation forms only.
#ifdef _WIN32
  void* p = _aligned_malloc(size == 0 ? 1 : size, align);
#else
  const std::size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
  void* p = std::aligned_alloc(align, rounded);
#endif
  if (p != nullptr) ++g_live;
  return p;
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  --g_live;
  std::free(p);
}

void release_aligned(void* p) noexcept {
  if (p == nullptr) return;
  --g_live;
#ifdef _WIN32
  _aligned_free(p);
#else
  std::free(p);
#endif
}

void* allocate_or_throw(std::size_t size) {
  void* p = allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* allocate_aligned_or_throw(std::size_t size, std::align_val_t alignment) {
  void* p = allocate_aligned(size, alignment);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void arm_allocation_failure(std::size_t fail_at) noexcept {
  g_count = 0;
  g_fail_at = fail_at;
  g_injected = false;
  g_armed = true;
}

std::size_t disarm_allocation_failure() noexcept {
  g_armed = false;
  return g_count;
}

bool allocation_failure_injected() noexcept {
  return g_injected;
}

std::size_t live_allocations() noexcept {
  return g_live;
}

std::size_t logged_allocation_size(std::size_t i) noexcept {
  return i < g_sizes.size() ? g_sizes[i] : 0;
}

}  // namespace mthc::test

// The replaceable global allocation and deallocation functions.
using mthc::test::allocate;
using mthc::test::allocate_aligned;
using mthc::test::allocate_aligned_or_throw;
using mthc::test::allocate_or_throw;
using mthc::test::release;
using mthc::test::release_aligned;

void* operator new(std::size_t size) {
  return allocate_or_throw(size);
}
void* operator new[](std::size_t size) {
  return allocate_or_throw(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocate_aligned_or_throw(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate_aligned_or_throw(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, alignment);
}

void operator delete(void* p) noexcept {
  release(p);
}
void operator delete[](void* p) noexcept {
  release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  release_aligned(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  release_aligned(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  release_aligned(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  release_aligned(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  release_aligned(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  release_aligned(p);
}
