// Where faults and changes are: the track and offset that each text names
// (messages.cpp), so that a script can point at what a user reads. Each
// switch follows the text's switch case for case.
#include <mthc/messages.hpp>

#include "format/format.hpp"
#include "midi/read_midi_file.hpp"

namespace mthc {

namespace {

fault_place at_track(std::size_t track) noexcept {
  return {track, std::nullopt};
}

fault_place at_offset(std::size_t offset) noexcept {
  return {std::nullopt, offset};
}

fault_place container_place(container_fault fault) noexcept {
  if (fault == container_fault::missing_mthp_tag) return at_offset(format::k_stream_tag_offset);
  return {};
}

fault_place music_place(const unpack_result& r) noexcept {
  if (r.music_fault == unpack_error::track_unreadable) return track_fault_place(r.track);
  return {};
}

}  // namespace

fault_place track_fault_place(const track_fault& fault) noexcept {
  return {fault.track, fault.check.offset};
}

fault_place error_place(const pack_result& r) noexcept {
  switch (r.error) {
    case pack_error::chunk_past_end:
      // Offset 0 is the header, which the text names as such.
      if (r.offset == 0) return {};
      return at_offset(r.offset);
    case pack_error::too_many_tracks:
      if (r.chunk_count > format::k_max_track_count) return {};
      return at_track(r.value);
    case pack_error::foreign_chunk:
    case pack_error::trailing_bytes:
    case pack_error::track_cut_by_end_of_file:
      return at_offset(r.offset);
    case pack_error::missing_end_of_track:
    case pack_error::bytes_after_end_of_track:
    case pack_error::end_of_track_cut_short:
    case pack_error::event_cut_short:
    case pack_error::empty_track:
      return at_track(r.track);
    case pack_error::track_unreadable:
      if (!r.unreadable_track) return {};
      return track_fault_place(*r.unreadable_track);
    case pack_error::none:
    case pack_error::not_midi:
    case pack_error::header_too_short:
    case pack_error::too_much_data:
    case pack_error::out_of_memory:
    case pack_error::riff_wrapper:
    case pack_error::header_length:
    case pack_error::track_count_mismatch:
    case pack_error::unknown_format:
    case pack_error::internal_error:
      return {};
  }
  return {};
}

fault_place change_place(const midi_change& c) noexcept {
  switch (c.kind) {
    case midi_change_kind::chunk_dropped:
    case midi_change_kind::trailing_bytes_ignored:
      return at_offset(c.offset);
    case midi_change_kind::end_of_track_added:
    case midi_change_kind::bytes_after_end_of_track_dropped:
    case midi_change_kind::end_of_track_completed:
    case midi_change_kind::partial_event_dropped:
      return at_track(c.track);
    case midi_change_kind::track_cut_by_end_of_file:
      return {c.track, c.offset};
    case midi_change_kind::riff_unwrapped:
    case midi_change_kind::header_bytes_dropped:
    case midi_change_kind::track_count_corrected:
      return {};
  }
  return {};
}

fault_place error_place(const unpack_result& r) noexcept {
  switch (r.error) {
    case unpack_error::not_a_container:
      return container_place(r.container);
    case unpack_error::midi_header_unreadable:
    case unpack_error::track_unreadable:
      return music_place(r);
    case unpack_error::none:
    case unpack_error::damaged:
    case unpack_error::conversion_failed:
    case unpack_error::out_of_memory:
      return {};
  }
  return {};
}

fault_place warning_place(const unpack_result& r) noexcept {
  if (r.error != unpack_error::none) return {};
  return music_place(r);
}

fault_place error_place(const file_summary& s) noexcept {
  switch (s.error) {
    case file_error::not_a_container:
      return container_place(s.container);
    case file_error::not_midi: {
      // Worded as packing words the same fault, so placed alike.
      pack_result as_packing;
      as_packing.error = midi::pack_error_of(s.midi);
      as_packing.offset = s.offset;
      as_packing.value = s.value;
      as_packing.chunk_count = s.chunk_count;
      return error_place(as_packing);
    }
    case file_error::none:
    case file_error::conversion_failed:
    case file_error::out_of_memory:
      return {};
  }
  return {};
}

}  // namespace mthc
