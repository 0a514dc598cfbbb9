// The best level's packed sizes on the encoder's test and benchmark data,
// against a table recorded from the encoder as it was before its speed work
// (commit 3cbe38c):
// the total must not grow, and no data set may grow by more than 0.2%.
// A change that makes the best level smaller updates the table.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <mthc/convert_to_midi.hpp>
#include <mthc/decode_block.hpp>
#include <mthc/encode_block.hpp>
#include <mthc/pack_midi.hpp>
#include <sstream>
#include <string>

#include "encoder_data.hpp"
#include "generated_data.hpp"

namespace mthc {
namespace {

using bytes = std::vector<std::uint8_t>;

struct recorded_size {
  const char* name;
  std::size_t packed;
};

// Packed bytes at the best level (the sum over a data set's blocks, or the
// container's size for a MIDI file).
constexpr recorded_size k_recorded[] = {
    {"song 0", 2799},
    {"song 1", 4112},
    {"song 2", 6946},
    {"song 3", 8353},
    {"song 4", 10339},
    {"song 5", 13677},
    {"song 6", 19588},
    {"song 7", 22708},
    {"song 8", 24143},
    {"song 9", 7494},
    {"song 10", 12964},
    {"song 11", 16783},
    {"song 12", 20683},
    {"song 13", 4396},
    {"song 14", 7405},
    {"song 15", 9703},
    {"song 16", 12538},
    {"song 17", 18533},
    {"song 18", 5521},
    {"song 19", 7918},
    {"song 20", 11470},
    {"song 21", 15542},
    {"song 22", 21634},
    {"song 23", 23212},
    {"empty", 0},
    {"one byte", 2},
    {"two equal bytes", 3},
    {"two bytes", 3},
    {"three equal bytes", 2},
    {"run of 1000", 4},
    {"full block of zeros", 6},
    {"random 17", 20},
    {"repetitive 17", 10},
    {"midi-like 17", 18},
    {"random 300", 337},
    {"repetitive 300", 10},
    {"midi-like 300", 203},
    {"random 4000", 4472},
    {"repetitive 4000", 19},
    {"midi-like 4000", 1387},
    {"random 65535", 72913},
    {"repetitive 65535", 294},
    {"midi-like 65535", 19674},
    {"far and repeated far matches", 5691},
    {"midi set", 155767},
    {"repetitive set", 2241},
    {"random set", 583240},
    {"example tune", 375},
    {"example sample", 43},
};

// A size counts only for output that decodes back.
std::size_t packed_blocks(const std::vector<bytes>& blocks) {
  std::size_t total = 0;
  for (const bytes& block : blocks) {
    const encode_result r = encode_block(block, encode_level::best);
    EXPECT_EQ(r.error, encode_error::none);
    bytes decoded(block.size());
    EXPECT_EQ(decode_block(r.packed, decoded), block.size());
    EXPECT_TRUE(decoded == block);
    total += r.packed.size();
  }
  return total;
}

std::size_t packed_midi(std::span<const std::uint8_t> smf) {
  const pack_result r = pack_midi(smf, {encode_level::best, false});
  EXPECT_EQ(r.error, pack_error::none);
  return r.container.size();
}

[[maybe_unused]] bytes read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct measured_size {
  std::string name;
  std::size_t packed;
};

std::vector<measured_size> measure() {
  std::vector<measured_size> sizes;
  for (unsigned song = 0; song < test::k_corpus_songs; ++song) {
    sizes.push_back(
        {"song " + std::to_string(song), packed_blocks(test::corpus_song_blocks(song))});
  }
  for (const test::labelled_data& c : test::block_edge_cases())
    sizes.push_back({c.name, packed_blocks({c.data})});
  for (const test::labelled_data& set : test::block_sets())
    sizes.push_back({set.name, packed_blocks(test::cut_into_blocks(set.data))});
#ifdef MTHC_TUNE_MID
  sizes.push_back({"example tune", packed_midi(read_file(MTHC_TUNE_MID))});
#endif
#ifdef MTHC_SAMPLE_MTHC
  const conversion_result sample = convert_to_midi(read_file(MTHC_SAMPLE_MTHC));
  EXPECT_EQ(sample.error, conversion_error::none);
  sizes.push_back({"example sample", packed_midi(sample.midi_file.used())});
#endif
  return sizes;
}

const recorded_size* recorded(const std::string& name) {
  for (const recorded_size& r : k_recorded) {
    if (name == r.name) return &r;
  }
  return nullptr;
}

TEST(BestLevelSizes, NoLargerThanRecorded) {
  const std::vector<measured_size> sizes = measure();
  std::size_t total = 0;
  std::size_t recorded_total = 0;
  std::string worst;
  double worst_growth = -1.0;
  std::ostringstream table;
  for (const measured_size& m : sizes) {
    table << "    {\"" << m.name << "\", " << m.packed << "},\n";
    const recorded_size* r = recorded(m.name);
    if (r == nullptr) {
      ADD_FAILURE() << m.name << " is not in the table";
      continue;
    }
    total += m.packed;
    recorded_total += r->packed;
    // At most 0.2% larger, in whole bytes.
    EXPECT_LE(m.packed * 1000, r->packed * 1002)
        << m.name << ": " << m.packed << " bytes, recorded " << r->packed;
    const double growth =
        r->packed == 0 ? 0.0
                       : (static_cast<double>(m.packed) / static_cast<double>(r->packed) - 1.0);
    if (growth > worst_growth) {
      worst_growth = growth;
      worst = m.name;
    }
  }
  EXPECT_LE(total, recorded_total);
  std::cout << "best level: " << total << " bytes, recorded " << recorded_total << " ("
            << 100.0 * (static_cast<double>(total) / static_cast<double>(recorded_total) - 1.0)
            << "%); largest change " << worst << " (" << 100.0 * worst_growth << "%)\n";
  if (HasFailure()) std::cout << "Sizes measured now:\n" << table.str();
}

}  // namespace
}  // namespace mthc
