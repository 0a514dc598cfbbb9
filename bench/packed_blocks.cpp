#include "packed_blocks.hpp"

#include <algorithm>
#include <map>
#include <mthc/decode_block.hpp>
#include <mthc/encode_block.hpp>
#include <new>
#include <string>

#include "generated_data.hpp"

#if MTHC_HAVE_UCL
#include <ucl/ucl.h>
#endif

namespace mthc::bench {

namespace {

const data_set k_data_sets[] = {
    {"midi", test::midi_like_bytes},
    {"repetitive", test::repetitive_bytes},
    {"random", test::random_bytes},
};

std::size_t decode_ours(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out) {
  return decode_block(packed, out);
}

bytes pack_ours(std::span<const std::uint8_t> block) {
  try {
    return encode_block(block, encode_level::best).packed;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

#if MTHC_HAVE_UCL
bool ucl_ready() {
  static const bool ready = ucl_init() == UCL_E_OK;
  return ready;
}

bytes pack_ucl(std::span<const std::uint8_t> block) {
  bytes packed(block.size() + block.size() / 8 + 256);
  ucl_uint packed_size = static_cast<ucl_uint>(packed.size());
  if (!ucl_ready() ||
      ucl_nrv2b_99_compress(block.data(), static_cast<ucl_uint>(block.size()), packed.data(),
                            &packed_size, nullptr, 10, nullptr, nullptr) != UCL_E_OK) {
    return {};
  }
  packed.resize(packed_size);
  return packed;
}

std::size_t decode_ucl_safe(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out) {
  ucl_uint n = static_cast<ucl_uint>(out.size());
  const int r = ucl_nrv2b_decompress_safe_8(packed.data(), static_cast<ucl_uint>(packed.size()),
                                            out.data(), &n, nullptr);
  return r == UCL_E_OK ? n : 0;
}

std::size_t decode_ucl_unchecked(std::span<const std::uint8_t> packed,
                                 std::span<std::uint8_t> out) {
  ucl_uint n = static_cast<ucl_uint>(out.size());
  const int r = ucl_nrv2b_decompress_8(packed.data(), static_cast<ucl_uint>(packed.size()),
                                       out.data(), &n, nullptr);
  return r == UCL_E_OK ? n : 0;
}
#endif

const decoder k_decoders[] = {
    {"mthc", decode_ours, false},
#if MTHC_HAVE_UCL
    {"ucl_safe_8", decode_ucl_safe, true},
    {"ucl_8", decode_ucl_unchecked, true},
#endif
};

}  // namespace

std::span<const data_set> data_sets() {
  return k_data_sets;
}

std::span<const compressor> compressors() {
  static const std::vector<compressor> list = {
    {"mthc_best", pack_ours, false},
#if MTHC_HAVE_UCL
    {"ucl10", pack_ucl, true},
#endif
  };
  return list;
}

std::span<const decoder> decoders() {
  return k_decoders;
}

const char* missing_reference_library() {
#if MTHC_HAVE_UCL
  return "";
#else
  return "libucl-dev not found at configure time: reference compressor and decoders left out";
#endif
}

packed_set pack_set(const data_set& data, const compressor& packer, std::size_t block_count) {
  packed_set set;
  set.original = data.make(block_count, block_count * k_block_size);
  for (std::size_t at = 0; at < set.original.size(); at += k_block_size) {
    const std::size_t n = std::min(k_block_size, set.original.size() - at);
    set.blocks.push_back(packer.pack(std::span(set.original).subspan(at, n)));
    set.packed_size += set.blocks.back().size();
  }
  return set;
}

std::size_t decode_set(const packed_set& set, const decoder& d, std::span<std::uint8_t> out) {
  std::size_t produced = 0;
  for (std::size_t i = 0; i < set.blocks.size(); ++i) {
    const std::size_t at = i * k_block_size;
    const std::size_t room = std::min(k_block_size, set.original.size() - at);
    produced += d.decode(set.blocks[i], out.subspan(at, room));
  }
  return produced;
}

const packed_set& packed_once(const data_set& data, const compressor& packer,
                              std::size_t block_count) {
  static std::map<std::string, packed_set> cache;
  const std::string key = std::string(data.name) + "/" + packer.name;
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, pack_set(data, packer, block_count)).first;
  return it->second;
}

}  // namespace mthc::bench
