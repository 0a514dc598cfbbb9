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

// How terminal_text shows a backslash: doubled, so that no name can pass for
// another's escapes; or, in a path on a system where no name can hold one
// (Windows), as it is, since it can only end a folder's name there.
enum class backslashes { doubled, separate_folders };

// Whether terminal_text would give `text` back unchanged.
bool is_plain_text(std::string_view text, backslashes shown = backslashes::doubled) noexcept;

// For a terminal: control characters (C0 and DEL as \xHH, C1 as \u00HH),
// the characters that reorder or break a line (the bidirectional controls
// U+202A-U+202E and U+2066-U+2069, and U+2028 and U+2029, as \u20HH) and
// bytes that are not UTF-8 (\xHH) become visible escapes, and a backslash is
// doubled (see `backslashes`). Everything else stays as it is. Throws
// std::bad_alloc.
std::string terminal_text(std::string_view text, backslashes shown = backslashes::doubled);

// Appends `text`, which must be well-formed UTF-8, as a JSON string: quotes
// and backslashes escaped, and the characters that terminal_text escapes as
// \u00HH or \u20HH (JSON's escapes: the string reads back unchanged). Throws
// std::bad_alloc.
void append_json_string(std::string& out, std::string_view text);

// Appends a name from a file or the system as a JSON string, losslessly: as
// it is when it is UTF-8, else with each byte that is not part of a UTF-8
// sequence written as \xHH and each backslash doubled, so that the two cannot
// be confused. Returns whether it had to be escaped (the JSON then says so
// beside it). Throws std::bad_alloc.
bool append_json_name(std::string& out, std::string_view name);

}  // namespace mthc::app
