#include "midi/repair_track.hpp"

#include <algorithm>
#include <mthc/track_reader.hpp>

#include "format/format.hpp"

namespace mthc::midi {

namespace {

using format::k_end_of_track_event;

// The end-of-track event after its delta time: FF 2F 00.
constexpr std::size_t k_end_of_track_message = 3;

// The length of the whole delta time at `offset`, or 0 when the track ends
// inside it (or it is longer than the reader takes).
std::size_t delta_length(std::span<const std::uint8_t> track, std::size_t offset) {
  for (std::size_t i = 0; i < 4 && offset + i < track.size(); ++i) {
    if (track[offset + i] < 0x80) return i + 1;
  }
  return 0;
}

track_repair closed_by(std::span<const std::uint8_t> suffix, std::size_t keep) {
  track_repair repair;
  repair.needed = true;
  repair.keep = keep;
  std::copy(suffix.begin(), suffix.end(), repair.suffix.begin());
  repair.suffix_size = suffix.size();
  return repair;
}

}  // namespace

track_repair plan_track_repair(std::span<const std::uint8_t> track) noexcept {
  const track_check check = check_track(track);
  track_repair repair;
  switch (check.error) {
    case track_error::missing_end_of_track:
      repair = closed_by(k_end_of_track_event, track.size());
      repair.kind = midi_change_kind::end_of_track_added;
      repair.offset = track.size();
      repair.value = k_end_of_track_event.size();
      return repair;
    case track_error::bytes_after_end_of_track:
      repair = closed_by({}, check.offset);
      repair.kind = midi_change_kind::bytes_after_end_of_track_dropped;
      repair.offset = check.offset;
      repair.value = track.size() - check.offset;
      return repair;
    case track_error::event_past_end: {
      // A whole delta time and the start of FF 2F 00 (or nothing of it): an
      // end-of-track event cut short, whose delta still times the end.
      const std::span<const std::uint8_t> end_message =
          std::span(k_end_of_track_event)
              .subspan(k_end_of_track_event.size() - k_end_of_track_message);
      const std::size_t delta = delta_length(track, check.offset);
      const std::size_t rest = track.size() - check.offset - delta;
      if (delta != 0 && rest < k_end_of_track_message &&
          std::equal(track.begin() + static_cast<std::ptrdiff_t>(check.offset + delta), track.end(),
                     end_message.begin())) {
        repair = closed_by(end_message.subspan(rest), track.size());
        repair.kind = midi_change_kind::end_of_track_completed;
        repair.value = repair.suffix_size;
      } else {
        repair = closed_by(k_end_of_track_event, check.offset);
        repair.kind = midi_change_kind::partial_event_dropped;
        repair.value = track.size() - check.offset;
      }
      repair.offset = check.offset;
      return repair;
    }
    default:
      return repair;
  }
}

void write_repaired_track(std::span<const std::uint8_t> track, const track_repair& repair,
                          std::uint8_t* out) noexcept {
  out = std::copy_n(track.begin(), repair.keep, out);
  std::copy_n(repair.suffix.begin(), repair.suffix_size, out);
}

}  // namespace mthc::midi
