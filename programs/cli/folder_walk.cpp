#include "cli/folder_walk.hpp"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "app/output_name.hpp"
#include "cli/platform.hpp"

namespace mthc::cli {

namespace {

std::string joined(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (path.empty() || path.find_last_of(path_separators()) != path.size() - 1) path += '/';
  path += name;
  return path;
}

bool is_taken(const std::string& name, walk_takes takes) {
  return takes == walk_takes::midi_files ? app::has_midi_extension(name)
                                         : app::has_container_extension(name);
}

// A folder still to be walked, and whether a link there is followed.
struct pending_folder {
  std::string path;
  links how;
};

}  // namespace

void walk_folder(const std::string& folder, walk_takes takes, walk_result& result) {
  // Folders met so far (a bind mount may show one twice), and the stack of
  // those still to walk, the next on top: a tree deeper than the call stack
  // would allow is walked as well.
  std::vector<file_identity> seen;
  std::vector<pending_folder> stack{{folder, links::followed}};
  std::vector<folder_entry> entries;
  while (!stack.empty()) {
    const pending_folder next = std::move(stack.back());
    stack.pop_back();
    if (const auto identity = identity_of(next.path.c_str())) {
      if (std::find(seen.begin(), seen.end(), *identity) != seen.end()) continue;
      seen.push_back(*identity);
    }
    if (!list_folder(next.path.c_str(), next.how, entries)) {
      result.failures.push_back(system_failure("cannot open", next.path.c_str()));
      continue;
    }
    std::sort(entries.begin(), entries.end(),
              [](const folder_entry& a, const folder_entry& b) { return a.name < b.name; });
    // The files are taken as they come; the subfolders go on the stack in
    // reverse, so that they come out in order.
    std::vector<std::string> subfolders;
    for (const folder_entry& entry : entries) {
      std::string path = joined(next.path, entry.name);
      if (entry.kind == path_kind::directory) {
        subfolders.push_back(std::move(path));
        continue;
      }
      if (!is_taken(entry.name, takes)) continue;
      if (entry.kind == path_kind::regular) {
        result.files.push_back(std::move(path));
      } else if (entry.kind == path_kind::link) {
        file_status status;
        if (look_up(path.c_str(), links::followed, status) && status.kind == path_kind::regular) {
          result.files.push_back(std::move(path));
        }
      }
    }
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
      stack.push_back({std::move(*it), links::not_followed});
  }
}

walk_result walk_inputs(std::span<const char* const> inputs, walk_takes takes) {
  walk_result result;
  for (const char* input : inputs) {
    file_status status;
    const bool folder = std::string_view(input) != "-" && look_up(input, links::followed, status) &&
                        status.kind == path_kind::directory;
    if (folder) {
      walk_folder(input, takes, result);
    } else {
      result.files.emplace_back(input);
    }
  }
  return result;
}

}  // namespace mthc::cli
