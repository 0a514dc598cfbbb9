#include <cassert>
#include <mthc/pack_midi.hpp>
#include <mthc/track_reader.hpp>
#include <new>
#include <optional>

#include "container/write_container.hpp"
#include "format/format.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/split_tracks.hpp"

namespace mthc {

// The file's tracks, the blocks planned for them, and the container so far.
struct packer_state {
  pack_options options;
  pack_result result;  // the container grows in result.container
  midi_file file;
  midi::track_layout layout;  // views file.tracks
  // Blocks 0 to next - 1 are in the container; the rest are planned.
  std::vector<midi::block_plan> blocks;
  std::size_t next = 0;
  std::size_t done = 0;   // decoded stream bytes in the container
  std::size_t total = 0;  // decoded stream bytes of all blocks, as planned
  bool ended = false;
  std::vector<std::uint8_t> bytes;  // the block being compressed
};

void packer_state_deleter::operator()(packer_state* state) const noexcept {
  delete state;
}

namespace {

// The error that strict packing makes of a change.
pack_error strict_error(midi_change_kind kind) {
  switch (kind) {
    case midi_change_kind::riff_unwrapped:
      return pack_error::riff_wrapper;
    case midi_change_kind::header_bytes_dropped:
      return pack_error::header_length;
    case midi_change_kind::chunk_dropped:
      return pack_error::foreign_chunk;
    case midi_change_kind::trailing_bytes_ignored:
      return pack_error::trailing_bytes;
    case midi_change_kind::track_count_corrected:
      return pack_error::track_count_mismatch;
    case midi_change_kind::end_of_track_added:
      return pack_error::missing_end_of_track;
    case midi_change_kind::bytes_after_end_of_track_dropped:
      return pack_error::bytes_after_end_of_track;
    case midi_change_kind::end_of_track_completed:
      return pack_error::end_of_track_cut_short;
    case midi_change_kind::partial_event_dropped:
      return pack_error::event_cut_short;
    case midi_change_kind::track_cut_by_end_of_file:
      return pack_error::track_cut_by_end_of_file;
  }
  return pack_error::not_midi;
}

// What strict packing refuses, in the order pack_error gives: the first
// change, a track without data, then what unpacking refuses. Returns none
// for a file that comes back as it is.
pack_error strict_refusal(const midi_file& file, pack_result& result) {
  if (!file.changes.empty()) {
    const midi_change& first = file.changes.front();
    result.offset = first.offset;
    result.value = first.value;
    // The error names the header's length, the change the bytes beyond 6.
    if (first.kind == midi_change_kind::header_bytes_dropped)
      result.value += format::k_midi_header_length;
    result.chunk_count = first.chunk_count;
    result.tag = first.tag;
    result.track = first.track;
    return strict_error(first.kind);
  }
  if (!result.empty_tracks.empty()) {
    result.track = result.empty_tracks.front();
    return pack_error::empty_track;
  }
  if (result.unknown_format) {
    result.value = *result.unknown_format;
    return pack_error::unknown_format;
  }
  if (result.unreadable_track) {
    result.track = result.unreadable_track->track;
    return pack_error::track_unreadable;
  }
  return pack_error::none;
}

void fail(packer_state& state, pack_error error) {
  state.result.error = error;
  state.ended = true;
}

void fail_out_of_memory(packer_state& state) noexcept {
  state.result = pack_result{};
  fail(state, pack_error::out_of_memory);
}

void plan_changed(packer_state& state) {
  state.total = 0;
  for (const midi::block_plan& block : state.blocks)
    state.total += block.size;
}

void start(packer_state& state, std::span<const std::uint8_t> smf) {
  pack_result& result = state.result;
  midi_file read = read_midi_file(smf);
  if (read.error != midi_error::none) {
    result.offset = read.offset;
    result.value = read.value;
    result.chunk_count = read.chunk_count;
    if (read.error == midi_error::too_many_tracks) result.value = format::k_max_track_count;
    fail(state, midi::pack_error_of(read.error));
    return;
  }
  state.file = std::move(read);
  const auto& tracks = state.file.tracks;
  result.track_count = tracks.size();
  for (std::size_t h = 0; h < tracks.size(); ++h) {
    if (tracks[h].empty()) result.empty_tracks.push_back(h);
    result.track_data_size += tracks[h].size();
  }
  // Formats 0, 1 and 2 are the ones players read.
  if (state.file.header.format > 2) result.unknown_format = state.file.header.format;
  for (std::size_t h = 0; h < tracks.size() && !result.unreadable_track; ++h) {
    if (tracks[h].empty()) continue;
    const track_check check = check_track(tracks[h]);
    if (check.error != track_error::none) result.unreadable_track = track_fault{h, check};
  }
  if (state.options.strict) {
    const pack_error refused = strict_refusal(state.file, result);
    if (refused != pack_error::none) {
      fail(state, refused);
      return;
    }
  }
  result.changes = std::move(state.file.changes);

  std::size_t track = 0;
  if (midi::make_layout(midi::header_fields_of(state.file.header), tracks, state.layout, track) !=
      midi::split_fault::none) {
    result.value = track;
    fail(state, pack_error::too_many_tracks);
    return;
  }
  // The size limit and the block limit, in that order (the names only look alike).
  // NOLINTNEXTLINE(readability-suspicious-call-argument)
  if (!midi::plan_blocks(state.layout, midi::first_cursor(state.layout), true, k_max_block_size,
                         format::k_max_block_count, state.blocks)) {
    result.value = result.track_data_size;
    fail(state, pack_error::too_much_data);
    return;
  }
  plan_changed(state);
  result.container = container::start_container();
}

container::packed_block pack_planned(packer_state& state, const midi::block_plan& block) {
  midi::build_block(state.layout, block, state.next == 0, state.bytes);
  return container::pack_block(state.bytes, state.options.level);
}

// The next block's packed bytes do not fit their 16-bit size (its data hardly
// compress). That block alone is made smaller, as large as still fits, and
// the rest is planned again behind it, balanced, within the blocks that
// remain. k_always_fitting_block_size fits whatever the block holds, unless
// the records that its first data need leave no room for data at that size
// (data of a track past about the 29,100th): then the largest size that fits
// is searched for, compressing each size tried. Such a block begins with the
// empty records of every track before its data, which compress to a few
// bytes, and has room for at most 7287 bytes beside them, so it hardly ever
// fails to fit in the first place. Returns the packed bytes of the smaller
// block, or none when the rest does not fit the blocks that remain (or with
// the encoder's internal error).
container::packed_block make_block_fit(packer_state& state) {
  const midi::block_plan failed = state.blocks[state.next];
  const bool first = state.next == 0;
  std::optional<midi::block_plan> chosen;
  std::optional<std::vector<std::uint8_t>> packed;
  const midi::block_plan always_fitting =
      midi::fill_block(state.layout, failed.begin, first, container::k_always_fitting_block_size);
  if (always_fitting.end != always_fitting.begin) {
    container::packed_block fitting = pack_planned(state, always_fitting);
    if (fitting.error != encode_error::none) return fitting;
    packed = std::move(fitting.packed);
    chosen = always_fitting;
  } else {
    // Limits up to `low` take no data or fit; `high` does not fit.
    std::size_t low = container::k_always_fitting_block_size;
    std::size_t high = failed.size;
    while (high - low > 1) {
      const std::size_t middle = low + (high - low) / 2;
      const midi::block_plan trial = midi::fill_block(state.layout, failed.begin, first, middle);
      if (trial.end != trial.begin) {
        container::packed_block trial_packed = pack_planned(state, trial);
        if (trial_packed.error != encode_error::none) return trial_packed;
        if (!trial_packed.packed) {
          high = middle;
          continue;
        }
        packed = std::move(trial_packed.packed);
        chosen = trial;
      }
      low = middle;
    }
  }
  if (!packed || !chosen) return {};

  std::vector<midi::block_plan> rest;
  if (!midi::plan_blocks(state.layout, chosen->end, false, k_max_block_size,
                         format::k_max_block_count - state.next - 1, rest))
    return {};
  state.blocks.resize(state.next);
  state.blocks.push_back(*chosen);
  state.blocks.insert(state.blocks.end(), rest.begin(), rest.end());
  plan_changed(state);
  return {encode_error::none, std::move(packed)};
}

void pack_next_block(packer_state& state) {
  container::packed_block block = pack_planned(state, state.blocks[state.next]);
  if (block.error == encode_error::none && !block.packed) block = make_block_fit(state);
  if (block.error != encode_error::none) {
    fail(state, pack_error::internal_error);
    return;
  }
  if (!block.packed) {
    state.result.value = state.result.track_data_size;
    fail(state, pack_error::too_much_data);
    return;
  }
  const std::size_t size = state.blocks[state.next].size;
  container::append_block(state.result.container, size, *block.packed);
  state.done += size;
  ++state.next;
  if (state.next == state.blocks.size()) {
    state.result.block_count = state.blocks.size();
    // Block 0 starts with four literals behind its first flag byte, so the
    // stream's "MThp" tag shows at container offset 10, where readers of the
    // container header look for it.
    assert(
        format::has_tag(state.result.container, format::k_stream_tag_offset, format::k_stream_tag));
    state.ended = true;
  }
}

}  // namespace

packer start_packing(std::span<const std::uint8_t> smf, const pack_options& options) noexcept {
  packer job;
  try {
    job.reset(new packer_state());
    job->options = options;
    start(*job, smf);
  } catch (const std::bad_alloc&) {
    if (job) fail_out_of_memory(*job);
  }
  return job;
}

// The packer is changed through its pointer; taking it as const would tell
// the caller otherwise (cppcheck sees only that the pointer stays).
// cppcheck-suppress constParameter
bool continue_packing(packer& job) noexcept {
  if (!job || job->ended) return false;
  try {
    pack_next_block(*job);
  } catch (const std::bad_alloc&) {
    fail_out_of_memory(*job);
  }
  return !job->ended;
}

pack_progress packing_progress(const packer& job) noexcept {
  if (!job) return {};
  return {job->done, job->total};
}

pack_result finish_packing(packer job) noexcept {
  pack_result result;
  if (!job) {
    result.error = pack_error::out_of_memory;
    return result;
  }
  while (continue_packing(job)) {
  }
  result = std::move(job->result);
  if (result.error != pack_error::none) result.container.clear();
  return result;
}

pack_result pack_midi(std::span<const std::uint8_t> smf, const pack_options& options) noexcept {
  return finish_packing(start_packing(smf, options));
}

}  // namespace mthc
