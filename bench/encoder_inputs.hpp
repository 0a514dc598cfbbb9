// The encoder benchmarks' labelled inputs and the coders they compare, shared
// by the benchmark and its instruction-count driver.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mthc::bench {

using block_list = std::vector<std::vector<std::uint8_t>>;

struct encoder_input {
  std::string name;
  block_list blocks;
};

// "songs": the generated song corpus, and "example": the tune the build
// writes and the sample container's content, cut into blocks as mthc-pack
// cuts them; "midi set", "repetitive set" and "random set": the decoder
// benchmarks' sets in full blocks. Made on first use.
std::span<const encoder_input> encoder_inputs();

struct encoder {
  const char* name;
  // Packs one block into `out`; false on failure.
  bool (*pack)(std::span<const std::uint8_t> block, std::vector<std::uint8_t>& out);
};

// "best" and "fast", then "ucl10" (the reference coder at level 10) where
// libucl is installed.
std::span<const encoder> encoders();

// Whether every block of `packed` decodes back to the block of `blocks`.
bool decodes_back(const block_list& blocks, const block_list& packed);

}  // namespace mthc::bench
