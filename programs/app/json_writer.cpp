#include "app/json_writer.hpp"

#include "app/text.hpp"

namespace mthc::app {

namespace {

// The comma between members or elements, as the container needs one.
template <typename Container>
std::string& next(Container& container) {
  if (!container.empty) *container.out += ',';
  container.empty = false;
  return *container.out;
}

std::string& member(json_object& object, std::string_view key) {
  std::string& out = next(object);
  out += '"';
  out += key;
  out += "\":";
  return out;
}

}  // namespace

json_object begin_object(std::string& out) {
  out += '{';
  return {&out};
}

void end_object(json_object& object) {
  *object.out += '}';
}

json_object begin_object(json_object& parent, std::string_view key) {
  std::string& out = member(parent, key);
  out += '{';
  return {&out};
}

json_array begin_array(json_object& parent, std::string_view key) {
  std::string& out = member(parent, key);
  out += '[';
  return {&out};
}

void end_array(json_array& array) {
  *array.out += ']';
}

json_object begin_object(json_array& parent) {
  std::string& out = next(parent);
  out += '{';
  return {&out};
}

void add_number(json_object& object, std::string_view key, std::uint64_t value) {
  member(object, key) += std::to_string(value);
}

void add_number_text(json_object& object, std::string_view key, std::string_view number) {
  member(object, key) += number;
}

void add_flag(json_object& object, std::string_view key, bool value) {
  member(object, key) += value ? "true" : "false";
}

void add_null(json_object& object, std::string_view key) {
  member(object, key) += "null";
}

void add_text(json_object& object, std::string_view key, std::string_view text) {
  append_json_string(member(object, key), text);
}

void add_name(json_object& object, std::string_view key, std::string_view bytes) {
  if (append_json_name(member(object, key), bytes)) {
    std::string flag(key);
    flag += "_escaped";
    add_flag(object, flag, true);
  }
}

void add_numbers(json_object& object, std::string_view key, std::span<const std::uint64_t> values) {
  json_array array = begin_array(object, key);
  for (const std::uint64_t value : values)
    next(array) += std::to_string(value);
  end_array(array);
}

}  // namespace mthc::app
