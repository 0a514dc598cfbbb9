// The walk of -r through the folders it is given, as gzip -r walks them.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli/report.hpp"

namespace mthc::cli {

// Which files a walk takes, by their names' extensions (in any case).
enum class walk_takes {
  midi_files,  // .mid, .midi, .kar, .rmi: to be packed
  containers,  // .mthc: to be unpacked, checked or listed
};

// What a walk found: the paths of the files it takes, and why a folder in
// it could not be read (the walk goes on without it).
struct walk_result {
  std::vector<std::string> files;
  std::vector<failure> failures;
};

// Appends to `result` the files in the folder at `folder` and in every
// folder below it, depth first: a folder's files, then its subfolders, each
// in the order of their names' bytes. It takes regular files, and links to regular files, whose
// names `takes`; everything else is passed over without a word. A link to a
// folder is not followed (the folder named, if a link, is: the user named
// it), and no folder is walked twice. Throws std::bad_alloc.
void walk_folder(const std::string& folder, walk_takes takes, walk_result& result);

// The inputs of a run with -r: each folder among `inputs` (a link to one
// included) stands for the files walk_folder takes from it, in its place;
// every other input ("-" too) is taken as it is, whatever its name. Throws
// std::bad_alloc.
walk_result walk_inputs(std::span<const char* const> inputs, walk_takes takes);

}  // namespace mthc::cli
