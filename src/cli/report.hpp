// Where the programs' lines go, and how a run ends.
#pragma once

namespace mthc {

// Ends a run whose status so far is `status`: what was printed on standard
// output must have reached it. When it did not (a full disk, a closed pipe)
// one error line says so and the status is 1.
int finish_standard_output(int status) noexcept;

}  // namespace mthc
