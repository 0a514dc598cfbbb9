#include "midi_variants.hpp"

#include <algorithm>

namespace mthc::test {

namespace {

midi_change change(midi_change_kind kind, std::size_t offset, std::size_t value,
                   std::size_t chunk_count = 0, const char* tag = "\0\0\0\0") {
  midi_change c{kind, offset, value, chunk_count, {}};
  std::copy(tag, tag + 4, c.tag.begin());
  return c;
}

void append_le32(bytes& to, std::size_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    to.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

bytes chunk(const char* tag, std::span<const std::uint8_t> data) {
  bytes out(tag, tag + 4);
  append_be32(out, static_cast<std::uint32_t>(data.size()));
  append(out, data);
  return out;
}

bytes rmid_file(std::span<const std::uint8_t> smf) {
  bytes chunks = {'L', 'I', 'S', 'T', 5, 0, 0, 0, 'I', 'N', 'F', 'O', 'x', 0, 'd', 'a', 't', 'a'};
  append_le32(chunks, smf.size());
  append(chunks, smf);
  if (smf.size() % 2 != 0) chunks.push_back(0);
  bytes out = {'R', 'I', 'F', 'F'};
  append_le32(out, chunks.size() + 4);
  append(out, bytes{'R', 'M', 'I', 'D'});
  append(out, chunks);
  return out;
}

std::vector<midi_variant> real_world_variants(std::span<const bytes> tracks) {
  using kind = midi_change_kind;
  const bytes smf = midi_file(1, 96, tracks);
  const bytes header(smf.begin(), smf.begin() + 14);
  const bytes body(smf.begin() + 14, smf.end());
  const std::size_t end = smf.size();
  const std::size_t n = tracks.size();
  const std::size_t second_track = 14 + 8 + tracks[0].size();
  const auto join = [](std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts)
      append(out, p);
    return out;
  };
  const auto counted = [&](std::size_t count) {
    bytes file = smf;
    file[10] = static_cast<std::uint8_t>(count >> 8);
    file[11] = static_cast<std::uint8_t>(count);
    return file;
  };
  const auto long_header = [&](std::size_t extra) {
    bytes h = header;
    h[7] = static_cast<std::uint8_t>(6 + extra);
    h.resize(14 + extra, 0x55);
    return join({h, body});
  };
  const std::string text = "Saved by a sequencer\r\n";
  const bytes xfih = chunk("XFIH", bytes{1, 2, 3, 4, 5});

  std::vector<midi_variant> out = {
      {"RMID wrapper",
       rmid_file(smf),
       {change(kind::riff_unwrapped, k_rmid_data_offset, end)},
       pack_error::riff_wrapper},
      {"trailing zeros",
       join({smf, bytes(16, 0)}),
       {change(kind::trailing_bytes_ignored, end, 16)},
       pack_error::trailing_bytes},
      {"a 0x1A end-of-file mark",
       join({smf, bytes{0x1A}}),
       {change(kind::trailing_bytes_ignored, end, 1)},
       pack_error::trailing_bytes},
      {"trailing text",
       join({smf, bytes(text.begin(), text.end())}),
       {change(kind::trailing_bytes_ignored, end, text.size())},
       pack_error::trailing_bytes},
      {"a partial chunk header",
       join({smf, bytes{'M', 'T', 'r'}}),
       {change(kind::trailing_bytes_ignored, end, 3)},
       pack_error::trailing_bytes},
      {"a foreign chunk running past the end",
       join({smf, from_hex("58464b4d 00000100 6162")}),
       {change(kind::trailing_bytes_ignored, end, 10)},
       pack_error::trailing_bytes},
      {"a chunk before the tracks",
       join({header, xfih, body}),
       {change(kind::chunk_dropped, 14, 5, 0, "XFIH")},
       pack_error::foreign_chunk},
      {"a chunk between the tracks",
       join({bytes(smf.begin(), smf.begin() + static_cast<std::ptrdiff_t>(second_track)),
             chunk("XFKM", bytes{}),
             bytes(smf.begin() + static_cast<std::ptrdiff_t>(second_track), smf.end())}),
       {change(kind::chunk_dropped, second_track, 0, 0, "XFKM")},
       pack_error::foreign_chunk},
      {"track count too high",
       counted(n + 3),
       {change(kind::track_count_corrected, 10, n + 3, n)},
       pack_error::track_count_mismatch},
      {"track count too low",
       counted(n - 1),
       {change(kind::track_count_corrected, 10, n - 1, n)},
       pack_error::track_count_mismatch},
      {"header length 8",
       long_header(2),
       {change(kind::header_bytes_dropped, 14, 2)},
       pack_error::header_length},
      {"header length 10",
       long_header(4),
       {change(kind::header_bytes_dropped, 14, 4)},
       pack_error::header_length},
  };
  // All at once, inside an RMID file: the changes come in file order.
  bytes all = long_header(1);
  all[11] = static_cast<std::uint8_t>(n + 1);
  all[10] = static_cast<std::uint8_t>((n + 1) >> 8);
  append(all, join({chunk("MTrx", bytes{7}), bytes(5, 0)}));
  const std::size_t at = k_rmid_data_offset;
  out.push_back({"all at once, in an RMID file",
                 rmid_file(all),
                 {change(kind::riff_unwrapped, at, all.size()),
                  change(kind::track_count_corrected, at + 10, n + 1, n),
                  change(kind::header_bytes_dropped, at + 14, 1),
                  change(kind::chunk_dropped, at + end + 1, 1, 0, "MTrx"),
                  change(kind::trailing_bytes_ignored, at + end + 10, 5)},
                 pack_error::riff_wrapper});
  return out;
}

}  // namespace mthc::test
