// Fuzz target for packing a MIDI file, with the round-trip property.
//
// Input: one option byte, then the file. Bit 0 of the option byte asks for
// strict packing; the best level is used when bits 1 to 4 are all clear (one
// input in sixteen: it is some twenty times slower), the fast level
// otherwise. Files over 64 KiB are skipped, to keep the runs fast.
//
// Checks, with the block-at-a-time calls:
// - out_of_memory never appears (the inputs are small), and a failed packing
//   hands back an empty container;
// - progress grows with every block, and ends with every byte of the
//   decoded stream compressed, as many as the container declares;
// - a packed file converts back to what the input's own chunks make of it,
//   and the changes announced are exactly those, worked out here: "MThd" of
//   length 6 with the corrected track count, then every "MTrk" chunk in
//   order (an empty one as 00 FF 2F 00), each track as it is, or repaired as
//   players take it (end-of-track added, completed, bytes after it or an
//   event cut short dropped, a chunk cut by the end of the file taken as far
//   as it goes), and nothing else; each kind of change once, with its count
//   and the details of its first;
// - what a check of the container refuses is only what packing said it
//   packed as it is: whatever lenient packing accepts unpacks with
//   unpack_container (what mthc-pack -t checks) unless packing named a
//   format other than 0, 1 and 2, or a track that does not read (a fault
//   such as an undefined status byte, which players do not get past: exempt,
//   and then unpack_container refuses exactly that, and as_is gives the file
//   back);
// - strict packing packs exactly the files that come back from
//   unpack_container byte for byte, into the same container as lenient
//   packing; otherwise it fails as lenient packing does or with the error for
//   what lenient packing changed or let through, in the order pack_error
//   gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mthc/convert_to_midi.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/track_reader.hpp>
#include <mthc/unpack.hpp>
#include <optional>
#include <span>
#include <vector>

#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace mthc::format;
using bytes = std::vector<std::uint8_t>;
using span = std::span<const std::uint8_t>;
using mthc::midi_change;
using mthc::midi_change_kind;

constexpr std::size_t k_max_input = 64 * 1024;

bool printable_tag(span smf, std::size_t at) {
  return std::all_of(smf.begin() + static_cast<std::ptrdiff_t>(at),
                     smf.begin() + static_cast<std::ptrdiff_t>(at + 4),
                     [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

bool same(span a, span b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool starts_with(span whole, span part) {
  return whole.size() >= part.size() && same(whole.first(part.size()), part);
}

// The tracks of a file that the conversion wrote: "MThd" of length 6, then
// "MTrk" chunks to the end, nothing else.
std::vector<span> written_tracks(span file) {
  MTHC_FUZZ_CHECK(file.size() >= k_midi_header_size && has_tag(file, 0, k_midi_header_tag));
  MTHC_FUZZ_CHECK(read_be32(file.data() + 4) == 6);
  std::vector<span> tracks;
  std::size_t at = k_midi_header_size;
  while (at < file.size()) {
    MTHC_FUZZ_CHECK(file.size() - at >= 8 && has_tag(file, at, k_track_tag));
    const std::size_t length = read_be32(file.data() + at + 4);
    MTHC_FUZZ_CHECK(length <= file.size() - at - 8);
    tracks.push_back(file.subspan(at + 8, length));
    at += 8 + length;
  }
  MTHC_FUZZ_CHECK(tracks.size() == read_be16(file.data() + k_midi_track_count_offset));
  return tracks;
}

// The changes worked out here, noted as the reader notes them: each kind
// once, in the order of its first occurrence, with its count.
struct change_list {
  std::vector<midi_change> changes;

  void note(const midi_change& change) {
    for (midi_change& noted : changes) {
      if (noted.kind == change.kind) {
        ++noted.count;
        return;
      }
    }
    changes.push_back(change);
  }
};

// Whether `event`, the last of a track, running past its end, is an
// end-of-track event cut short: a whole delta time (at most 4 bytes), then
// less than FF 2F 00 of it.
bool cut_end_of_track(span event) {
  std::size_t delta = 0;
  while (delta < event.size() && delta < 4 && event[delta] >= 0x80)
    ++delta;
  if (delta == event.size() || delta == 4) return false;
  const span rest = event.subspan(delta + 1);
  return rest.size() < 3 && same(rest, span(k_end_of_track_event).subspan(1, rest.size()));
}

midi_change track_change(midi_change_kind kind, std::size_t offset, std::size_t value,
                         std::size_t track) {
  return {kind, offset, value, 0, {}, track, 1};
}

// Checks what became of one track: `stored` as the file holds it (at
// `offset` in the input; `cut` bytes of its chunk missing), `written` as the
// container gives it back. Notes its change, if any. Returns whether it was
// left with a fault that players do not get past.
bool check_track_back(span stored, span written, std::size_t track, std::size_t offset,
                      std::size_t cut, change_list& changes) {
  const span end_event(k_end_of_track_event);
  // A whole chunk without data comes back as the end-of-track event.
  if (stored.empty() && cut == 0) {
    MTHC_FUZZ_CHECK(same(written, end_event));
    return false;
  }
  const mthc::track_check check = mthc::check_track(stored);
  midi_change change{};
  bool repaired = true;
  switch (check.error) {
    case mthc::track_error::none:
      MTHC_FUZZ_CHECK(same(written, stored));
      repaired = false;
      break;
    case mthc::track_error::missing_end_of_track:
      MTHC_FUZZ_CHECK(starts_with(written, stored) &&
                      same(written.subspan(stored.size()), end_event));
      change = track_change(midi_change_kind::end_of_track_added, offset + stored.size(), 4, track);
      break;
    case mthc::track_error::bytes_after_end_of_track:
      MTHC_FUZZ_CHECK(same(written, stored.first(check.offset)));
      change = track_change(midi_change_kind::bytes_after_end_of_track_dropped,
                            offset + check.offset, stored.size() - check.offset, track);
      break;
    case mthc::track_error::event_past_end:
      if (cut_end_of_track(stored.subspan(check.offset))) {
        // Completed: the stored bytes, then the rest of FF 2F 00 (1 to 3
        // bytes), the last event's delta time kept.
        const std::size_t added = written.size() - stored.size();
        MTHC_FUZZ_CHECK(written.size() > stored.size() && added <= 3);
        MTHC_FUZZ_CHECK(starts_with(written, stored) && same(written.last(3), end_event.last(3)));
        change = track_change(midi_change_kind::end_of_track_completed, offset + check.offset,
                              added, track);
      } else {
        MTHC_FUZZ_CHECK(starts_with(written, stored.first(check.offset)) &&
                        same(written.subspan(check.offset), end_event));
        change = track_change(midi_change_kind::partial_event_dropped, offset + check.offset,
                              stored.size() - check.offset, track);
      }
      break;
    default:
      // A fault players do not get past: the track as it is.
      MTHC_FUZZ_CHECK(same(written, stored));
      repaired = false;
      break;
  }
  const bool fault = check.error != mthc::track_error::none && !repaired;
  // A repaired track reads to its end-of-track.
  if (!fault) MTHC_FUZZ_CHECK(mthc::check_track(written).error == mthc::track_error::none);
  if (cut != 0) {
    // The file's cut is the change; the track's repair is part of it.
    changes.note(track_change(midi_change_kind::track_cut_by_end_of_file, offset - 8, cut, track));
  } else if (repaired) {
    changes.note(change);
  }
  return fault;
}

// Checks the file that converting the container gives against the input,
// and the changes that packing announced against those worked out here.
// Returns the first track that packing should have named as unreadable.
std::optional<std::size_t> check_back(span input, const mthc::pack_result& packed, span back) {
  const std::vector<midi_change>& announced = packed.changes;
  change_list changes;
  span smf = input;
  std::size_t base = 0;
  if (has_tag(input, 0, k_riff_tag)) {
    // Where the "data" chunk lies is the RIFF walk's to find; it must be one.
    MTHC_FUZZ_CHECK(!announced.empty() && announced[0].kind == midi_change_kind::riff_unwrapped);
    const midi_change& riff = announced[0];
    MTHC_FUZZ_CHECK(has_tag(input, 8, k_rmid_form_tag));
    MTHC_FUZZ_CHECK(riff.offset >= 20 && riff.offset <= input.size());
    MTHC_FUZZ_CHECK(has_tag(input, riff.offset - 8, k_riff_data_tag));
    const std::size_t declared = read_le32(input.data() + riff.offset - 4);
    MTHC_FUZZ_CHECK(riff.value == std::min(declared, input.size() - riff.offset));
    base = riff.offset;
    smf = input.subspan(base, riff.value);
    changes.note(riff);
  }
  MTHC_FUZZ_CHECK(smf.size() >= k_midi_header_size && has_tag(smf, 0, k_midi_header_tag));
  const std::size_t header_length = read_be32(smf.data() + 4);
  const std::size_t declared = read_be16(smf.data() + k_midi_track_count_offset);
  MTHC_FUZZ_CHECK(header_length >= 6 && header_length <= smf.size() - 8);

  const std::vector<span> written = written_tracks(back);
  MTHC_FUZZ_CHECK(same(back.subspan(8, 2), smf.subspan(8, 2)));    // format
  MTHC_FUZZ_CHECK(same(back.subspan(12, 2), smf.subspan(12, 2)));  // division
  change_list chunk_changes;
  std::optional<std::size_t> unreadable;
  std::size_t tracks = 0;
  std::size_t at = 8 + header_length;
  while (at < smf.size()) {
    const std::size_t left = smf.size() - at;
    const std::size_t length = left >= 8 ? read_be32(smf.data() + at + 4) : 0;
    const bool whole = left >= 8 && length <= left - 8;
    if (left >= 8 && has_tag(smf, at, k_track_tag)) {
      const std::size_t present = whole ? length : left - 8;
      MTHC_FUZZ_CHECK(tracks < written.size());
      const bool fault = check_track_back(smf.subspan(at + 8, present), written[tracks], tracks,
                                          base + at + 8, length - present, chunk_changes);
      if (fault && !unreadable) unreadable = tracks;
      ++tracks;
      if (!whole) break;
    } else if (whole && printable_tag(smf, at)) {
      midi_change dropped{midi_change_kind::chunk_dropped, base + at, length, 0, {}};
      std::memcpy(dropped.tag.data(), smf.data() + at, 4);
      chunk_changes.note(dropped);
    } else {
      chunk_changes.note({midi_change_kind::trailing_bytes_ignored, base + at, left, 0, {}});
      break;
    }
    at += 8 + length;
  }
  MTHC_FUZZ_CHECK(tracks == written.size());
  if (tracks != declared) {
    changes.note({midi_change_kind::track_count_corrected,
                  base + k_midi_track_count_offset,
                  declared,
                  tracks,
                  {}});
  }
  if (header_length > 6) {
    changes.note({midi_change_kind::header_bytes_dropped,
                  base + k_midi_header_size,
                  header_length - 6,
                  0,
                  {}});
  }
  for (const midi_change& c : chunk_changes.changes)
    changes.changes.push_back(c);

  MTHC_FUZZ_CHECK(announced.size() == changes.changes.size());
  for (std::size_t i = 0; i < announced.size(); ++i) {
    const midi_change& a = announced[i];
    const midi_change& e = changes.changes[i];
    MTHC_FUZZ_CHECK(a.kind == e.kind && a.offset == e.offset && a.value == e.value);
    MTHC_FUZZ_CHECK(a.chunk_count == e.chunk_count && a.tag == e.tag && a.track == e.track);
    MTHC_FUZZ_CHECK(a.count == e.count);
  }
  return unreadable;
}

// Packs a block at a time, checking the progress reported.
mthc::pack_result pack_in_steps(span file, const mthc::pack_options& options) {
  mthc::packer job = mthc::start_packing(file, options);
  MTHC_FUZZ_CHECK(job != nullptr);
  mthc::pack_progress before = mthc::packing_progress(job);
  MTHC_FUZZ_CHECK(before.done == 0);
  while (mthc::continue_packing(job)) {
    const mthc::pack_progress now = mthc::packing_progress(job);
    MTHC_FUZZ_CHECK(now.done > before.done && now.done <= now.total);
    before = mthc::packing_progress(job);
  }
  const mthc::pack_progress end = mthc::packing_progress(job);
  MTHC_FUZZ_CHECK(!mthc::continue_packing(job));
  mthc::pack_result result = mthc::finish_packing(std::move(job));
  if (result.error == mthc::pack_error::none) {
    MTHC_FUZZ_CHECK(end.done == end.total);
    // The declared sizes add up to the stream compressed.
    const bytes& image = result.container;
    MTHC_FUZZ_CHECK(image.size() > 4 && image[4] == result.block_count);
    std::size_t declared = 0;
    std::size_t at = 5;
    for (std::size_t b = 0; b < result.block_count; ++b) {
      MTHC_FUZZ_CHECK(image.size() - at >= 4);
      declared += read_be16(image.data() + at);
      at += 4 + static_cast<std::size_t>(read_be16(image.data() + at + 2));
    }
    MTHC_FUZZ_CHECK(at == image.size() && declared == end.total);
  }
  return result;
}

// The strict error for a lenient change.
mthc::pack_error strict_error(midi_change_kind kind) {
  switch (kind) {
    case midi_change_kind::riff_unwrapped:
      return mthc::pack_error::riff_wrapper;
    case midi_change_kind::header_bytes_dropped:
      return mthc::pack_error::header_length;
    case midi_change_kind::chunk_dropped:
      return mthc::pack_error::foreign_chunk;
    case midi_change_kind::trailing_bytes_ignored:
      return mthc::pack_error::trailing_bytes;
    case midi_change_kind::track_count_corrected:
      return mthc::pack_error::track_count_mismatch;
    case midi_change_kind::end_of_track_added:
      return mthc::pack_error::missing_end_of_track;
    case midi_change_kind::bytes_after_end_of_track_dropped:
      return mthc::pack_error::bytes_after_end_of_track;
    case midi_change_kind::end_of_track_completed:
      return mthc::pack_error::end_of_track_cut_short;
    case midi_change_kind::partial_event_dropped:
      return mthc::pack_error::event_cut_short;
    case midi_change_kind::track_cut_by_end_of_file:
      return mthc::pack_error::track_cut_by_end_of_file;
  }
  return mthc::pack_error::none;
}

// What strict packing must say of a file that lenient packing packed (or
// read, then failed to lay out): the error for the first change, an empty
// track, the format, an unreadable track, in that order; none when there is
// nothing of these.
mthc::pack_error strict_refusal(const mthc::pack_result& lenient) {
  if (!lenient.changes.empty()) return strict_error(lenient.changes.front().kind);
  if (!lenient.empty_tracks.empty()) return mthc::pack_error::empty_track;
  if (lenient.unknown_format) return mthc::pack_error::unknown_format;
  if (lenient.unreadable_track) return mthc::pack_error::track_unreadable;
  return mthc::pack_error::none;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > k_max_input) return 0;
  const bool strict = (data[0] & 1) != 0;
  const auto level = (data[0] & 0x1E) == 0 ? mthc::encode_level::best : mthc::encode_level::fast;
  const span file(data + 1, size - 1);

  const mthc::pack_result packed = pack_in_steps(file, {level, strict});
  MTHC_FUZZ_CHECK(packed.error != mthc::pack_error::out_of_memory);
  if (strict) MTHC_FUZZ_CHECK(packed.changes.empty());
  if (packed.error != mthc::pack_error::none) {
    MTHC_FUZZ_CHECK(packed.container.empty());
  } else {
    const mthc::conversion_result back = mthc::convert_to_midi(packed.container);
    MTHC_FUZZ_CHECK(back.error == mthc::conversion_error::none);
    const std::optional<std::size_t> unreadable = check_back(file, packed, back.midi_file.used());
    MTHC_FUZZ_CHECK(unreadable.has_value() == packed.unreadable_track.has_value());
    if (unreadable) MTHC_FUZZ_CHECK(packed.unreadable_track->track == *unreadable);
    const std::uint16_t format = read_be16(back.midi_file.used().data() + k_midi_format_offset);
    MTHC_FUZZ_CHECK(packed.unknown_format.has_value() == (format > 2));

    // What a check of the container says: sound, but for what packing named.
    const mthc::unpack_result unpacked = mthc::unpack_container(packed.container);
    if (packed.unknown_format) {
      MTHC_FUZZ_CHECK(unpacked.error == mthc::unpack_error::midi_header_unreadable);
    } else if (packed.unreadable_track) {
      MTHC_FUZZ_CHECK(unpacked.error == mthc::unpack_error::track_unreadable);
      MTHC_FUZZ_CHECK(unpacked.track.track == packed.unreadable_track->track);
    } else {
      MTHC_FUZZ_CHECK(unpacked.error == mthc::unpack_error::none);
      MTHC_FUZZ_CHECK(same(unpacked.midi_file.used(), back.midi_file.used()));
    }
    if (unpacked.error != mthc::unpack_error::none) {
      const mthc::unpack_result as_is = mthc::unpack_container(packed.container, {true});
      MTHC_FUZZ_CHECK(as_is.error == mthc::unpack_error::none);
      MTHC_FUZZ_CHECK(same(as_is.midi_file.used(), back.midi_file.used()));
    }
    // With strict, the file comes back from unpacking byte for byte.
    if (strict) MTHC_FUZZ_CHECK(same(unpacked.midi_file.used(), file));
  }

  if (strict && level == mthc::encode_level::fast) {
    const mthc::pack_result lenient = mthc::pack_midi(file, {level, false});
    const mthc::pack_error refusal = strict_refusal(lenient);
    if (packed.error == mthc::pack_error::none) {
      MTHC_FUZZ_CHECK(lenient.error == mthc::pack_error::none && refusal == mthc::pack_error::none);
      MTHC_FUZZ_CHECK(lenient.container == packed.container);
    } else if (refusal != mthc::pack_error::none) {
      // The file was read (lenient packing may still have failed to lay it
      // out): strict packing stops at what it would not give back.
      MTHC_FUZZ_CHECK(packed.error == refusal);
      if (!lenient.changes.empty())
        MTHC_FUZZ_CHECK(packed.offset == lenient.changes.front().offset);
    } else {
      MTHC_FUZZ_CHECK(packed.error == lenient.error && packed.offset == lenient.offset &&
                      packed.value == lenient.value);
    }
  }
  return 0;
}
