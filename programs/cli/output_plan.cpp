#include "cli/output_plan.hpp"

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "app/output_name.hpp"
#include "cli/file_handle.hpp"
#include "cli/platform.hpp"
#include "cli/shown_name.hpp"

namespace mthc::cli {

namespace {

constexpr char k_standard_output[] = "standard output";

bool is_standard_stream(const char* path) {
  return std::strcmp(path, "-") == 0;
}

// (Appended piece by piece: g++ 12 at -O3 warns wrongly of overlapping
// copies in a chain of + on strings.)
std::string quoted(std::string_view name) {
  std::string out = "'";
  out += shown_name(name);
  out += '\'';
  return out;
}

std::string input_name(const char* input) {
  return is_standard_stream(input) ? "standard input" : quoted(input);
}

// One output, as the system sees it: its folder and its own name, so that
// two spellings of one path ("a.mthc", "./a.mthc") are one output.
struct output_key {
  std::optional<file_identity> folder;
  std::string path;  // the folder's path when it has no identity (yet)
  std::string name;
  bool operator==(const output_key&) const = default;
};

output_key key_of(const std::string& path) {
  const std::size_t slash = path.find_last_of(path_separators());
  output_key key;
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  key.name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (names_ignore_case()) {
    for (char& c : key.name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  key.folder = identity_of(folder.c_str());
  if (!key.folder) key.path = folder;
  return key;
}

// The key of a map of outputs: the folder's identity (or path) and the name.
std::string map_key(const output_key& key) {
  std::string text;
  if (key.folder) {
    text = std::to_string(key.folder->device) + ':' + std::to_string(key.folder->file);
  } else {
    text = key.path;
  }
  text += '\0';
  text += key.name;
  return text;
}

}  // namespace

std::optional<bool> starts_as_container(const char* path) {
  file_status status;
  if (!look_up(path, links::followed, status) || status.kind != path_kind::regular) {
    return std::nullopt;
  }
  file_handle file(open_for_reading(path));
  if (!file) return std::nullopt;
  char tag[4] = {};
  return std::fread(tag, 1, sizeof tag, file.get()) == sizeof tag &&
         std::memcmp(tag, "MThc", sizeof tag) == 0;
}

std::vector<output_clash> output_clashes(const pack_arguments& options) {
  const bool writes = options.mode == pack_mode::automatic || options.mode == pack_mode::decompress;
  if (!writes || options.output_path != nullptr || options.to_stdout) return {};
  std::vector<output_clash> clashes;
  // Each output met so far, and the first input written to it.
  std::map<std::string, std::size_t> outputs;
  for (std::size_t i = 0; i < options.inputs.size(); ++i) {
    const char* input = options.inputs[i];
    std::string shown;
    output_key key;
    if (is_standard_stream(input)) {
      shown = k_standard_output;
      key.name = k_standard_output;
    } else {
      std::optional<bool> to_midi = true;
      if (options.mode == pack_mode::automatic) to_midi = starts_as_container(input);
      if (!to_midi) continue;
      shown = app::output_name(input, *to_midi);
      key = key_of(shown);
    }
    const auto [found, added] = outputs.emplace(map_key(key), i);
    if (added) continue;
    const std::size_t earlier = found->second;
    std::string text = input_name(options.inputs[earlier]);
    text += " and ";
    text += input_name(input);
    text += " would both be written to ";
    text += is_standard_stream(input) ? shown : quoted(shown);
    clashes.push_back({earlier, i, std::move(text)});
  }
  return clashes;
}

std::string shared_output_text(const pack_arguments& options) {
  const std::vector<output_clash> clashes = output_clashes(options);
  return clashes.empty() ? std::string() : clashes.front().text + "; nothing is written";
}

}  // namespace mthc::cli
