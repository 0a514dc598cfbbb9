#include "app/input_limit.hpp"

#include <string>

namespace mthc::app {

std::string input_too_large_text() {
  return "the file is larger than 64 MiB (" + std::to_string(k_max_input_size) +
         " bytes), the most that is read of a file";
}

}  // namespace mthc::app
