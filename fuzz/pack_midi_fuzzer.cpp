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
// - a packed file converts back to the file that the announced changes
//   make of the input, rebuilt here from the input's own chunks: "MThd" of
//   length 6 with the corrected track count, then every "MTrk" chunk in
//   order, an empty one as 00 FF 2F 00, and nothing else. Every change must
//   match the bytes at its offset, and every chunk not announced must be a
//   whole "MTrk" chunk;
// - with strict there are no changes, so the input comes back byte for byte
//   (empty tracks aside); and strict agrees with lenient packing: it packs
//   exactly the files that lenient packing packs unchanged, into the same
//   container, and otherwise fails as lenient packing does or with the error
//   for its first change.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mthc/convert_to_midi.hpp>
#include <mthc/pack_midi.hpp>
#include <span>
#include <vector>

#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace mthc::format;
using bytes = std::vector<std::uint8_t>;
using mthc::midi_change;
using mthc::midi_change_kind;

constexpr std::size_t k_max_input = 64 * 1024;

bool printable_tag(std::span<const std::uint8_t> smf, std::size_t at) {
  return std::all_of(smf.begin() + static_cast<std::ptrdiff_t>(at),
                     smf.begin() + static_cast<std::ptrdiff_t>(at + 4),
                     [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

void append_be(bytes& out, std::uint32_t value, int size) {
  for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The file that converting the container must give: the input with exactly
// `changes` applied. Each change is checked against the input as it goes.
bytes apply_changes(std::span<const std::uint8_t> input, const std::vector<midi_change>& changes) {
  std::size_t next = 0;
  // The next change, when it is of this kind (and at this offset).
  const auto take = [&](midi_change_kind kind,
                        std::size_t offset = SIZE_MAX) -> const midi_change* {
    if (next == changes.size() || changes[next].kind != kind) return nullptr;
    if (offset != SIZE_MAX && changes[next].offset != offset) return nullptr;
    return &changes[next++];
  };

  std::span<const std::uint8_t> smf = input;
  std::size_t base = 0;
  if (const midi_change* riff = take(midi_change_kind::riff_unwrapped)) {
    MTHC_FUZZ_CHECK(has_tag(input, 0, k_riff_tag) && has_tag(input, 8, k_rmid_form_tag));
    MTHC_FUZZ_CHECK(riff->offset >= 20 && riff->offset <= input.size());
    MTHC_FUZZ_CHECK(has_tag(input, riff->offset - 8, k_riff_data_tag));
    const std::size_t declared = read_le32(input.data() + riff->offset - 4);
    MTHC_FUZZ_CHECK(riff->value == std::min(declared, input.size() - riff->offset));
    base = riff->offset;
    smf = input.subspan(base, riff->value);
  } else {
    MTHC_FUZZ_CHECK(!has_tag(input, 0, k_riff_tag));
  }
  MTHC_FUZZ_CHECK(smf.size() >= k_midi_header_size && has_tag(smf, 0, k_midi_header_tag));
  const std::size_t header_length = read_be32(smf.data() + 4);
  const std::size_t declared = read_be16(smf.data() + k_midi_track_count_offset);
  std::size_t track_count = declared;
  if (const midi_change* count = take(midi_change_kind::track_count_corrected)) {
    MTHC_FUZZ_CHECK(count->offset == base + k_midi_track_count_offset);
    MTHC_FUZZ_CHECK(count->value == declared && count->chunk_count != declared);
    track_count = count->chunk_count;
  }
  if (const midi_change* header = take(midi_change_kind::header_bytes_dropped)) {
    MTHC_FUZZ_CHECK(header->offset == base + k_midi_header_size);
    MTHC_FUZZ_CHECK(header->value > 0 && header_length == 6 + header->value);
  } else {
    MTHC_FUZZ_CHECK(header_length == 6);
  }
  MTHC_FUZZ_CHECK(header_length <= smf.size() - 8);

  bytes out(smf.begin(), smf.begin() + 4);
  append_be(out, 6, 4);
  out.insert(out.end(), smf.begin() + 8, smf.begin() + 10);  // format
  append_be(out, static_cast<std::uint32_t>(track_count), 2);
  out.insert(out.end(), smf.begin() + 12, smf.begin() + 14);  // division
  std::size_t tracks = 0;
  std::size_t at = 8 + header_length;
  while (at < smf.size()) {
    const std::size_t left = smf.size() - at;
    const std::size_t length = left >= 8 ? read_be32(smf.data() + at + 4) : 0;
    const bool whole = left >= 8 && length <= left - 8;
    if (const midi_change* dropped = take(midi_change_kind::chunk_dropped, base + at)) {
      MTHC_FUZZ_CHECK(whole && printable_tag(smf, at));
      MTHC_FUZZ_CHECK(!has_tag(smf, at, k_track_tag) && dropped->value == length);
      MTHC_FUZZ_CHECK(std::memcmp(dropped->tag.data(), smf.data() + at, 4) == 0);
      at += 8 + length;
      continue;
    }
    if (const midi_change* trailing = take(midi_change_kind::trailing_bytes_ignored, base + at)) {
      MTHC_FUZZ_CHECK(trailing->value == left);
      // Not a chunk: too short, no tag, or a foreign chunk past the end.
      MTHC_FUZZ_CHECK(left < 8 || !printable_tag(smf, at) ||
                      (!whole && !has_tag(smf, at, k_track_tag)));
      at = smf.size();
      break;
    }
    MTHC_FUZZ_CHECK(whole && has_tag(smf, at, k_track_tag));
    out.insert(out.end(), k_track_tag.begin(), k_track_tag.end());
    if (length == 0) {
      append_be(out, k_end_of_track_event.size(), 4);
      out.insert(out.end(), k_end_of_track_event.begin(), k_end_of_track_event.end());
    } else {
      out.insert(out.end(), smf.begin() + static_cast<std::ptrdiff_t>(at + 4),
                 smf.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    }
    ++tracks;
    at += 8 + length;
  }
  MTHC_FUZZ_CHECK(next == changes.size());
  MTHC_FUZZ_CHECK(tracks == track_count);
  return out;
}

// Packs a block at a time, checking the progress reported.
mthc::pack_result pack_in_steps(std::span<const std::uint8_t> file,
                                const mthc::pack_options& options) {
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
  }
  return mthc::pack_error::none;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > k_max_input) return 0;
  const bool strict = (data[0] & 1) != 0;
  const auto level = (data[0] & 0x1E) == 0 ? mthc::encode_level::best : mthc::encode_level::fast;
  const std::span<const std::uint8_t> file(data + 1, size - 1);

  const mthc::pack_result packed = pack_in_steps(file, {level, strict});
  MTHC_FUZZ_CHECK(packed.error != mthc::pack_error::out_of_memory);
  if (strict) MTHC_FUZZ_CHECK(packed.changes.empty());
  if (packed.error != mthc::pack_error::none) {
    MTHC_FUZZ_CHECK(packed.container.empty());
  } else {
    const bytes expected = apply_changes(file, packed.changes);
    const mthc::conversion_result back = mthc::convert_to_midi(packed.container);
    MTHC_FUZZ_CHECK(back.error == mthc::conversion_error::none);
    const auto used = back.midi_file.used();
    MTHC_FUZZ_CHECK(std::equal(used.begin(), used.end(), expected.begin(), expected.end()));
  }

  if (strict && level == mthc::encode_level::fast) {
    const mthc::pack_result lenient = mthc::pack_midi(file, {level, false});
    if (packed.error == mthc::pack_error::none) {
      MTHC_FUZZ_CHECK(lenient.error == mthc::pack_error::none && lenient.changes.empty());
      MTHC_FUZZ_CHECK(lenient.container == packed.container);
    } else if (!lenient.changes.empty()) {
      // The file was read with changes (lenient packing may still have
      // failed to lay it out): strict packing stops at the first.
      const midi_change& first = lenient.changes.front();
      MTHC_FUZZ_CHECK(packed.error == strict_error(first.kind) && packed.offset == first.offset);
    } else {
      MTHC_FUZZ_CHECK(packed.error == lenient.error && packed.offset == lenient.offset &&
                      packed.value == lenient.value);
    }
  }
  return 0;
}
