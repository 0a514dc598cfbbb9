#include "midi/track_reader.hpp"

#include <array>
#include <bit>

namespace mthc {

namespace {

// What follows a status byte.
enum class status_class : std::uint8_t {
  no_status,  // a data byte (00-7F): running status, if there is one
  channel,
  system,
  sysex,
  meta,
  undefined,
};

struct status_info {
  status_class kind = status_class::no_status;
  std::uint8_t data_bytes = 0;  // channel and system messages
};

constexpr std::array<status_info, 256> make_status_table() {
  std::array<status_info, 256> table{};
  for (unsigned s = 0x80; s < 0xF0; ++s) {
    const unsigned high = s & 0xF0;
    table[s] = {status_class::channel,
                static_cast<std::uint8_t>(high == 0xC0 || high == 0xD0 ? 1 : 2)};
  }
  for (unsigned s = 0xF0; s < 0x100; ++s)
    table[s] = {status_class::system, 0};
  table[0xF1].data_bytes = 1;  // MIDI time code quarter frame
  table[0xF2].data_bytes = 2;  // song position
  table[0xF3].data_bytes = 1;  // song select
  table[0xF0] = {status_class::sysex, 0};
  table[0xF7] = {status_class::sysex, 0};
  table[0xFF] = {status_class::meta, 0};
  for (const unsigned s : {0xF4U, 0xF5U, 0xF9U, 0xFDU})
    table[s] = {status_class::undefined, 0};
  return table;
}

constexpr std::array<status_info, 256> k_status = make_status_table();

constexpr std::uint8_t k_end_of_track = 0x2F;

bool is_channel_status(std::uint8_t status) {
  return status >= 0x80 && status < 0xF0;
}

enum class quantity { read, too_long, past_end };

// A variable-length quantity: 7 bits a byte, most significant first, every
// byte but the last with its top bit set. More than 4 bytes (28 bits) is a
// fault, as a file's numbers never need more.
quantity read_quantity(std::span<const std::uint8_t> track, std::size_t& position,
                       std::uint32_t& value) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (position >= track.size()) return quantity::past_end;
    const std::uint8_t b = track[position++];
    v = v << 7 | (b & 0x7FU);
    if (b < 0x80) {
      value = v;
      return quantity::read;
    }
  }
  return quantity::too_long;
}

// Eight bytes, the first in the low bits (compilers make this one load).
std::uint64_t load_le64(const std::uint8_t* p) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i)
    value = value << 8 | p[i];
  return value;
}

bool fail(track_reader& reader, track_error error, std::size_t offset) {
  reader.error = error;
  reader.error_offset = offset;
  return false;
}

}  // namespace

bool next_event(track_reader& reader, track_event& event) noexcept {
  if (reader.error != track_error::none) return false;
  const std::span<const std::uint8_t> track = reader.track;
  const std::size_t start = reader.position;
  if (reader.ended) {
    return start < track.size() ? fail(reader, track_error::bytes_after_end_of_track, start)
                                : false;
  }
  if (start >= track.size()) return fail(reader, track_error::missing_end_of_track, track.size());

  std::size_t position = start;
  std::uint32_t delta = 0;
  switch (read_quantity(track, position, delta)) {
    case quantity::read:
      break;
    case quantity::too_long:
      return fail(reader, track_error::delta_too_long, start);
    case quantity::past_end:
      return fail(reader, track_error::event_past_end, start);
  }
  if (position >= track.size()) return fail(reader, track_error::event_past_end, start);

  std::uint8_t status = track[position];
  if (status < 0x80) {
    // Running status: the data byte stands where the status would be. Only a
    // channel status runs on (the reader's value is checked, as a caller may
    // have set it).
    if (!is_channel_status(reader.running_status))
      return fail(reader, track_error::running_status_without_status, position);
    status = reader.running_status;
  } else {
    ++position;
  }

  const status_info info = k_status[status];
  std::uint8_t meta_type = 0;
  event_kind kind = event_kind::channel;
  std::size_t length = info.data_bytes;
  switch (info.kind) {
    case status_class::channel:
    case status_class::system:
      kind = info.kind == status_class::channel ? event_kind::channel : event_kind::system;
      for (std::size_t i = 0; i < length; ++i) {
        if (position + i >= track.size()) return fail(reader, track_error::event_past_end, start);
        if (track[position + i] >= 0x80)
          return fail(reader, track_error::data_byte_high_bit, position + i);
      }
      break;
    case status_class::sysex:
    case status_class::meta: {
      if (info.kind == status_class::meta) {
        if (position >= track.size()) return fail(reader, track_error::event_past_end, start);
        meta_type = track[position++];
        kind = event_kind::meta;
      } else {
        kind = event_kind::sysex;
      }
      const std::size_t length_start = position;
      std::uint32_t declared = 0;
      switch (read_quantity(track, position, declared)) {
        case quantity::read:
          break;
        case quantity::too_long:
          return fail(reader, track_error::length_too_long, length_start);
        case quantity::past_end:
          return fail(reader, track_error::event_past_end, start);
      }
      if (declared > track.size() - position)
        return fail(reader, track_error::event_past_end, start);
      length = declared;
      break;
    }
    case status_class::undefined:
      return fail(reader, track_error::undefined_status, position - 1);
    case status_class::no_status:
      return fail(reader, track_error::running_status_without_status, position);  // not reached
  }

  event.delta = delta;
  event.offset = start;
  event.kind = kind;
  event.status = status;
  event.meta_type = meta_type;
  event.data = track.subspan(position, length);
  reader.position = position + length;
  // Only a channel message sets running status. System messages leave it
  // alone, and so do SysEx and meta events: files that carry on a channel's
  // running status across them exist and play.
  if (kind == event_kind::channel) reader.running_status = status;
  if (kind == event_kind::meta && meta_type == k_end_of_track) reader.ended = true;
  return true;
}

track_check check_track(std::span<const std::uint8_t> track) noexcept {
  // Channel messages, nearly all of a track, are read here from 8 bytes
  // loaded at once (as many as a delta of 4 bytes, a status and 2 data bytes
  // take, with one to spare), while 8 bytes are left. Everything else, and
  // every fault, goes through next_event, which reads byte by byte.
  constexpr std::size_t k_window = 8;
  const std::uint8_t* const begin = track.data();
  const std::size_t fast_end = track.size() >= k_window ? track.size() - k_window : 0;
  track_reader reader{track};
  track_event event;
  std::size_t events = 0;
  std::size_t position = 0;
  std::uint8_t running = 0;
  for (;;) {
    while (position < fast_end) {
      const std::uint64_t window = load_le64(begin + position);
      // The delta ends at the first of its 4 bytes with the top bit clear.
      const std::uint64_t last = ~window & 0x80808080U;
      if (last == 0) break;  // more than 4 bytes
      const auto delta_bytes = static_cast<unsigned>(std::countr_zero(last) >> 3) + 1;
      const auto lead = static_cast<std::uint8_t>(window >> (8 * delta_bytes));
      const unsigned has_status = lead >> 7;
      const std::uint8_t status = has_status != 0 ? lead : running;
      if (!is_channel_status(status)) break;
      const unsigned data_bytes = (status & 0xE0) == 0xC0 ? 1 : 2;
      const unsigned data_start = delta_bytes + has_status;
      const std::uint64_t data_high = data_bytes == 1 ? 0x80 : 0x8080;
      if ((window >> (8 * data_start) & data_high) != 0) break;
      position += data_start + data_bytes;
      running = status;
      ++events;
    }
    reader.position = position;
    reader.running_status = running;
    if (!next_event(reader, event)) break;
    ++events;
    if (reader.ended) {
      next_event(reader, event);  // false: the end, or bytes after it
      break;
    }
    position = reader.position;
    running = reader.running_status;
  }
  return {reader.error, reader.error_offset, events};
}

const char* track_error_text(track_error error) noexcept {
  switch (error) {
    case track_error::none:
      return "no fault";
    case track_error::delta_too_long:
      return "delta time longer than 4 bytes";
    case track_error::length_too_long:
      return "SysEx or meta event length longer than 4 bytes";
    case track_error::data_byte_high_bit:
      return "data byte with its top bit set";
    case track_error::running_status_without_status:
      return "data byte without a status before it";
    case track_error::undefined_status:
      return "undefined status byte";
    case track_error::event_past_end:
      return "event runs past the end of the track";
    case track_error::missing_end_of_track:
      return "no end-of-track event";
    case track_error::bytes_after_end_of_track:
      return "bytes after the end-of-track event";
  }
  return "unknown track fault";
}

}  // namespace mthc
