#include "app/input_limit.hpp"

#include <mthc/pack_midi.hpp>

namespace mthc::app {

std::string input_too_large_text(bool packing) {
  std::string text = "the file is larger than 64 MiB (" + std::to_string(k_max_input_size) +
                     " bytes), the most that is read of a file";
  if (packing) {
    text +=
        "; a container holds at most " + std::to_string(k_max_track_data) + " bytes of track data";
  }
  return text;
}

}  // namespace mthc::app
