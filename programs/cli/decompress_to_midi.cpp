#include "cli/decompress_to_midi.hpp"

#include <cstdio>
#include <mthc/convert_to_midi.hpp>
#include <mthc/messages.hpp>

#include "cli/shown_name.hpp"
#include "cli/write_output_file.hpp"

namespace mthc::cli {

failure decompress_to_midi(std::span<const std::uint8_t> image, const char* path,
                           const output_rules& rules) noexcept {
  const conversion_result converted = convert_to_midi(image);
  if (converted.error != conversion_error::none) {
    // One line for each step, whatever went wrong in it.
    return failure_of("%s", converted.failed_step == conversion_step::decompress
                                ? "failed to decompress MThc file"
                                : "failed to assemble MIDI file from decompressed data");
  }
  const auto midi = converted.midi_file.used();
  if (const failure failed = write_output_file(path, midi, rules); failed.failed()) return failed;
  // A container cut short or damaged still converts, into what there is: say
  // so, as the success line alone would hide it.
  if (!converted.check.blocks_complete()) {
    report_warning(incomplete_container_text(converted.check));
  }
  std::printf("Decompressed MThc to MIDI %s (%lu bytes)\n", printable_name(path).c_str(),
              static_cast<unsigned long>(midi.size()));
  return {};
}

}  // namespace mthc::cli
