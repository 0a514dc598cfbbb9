#include "problems.hpp"

#include <cstddef>
#include <mthc/messages.hpp>
#include <string_view>

#include "app/text.hpp"

namespace mthc::web {

namespace {

// {"kind":"<kind>"
std::string object(std::string_view kind) {
  return "{\"kind\":\"" + std::string(kind) + '"';
}

void add_number(std::string& out, const char* key, std::size_t value) {
  out += ",\"";
  out += key;
  out += "\":";
  out += std::to_string(value);
}

void add_text(std::string& out, const char* key, std::string_view text) {
  out += ",\"";
  out += key;
  out += "\":";
  app::append_json_string(out, app::readable_name(text));
}

void add_flag(std::string& out, const char* key, bool value) {
  out += ",\"";
  out += key;
  out += value ? "\":true" : "\":false";
}

std::string track_fault_fact(const track_fault& fault) {
  std::string out = object("track_fault");
  add_number(out, "track", fault.track);
  out += ",\"fault\":{\"name\":\"";
  out += error_name(fault.check.error);
  out += "\",\"text\":";
  app::append_json_string(out, track_error_text(fault.check.error));
  add_number(out, "offset", fault.check.offset);
  return out + "}}";
}

// The details that a pack error or a change carries; the kind says which
// of them count.
void add_details(std::string& out, std::size_t offset, std::size_t value, std::size_t chunk_count,
                 const std::array<char, 4>& tag, std::size_t track) {
  add_number(out, "offset", offset);
  add_number(out, "value", value);
  add_number(out, "chunk_count", chunk_count);
  add_text(out, "tag", {tag.data(), tag.size()});
  add_number(out, "track", track);
}

std::string pack_error_fact(const pack_result& packed) {
  std::string out = object("pack");
  out += ",\"error\":\"";
  out += error_name(packed.error);
  out += '"';
  add_details(out, packed.offset, packed.value, packed.chunk_count, packed.tag, packed.track);
  if (packed.error == pack_error::track_unreadable && packed.unreadable_track) {
    out += ",\"fault\":" + track_fault_fact(*packed.unreadable_track);
  }
  // The limits that the errors name.
  add_number(out, "max_track_count", 0xFFFF);
  add_number(out, "max_track_with_data", k_max_track_with_data);
  add_number(out, "max_track_data", k_max_track_data);
  return out + "}";
}

std::string check_fact(const container_check& c) {
  switch (first_problem(c)) {
    case check_problem::none:
      return {};
    case check_problem::size_mismatch: {
      std::string out = object(error_name(check_problem::size_mismatch));
      add_number(out, "block", c.first_size_mismatch->block);
      add_number(out, "declared", c.first_size_mismatch->declared);
      add_number(out, "decoded", c.first_size_mismatch->decoded);
      return out + "}";
    }
    case check_problem::stray_record: {
      std::string out = object(error_name(check_problem::stray_record));
      add_number(out, "block", c.first_stray_record->block);
      add_number(out, "record", c.first_stray_record->record);
      add_flag(out, "crosses_block_end", c.first_stray_record->crosses_block_end);
      return out + "}";
    }
    case check_problem::missing_blocks: {
      std::string out = object(error_name(check_problem::missing_blocks));
      add_number(out, "declared", c.blocks_declared);
      add_number(out, "present", c.blocks_present);
      add_flag(out, "cut_short", c.next_block_cut_short);
      return out + "}";
    }
  }
  return {};
}

// The music's fault (the blocks and records being sound).
std::string music_fact(const unpack_result& r) {
  std::string out;
  if (r.music_fault == unpack_error::midi_header_unreadable) {
    out = object("midi_header");
    const bool length = r.header_length != 6;
    out += length ? ",\"problem\":\"length\"" : ",\"problem\":\"format\"";
    add_number(out, "value", length ? r.header_length : r.format);
    out += '}';
  } else {
    out = track_fault_fact(r.track);
  }
  return out.insert(out.size() - 1, ",\"music\":true");
}

std::string refusal_fact(const unpack_result& r) {
  switch (r.error) {
    case unpack_error::none:
      return {};
    case unpack_error::not_a_container: {
      std::string out = object("container_fault");
      out += ",\"fault\":\"";
      out += error_name(r.container);
      return out + "\"}";
    }
    case unpack_error::damaged:
      return check_fact(r.check);
    case unpack_error::conversion_failed:
    case unpack_error::out_of_memory: {
      std::string out = object("conversion");
      out += ",\"error\":\"";
      out += error_name(r.error == unpack_error::out_of_memory ? conversion_error::out_of_memory
                                                               : r.conversion);
      return out + "\"}";
    }
    case unpack_error::midi_header_unreadable:
    case unpack_error::track_unreadable:
      return music_fact(r);
  }
  return {};
}

std::string problems(const std::string& error, const std::string& warnings) {
  return "{\"error\":" + (error.empty() ? std::string("null") : error) + ",\"warnings\":[" +
         warnings + "]}";
}

void add_warning(std::string& warnings, const std::string& fact) {
  if (!warnings.empty()) warnings += ',';
  warnings += fact;
}

}  // namespace

std::string pack_problems(const pack_result& packed) {
  if (packed.error != pack_error::none) return problems(pack_error_fact(packed), {});
  std::string warnings;
  for (const midi_change& change : packed.changes) {
    std::string out = object(change_name(change.kind));
    add_details(out, change.offset, change.value, change.chunk_count, change.tag, change.track);
    add_number(out, "count", change.count);
    add_warning(warnings, out + "}");
  }
  if (!packed.empty_tracks.empty()) {
    std::string out = object(error_name(pack_error::empty_track));
    add_number(out, "count", packed.empty_tracks.size());
    // The first few, as the tools name them; a file may have thousands.
    out += ",\"tracks\":[";
    for (std::size_t i = 0; i < packed.empty_tracks.size() && i < 5; ++i)
      out += (i == 0 ? "" : ",") + std::to_string(packed.empty_tracks[i]);
    add_warning(warnings, out + "]}");
  }
  // Packed as they are: unpacking will refuse them (the page then offers to
  // convert anyway).
  if (packed.unknown_format) {
    std::string out = object("unknown_format");
    add_number(out, "format", *packed.unknown_format);
    add_warning(warnings, out + "}");
  }
  if (packed.unreadable_track) add_warning(warnings, track_fault_fact(*packed.unreadable_track));
  return problems({}, warnings);
}

std::string unpack_problems(const unpack_result& unpacked) {
  if (unpacked.error != unpack_error::none) return problems(refusal_fact(unpacked), {});
  if (unpacked.music_fault == unpack_error::none) return problems({}, {});
  return problems({}, object("unpacked_as_is") + ",\"fault\":" + music_fact(unpacked) + "}");
}

}  // namespace mthc::web
