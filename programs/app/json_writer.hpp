// The one JSON writer of the front ends: the summary that `mthc-pack -l
// --json` prints (and the page and the Python module read), and the facts of
// what went wrong that the page puts in words. Objects and arrays on one
// line, members in the order written, every string well-formed UTF-8 and as
// safe on a terminal as the text listing (append_json_string).
//
//   std::string out;
//   app::json_object file = app::begin_object(out);
//   app::add_number(file, "blocks", 3);
//   app::json_array tracks = app::begin_array(file, "tracks");
//   ...
//   app::end_array(tracks);
//   app::end_object(file);  // {"blocks":3,"tracks":[...]}
//
// Every function may throw std::bad_alloc. Keys are the program's own
// words (plain ASCII), never text from a file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mthc::app {

// An object or an array being written into `out`; `empty` says whether a
// comma goes before the next member or element.
struct json_object {
  std::string* out = nullptr;
  bool empty = true;
};
struct json_array {
  std::string* out = nullptr;
  bool empty = true;
};

json_object begin_object(std::string& out);
void end_object(json_object& object);

// A member whose value is an object or an array, written until its end_.
json_object begin_object(json_object& parent, std::string_view key);
json_array begin_array(json_object& parent, std::string_view key);
void end_array(json_array& array);

// An element of an array that is an object.
json_object begin_object(json_array& parent);

void add_number(json_object& object, std::string_view key, std::uint64_t value);
// A number already written in JSON's form ("29.97", "12.500").
void add_number_text(json_object& object, std::string_view key, std::string_view number);
void add_flag(json_object& object, std::string_view key, bool value);
void add_null(json_object& object, std::string_view key);
// Well-formed UTF-8 text: the library's words and names.
void add_text(json_object& object, std::string_view key, std::string_view text);
// Bytes from a file or the system (a file name, a track name, a chunk tag),
// losslessly: see append_json_name. When they had to be escaped,
// "<key>_escaped": true follows them.
void add_name(json_object& object, std::string_view key, std::string_view bytes);
void add_numbers(json_object& object, std::string_view key, std::span<const std::uint64_t> values);

}  // namespace mthc::app
