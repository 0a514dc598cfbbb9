#include "app/text.hpp"

#include <algorithm>
#include <cstdint>

namespace mthc::app {

namespace {

std::uint8_t byte_at(std::string_view text, std::size_t at) {
  return static_cast<std::uint8_t>(text[at]);
}

bool is_continuation(std::string_view text, std::size_t at) {
  return at < text.size() && (byte_at(text, at) & 0xC0) == 0x80;
}

// C0, DEL and C1: what a terminal takes as commands rather than text.
bool is_control(std::uint32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point < 0xA0);
}

// What reorders or breaks the line it is shown in: the bidirectional
// embeddings, overrides and isolates, and the line and paragraph
// separators. A name holding U+202E shows its end backwards, which can make
// "a\u202edim.mthc" look like "achtm.mid".
bool is_layout_control(std::uint32_t code_point) {
  return (code_point >= 0x2028 && code_point <= 0x202E) ||
         (code_point >= 0x2066 && code_point <= 0x2069);
}

// Whether terminal_text writes `code_point` otherwise than as it is.
bool is_escaped(std::uint32_t code_point, backslashes shown) {
  if (code_point == '\\') return shown == backslashes::doubled;
  return is_control(code_point) || is_layout_control(code_point);
}

// The code point of the well-formed sequence of `length` bytes at `at`.
std::uint32_t code_point_at(std::string_view text, std::size_t at, std::size_t length) {
  static constexpr std::uint8_t k_lead_mask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  std::uint32_t value = byte_at(text, at) & k_lead_mask[length];
  for (std::size_t k = 1; k < length; ++k)
    value = value << 6 | (byte_at(text, at + k) & 0x3FU);
  return value;
}

// "\\x" and two hex digits, or "\\u" and four.
void append_escape(std::string& out, std::uint32_t value, int digits) {
  out += digits == 2 ? "\\x" : "\\u";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out += "0123456789abcdef"[(value >> shift) & 0xFU];
}

}  // namespace

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) noexcept {
  const std::uint8_t lead = byte_at(text, at);
  if (lead < 0x80) return 1;
  // The second byte's range rules out overlong forms (E0, F0), surrogates
  // (ED) and code points above U+10FFFF (F4).
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + 1 >= text.size()) return 0;
  const std::uint8_t second = byte_at(text, at + 1);
  if (second < low || second > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (!is_continuation(text, at + k)) return 0;
  }
  return length;
}

bool is_utf8(std::string_view text) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_sequence_length(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void append_byte_escape(std::string& out, std::uint8_t byte) {
  append_escape(out, byte, 2);
}

bool is_plain_text(std::string_view text, backslashes shown) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_sequence_length(text, i);
    if (n == 0 || is_escaped(code_point_at(text, i, n), shown)) return false;
    i += n;
  }
  return true;
}

std::string terminal_text(std::string_view text, backslashes shown) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_sequence_length(text, i);
    if (n == 0) {
      append_byte_escape(out, byte_at(text, i));
      ++i;
      continue;
    }
    const std::uint32_t code_point = code_point_at(text, i, n);
    if (!is_escaped(code_point, shown)) {
      out.append(text.substr(i, n));
    } else if (code_point == '\\') {
      out += "\\\\";
    } else {
      append_escape(out, code_point, code_point < 0x80 ? 2 : 4);
    }
    i += n;
  }
  return out;
}

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    // Well-formed UTF-8: a sequence's length is what its lead byte says.
    const std::size_t n = std::max<std::size_t>(utf8_sequence_length(text, i), 1);
    const std::uint32_t code_point = code_point_at(text, i, n);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (is_escaped(code_point, backslashes::doubled)) {
      // Escaped as JSON allows, so that the line is as safe on a terminal as
      // the text listing, and reads back as the same characters.
      append_escape(out, code_point, 4);
    } else {
      out.append(text.substr(i, n));
    }
    i += n;
  }
  out += '"';
}

bool append_json_name(std::string& out, std::string_view name) {
  if (is_utf8(name)) {
    append_json_string(out, name);
    return false;
  }
  std::string escaped;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = utf8_sequence_length(name, i);
    if (n == 0) {
      append_byte_escape(escaped, byte_at(name, i));
      ++i;
    } else {
      escaped += name[i] == '\\' ? std::string_view("\\\\") : name.substr(i, n);
      i += n;
    }
  }
  append_json_string(out, escaped);
  return true;
}

}  // namespace mthc::app
