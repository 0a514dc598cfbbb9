// The machine names of faults and changes. Each switch names every value and
// has no default, so that a new value without a name is a warning (an error
// in CI); the names are the values' own, which the page and the Python
// module have used since they first told faults apart.
#include <mthc/messages.hpp>

#include "format/format.hpp"

namespace mthc {

std::string_view error_name(pack_error error) noexcept {
  switch (error) {
    case pack_error::none:
      return "none";
    case pack_error::not_midi:
      return "not_midi";
    case pack_error::header_too_short:
      return "header_too_short";
    case pack_error::chunk_past_end:
      return "chunk_past_end";
    case pack_error::too_many_tracks:
      return "too_many_tracks";
    case pack_error::too_much_data:
      return "too_much_data";
    case pack_error::out_of_memory:
      return "out_of_memory";
    case pack_error::riff_wrapper:
      return "riff_wrapper";
    case pack_error::header_length:
      return "header_length";
    case pack_error::foreign_chunk:
      return "foreign_chunk";
    case pack_error::trailing_bytes:
      return "trailing_bytes";
    case pack_error::track_count_mismatch:
      return "track_count_mismatch";
    case pack_error::missing_end_of_track:
      return "missing_end_of_track";
    case pack_error::bytes_after_end_of_track:
      return "bytes_after_end_of_track";
    case pack_error::end_of_track_cut_short:
      return "end_of_track_cut_short";
    case pack_error::event_cut_short:
      return "event_cut_short";
    case pack_error::track_cut_by_end_of_file:
      return "track_cut_by_end_of_file";
    case pack_error::empty_track:
      return "empty_track";
    case pack_error::unknown_format:
      return "unknown_format";
    case pack_error::track_unreadable:
      return "track_unreadable";
    case pack_error::internal_error:
      return "internal_error";
  }
  return "unknown";
}

std::string_view error_name(midi_error error) noexcept {
  switch (error) {
    case midi_error::none:
      return "none";
    case midi_error::not_midi:
      return "not_midi";
    case midi_error::header_too_short:
      return "header_too_short";
    case midi_error::chunk_past_end:
      return "chunk_past_end";
    case midi_error::too_many_tracks:
      return "too_many_tracks";
    case midi_error::out_of_memory:
      return "out_of_memory";
  }
  return "unknown";
}

std::string_view error_name(container_fault fault) noexcept {
  switch (fault) {
    case container_fault::none:
      return "none";
    case container_fault::too_small:
      return "too_small";
    case container_fault::not_mthc:
      return "not_mthc";
    case container_fault::missing_mthp_tag:
      return "missing_mthp_tag";
  }
  return "unknown";
}

std::string_view error_name(conversion_error error) noexcept {
  switch (error) {
    case conversion_error::none:
      return "none";
    case conversion_error::stream_too_large:
      return "stream_too_large";
    case conversion_error::stream_invalid:
      return "stream_invalid";
    case conversion_error::tracks_too_large:
      return "tracks_too_large";
    case conversion_error::out_of_memory:
      return "out_of_memory";
  }
  return "unknown";
}

std::string_view error_name(check_problem problem) noexcept {
  switch (problem) {
    case check_problem::none:
      return "none";
    case check_problem::size_mismatch:
      return "size_mismatch";
    case check_problem::stray_record:
      return "stray_record";
    case check_problem::missing_blocks:
      return "missing_blocks";
  }
  return "unknown";
}

std::string_view error_name(track_error error) noexcept {
  switch (error) {
    case track_error::none:
      return "none";
    case track_error::delta_too_long:
      return "delta_too_long";
    case track_error::length_too_long:
      return "length_too_long";
    case track_error::data_byte_high_bit:
      return "data_byte_high_bit";
    case track_error::running_status_without_status:
      return "running_status_without_status";
    case track_error::undefined_status:
      return "undefined_status";
    case track_error::event_past_end:
      return "event_past_end";
    case track_error::missing_end_of_track:
      return "missing_end_of_track";
    case track_error::bytes_after_end_of_track:
      return "bytes_after_end_of_track";
    case track_error::meta_event_unreadable:
      return "meta_event_unreadable";
  }
  return "unknown";
}

std::string_view error_name(unpack_error error) noexcept {
  switch (error) {
    case unpack_error::none:
      return "none";
    case unpack_error::not_a_container:
      return "not_a_container";
    case unpack_error::damaged:
      return "damaged";
    case unpack_error::conversion_failed:
      return "conversion_failed";
    case unpack_error::midi_header_unreadable:
      return "midi_header_unreadable";
    case unpack_error::track_unreadable:
      return "track_unreadable";
    case unpack_error::out_of_memory:
      return "out_of_memory";
  }
  return "unknown";
}

std::string_view error_name(file_error error) noexcept {
  switch (error) {
    case file_error::none:
      return "none";
    case file_error::not_a_container:
      return "not_a_container";
    case file_error::conversion_failed:
      return "conversion_failed";
    case file_error::not_midi:
      return "not_midi";
    case file_error::out_of_memory:
      return "out_of_memory";
  }
  return "unknown";
}

std::string_view error_name(encode_error error) noexcept {
  switch (error) {
    case encode_error::none:
      return "none";
    case encode_error::too_large:
      // A block, not a file: too_large_name() is the file's.
      return "block_too_large";
    case encode_error::out_of_memory:
      return "out_of_memory";
    case encode_error::internal_error:
      return "internal_error";
  }
  return "unknown";
}

std::string_view change_name(midi_change_kind kind) noexcept {
  switch (kind) {
    case midi_change_kind::riff_unwrapped:
      return "riff_unwrapped";
    case midi_change_kind::header_bytes_dropped:
      return "header_bytes_dropped";
    case midi_change_kind::chunk_dropped:
      return "chunk_dropped";
    case midi_change_kind::trailing_bytes_ignored:
      return "trailing_bytes_ignored";
    case midi_change_kind::track_count_corrected:
      return "track_count_corrected";
    case midi_change_kind::end_of_track_added:
      return "end_of_track_added";
    case midi_change_kind::bytes_after_end_of_track_dropped:
      return "bytes_after_end_of_track_dropped";
    case midi_change_kind::end_of_track_completed:
      return "end_of_track_completed";
    case midi_change_kind::partial_event_dropped:
      return "partial_event_dropped";
    case midi_change_kind::track_cut_by_end_of_file:
      return "track_cut_by_end_of_file";
  }
  return "unknown";
}

std::string_view too_large_name() noexcept {
  return "too_large";
}

namespace {

// A name for a result: empty for a success, as error_text is.
std::string_view result_name(std::string_view name) noexcept {
  return name == "none" ? std::string_view{} : name;
}

// The music's fault that unpacking refused or let through: the header's
// length or format, or a track.
std::string_view music_name(const unpack_result& r) noexcept {
  switch (r.music_fault) {
    case unpack_error::midi_header_unreadable:
      return r.header_length != format::k_midi_header_length
                 ? error_name(pack_error::header_length)
                 : error_name(pack_error::unknown_format);
    case unpack_error::track_unreadable:
      return error_name(unpack_error::track_unreadable);
    default:
      return {};
  }
}

}  // namespace

std::string_view error_name(const pack_result& result) noexcept {
  return result_name(error_name(result.error));
}

std::string_view error_name(const container_check& check) noexcept {
  return result_name(error_name(first_problem(check)));
}

std::string_view error_name(const unpack_result& r) noexcept {
  switch (r.error) {
    case unpack_error::none:
      return {};
    case unpack_error::not_a_container:
      return error_name(r.container);
    case unpack_error::damaged:
      return error_name(r.check);
    case unpack_error::conversion_failed:
      return error_name(r.conversion);
    case unpack_error::midi_header_unreadable:
    case unpack_error::track_unreadable:
      return music_name(r);
    case unpack_error::out_of_memory:
      return error_name(unpack_error::out_of_memory);
  }
  return "unknown";
}

std::string_view warning_name(const unpack_result& r) noexcept {
  if (r.error != unpack_error::none) return {};
  return music_name(r);
}

std::string_view error_name(const file_summary& s) noexcept {
  switch (s.error) {
    case file_error::none:
      return {};
    case file_error::not_a_container:
      return error_name(s.container);
    case file_error::conversion_failed:
      return error_name(s.conversion);
    case file_error::not_midi:
      return error_name(s.midi);
    case file_error::out_of_memory:
      return error_name(file_error::out_of_memory);
  }
  return "unknown";
}

}  // namespace mthc
