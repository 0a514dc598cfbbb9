#include "cli/decompress_to_midi.hpp"

#include <cstdio>
#include <new>
#include <string>

#include "cli/messages.hpp"
#include "cli/write_output_file.hpp"
#include "midi/convert_to_midi.hpp"

namespace mthc {

int decompress_to_midi(std::span<const std::uint8_t> image, const char* path,
                       const output_rules& rules) noexcept {
  const conversion_result converted = convert_to_midi(image);
  if (converted.error != conversion_error::none) {
    // One line for each step, whatever went wrong in it.
    if (converted.failed_step == conversion_step::decompress) {
      std::fprintf(stderr, "Error: failed to decompress MThc file\n");
    } else {
      std::fprintf(stderr, "Error: failed to assemble MIDI file from decompressed data\n");
    }
    return 1;
  }
  const auto midi = converted.midi_file.used();
  if (write_output_file(path, midi, rules) != 0) return 1;
  // A container cut short or damaged still converts, into what there is: say
  // so, as the success line alone would hide it.
  if (!converted.check.blocks_complete()) {
    try {
      std::fprintf(stderr, "Warning: %s\n", incomplete_container_text(converted.check).c_str());
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "Warning: the container is incomplete; the MIDI file is incomplete\n");
    }
  }
  std::printf("Decompressed MThc to MIDI %s (%lu bytes)\n", path,
              static_cast<unsigned long>(midi.size()));
  return 0;
}

}  // namespace mthc
