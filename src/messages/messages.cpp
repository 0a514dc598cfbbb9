#include <cctype>
#include <mthc/messages.hpp>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "format/format.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/split_tracks.hpp"

namespace mthc {

namespace {

// Short enough for the string's own storage: no allocation, so it can be
// made when memory has run out.
std::string out_of_memory_text() noexcept {
  return "out of memory";
}

// What the block encoder's failed self-check says: the file is not to blame.
const char* internal_encoder_error_text() noexcept {
  return "internal error: a block failed the encoder's own checks (a bug in the encoder, not a "
         "fault of the file)";
}

// Makes a text, or says that memory ran out while making it.
template <typename Make>
std::string guarded(Make make) noexcept {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    return out_of_memory_text();
  }
}

// The parts of a text, one after another: words, and numbers in decimal.
void append(std::string& out, std::string_view text) {
  out += text;
}
template <typename Number>
requires std::is_integral_v<Number>
void append(std::string& out, Number number) {
  out += std::to_string(number);
}

template <typename... Parts>
std::string cat(const Parts&... parts) {
  std::string out;
  (append(out, parts), ...);
  return out;
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

// "1 byte", "5 bytes".
std::string bytes_text(std::size_t count) {
  return cat(count, " byte", plural(count));
}

std::string format_words(std::size_t format) {
  return cat("the MIDI file's format is ", format, ", not 0, 1 or 2");
}

std::string track_fault_words(const track_fault& fault) {
  return cat("track ", fault.track, ": ", track_error_text(fault.check.error), " at offset ",
             fault.check.offset);
}

std::string pack_text(const pack_result& r) {
  switch (r.error) {
    case pack_error::none:
      return {};
    case pack_error::not_midi:
      return "not a MIDI file (no MThd header)";
    case pack_error::header_too_short:
      return cat("the MThd header is ", r.value, " bytes long, shorter than the 6 it needs");
    case pack_error::chunk_past_end:
      if (r.offset == 0) return "the MThd header runs past the end of the file";
      return cat("the track at offset ", r.offset, " runs past the end of the file");
    case pack_error::too_many_tracks:
      if (r.chunk_count > format::k_max_track_count) {
        return cat("too many tracks: ", r.chunk_count, " track chunks, more than the ",
                   format::k_max_track_count, " a MIDI header counts");
      }
      return cat("too many tracks: track ", r.value, " holds data, but only tracks 0 to ",
                 k_max_track_with_data, " can");
    case pack_error::too_much_data:
      return cat("too much MIDI data: ", r.value,
                 " bytes of track data do not fit 255 blocks (a container holds at most ",
                 k_max_track_data, " bytes of track data, less when it does not compress)");
    case pack_error::out_of_memory:
      return "out of memory while packing";
    case pack_error::internal_error:
      return internal_encoder_error_text();
    case pack_error::riff_wrapper:
      return "a MIDI file in a RIFF RMID wrapper, which would not come back as it is (--strict)";
    case pack_error::header_length:
      return cat("the MThd header is ", r.value, " bytes long, not 6 (--strict)");
    case pack_error::foreign_chunk:
      return cat("chunk '", tag_text(r.tag), "' at offset ", r.offset,
                 " is not an MTrk chunk (--strict)");
    case pack_error::trailing_bytes:
      return cat(r.value, " byte", plural(r.value), " at offset ", r.offset, " follow",
                 r.value == 1 ? "s" : "", " the last chunk (--strict)");
    case pack_error::track_count_mismatch:
      return cat("the MThd header declares ", r.value, " tracks but the file holds ", r.chunk_count,
                 " (--strict)");
    case pack_error::missing_end_of_track:
      return cat("track ", r.track, " has no end-of-track event (--strict)");
    case pack_error::bytes_after_end_of_track:
      return cat("track ", r.track, ": ", bytes_text(r.value), " follow", r.value == 1 ? "s" : "",
                 " its end-of-track event (--strict)");
    case pack_error::end_of_track_cut_short:
      return cat("track ", r.track, ": its end-of-track event is cut short (--strict)");
    case pack_error::event_cut_short:
      return cat("track ", r.track, " ends inside an event (--strict)");
    case pack_error::track_cut_by_end_of_file:
      return cat("the track at offset ", r.offset, " runs ", bytes_text(r.value),
                 " past the end of the file (--strict)");
    case pack_error::empty_track:
      return cat("track ", r.track,
                 " is empty; it would unpack as an end-of-track event (00 ff 2f 00) (--strict)");
    case pack_error::unknown_format:
      return cat(format_words(r.value), " (--strict)");
    case pack_error::track_unreadable:
      if (!r.unreadable_track) return "a track does not read as MIDI events (--strict)";
      return cat(track_fault_words(*r.unreadable_track), " (--strict)");
  }
  return {};
}

// One change that happened once.
std::string single_change_words(const midi_change& c) {
  switch (c.kind) {
    case midi_change_kind::riff_unwrapped:
      return "the MIDI file is taken out of its RIFF RMID wrapper";
    case midi_change_kind::header_bytes_dropped:
      return cat(bytes_text(c.value), " of the MThd header beyond its sixth ",
                 c.value == 1 ? "is" : "are", " dropped");
    case midi_change_kind::chunk_dropped:
      return cat("chunk '", tag_text(c.tag), "' at offset ", c.offset, " (", bytes_text(c.value),
                 ") is dropped; only MTrk chunks are packed");
    case midi_change_kind::trailing_bytes_ignored:
      return cat(bytes_text(c.value), " at offset ", c.offset, " after the last chunk ",
                 c.value == 1 ? "is" : "are", " ignored");
    case midi_change_kind::track_count_corrected:
      return cat("the MThd header declares ", c.value, " tracks but the file holds ", c.chunk_count,
                 "; the count is corrected");
    case midi_change_kind::end_of_track_added:
      return cat("track ", c.track, " has no end-of-track event; one is added");
    case midi_change_kind::bytes_after_end_of_track_dropped:
      return cat("track ", c.track, ": the ", bytes_text(c.value), " after its end-of-track event ",
                 c.value == 1 ? "is" : "are", " dropped");
    case midi_change_kind::end_of_track_completed:
      return cat("track ", c.track, ": its end-of-track event is cut short; the ", c.value,
                 " missing byte", plural(c.value), c.value == 1 ? " is" : " are", " added");
    case midi_change_kind::partial_event_dropped:
      return cat("track ", c.track, " ends inside an event, whose ", bytes_text(c.value),
                 c.value == 1 ? " is" : " are", " dropped; an end-of-track event is added");
    case midi_change_kind::track_cut_by_end_of_file:
      return cat("the file ends ", bytes_text(c.value), " short of the end of track ", c.track,
                 " (at offset ", c.offset,
                 "); the track keeps its whole events and is closed with an end-of-track event");
  }
  return {};
}

// A change that happened `count` times: how many, and the first.
std::string repeated_change_words(const midi_change& c) {
  const std::string first = cat("the first: track ", c.track);
  switch (c.kind) {
    case midi_change_kind::chunk_dropped:
      return cat(c.count, " chunks other than MTrk are dropped (the first, '", tag_text(c.tag),
                 "' at offset ", c.offset, ", of ", bytes_text(c.value),
                 "); only MTrk chunks are packed");
    case midi_change_kind::end_of_track_added:
      return cat(c.count, " tracks have no end-of-track event; one is added to each (", first, ")");
    case midi_change_kind::bytes_after_end_of_track_dropped:
      return cat(c.count, " tracks have bytes after their end-of-track event, which are dropped (",
                 first, ", ", bytes_text(c.value), ")");
    case midi_change_kind::end_of_track_completed:
      return cat(c.count, " tracks have their end-of-track event cut short; it is completed (",
                 first, ")");
    case midi_change_kind::partial_event_dropped:
      return cat(c.count,
                 " tracks end inside an event, which is dropped, and get an end-of-track event (",
                 first, ", ", bytes_text(c.value), ")");
    default:
      // The others happen once in a file.
      return single_change_words(c);
  }
}

std::string change_words(const midi_change& c) {
  return c.count > 1 ? repeated_change_words(c) : single_change_words(c);
}

std::string empty_tracks_words(std::span<const std::size_t> tracks) {
  if (tracks.empty()) return {};
  if (tracks.size() == 1) {
    return cat("track ", tracks[0],
               " is empty; it will unpack as an end-of-track event (00 ff 2f 00)");
  }
  // Name the first few; a file may have thousands.
  constexpr std::size_t k_named = 5;
  std::string names;
  for (std::size_t i = 0; i < tracks.size() && i < k_named; ++i)
    names += cat(i == 0 ? "" : ", ", tracks[i]);
  if (tracks.size() > k_named) names += ", ...";
  return cat(tracks.size(), " tracks are empty (", names,
             "); they will unpack as end-of-track events (00 ff 2f 00)");
}

std::vector<std::string> packed_as_is_words(const pack_result& r) {
  std::vector<std::string> texts;
  if (r.unknown_format)
    texts.push_back(format_words(*r.unknown_format) + "; it is packed as it is");
  if (r.unreadable_track) {
    texts.push_back(track_fault_words(*r.unreadable_track) + "; the track is packed as it is");
  }
  return texts;
}

std::string midi_words(midi_error error, std::size_t offset, std::size_t value,
                       std::size_t chunk_count) {
  if (error == midi_error::out_of_memory) return "out of memory while reading the MIDI file";
  pack_result as_packing;
  as_packing.error = midi::pack_error_of(error);
  as_packing.offset = offset;
  as_packing.value = value;
  as_packing.chunk_count = chunk_count;
  return pack_text(as_packing);
}

std::string missing_blocks_words(const container_check& c) {
  if (c.next_block_cut_short) {
    return cat("the container declares ", c.blocks_declared, " block", plural(c.blocks_declared),
               " but the file ends within block ", c.blocks_present);
  }
  return cat("the container declares ", c.blocks_declared, " block", plural(c.blocks_declared),
             " but the file holds only ", c.blocks_present);
}

std::string size_mismatch_words(const container_check::size_mismatch& m) {
  return cat("block ", m.block, " decodes to ", m.decoded, " bytes but declares ", m.declared);
}

std::string check_words(const container_check& c) {
  switch (first_problem(c)) {
    case check_problem::none:
      return {};
    case check_problem::size_mismatch:
      return size_mismatch_words(*c.first_size_mismatch);
    case check_problem::stray_record: {
      const container_check::stray_record& s = *c.first_stray_record;
      if (s.crosses_block_end) {
        return cat("record ", s.record, " of block ", s.block, " runs past the end of its block");
      }
      return cat("record ", s.record, " of block ", s.block, " holds data but belongs to no track");
    }
    case check_problem::missing_blocks:
      return missing_blocks_words(c);
  }
  return {};
}

std::string music_words(const unpack_result& r) {
  switch (r.music_fault) {
    case unpack_error::midi_header_unreadable:
      if (r.header_length != format::k_midi_header_length) {
        return cat("the MIDI header declares a length of ", r.header_length, " bytes, not 6");
      }
      return format_words(r.format);
    case unpack_error::track_unreadable:
      return track_fault_words(r.track);
    default:
      return {};
  }
}

}  // namespace

std::string error_text(const pack_result& result) noexcept {
  return guarded([&] { return pack_text(result); });
}

std::string error_text(encode_error error) noexcept {
  return guarded([&]() -> std::string {
    switch (error) {
      case encode_error::none:
        return {};
      case encode_error::too_large:
        return cat("more than the ", k_max_block_size, " bytes a block holds");
      case encode_error::out_of_memory:
        return "out of memory while packing";
      case encode_error::internal_error:
        return internal_encoder_error_text();
    }
    return {};
  });
}

std::vector<std::string> warning_texts(const pack_result& result) noexcept {
  try {
    std::vector<std::string> warnings;
    for (const midi_change& change : result.changes)
      warnings.push_back(change_words(change));
    if (!result.empty_tracks.empty()) warnings.push_back(empty_tracks_words(result.empty_tracks));
    for (std::string& text : packed_as_is_words(result))
      warnings.push_back(std::move(text));
    return warnings;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::vector<std::string> packed_as_is_texts(const pack_result& result) noexcept {
  try {
    return packed_as_is_words(result);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string change_text(const midi_change& change) noexcept {
  return guarded([&] { return change_words(change); });
}

std::string empty_tracks_text(std::span<const std::size_t> tracks) noexcept {
  return guarded([&] { return empty_tracks_words(tracks); });
}

std::string track_fault_text(const track_fault& fault) noexcept {
  return guarded([&] { return track_fault_words(fault); });
}

std::string error_text(const midi_file& file) noexcept {
  return guarded([&] { return midi_words(file.error, file.offset, file.value, file.chunk_count); });
}

std::string error_text(container_fault fault) noexcept {
  // The report tool's own lines, which name the file the user gave it.
  switch (fault) {
    case container_fault::none:
      return {};
    case container_fault::too_small:
      return guarded([] { return std::string("file is too small to be an MThc container"); });
    case container_fault::not_mthc:
      return guarded([] { return std::string("file does not start with MThc"); });
    case container_fault::missing_mthp_tag:
      return guarded([] { return std::string("expected MThp tag at offset 10"); });
  }
  return {};
}

std::string error_text(conversion_error error) noexcept {
  return guarded([&]() -> std::string {
    switch (error) {
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
  });
}

std::string error_text(const container_check& check) noexcept {
  return guarded([&] { return check_words(check); });
}

std::string incomplete_container_text(const container_check& c) noexcept {
  return guarded([&]() -> std::string {
    if (c.blocks_complete()) return {};
    // Stray records aside: they lose no block.
    const std::string what = first_problem(c) == check_problem::size_mismatch
                                 ? size_mismatch_words(*c.first_size_mismatch)
                                 : missing_blocks_words(c);
    return what + "; the MIDI file is incomplete";
  });
}

std::string error_text(const unpack_result& r) noexcept {
  switch (r.error) {
    case unpack_error::none:
      return {};
    case unpack_error::not_a_container:
      return error_text(r.container);
    case unpack_error::damaged:
      return error_text(r.check);
    case unpack_error::conversion_failed:
      return error_text(r.conversion);
    case unpack_error::midi_header_unreadable:
    case unpack_error::track_unreadable:
      return guarded([&] { return music_words(r); });
    case unpack_error::out_of_memory:
      return error_text(conversion_error::out_of_memory);
  }
  return {};
}

std::string warning_text(const unpack_result& r) noexcept {
  if (r.error != unpack_error::none) return {};
  return guarded([&] { return music_words(r); });
}

std::string error_text(const file_summary& s) noexcept {
  switch (s.error) {
    case file_error::none:
      return {};
    case file_error::not_a_container:
      return error_text(s.container);
    case file_error::conversion_failed:
      return error_text(s.conversion);
    case file_error::not_midi:
      return guarded([&] { return midi_words(s.midi, s.offset, s.value, s.chunk_count); });
    case file_error::out_of_memory:
      if (s.conversion == conversion_error::out_of_memory) return error_text(s.conversion);
      return guarded([] { return std::string("out of memory reading the music"); });
  }
  return {};
}

}  // namespace mthc
