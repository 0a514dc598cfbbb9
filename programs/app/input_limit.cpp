#include "app/input_limit.hpp"

#include <mthc/pack_midi.hpp>

namespace mthc::app {

std::string input_too_large_text() {
  return "the file is too large: a container holds at most " + std::to_string(k_max_track_data) +
         " bytes of track data";
}

}  // namespace mthc::app
