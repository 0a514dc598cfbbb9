#include "problems.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mthc/messages.hpp>
#include <string_view>
#include <vector>

#include "app/json_writer.hpp"

namespace mthc::web {

namespace {

using app::add_flag;
using app::add_name;
using app::add_number;
using app::add_text;
using app::json_array;
using app::json_object;

// An object of the given kind, begun; the caller adds its facts and ends it.
json_object fact(json_object& parent, std::string_view key, std::string_view kind) {
  json_object out = app::begin_object(parent, key);
  add_text(out, "kind", kind);
  return out;
}
json_object fact(json_array& parent, std::string_view kind) {
  json_object out = app::begin_object(parent);
  add_text(out, "kind", kind);
  return out;
}

void add_track_fault(json_object& out, const track_fault& fault) {
  add_number(out, "track", fault.track);
  json_object what = app::begin_object(out, "fault");
  add_text(what, "name", error_name(fault.check.error));
  add_text(what, "text", track_error_text(fault.check.error));
  add_number(what, "offset", fault.check.offset);
  app::end_object(what);
}

// The details that a pack error or a change carries; the kind says which
// of them count. A tag is four printable characters where a kind names one,
// and empty where it does not.
void add_details(json_object& out, std::size_t offset, std::size_t value, std::size_t chunk_count,
                 const std::array<char, 4>& tag, std::size_t track) {
  add_number(out, "offset", offset);
  add_number(out, "value", value);
  add_number(out, "chunk_count", chunk_count);
  const auto* const tag_end = std::find(tag.begin(), tag.end(), '\0');
  add_name(out, "tag",
           std::string_view(tag.data(), static_cast<std::size_t>(tag_end - tag.begin())));
  add_number(out, "track", track);
}

void add_pack_error(json_object& problems, const pack_result& packed) {
  json_object out = fact(problems, "error", "pack");
  add_text(out, "error", error_name(packed.error));
  add_details(out, packed.offset, packed.value, packed.chunk_count, packed.tag, packed.track);
  if (packed.error == pack_error::track_unreadable && packed.unreadable_track) {
    json_object fault = fact(out, "fault", "track_fault");
    add_track_fault(fault, *packed.unreadable_track);
    app::end_object(fault);
  }
  // The limits that the errors name.
  add_number(out, "max_track_count", 0xFFFF);
  add_number(out, "max_track_with_data", k_max_track_with_data);
  add_number(out, "max_track_data", k_max_track_data);
  app::end_object(out);
}

void add_check(json_object& problems, const container_check& c) {
  const check_problem problem = first_problem(c);
  json_object out = fact(problems, "error", error_name(problem));
  switch (problem) {
    case check_problem::none:
      break;
    case check_problem::size_mismatch:
      add_number(out, "block", c.first_size_mismatch->block);
      add_number(out, "declared", c.first_size_mismatch->declared);
      add_number(out, "decoded", c.first_size_mismatch->decoded);
      break;
    case check_problem::stray_record:
      add_number(out, "block", c.first_stray_record->block);
      add_number(out, "record", c.first_stray_record->record);
      add_flag(out, "crosses_block_end", c.first_stray_record->crosses_block_end);
      break;
    case check_problem::missing_blocks:
      add_number(out, "declared", c.blocks_declared);
      add_number(out, "present", c.blocks_present);
      add_flag(out, "cut_short", c.next_block_cut_short);
      break;
  }
  app::end_object(out);
}

// The music's fault (the blocks and records being sound), as the member
// `key` of `parent`.
void add_music_fault(json_object& parent, std::string_view key, const unpack_result& r) {
  if (r.music_fault == unpack_error::midi_header_unreadable) {
    json_object out = fact(parent, key, "midi_header");
    const bool length = r.header_length != 6;
    add_text(out, "problem", length ? "length" : "format");
    add_number(out, "value", length ? r.header_length : r.format);
    add_flag(out, "music", true);
    app::end_object(out);
    return;
  }
  json_object out = fact(parent, key, "track_fault");
  add_track_fault(out, r.track);
  add_flag(out, "music", true);
  app::end_object(out);
}

void add_refusal(json_object& problems, const unpack_result& r) {
  switch (r.error) {
    case unpack_error::none:
      return;
    case unpack_error::not_a_container: {
      json_object out = fact(problems, "error", "container_fault");
      add_text(out, "fault", error_name(r.container));
      app::end_object(out);
      return;
    }
    case unpack_error::damaged:
      add_check(problems, r.check);
      return;
    case unpack_error::conversion_failed:
    case unpack_error::out_of_memory: {
      json_object out = fact(problems, "error", "conversion");
      add_text(out, "error",
               error_name(r.error == unpack_error::out_of_memory ? conversion_error::out_of_memory
                                                                 : r.conversion));
      app::end_object(out);
      return;
    }
    case unpack_error::midi_header_unreadable:
    case unpack_error::track_unreadable:
      add_music_fault(problems, "error", r);
      return;
  }
}

}  // namespace

std::string pack_problems(const pack_result& packed) {
  std::string text;
  json_object problems = app::begin_object(text);
  if (packed.error != pack_error::none) {
    add_pack_error(problems, packed);
    json_array none = app::begin_array(problems, "warnings");
    app::end_array(none);
    app::end_object(problems);
    return text;
  }
  app::add_null(problems, "error");
  json_array warnings = app::begin_array(problems, "warnings");
  for (const midi_change& change : packed.changes) {
    json_object out = fact(warnings, change_name(change.kind));
    add_details(out, change.offset, change.value, change.chunk_count, change.tag, change.track);
    add_number(out, "count", change.count);
    app::end_object(out);
  }
  if (!packed.empty_tracks.empty()) {
    json_object out = fact(warnings, error_name(pack_error::empty_track));
    add_number(out, "count", packed.empty_tracks.size());
    // The first few, as the tools name them; a file may have thousands.
    const std::size_t named = std::min<std::size_t>(packed.empty_tracks.size(), 5);
    const std::vector<std::uint64_t> first(
        packed.empty_tracks.begin(),
        packed.empty_tracks.begin() + static_cast<std::ptrdiff_t>(named));
    app::add_numbers(out, "tracks", first);
    app::end_object(out);
  }
  // Packed as they are: unpacking will refuse them (the page then offers to
  // convert anyway).
  if (packed.unknown_format) {
    json_object out = fact(warnings, error_name(pack_error::unknown_format));
    add_number(out, "format", *packed.unknown_format);
    app::end_object(out);
  }
  if (packed.unreadable_track) {
    json_object out = fact(warnings, "track_fault");
    add_track_fault(out, *packed.unreadable_track);
    app::end_object(out);
  }
  app::end_array(warnings);
  app::end_object(problems);
  return text;
}

std::string unpack_problems(const unpack_result& unpacked) {
  std::string text;
  json_object problems = app::begin_object(text);
  if (unpacked.error != unpack_error::none) {
    add_refusal(problems, unpacked);
  } else {
    app::add_null(problems, "error");
  }
  json_array warnings = app::begin_array(problems, "warnings");
  if (unpacked.error == unpack_error::none && unpacked.music_fault != unpack_error::none) {
    json_object out = fact(warnings, "unpacked_as_is");
    add_music_fault(out, "fault", unpacked);
    app::end_object(out);
  }
  app::end_array(warnings);
  app::end_object(problems);
  return text;
}

}  // namespace mthc::web
