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

midi_change track_change(midi_change_kind kind, std::size_t track, std::size_t offset,
                         std::size_t value, std::size_t count = 1) {
  return {kind, offset, value, 0, {}, track, count};
}

// Where a track's closing end-of-track event begins: its delta time before
// the final FF 2F 00 (the bytes before a delta time's last are 80 or more;
// the data byte before it is not).
std::size_t end_of_track_start(const bytes& track) {
  std::size_t start = track.size() - 4;
  while (start > 0 && track[start - 1] >= 0x80)
    --start;
  return start;
}

bytes first(const bytes& b, std::size_t size) {
  return {b.begin(), b.begin() + static_cast<std::ptrdiff_t>(size)};
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
  // The file with track `t` replaced.
  const auto with_track = [&](std::size_t t, const bytes& data) {
    std::vector<bytes> changed(tracks.begin(), tracks.end());
    changed[t] = data;
    return midi_file(1, 96, changed);
  };
  const auto data_of = [&](std::size_t t) {
    std::size_t at = 14;
    for (std::size_t i = 0; i < t; ++i)
      at += 8 + tracks[i].size();
    return at + 8;
  };
  const std::string text = "Saved by a sequencer\r\n";
  const bytes xfih = chunk("XFIH", bytes{1, 2, 3, 4, 5});
  const bytes& last = tracks.back();
  const std::size_t last_data = data_of(n - 1);
  const std::size_t last_end = end_of_track_start(last);
  const bytes& tempo = tracks.front();
  const std::size_t tempo_end = end_of_track_start(tempo);
  const bytes end_of_track = {0x00, 0xFF, 0x2F, 0x00};
  const bytes unclosed_last = first(last, last_end);
  // The file cut inside a note-on before the last track's end-of-track
  // event: the note and the end-of-track event are lost, and the track is
  // closed after the events before them.
  const bytes cut_file = with_track(
      n - 1, join({unclosed_last, from_hex("00 90 3c 40"),
                   bytes(last.begin() + static_cast<std::ptrdiff_t>(last_end), last.end())}));
  const std::size_t cut = 2 + (last.size() - last_end);
  // A track inserted after the first.
  const auto inserted = [&](const bytes& track) {
    std::vector<bytes> more(tracks.begin(), tracks.end());
    more.insert(more.begin() + 1, track);
    return midi_file(1, 96, more);
  };
  bytes format_3 = smf;
  format_3[9] = 3;

  std::vector<midi_variant> out = {
      {"as it is", smf, {}, pack_error::none, smf},
      {"RMID wrapper",
       rmid_file(smf),
       {change(kind::riff_unwrapped, k_rmid_data_offset, end)},
       pack_error::riff_wrapper,
       smf},
      {"trailing zeros",
       join({smf, bytes(16, 0)}),
       {change(kind::trailing_bytes_ignored, end, 16)},
       pack_error::trailing_bytes,
       smf},
      {"a 0x1A end-of-file mark",
       join({smf, bytes{0x1A}}),
       {change(kind::trailing_bytes_ignored, end, 1)},
       pack_error::trailing_bytes,
       smf},
      {"trailing text",
       join({smf, bytes(text.begin(), text.end())}),
       {change(kind::trailing_bytes_ignored, end, text.size())},
       pack_error::trailing_bytes,
       smf},
      {"a partial chunk header",
       join({smf, bytes{'M', 'T', 'r'}}),
       {change(kind::trailing_bytes_ignored, end, 3)},
       pack_error::trailing_bytes,
       smf},
      {"a foreign chunk running past the end",
       join({smf, from_hex("58464b4d 00000100 6162")}),
       {change(kind::trailing_bytes_ignored, end, 10)},
       pack_error::trailing_bytes,
       smf},
      {"a chunk before the tracks",
       join({header, xfih, body}),
       {change(kind::chunk_dropped, 14, 5, 0, "XFIH")},
       pack_error::foreign_chunk,
       smf},
      {"a chunk between the tracks",
       join({first(smf, second_track), chunk("XFKM", bytes{}),
             bytes(smf.begin() + static_cast<std::ptrdiff_t>(second_track), smf.end())}),
       {change(kind::chunk_dropped, second_track, 0, 0, "XFKM")},
       pack_error::foreign_chunk,
       smf},
      {"three chunks after the tracks: one change",
       join({smf, xfih, chunk("JUNK", bytes{}), chunk("JUNK", bytes{})}),
       {[&] {
         midi_change c = change(kind::chunk_dropped, end, 5, 0, "XFIH");
         c.count = 3;
         return c;
       }()},
       pack_error::foreign_chunk,
       smf},
      {"track count too high",
       counted(n + 3),
       {change(kind::track_count_corrected, 10, n + 3, n)},
       pack_error::track_count_mismatch,
       smf},
      {"track count too low",
       counted(n - 1),
       {change(kind::track_count_corrected, 10, n - 1, n)},
       pack_error::track_count_mismatch,
       smf},
      {"header length 8",
       long_header(2),
       {change(kind::header_bytes_dropped, 14, 2)},
       pack_error::header_length,
       smf},
      {"header length 10",
       long_header(4),
       {change(kind::header_bytes_dropped, 14, 4)},
       pack_error::header_length,
       smf},

      // Tracks as players repair them.
      {"no end-of-track event",
       with_track(n - 1, unclosed_last),
       {track_change(kind::end_of_track_added, n - 1, last_data + last_end, 4)},
       pack_error::missing_end_of_track,
       with_track(n - 1, join({unclosed_last, end_of_track}))},
      {"4 zeros after the end-of-track event",
       with_track(n - 1, join({last, bytes(4, 0)})),
       {track_change(kind::bytes_after_end_of_track_dropped, n - 1, last_data + last.size(), 4)},
       pack_error::bytes_after_end_of_track,
       smf},
      {"an end-of-track event one byte short",
       with_track(n - 1, first(last, last.size() - 1)),
       {track_change(kind::end_of_track_completed, n - 1, last_data + last_end, 1)},
       pack_error::end_of_track_cut_short,
       smf},
      {"an end-of-track event cut to its delta time",
       with_track(n - 1, first(last, last.size() - 3)),
       {track_change(kind::end_of_track_completed, n - 1, last_data + last_end, 3)},
       pack_error::end_of_track_cut_short,
       smf},
      {"the first track ends inside an event",
       with_track(0, join({first(tempo, tempo_end), from_hex("00 90 3c")})),
       {track_change(kind::partial_event_dropped, 0, data_of(0) + tempo_end, 3)},
       pack_error::event_cut_short,
       with_track(0, join({first(tempo, tempo_end), end_of_track}))},
      {"the file cut inside its last track",
       first(cut_file, cut_file.size() - cut),
       {track_change(kind::track_cut_by_end_of_file, n - 1, last_data - 8, cut)},
       pack_error::track_cut_by_end_of_file,
       with_track(n - 1, join({unclosed_last, end_of_track}))},

      // What is packed as it is.
      {"an empty track", inserted(bytes{}), {}, pack_error::empty_track, inserted(end_of_track)},
      {"an undefined status byte",
       with_track(0, join({from_hex("00 f4"), tempo})),
       {},
       pack_error::track_unreadable,
       with_track(0, join({from_hex("00 f4"), tempo}))},
      {"format 3", format_3, {}, pack_error::unknown_format, format_3},
      {"a port prefix without data",
       with_track(0, join({from_hex("00 ff 21 00"), tempo})),
       {},
       pack_error::none,
       with_track(0, join({from_hex("00 ff 21 00"), tempo}))},
  };
  if (n >= 2) {
    // Two tracks without an end-of-track event: one change, counted.
    std::vector<bytes> unclosed(tracks.begin(), tracks.end());
    unclosed.front() = first(tempo, tempo_end);
    unclosed.back() = unclosed_last;
    std::vector<bytes> closed = unclosed;
    append(closed.front(), end_of_track);
    append(closed.back(), end_of_track);
    out.push_back({"two tracks without an end-of-track event: one change",
                   midi_file(1, 96, unclosed),
                   {track_change(kind::end_of_track_added, 0, data_of(0) + tempo_end, 4, 2)},
                   pack_error::missing_end_of_track,
                   midi_file(1, 96, closed)});
  }
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
                 pack_error::riff_wrapper,
                 smf});
  return out;
}

}  // namespace mthc::test
