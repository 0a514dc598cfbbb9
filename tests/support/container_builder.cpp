#include "container_builder.hpp"

#include <cassert>
#include <cctype>

#include "bit_writer.hpp"

namespace mthc::test {

void append(bytes& to, std::span<const std::uint8_t> from) {
  to.insert(to.end(), from.begin(), from.end());
}

void append_be16(bytes& to, std::uint32_t value) {
  to.push_back(static_cast<std::uint8_t>(value >> 8));
  to.push_back(static_cast<std::uint8_t>(value));
}

void append_be32(bytes& to, std::uint32_t value) {
  append_be16(to, value >> 16);
  append_be16(to, value & 0xFFFF);
}

bytes from_hex(const std::string& hex) {
  bytes out;
  int high = -1;
  for (const char c : hex) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) continue;
    const int digit = std::isdigit(static_cast<unsigned char>(c)) != 0
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return out;
}

bytes build_container(std::span<const stored_block> blocks, std::uint8_t block_count) {
  bytes out = {'M', 'T', 'h', 'c', block_count};
  for (const stored_block& block : blocks) {
    assert(block.packed.size() <= 0xFFFF);
    append_be16(out, block.unpacked_size);
    append_be16(out, static_cast<std::uint32_t>(block.packed.size()));
    append(out, block.packed);
  }
  return out;
}

bytes build_container(std::span<const stored_block> blocks) {
  return build_container(blocks, static_cast<std::uint8_t>(blocks.size()));
}

std::vector<stored_block> literal_blocks(std::span<const std::uint8_t> stream,
                                         std::span<const std::uint16_t> block_sizes) {
  std::vector<stored_block> blocks;
  std::size_t start = 0;
  for (std::size_t i = 0; i < block_sizes.size(); ++i) {
    const std::size_t size =
        i + 1 == block_sizes.size() ? stream.size() - start : std::size_t{block_sizes[i]};
    blocks.push_back({block_sizes[i], literal_block(stream.subspan(start, size))});
    start += size;
  }
  return blocks;
}

bytes stream_header(std::uint16_t format, std::uint16_t track_count, std::uint16_t division) {
  bytes out = {'M', 'T', 'h', 'p'};
  append_be32(out, 6);
  append_be16(out, format);
  append_be16(out, track_count);
  append_be16(out, division);
  append_be16(out, 0);
  return out;
}

bytes record_area(std::span<const bytes> records) {
  bytes out;
  append_be16(out, 0);
  append_be16(out, static_cast<std::uint32_t>(records.size()));
  for (const bytes& record : records) {
    assert(record.size() <= 0xFFFF);
    append_be16(out, static_cast<std::uint32_t>(record.size()));
    append(out, record);
  }
  return out;
}

bytes midi_file(std::uint16_t format, std::uint16_t division, std::span<const bytes> tracks) {
  bytes out = {'M', 'T', 'h', 'd'};
  append_be32(out, 6);
  append_be16(out, format);
  append_be16(out, static_cast<std::uint32_t>(tracks.size()));
  append_be16(out, division);
  for (const bytes& track : tracks) {
    append(out, bytes{'M', 'T', 'r', 'k'});
    append_be32(out, static_cast<std::uint32_t>(track.size()));
    append(out, track);
  }
  return out;
}

bytes container_from_records(std::uint16_t format, std::uint16_t track_count,
                             std::uint16_t division,
                             std::span<const std::vector<bytes>> blocks_of_records) {
  bytes stream = stream_header(format, track_count, division);
  std::vector<std::uint16_t> sizes;
  for (const std::vector<bytes>& records : blocks_of_records) {
    const std::size_t before = stream.size();
    append(stream, record_area(records));
    // Block 0 also holds the 16-byte stream header.
    const std::size_t size = stream.size() - (sizes.empty() ? 0 : before);
    assert(size <= 0xFFFF);
    sizes.push_back(static_cast<std::uint16_t>(size));
  }
  return build_container(literal_blocks(stream, sizes));
}

}  // namespace mthc::test
