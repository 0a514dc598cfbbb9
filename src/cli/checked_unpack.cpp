#include "cli/checked_unpack.hpp"

#include "cli/messages.hpp"
#include "container/check_container.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/track_reader.hpp"

namespace mthc {

checked_unpack unpack_checked(std::span<const std::uint8_t> image) {
  checked_unpack result;
  if (const container_fault fault = check_container(image); fault != container_fault::none) {
    result.refusal = container_fault_text(fault);
    return result;
  }
  result.converted = convert_to_midi(image);
  // A damaged container fails most often because of what the check saw on
  // the way, and one that converts is refused all the same.
  result.refusal = container_check_text(result.converted.check);
  if (result.converted.error != conversion_error::none && result.refusal.empty()) {
    result.refusal = conversion_error_text(result.converted);
  }
  if (!result.refusal.empty()) return result;

  const std::span<const std::uint8_t> midi = result.converted.midi_file.used();
  result.refusal = midi_header_text(midi);
  if (result.refusal.empty()) {
    const midi_read_result split = read_midi_file(midi);
    for (std::size_t t = 0; t < split.file.tracks.size() && result.refusal.empty(); ++t) {
      const track_check track = check_track(split.file.tracks[t]);
      if (track.error != track_error::none) result.refusal = track_fault_text(t, track);
    }
  }
  result.music_fault = !result.refusal.empty();
  return result;
}

std::vector<std::string> pack_warnings(const pack_result& packed,
                                       std::span<const std::uint8_t> smf) {
  std::vector<std::string> warnings;
  for (const midi_change& change : packed.changes)
    warnings.push_back(midi_change_text(change));
  if (!packed.empty_tracks.empty()) warnings.push_back(empty_tracks_text(packed.empty_tracks));
  // Tracks without data come back as an end-of-track event: they are left
  // out here.
  const midi_read_result split = read_midi_file(smf);
  for (std::size_t t = 0; t < split.file.tracks.size(); ++t) {
    if (split.file.tracks[t].empty()) continue;
    const track_check track = check_track(split.file.tracks[t]);
    if (track.error != track_error::none) {
      warnings.push_back(track_fault_text(t, track) + "; mthc-pack -t will report it");
      break;
    }
  }
  return warnings;
}

}  // namespace mthc
