// Compiled as a front end is: the library's own module headers must not be
// found, so this file must not compile.
#include "codec/decode_block_internal.hpp"

int boundary_probe() {
  return 0;
}
