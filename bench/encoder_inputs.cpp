#include "encoder_inputs.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mthc/convert_to_midi.hpp>
#include <mthc/decode_block.hpp>
#include <mthc/encode_block.hpp>

#include "encoder_data.hpp"

#if MTHC_HAVE_UCL
#include <ucl/ucl.h>
#endif

namespace mthc::bench {

namespace {

using bytes = std::vector<std::uint8_t>;

bytes read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::abort();
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void append(block_list& to, block_list from) {
  for (bytes& b : from)
    to.push_back(std::move(b));
}

block_list song_corpus() {
  block_list blocks;
  for (unsigned song = 0; song < test::k_corpus_songs; ++song)
    append(blocks, test::corpus_song_blocks(song));
  return blocks;
}

block_list example_data() {
  block_list blocks = test::midi_file_blocks(read_file(MTHC_TUNE_MID));
  const conversion_result sample = convert_to_midi(read_file(MTHC_SAMPLE_MTHC));
  if (sample.error != conversion_error::none) std::abort();
  append(blocks, test::midi_file_blocks(sample.midi_file.used()));
  return blocks;
}

template <encode_level level>
bool pack_ours(std::span<const std::uint8_t> block, bytes& out) {
  encode_result r = encode_block(block, level);
  out = std::move(r.packed);
  return r.error == encode_error::none;
}

#if MTHC_HAVE_UCL
bool pack_ucl10(std::span<const std::uint8_t> block, bytes& out) {
  static const bool ready = ucl_init() == UCL_E_OK;
  out.resize(block.size() + block.size() / 8 + 256);
  auto size = static_cast<ucl_uint>(out.size());
  if (!ready || ucl_nrv2b_99_compress(block.data(), static_cast<ucl_uint>(block.size()), out.data(),
                                      &size, nullptr, 10, nullptr, nullptr) != UCL_E_OK) {
    return false;
  }
  out.resize(size);
  return true;
}
#endif

const encoder k_encoders[] = {
    {"best", pack_ours<encode_level::best>},
    {"fast", pack_ours<encode_level::fast>},
#if MTHC_HAVE_UCL
    {"ucl10", pack_ucl10},
#endif
};

}  // namespace

std::span<const encoder_input> encoder_inputs() {
  static const std::vector<encoder_input> inputs = [] {
    std::vector<encoder_input> all;
    all.push_back({"songs", song_corpus()});
    all.push_back({"example", example_data()});
    for (const test::labelled_data& set : test::block_sets())
      all.push_back({set.name, test::cut_into_blocks(set.data)});
    return all;
  }();
  return inputs;
}

std::span<const encoder> encoders() {
  return k_encoders;
}

bool decodes_back(const block_list& blocks, const block_list& packed) {
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    bytes out(blocks[i].size() + 4096);
    const std::size_t n = decode_block(packed[i], out);
    if (n != blocks[i].size() || !std::equal(blocks[i].begin(), blocks[i].end(), out.begin()))
      return false;
  }
  return true;
}

}  // namespace mthc::bench
