#include "cli/decompress_to_midi.hpp"

#include <cstdio>
#include <mthc/convert_to_midi.hpp>
#include <mthc/messages.hpp>

#include "cli/shown_name.hpp"
#include "cli/write_output_file.hpp"

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
    std::fprintf(stderr, "Warning: %s\n", incomplete_container_text(converted.check).c_str());
  }
  std::printf("Decompressed MThc to MIDI %s (%lu bytes)\n", printable_name(path).c_str(),
              static_cast<unsigned long>(midi.size()));
  return 0;
}

}  // namespace mthc
