#include <mthc/midi_file.hpp>
#include <mthc/unpack.hpp>

#include "format/big_endian.hpp"
#include "format/format.hpp"

namespace mthc {

namespace {

using namespace format;

// The music of a MIDI file that converted: its header, which the container
// supplies as it is, then every track read as events.
void check_music(std::span<const std::uint8_t> midi, unpack_result& result) {
  // The conversion always writes the 14 bytes of the header.
  result.header_length = read_be32(&midi[k_midi_header_tag.size()]);
  result.format = read_be16(&midi[k_midi_format_offset]);
  if (result.header_length != k_midi_header_length || result.format > 2) {
    result.music_fault = unpack_error::midi_header_unreadable;
    return;
  }
  // The tracks as stored: the check is of what the container holds.
  const midi_file file = read_midi_file(midi, {.repair_tracks = false});
  if (file.error == midi_error::out_of_memory) {
    result.error = unpack_error::out_of_memory;
    return;
  }
  for (std::size_t t = 0; t < file.tracks.size(); ++t) {
    const track_check check = check_track(file.tracks[t]);
    if (check.error != track_error::none) {
      result.track = {t, check};
      result.music_fault = unpack_error::track_unreadable;
      return;
    }
  }
}

}  // namespace

unpack_result unpack_container(std::span<const std::uint8_t> image,
                               const unpack_options& options) noexcept {
  unpack_result result;
  result.container = check_container(image);
  if (result.container != container_fault::none) {
    result.error = unpack_error::not_a_container;
    return result;
  }
  conversion_result converted = convert_to_midi(image);
  result.check = converted.check;
  // A damaged container fails most often because of what the check saw on
  // the way, and one that converts is refused all the same.
  if (!result.check.sound()) {
    result.error = unpack_error::damaged;
    return result;
  }
  result.conversion = converted.error;
  if (converted.error == conversion_error::out_of_memory) {
    result.error = unpack_error::out_of_memory;
    return result;
  }
  if (converted.error != conversion_error::none) {
    result.error = unpack_error::conversion_failed;
    return result;
  }
  check_music(converted.midi_file.used(), result);
  if (result.error != unpack_error::none) return result;
  if (result.music_fault != unpack_error::none && !options.as_is) {
    result.error = result.music_fault;
    return result;
  }
  result.midi_file = std::move(converted.midi_file);
  return result;
}

}  // namespace mthc
