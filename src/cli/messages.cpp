#include "cli/messages.hpp"

#include <cctype>
#include <cstdarg>
#include <cstdio>

#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "midi/split_tracks.hpp"

namespace mthc {

namespace {

// printf into a string: the texts are formats like every other line the
// programs print, and a printf-style function lets the compiler check each
// format against its arguments (which a parameter pack would not).
#if defined(__GNUC__) || defined(__clang__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
text_of(const char* pattern, ...) {  // NOLINT(cert-dcl50-cpp): checked as a printf format
  char line[512];
  va_list arguments;
  va_start(arguments, pattern);
  const int n = std::vsnprintf(line, sizeof line, pattern, arguments);
  va_end(arguments);
  return n < 0 ? std::string() : std::string(line);
}

unsigned long ul(std::size_t value) {
  return static_cast<unsigned long>(value);
}

const char* plural(std::size_t count) {
  return count == 1 ? "" : "s";
}

// A chunk tag as text: printable characters as they are, others as '?'.
std::string tag_text(const std::array<char, 4>& tag) {
  std::string text;
  for (const char c : tag)
    text += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
  return text;
}

}  // namespace

std::string input_too_large_text() {
  return text_of("the file is too large: a container holds at most %lu bytes of track data",
                 ul(k_max_track_data));
}

std::string pack_error_text(const pack_result& r) {
  switch (r.error) {
    case pack_error::none:
      return {};
    case pack_error::not_midi:
      return "not a MIDI file (no MThd header)";
    case pack_error::header_too_short:
      return text_of("the MThd header is %lu bytes long, shorter than the 6 it needs", ul(r.value));
    case pack_error::chunk_past_end:
      if (r.offset == 0) return "the MThd header runs past the end of the file";
      return text_of("the track at offset %lu runs past the end of the file", ul(r.offset));
    case pack_error::too_many_tracks:
      if (r.chunk_count > format::k_max_track_count) {
        return text_of("too many tracks: %lu track chunks, more than the %lu a MIDI header counts",
                       ul(r.chunk_count), ul(format::k_max_track_count));
      }
      return text_of("too many tracks: track %lu holds data, but only tracks 0 to %lu can",
                     ul(r.value), ul(k_max_track_with_data));
    case pack_error::too_much_data:
      return text_of(
          "too much MIDI data: %lu bytes of track data do not fit 255 blocks (a container holds at "
          "most %lu bytes of track data, less when it does not compress)",
          ul(r.value), ul(k_max_track_data));
    case pack_error::out_of_memory:
      return "out of memory while packing";
    case pack_error::riff_wrapper:
      return "a MIDI file in a RIFF RMID wrapper, which would not come back as it is (--strict)";
    case pack_error::header_length:
      return text_of("the MThd header is %lu bytes long, not 6 (--strict)", ul(r.value));
    case pack_error::foreign_chunk:
      return text_of("chunk '%s' at offset %lu is not an MTrk chunk (--strict)",
                     tag_text(r.tag).c_str(), ul(r.offset));
    case pack_error::trailing_bytes:
      return text_of("%lu byte%s at offset %lu follow%s the last chunk (--strict)", ul(r.value),
                     plural(r.value), ul(r.offset), r.value == 1 ? "s" : "");
    case pack_error::track_count_mismatch:
      return text_of("the MThd header declares %lu tracks but the file holds %lu (--strict)",
                     ul(r.value), ul(r.chunk_count));
  }
  return {};
}

std::string midi_fault_text(const midi_read_result& r) {
  pack_result as_packing;
  as_packing.error = pack_error_of(r.fault);
  as_packing.offset = r.offset;
  as_packing.value = r.value;
  as_packing.chunk_count = r.chunk_count;
  return pack_error_text(as_packing);
}

std::string midi_header_text(std::span<const std::uint8_t> midi) {
  if (midi.size() < format::k_midi_header_size) return "the MIDI file is shorter than its header";
  const std::uint32_t length = format::read_be32(&midi[format::k_midi_header_tag.size()]);
  if (length != format::k_midi_header_length) {
    return text_of("the MIDI header declares a length of %lu bytes, not 6", ul(length));
  }
  const unsigned file_format = format::read_be16(&midi[format::k_header_fields_offset + 4]);
  if (file_format > 2) return text_of("the MIDI file's format is %u, not 0, 1 or 2", file_format);
  return {};
}

std::string track_fault_text(std::size_t track, const track_check& check) {
  return text_of("track %lu: %s at offset %lu", ul(track), track_error_text(check.error),
                 ul(check.offset));
}

std::string midi_change_text(const midi_change& c) {
  switch (c.kind) {
    case midi_change_kind::riff_unwrapped:
      return "the MIDI file is taken out of its RIFF RMID wrapper";
    case midi_change_kind::header_bytes_dropped:
      return text_of("%lu byte%s of the MThd header beyond its sixth %s dropped", ul(c.value),
                     plural(c.value), c.value == 1 ? "is" : "are");
    case midi_change_kind::chunk_dropped:
      return text_of(
          "chunk '%s' at offset %lu (%lu byte%s) is dropped; only MTrk chunks are packed",
          tag_text(c.tag).c_str(), ul(c.offset), ul(c.value), plural(c.value));
    case midi_change_kind::trailing_bytes_ignored:
      return text_of("%lu byte%s at offset %lu after the last chunk %s ignored", ul(c.value),
                     plural(c.value), ul(c.offset), c.value == 1 ? "is" : "are");
    case midi_change_kind::track_count_corrected:
      return text_of(
          "the MThd header declares %lu tracks but the file holds %lu; the count is "
          "corrected",
          ul(c.value), ul(c.chunk_count));
  }
  return {};
}

std::string empty_tracks_text(std::span<const std::size_t> tracks) {
  if (tracks.empty()) return {};
  if (tracks.size() == 1) {
    return text_of("track %lu is empty; it will unpack as an end-of-track event (00 ff 2f 00)",
                   ul(tracks[0]));
  }
  // Name the first few; a file may have thousands.
  constexpr std::size_t k_named = 5;
  std::string names;
  for (std::size_t i = 0; i < tracks.size() && i < k_named; ++i)
    names += text_of("%s%lu", i == 0 ? "" : ", ", ul(tracks[i]));
  if (tracks.size() > k_named) names += ", ...";
  return text_of("%lu tracks are empty (%s); they will unpack as end-of-track events (00 ff 2f 00)",
                 ul(tracks.size()), names.c_str());
}

std::string container_fault_text(container_fault fault) {
  switch (fault) {
    case container_fault::none:
      return {};
    case container_fault::too_small:
      return "too small to be an MThc container";
    case container_fault::not_mthc:
      return "not an MThc container (it does not start with MThc)";
    case container_fault::missing_mthp_tag:
      return "not an MThc container (no MThp tag at offset 10)";
  }
  return {};
}

std::string conversion_error_text(const conversion_result& r) {
  switch (r.error) {
    case conversion_error::none:
      return {};
    case conversion_error::stream_too_large:
      return "the blocks decode to more than 64 MiB, more than any container holds";
    case conversion_error::stream_invalid:
      return "the decoded data are too short or do not begin with MThp";
    case conversion_error::tracks_too_large:
      return "the records gather more than 64 MiB of track data, more than any container holds";
    case conversion_error::out_of_memory:
      return "out of memory while decompressing";
  }
  return {};
}

namespace {

std::string missing_blocks_text(const container_check& c) {
  if (c.next_block_cut_short) {
    return text_of("the container declares %lu block%s but the file ends within block %lu",
                   ul(c.blocks_declared), c.blocks_declared == 1 ? "" : "s", ul(c.blocks_present));
  }
  return text_of("the container declares %lu block%s but the file holds only %lu",
                 ul(c.blocks_declared), c.blocks_declared == 1 ? "" : "s", ul(c.blocks_present));
}

std::string size_mismatch_text(const container_check::size_mismatch& m) {
  return text_of("block %lu decodes to %lu bytes but declares %lu", ul(m.block), ul(m.decoded),
                 ul(m.declared));
}

}  // namespace

std::string container_check_text(const container_check& c) {
  // The first problem in the order of the file.
  const bool missing = c.blocks_present < c.blocks_declared;
  if (c.first_size_mismatch && (!missing || c.first_size_mismatch->block < c.blocks_present)) {
    return size_mismatch_text(*c.first_size_mismatch);
  }
  if (c.first_stray_record && (!missing || c.first_stray_record->block < c.blocks_present)) {
    const container_check::stray_record& s = *c.first_stray_record;
    if (s.crosses_block_end) {
      return text_of("record %lu of block %lu runs past the end of its block", ul(s.record),
                     ul(s.block));
    }
    return text_of("record %lu of block %lu holds data but belongs to no track", ul(s.record),
                   ul(s.block));
  }
  if (missing) return missing_blocks_text(c);
  return {};
}

std::string incomplete_container_text(const container_check& c) {
  if (c.blocks_complete()) return {};
  const bool missing = c.blocks_present < c.blocks_declared;
  const std::string what =
      c.first_size_mismatch && (!missing || c.first_size_mismatch->block < c.blocks_present)
          ? size_mismatch_text(*c.first_size_mismatch)
          : missing_blocks_text(c);
  return what + "; the MIDI file is incomplete";
}

}  // namespace mthc
