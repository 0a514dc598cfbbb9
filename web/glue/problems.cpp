#include "problems.hpp"

#include <cstddef>

#include "container/check_container.hpp"
#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "json_text.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/split_tracks.hpp"
#include "midi/track_reader.hpp"

namespace mthc::web {

namespace {

// {"kind":"<kind>"
std::string object(const char* kind) {
  return std::string("{\"kind\":\"") + kind + '"';
}

void add_text(std::string& out, const char* key, std::string_view text) {
  out += ",\"";
  out += key;
  out += "\":";
  append_json_string(out, text);
}

void add_flag(std::string& out, const char* key, bool value) {
  out += ",\"";
  out += key;
  out += value ? "\":true" : "\":false";
}

// A chunk tag as it is stored (control characters left out).
std::string_view tag_view(const std::array<char, 4>& tag) {
  return {tag.data(), tag.size()};
}

std::string track_fault(std::size_t track, track_error error, std::size_t offset) {
  std::string out = object("track_fault");
  append_json_number(out, "track", track);
  out += ",\"fault\":{\"text\":";
  append_json_string(out, track_error_text(error));
  append_json_number(out, "offset", offset);
  return out + "}}";
}

const char* pack_error_name(pack_error error) {
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
  }
  return "unknown";
}

const char* change_name(midi_change_kind kind) {
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
  }
  return "unknown";
}

// The details that a pack error or a change carries; the kind says which
// of them count.
void add_details(std::string& out, std::size_t offset, std::size_t value, std::size_t chunk_count,
                 const std::array<char, 4>& tag) {
  append_json_number(out, "offset", offset);
  append_json_number(out, "value", value);
  append_json_number(out, "chunk_count", chunk_count);
  add_text(out, "tag", tag_view(tag));
}

std::string pack_error_fact(const pack_result& packed) {
  std::string out = object("pack");
  add_text(out, "error", pack_error_name(packed.error));
  add_details(out, packed.offset, packed.value, packed.chunk_count, packed.tag);
  // The limits that the errors name.
  append_json_number(out, "max_track_count", format::k_max_track_count);
  append_json_number(out, "max_track_with_data", k_max_track_with_data);
  append_json_number(out, "max_track_data", k_max_track_data);
  return out + "}";
}

std::string problems(const std::string& error, const std::string& warnings) {
  return "{\"error\":" + (error.empty() ? std::string("null") : error) + ",\"warnings\":[" +
         warnings + "]}";
}

void add_warning(std::string& warnings, const std::string& fact) {
  if (!warnings.empty()) warnings += ',';
  warnings += fact;
}

std::string container_check_fact(const container_check& c) {
  // The first problem in the order of the file, as the tools report it.
  const bool missing = c.blocks_present < c.blocks_declared;
  if (c.first_size_mismatch && (!missing || c.first_size_mismatch->block < c.blocks_present)) {
    std::string out = object("size_mismatch");
    append_json_number(out, "block", c.first_size_mismatch->block);
    append_json_number(out, "declared", c.first_size_mismatch->declared);
    append_json_number(out, "decoded", c.first_size_mismatch->decoded);
    return out + "}";
  }
  if (c.first_stray_record && (!missing || c.first_stray_record->block < c.blocks_present)) {
    std::string out = object("stray_record");
    append_json_number(out, "block", c.first_stray_record->block);
    append_json_number(out, "record", c.first_stray_record->record);
    add_flag(out, "crosses_block_end", c.first_stray_record->crosses_block_end);
    return out + "}";
  }
  if (missing) {
    std::string out = object("missing_blocks");
    append_json_number(out, "declared", c.blocks_declared);
    append_json_number(out, "present", c.blocks_present);
    add_flag(out, "cut_short", c.next_block_cut_short);
    return out + "}";
  }
  return {};
}

const char* conversion_error_name(conversion_error error) {
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

// What is wrong with the music of a container whose blocks are sound.
std::string music_fact(std::span<const std::uint8_t> midi) {
  std::string header;
  if (midi.size() < format::k_midi_header_size) {
    header = object("midi_header");
    add_text(header, "problem", "too_short");
  } else if (const std::uint32_t length =
                 format::read_be32(&midi[format::k_midi_header_tag.size()]);
             length != format::k_midi_header_length) {
    header = object("midi_header");
    add_text(header, "problem", "length");
    append_json_number(header, "value", length);
  } else if (const unsigned file_format =
                 format::read_be16(&midi[format::k_header_fields_offset + 4]);
             file_format > 2) {
    header = object("midi_header");
    add_text(header, "problem", "format");
    append_json_number(header, "value", file_format);
  }
  if (!header.empty()) return header + ",\"music\":true}";
  const midi_read_result split = read_midi_file(midi);
  for (std::size_t t = 0; t < split.file.tracks.size(); ++t) {
    const track_check track = check_track(split.file.tracks[t]);
    if (track.error != track_error::none) {
      std::string out = track_fault(t, track.error, track.offset);
      return out.insert(out.size() - 1, ",\"music\":true");
    }
  }
  return {};
}

}  // namespace

std::string pack_problems(const pack_result& packed, std::span<const std::uint8_t> smf) {
  if (packed.error != pack_error::none) return problems(pack_error_fact(packed), {});
  std::string warnings;
  for (const midi_change& change : packed.changes) {
    std::string out = object(change_name(change.kind));
    add_details(out, change.offset, change.value, change.chunk_count, change.tag);
    add_warning(warnings, out + "}");
  }
  if (!packed.empty_tracks.empty()) {
    std::string out = object("empty_tracks");
    append_json_number(out, "count", packed.empty_tracks.size());
    // The first few, as the tools name them; a file may have thousands.
    out += ",\"tracks\":[";
    for (std::size_t i = 0; i < packed.empty_tracks.size() && i < 5; ++i)
      out += (i == 0 ? "" : ",") + std::to_string(packed.empty_tracks[i]);
    add_warning(warnings, out + "]}");
  }
  // Tracks without data come back as an end-of-track event: left out here.
  const midi_read_result split = read_midi_file(smf);
  for (std::size_t t = 0; t < split.file.tracks.size(); ++t) {
    if (split.file.tracks[t].empty()) continue;
    const track_check track = check_track(split.file.tracks[t]);
    if (track.error != track_error::none) {
      add_warning(warnings, track_fault(t, track.error, track.offset));
      break;
    }
  }
  return problems({}, warnings);
}

std::string refusal_fact(std::span<const std::uint8_t> image, const conversion_result& converted) {
  if (const container_fault fault = check_container(image); fault != container_fault::none) {
    std::string out = object("container_fault");
    add_text(out, "fault",
             fault == container_fault::too_small  ? "too_small"
             : fault == container_fault::not_mthc ? "not_mthc"
                                                  : "missing_mthp_tag");
    return out + "}";
  }
  if (std::string fact = container_check_fact(converted.check); !fact.empty()) return fact;
  if (converted.error != conversion_error::none) {
    std::string out = object("conversion");
    add_text(out, "error", conversion_error_name(converted.error));
    return out + "}";
  }
  return music_fact(converted.midi_file.used());
}

std::string unpack_problems(const std::string& refusal, bool as_is) {
  if (!as_is) return problems(refusal, {});
  return problems({}, refusal.empty() ? std::string()
                                      : object("unpacked_as_is") + ",\"fault\":" + refusal + "}");
}

}  // namespace mthc::web
