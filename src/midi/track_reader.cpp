#include <array>
#include <mthc/track_reader.hpp>

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

// The longest channel message: a delta of 4 bytes, a status and 2 data bytes.
constexpr std::size_t k_longest_channel_message = 7;

struct channel_message {
  std::uint32_t delta = 0;
  std::uint8_t status = 0;
  std::uint8_t data_start = 0;  // from the start of the event
  std::uint8_t data_bytes = 0;
};

// Reads the channel message at `p`, which has k_longest_channel_message bytes
// to read from, with no check of the end at every byte: the quick way for
// nearly all of a track. False for anything else, faults included, which
// next_event reads with every check. The branches follow the bytes (short or
// long delta, status or running status, one or two data bytes); they are
// well predicted on real tracks, and let the processor run ahead, where
// working out each event's length without branches would chain every event
// to the one before (that made it several times slower).
inline bool read_channel_message(const std::uint8_t* p, std::uint8_t running,
                                 channel_message& message) {
  std::uint32_t delta = p[0];
  unsigned n = 1;
  if (delta >= 0x80) {
    if (p[1] < 0x80) {
      delta = (delta & 0x7F) << 7 | p[1];
      n = 2;
    } else if (p[2] < 0x80) {
      delta = ((delta & 0x7F) << 14) | (p[1] & 0x7FU) << 7 | p[2];
      n = 3;
    } else if (p[3] < 0x80) {
      delta = ((delta & 0x7F) << 21) | (p[1] & 0x7FU) << 14 | (p[2] & 0x7FU) << 7 | p[3];
      n = 4;
    } else {
      return false;  // more than 4 bytes
    }
  }
  std::uint8_t status = running;
  if (p[n] >= 0x80) {
    status = p[n];
    ++n;
  }
  if (!is_channel_status(status)) return false;
  unsigned data_bytes = 2;
  if ((status & 0xE0) == 0xC0) {
    if (p[n] >= 0x80) return false;
    data_bytes = 1;
  } else if ((p[n] | p[n + 1]) >= 0x80) {
    return false;
  }
  message.delta = delta;
  message.status = status;
  message.data_start = static_cast<std::uint8_t>(n);
  message.data_bytes = static_cast<std::uint8_t>(data_bytes);
  return true;
}

// The meta events whose data readers decode, and what they need: a sequence
// number has 2 bytes (or none), a channel prefix 1, a tempo 3, an SMPTE
// offset 5, a time signature 4, and a key signature 2: sharps (or, below 0,
// flats) from -7 to 7, and 0 for major or 1 for minor. Readers fail on less
// (damage most often), and a key signature of no key. A port prefix may be
// empty (port 0): real files hold such, and readers take them.
bool meta_data_readable(std::uint8_t type, std::span<const std::uint8_t> data) noexcept {
  switch (type) {
    case 0x00:
      return data.size() != 1;
    case 0x20:
      return !data.empty();
    case 0x51:
      return data.size() >= 3;
    case 0x54:
      return data.size() >= 5;
    case 0x58:
      return data.size() >= 4;
    case 0x59: {
      if (data.size() < 2) return false;
      const auto sharps = static_cast<std::int8_t>(data[0]);
      return sharps >= -7 && sharps <= 7 && data[1] <= 1;
    }
    default:
      return true;
  }
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

  channel_message quick;
  if (track.size() - start >= k_longest_channel_message &&
      read_channel_message(track.data() + start, reader.running_status, quick)) {
    event.delta = quick.delta;
    event.offset = start;
    event.kind = event_kind::channel;
    event.status = quick.status;
    event.meta_type = 0;
    event.data = track.subspan(start + quick.data_start, quick.data_bytes);
    reader.position = start + quick.data_start + quick.data_bytes;
    reader.running_status = quick.status;
    return true;
  }

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
      if (kind == event_kind::meta &&
          !meta_data_readable(meta_type, track.subspan(position, length)))
        return fail(reader, track_error::meta_event_unreadable, length_start - 1);
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
  // The loop over next_event, with the quick read of channel messages
  // inlined and the event left unfilled.
  track_reader reader{track};
  track_event event;
  std::size_t events = 0;
  std::size_t position = 0;
  std::uint8_t running = 0;
  channel_message quick;
  for (;;) {
    while (track.size() - position >= k_longest_channel_message &&
           read_channel_message(track.data() + position, running, quick)) {
      position += std::size_t{quick.data_start} + quick.data_bytes;
      running = quick.status;
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
    case track_error::meta_event_unreadable:
      return "meta event too short for its type, or a key signature of no key";
  }
  return "unknown track fault";
}

}  // namespace mthc
