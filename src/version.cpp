#include <mthc/version.hpp>

namespace mthc {

int version_number() noexcept {
  return MTHC_VERSION_NUMBER;
}

const char* version_string() noexcept {
  return MTHC_VERSION_STRING;
}

}  // namespace mthc
