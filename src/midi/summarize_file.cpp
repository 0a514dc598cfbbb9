#include <mthc/summarize_file.hpp>

namespace mthc {

file_summary summarize_file(std::span<const std::uint8_t> data, bool music) noexcept {
  file_summary summary;
  conversion_result converted;
  std::span<const std::uint8_t> midi = data;
  if (has_container_tag(data)) {
    summary.kind = file_kind::container;
    summary.container = check_container(data);
    if (summary.container != container_fault::none) {
      summary.error = file_error::not_a_container;
      return summary;
    }
    converted = convert_to_midi(data);
    summary.check = converted.check;
    summary.conversion = converted.error;
    if (converted.error != conversion_error::none) {
      summary.error = converted.error == conversion_error::out_of_memory
                          ? file_error::out_of_memory
                          : file_error::conversion_failed;
      return summary;
    }
    midi = converted.midi_file.used();
    summary.blocks = converted.check.blocks_declared;
    summary.packed_bytes = data.size();
  }
  // The tracks as stored, faults and all: a listing shows what there is.
  const midi_file file = read_midi_file(midi, {.repair_tracks = false});
  if (file.error != midi_error::none) {
    summary.error =
        file.error == midi_error::out_of_memory ? file_error::out_of_memory : file_error::not_midi;
    summary.midi = file.error;
    summary.offset = file.offset;
    summary.value = file.value;
    summary.chunk_count = file.chunk_count;
    return summary;
  }
  summary.midi_bytes = midi.size();
  summary.header = file.header;
  if (music) {
    summary.music = summarize_music(file.header.format, file.header.division, file.tracks);
    if (summary.music.error != summary_error::none) summary.error = file_error::out_of_memory;
  }
  return summary;
}

}  // namespace mthc
