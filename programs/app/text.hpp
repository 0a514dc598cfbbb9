// Names and text from files, made safe for where they are shown: a terminal,
// a JSON document. Names are bytes in whatever encoding their maker used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mthc::app {

// The length of the well-formed UTF-8 sequence at `at` (1 to 4), or 0 when
// the bytes there are not one: no overlong forms, no surrogates, nothing
// above U+10FFFF, no continuation byte on its own.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at) noexcept;

bool is_utf8(std::string_view text) noexcept;

// Appends `byte` as \xHH. Throws std::bad_alloc.
void append_byte_escape(std::string& out, std::uint8_t byte);

// Whether terminal_text would give `text` back unchanged: well-formed UTF-8
// without control characters.
bool is_plain_text(std::string_view text) noexcept;

// For a terminal: control characters (C0 and DEL as \xHH, C1 as \u00HH) and
// bytes that are not UTF-8 (\xHH) become visible escapes; everything else,
// backslashes too, stays as it is. Plain printable text comes back unchanged.
// Throws std::bad_alloc.
std::string terminal_text(std::string_view text);

// A name as a reader of the listing expects it: UTF-8 kept, other bytes read
// as Latin-1 (the usual guess for older files), control characters left out.
// Always well-formed UTF-8. Throws std::bad_alloc.
std::string readable_name(std::string_view bytes);

// Appends `text`, which must be well-formed UTF-8, as a JSON string: quotes,
// backslashes and control characters escaped. Throws std::bad_alloc.
void append_json_string(std::string& out, std::string_view text);

}  // namespace mthc::app
