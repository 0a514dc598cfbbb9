// Writes the seed corpora of the fuzz targets, made by code so that nothing
// binary is checked in and the seeds follow the format as the test builders
// know it.
//
//   make_fuzz_seeds <directory>
//
// creates <directory>/decode_block/ (two room bytes, then packed bytes),
// <directory>/convert_to_midi/ (whole container images),
// <directory>/track_reader/ (the data of single MIDI tracks) and
// <directory>/pack_midi/ (an option byte, then a MIDI file) and
// <directory>/encode_block/ (a header of settings, then raw bytes).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mthc/encode_block.hpp>
#include <mthc/pack_midi.hpp>
#include <string>
#include <vector>

#include "bit_writer.hpp"
#include "container_builder.hpp"
#include "generated_data.hpp"
#include "midi_variants.hpp"

namespace {

using mthc::test::bytes;
namespace fs = std::filesystem;

bool write_file(const fs::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

// ---- decode_block seeds ---------------------------------------------------

bytes with_room(std::uint16_t room, const bytes& packed) {
  bytes out;
  mthc::test::append_be16(out, room);
  mthc::test::append(out, packed);
  return out;
}

struct named {
  std::string name;
  bytes data;
};

std::vector<named> packed_streams() {
  using mthc::test::bit_writer;
  std::vector<named> out;
  out.push_back({"three_bytes_from_one", {0x94, 0x41}});
  out.push_back({"eight_literals", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8}});
  out.push_back(
      {"literal_block_midi", mthc::test::literal_block(mthc::test::midi_like_bytes(1, 300))});

  {  // Overlapping short-distance matches, the repeated distance and a long length.
    bit_writer w;
    w.literals(bytes{'a', 'b', 'c'});
    w.match(3, 30);
    w.match(3, 4);
    w.literal('d');
    w.match(1, 700);
    w.match(2, 2);
    w.end_marker();
    out.push_back({"short_matches_end_marker", w.bytes});
  }
  {  // Distances past 0xD00 copy one byte more for the same length code.
    bit_writer w;
    w.literals(mthc::test::random_bytes(7, 4000));
    w.match(3500, 3);
    w.match(3500, 40);
    w.match(0xD00, 2);
    w.match(1, 9);
    w.end_marker();
    out.push_back({"long_distances", w.bytes});
  }
  {  // Repeats of generated MIDI data, as an encoder would find them.
    const bytes data = mthc::test::midi_like_bytes(3, 512);
    bit_writer w;
    w.literals(data);
    for (std::uint32_t distance : {512U, 256U, 100U, 512U, 17U})
      w.match(distance, 200);
    w.end_marker();
    out.push_back({"midi_repeats", w.bytes});
  }
  {  // A match whose length runs far beyond any room.
    bit_writer w;
    w.literal(0x5A);
    w.match(1, 0xFFFFFF00U);
    out.push_back({"room_filling_match", w.bytes});
  }
  {  // A distance beyond the output so far: nothing is copied, decoding goes on.
    bit_writer w;
    w.literals(bytes{1, 2});
    w.match(40, 5);
    w.literal(3);
    w.match(2, 3);
    w.end_marker();
    out.push_back({"distance_beyond_output", w.bytes});
  }
  {  // The largest gamma values: 32-bit wrap of distances and lengths.
    bit_writer w;
    w.literal(1);
    w.flag(0);
    w.gamma(0xFFFFFFFFU);
    w.byte(0xFF);
    w.flag(0);
    w.flag(0);
    w.gamma(0xFFFFFFFFU);
    w.literal(2);
    out.push_back({"maximal_gammas", w.bytes});
  }
  // Blocks from the encoder, at both levels: the streams real containers hold.
  const std::vector<named> data = {
      {"encoded_midi_2k", mthc::test::midi_like_bytes(11, 2000)},
      {"encoded_midi_full", mthc::test::midi_like_bytes(12, mthc::k_max_block_size)},
      {"encoded_repetitive", mthc::test::repetitive_bytes(13, 6000)},
      {"encoded_random", mthc::test::random_bytes(14, 1500)},
  };
  for (const named& d : data) {
    out.push_back({d.name + "_best", mthc::encode_block(d.data, mthc::encode_level::best).packed});
    out.push_back({d.name + "_fast", mthc::encode_block(d.data, mthc::encode_level::fast).packed});
  }
  return out;
}

bool write_decode_seeds(const fs::path& dir) {
  const std::vector<named> streams = packed_streams();
  for (const named& s : streams) {
    for (const std::uint16_t room : {std::uint16_t{0}, std::uint16_t{5}, std::uint16_t{64},
                                     std::uint16_t{4096}, std::uint16_t{0xFFFF}}) {
      const std::string name = s.name + "_room" + std::to_string(room) + ".bin";
      if (!write_file(dir / name, with_room(room, s.data))) return false;
    }
    // Cut short in the middle of its codes.
    for (const std::size_t keep : {s.data.size() / 2, s.data.size() - 1}) {
      if (keep == 0 || keep >= s.data.size()) continue;
      const bytes cut(s.data.begin(), s.data.begin() + static_cast<std::ptrdiff_t>(keep));
      const std::string name = s.name + "_cut" + std::to_string(keep) + ".bin";
      if (!write_file(dir / name, with_room(0xFFFF, cut))) return false;
    }
  }
  return true;
}

// ---- convert_to_midi seeds ------------------------------------------------

// Cuts every track into pieces of at most `piece` bytes, one piece per track
// per block.
std::vector<std::vector<bytes>> split_tracks(const std::vector<bytes>& tracks, std::size_t piece) {
  std::vector<std::vector<bytes>> blocks;
  for (std::size_t offset = 0;; offset += piece) {
    std::vector<bytes> records;
    bool any = false;
    for (const bytes& track : tracks) {
      const std::size_t begin = std::min(offset, track.size());
      const std::size_t end = std::min(offset + piece, track.size());
      records.emplace_back(track.begin() + static_cast<std::ptrdiff_t>(begin),
                           track.begin() + static_cast<std::ptrdiff_t>(end));
      any = any || end > begin;
    }
    if (!any) break;
    blocks.push_back(records);
  }
  return blocks;
}

// One block holding `stream`, packed as literals then a match that repeats
// the last `period` bytes `repeat` times over: a small block that decodes to
// far more than it stores.
bytes compressed_block(const bytes& stream_start, std::uint32_t period, std::uint32_t repeat) {
  mthc::test::bit_writer w;
  w.literals(stream_start);
  w.match(period, repeat);
  w.end_marker();
  return w.bytes;
}

std::vector<named> containers() {
  using mthc::test::stored_block;
  std::vector<named> out;
  out.push_back(
      {"worked_example",
       mthc::test::from_hex("4d 54 68 63 01 00 24 00 29 ff 4d 54 68 70 00 00 00 06 ff 00 01 "
                            "00 02 00 60 00 00 ff 00 00 02 00 00 0c 00 90 ff 3c 40 60 80 "
                            "3c 00 00 ff f0 2f 00 00 00")});
  {
    bytes stream = mthc::test::stream_header(1, 2, 96);
    mthc::test::append(stream, bytes{0, 0});
    out.push_back({"two_tracks_no_records", mthc::test::build_container(std::vector<stored_block>{
                                                {static_cast<std::uint16_t>(stream.size()),
                                                 mthc::test::literal_block(stream)}})});
  }
  out.push_back({"zero_tracks", mthc::test::container_from_records(
                                    0, 0, 96, std::vector<std::vector<bytes>>{{bytes{1, 2}}})});
  for (const unsigned track_count : {1U, 3U, 9U}) {
    const auto tracks = mthc::test::midi_song(track_count, track_count, 6);
    out.push_back({"song_" + std::to_string(track_count) + "_tracks",
                   mthc::test::container_from_records(1, static_cast<std::uint16_t>(track_count),
                                                      480, split_tracks(tracks, 300))});
  }
  {  // A block of real back-references: one track of a repeated bar.
    const bytes bar = mthc::test::midi_track(5, 0, 1);
    bytes stream = mthc::test::stream_header(0, 1, 96);
    mthc::test::append(stream, bytes{0, 0, 1, 0});
    const auto total = static_cast<std::uint32_t>(std::min<std::size_t>(bar.size() * 40, 60000));
    mthc::test::append_be16(stream, total);
    const std::size_t header = stream.size();
    mthc::test::append(stream, bar);
    const auto declared = static_cast<std::uint16_t>(header + total);
    out.push_back(
        {"compressed_repeats",
         mthc::test::build_container(std::vector<stored_block>{
             {declared, compressed_block(stream, static_cast<std::uint32_t>(bar.size()),
                                         total - static_cast<std::uint32_t>(bar.size()))}})});
  }
  {  // A declared size of 0 after the first block: the next blocks start at
     // the same place and read the same records again.
    bytes first = mthc::test::stream_header(1, 2, 96);
    mthc::test::append(first, mthc::test::record_area(std::vector<bytes>{{0x90, 0x3C, 0x40}, {}}));
    const bytes again = mthc::test::record_area(std::vector<bytes>{{0, 0xFF, 0x2F, 0}, {1, 2}});
    std::vector<stored_block> blocks = {
        {static_cast<std::uint16_t>(first.size()), mthc::test::literal_block(first)},
        {0, mthc::test::literal_block(again)}};
    for (int i = 0; i < 6; ++i)
      blocks.push_back({0, {}});
    out.push_back({"zero_declared_sizes", mthc::test::build_container(blocks)});
  }
  {  // Blocks that produce more than they declare, doubling the stream.
    std::vector<stored_block> blocks;
    bytes first = mthc::test::stream_header(1, 1, 96);
    mthc::test::append(first, bytes{0, 0, 1, 0, 0, 4, 0, 0xFF, 0x2F, 0});
    blocks.push_back({static_cast<std::uint16_t>(first.size()), mthc::test::literal_block(first)});
    for (int i = 0; i < 3; ++i) {
      mthc::test::bit_writer w;
      w.literal(0);
      w.match(1, 0x30000);
      blocks.push_back({0xFFFF, w.bytes});
    }
    out.push_back({"overproducing_blocks", mthc::test::build_container(blocks)});
  }
  {  // More blocks declared than present, the last one cut off.
    bytes image = mthc::test::container_from_records(
        1, 2, 96, split_tracks(mthc::test::midi_song(11, 2, 2), 100));
    image[4] = static_cast<std::uint8_t>(image[4] + 3);
    image.resize(image.size() - 5);
    out.push_back({"missing_blocks", image});
  }
  // Containers from the packer, with real compressed blocks: a small song,
  // one with many tracks, and one large enough for several blocks.
  struct song {
    const char* name;
    unsigned tracks;
    unsigned bars;
  };
  for (const song& sg : {song{"packed_song_2_tracks", 2, 8}, song{"packed_song_16_tracks", 16, 4},
                         song{"packed_song_multi_block", 6, 400}}) {
    const auto tracks = mthc::test::midi_song(sg.tracks * 7 + sg.bars, sg.tracks, sg.bars);
    const bytes smf = mthc::test::midi_file(1, 480, tracks);
    for (const mthc::encode_level level : {mthc::encode_level::best, mthc::encode_level::fast}) {
      const mthc::pack_result packed = mthc::pack_midi(smf, {level});
      if (packed.error != mthc::pack_error::none) continue;
      out.push_back({std::string(sg.name) + (level == mthc::encode_level::best ? "_best" : "_fast"),
                     packed.container});
    }
  }
  return out;
}

bool write_container_seeds(const fs::path& dir) {
  for (const named& c : containers()) {
    if (!write_file(dir / (c.name + ".mthc"), c.data)) return false;
  }
  return true;
}

// ---- track_reader seeds ---------------------------------------------------

std::vector<named> midi_tracks() {
  std::vector<named> out;
  // Generated tracks: the tempo track and instrument tracks of a few songs,
  // one long enough for the reader's quick path to run for a while.
  for (const unsigned bars : {1U, 4U, 30U}) {
    const auto song = mthc::test::midi_song(bars, 3, bars);
    for (std::size_t t = 0; t < song.size(); ++t)
      out.push_back({"song_" + std::to_string(bars) + "_bars_track_" + std::to_string(t), song[t]});
  }
  // Every kind of event, and the rules the reader bends: running status
  // across SysEx, meta and system messages, 4-byte numbers.
  out.push_back({"every_kind", mthc::test::from_hex("00 ff 03 04 73 6f 6e 67 00 ff 51 03 07 a1 20"
                                                    "00 c0 05 00 90 3c 40 81 00 3c 00 00 f0 03 7e"
                                                    "7f f7 00 3e 40 00 f8 00 f2 01 02 00 f1 05 00"
                                                    "f3 01 00 f6 00 3e 00 00 f7 02 f8 fa 00 d0 40"
                                                    "ff ff ff 7f ff 2f 00")});
  // One fault each.
  const std::vector<named> faults = {
      {"empty", {}},
      {"no_end_of_track", mthc::test::from_hex("00 90 3c 40 10 3c 00")},
      {"bytes_after_end", mthc::test::from_hex("00 ff 2f 00 00 90 3c 40")},
      {"delta_too_long", mthc::test::from_hex("00 90 3c 40 80 80 80 80 00 3c 00 00 ff 2f 00")},
      {"length_too_long", mthc::test::from_hex("00 ff 01 80 80 80 80 01 41 00 ff 2f 00")},
      {"data_byte_high_bit", mthc::test::from_hex("00 90 3c 40 00 90 3c 80 00 ff 2f 00")},
      {"no_running_status", mthc::test::from_hex("00 ff 01 00 00 3c 40 00 ff 2f 00")},
      {"undefined_status", mthc::test::from_hex("00 90 3c 40 00 f4 00 ff 2f 00")},
      {"payload_past_end", mthc::test::from_hex("00 f0 ff ff ff 7f 00")},
      {"end_of_track_cut_short", mthc::test::from_hex("00 90 3c 40 83 60 ff 2f")},
      {"port_prefix_without_data", mthc::test::from_hex("00 ff 21 00 00 ff 2f 00")},
  };
  out.insert(out.end(), faults.begin(), faults.end());
  // A generated track cut in the middle of an event, and one with bytes
  // after its end.
  bytes cut = mthc::test::midi_track(3, 2, 2);
  cut.resize(cut.size() / 2 + 1);
  out.push_back({"cut_in_half", cut});
  bytes trailing = mthc::test::midi_track(4, 5, 2);
  mthc::test::append(trailing, bytes{0x00, 0x00});
  out.push_back({"trailing_bytes", trailing});
  return out;
}

bool write_track_seeds(const fs::path& dir) {
  for (const named& t : midi_tracks()) {
    if (!write_file(dir / (t.name + ".trk"), t.data)) return false;
  }
  return true;
}

// ---- pack_midi seeds -------------------------------------------------------

// MIDI files: generated songs, each real-world variant of one, and small
// hostile files.
std::vector<named> midi_files() {
  using mthc::test::from_hex;
  std::vector<named> out;
  const auto tracks = mthc::test::midi_song(31, 3, 3);
  const bytes song = mthc::test::midi_file(1, 96, tracks);
  out.push_back({"song", song});
  out.push_back({"song_9_tracks", mthc::test::midi_file(0, 480, mthc::test::midi_song(32, 9, 2))});
  out.push_back({"empty_tracks", mthc::test::midi_file(1, 96, std::vector<bytes>{{}, {1}, {}})});
  out.push_back({"no_tracks", mthc::test::midi_file(1, 96, std::vector<bytes>{})});
  for (const mthc::test::midi_variant& v : mthc::test::real_world_variants(tracks)) {
    std::string name = v.name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return std::isalnum(c) == 0; }, '_');
    out.push_back({name, v.file});
  }
  out.push_back({"empty", {}});
  out.push_back({"header_only", from_hex("4d546864 00000006")});
  out.push_back({"header_length_0", from_hex("4d546864 00000000")});
  out.push_back({"track_cut_short", bytes(song.begin(), song.end() - 1)});
  out.push_back(
      {"huge_track_length", from_hex("4d546864 00000006 0001 0001 0060 4d54726b ffffffff")});
  out.push_back({"riff_without_data", from_hex("52494646 04000000 524d4944 4c495354 ffffff00")});
  {  // 256 tracks, data in the first and last: record counts that need rounding.
    std::vector<bytes> many(256);
    many.front() = {0x00, 0x90, 0x3C, 0x40};
    many.back() = {0x00, 0xFF, 0x2F, 0x00};
    out.push_back({"record_count_rounding", mthc::test::midi_file(1, 96, many)});
  }
  return out;
}

bool write_pack_seeds(const fs::path& dir) {
  // The option byte: bit 0 strict, bits 1 to 4 clear for the best level.
  struct option {
    const char* name;
    std::uint8_t byte;
  };
  const std::vector<option> options = {{"fast", 0x02}, {"fast_strict", 0x03}, {"best", 0x00}};
  for (const named& file : midi_files()) {
    for (const option& o : options) {
      // The best level only for small files: it is slow.
      if (o.byte == 0x00 && file.data.size() > 4096) continue;
      bytes input = {o.byte};
      mthc::test::append(input, file.data);
      if (!write_file(dir / (file.name + "_" + o.name + ".mid"), input)) return false;
    }
  }
  return true;
}

// ---- encode_block seeds ----------------------------------------------------

// The header's option byte (see encode_block_fuzzer.cpp).
std::uint8_t encode_options(bool best, unsigned shape, unsigned scale, bool settings) {
  return static_cast<std::uint8_t>((best ? 1U : 0U) | shape << 1 | scale << 3 |
                                   (settings ? 0x20U : 0U));
}

bytes encode_input(std::uint8_t options, std::uint16_t size, std::uint8_t nice, std::uint8_t depth,
                   const bytes& payload) {
  bytes input = {options};
  mthc::test::append_be16(input, size);
  input.push_back(nice);
  input.push_back(depth);
  mthc::test::append(input, payload);
  return input;
}

bool write_encode_seeds(const fs::path& dir) {
  struct payload {
    const char* name;
    bytes data;
  };
  const std::vector<payload> payloads = {
      {"midi", mthc::test::midi_like_bytes(21, 3000)},
      {"repetitive", mthc::test::repetitive_bytes(22, 2000)},
      {"random", mthc::test::random_bytes(23, 700)},
      {"short", {0x90, 0x3C, 0x40, 0x00, 0x3C, 0x00}},
      {"empty", {}},
  };
  // Each payload as it is at both levels, and as the other shapes at a few
  // sizes; the full block and one byte more only for small payloads, since
  // the best level takes a while over a full block.
  for (const payload& p : payloads) {
    for (const bool best : {false, true}) {
      const std::string level = best ? "_best" : "_fast";
      if (!write_file(dir / (std::string(p.name) + "_as_is" + level + ".bin"),
                      encode_input(encode_options(best, 0, 0, false), 0, 0, 0, p.data)))
        return false;
      for (unsigned shape = 1; shape <= 3; ++shape) {
        for (const unsigned scale : {1U, 2U, 3U}) {
          if (scale == 3 && p.data.size() > 8) continue;
          const auto size = static_cast<std::uint16_t>(scale == 2 ? 20000 : 4000 + shape);
          const std::string name = std::string(p.name) + "_shape" + std::to_string(shape) +
                                   "_scale" + std::to_string(scale) + level + ".bin";
          if (!write_file(dir / name, encode_input(encode_options(best, shape, scale, false), size,
                                                   0, 0, p.data)))
            return false;
        }
      }
    }
  }
  // The best level with other settings: the shortest nice length, a search
  // of one node, the longest nice length with the deepest search.
  struct setting {
    const char* name;
    std::uint8_t nice;
    std::uint8_t depth;
  };
  for (const setting& st : {setting{"nice3_depth1", 0, 0}, setting{"nice16_depth8", 13, 14},
                            setting{"nice258_depth128", 255, 255}}) {
    for (const payload& p : payloads) {
      for (const unsigned shape : {0U, 2U, 3U}) {
        const std::string name =
            std::string(p.name) + "_shape" + std::to_string(shape) + "_" + st.name + ".bin";
        if (!write_file(dir / name, encode_input(encode_options(true, shape, 1, true), 3000,
                                                 st.nice, st.depth, p.data)))
          return false;
      }
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  const fs::path root(argv[1]);
  std::error_code error;
  for (const char* target :
       {"decode_block", "convert_to_midi", "track_reader", "pack_midi", "encode_block"}) {
    fs::remove_all(root / target, error);
    fs::create_directories(root / target, error);
    if (error) {
      std::fprintf(stderr, "cannot create %s\n", (root / target).string().c_str());
      return 1;
    }
  }
  if (!write_decode_seeds(root / "decode_block")) return 1;
  if (!write_container_seeds(root / "convert_to_midi")) return 1;
  if (!write_track_seeds(root / "track_reader")) return 1;
  if (!write_pack_seeds(root / "pack_midi")) return 1;
  if (!write_encode_seeds(root / "encode_block")) return 1;
  return 0;
}
