// Compiled as a front end is: a public header is there.
#include <mthc/decode_block.hpp>

int boundary_probe() {
  return static_cast<int>(mthc::decode_block({}, {}));
}
