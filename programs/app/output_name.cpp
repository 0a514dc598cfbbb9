#include "app/output_name.hpp"

#include <algorithm>
#include <iterator>

namespace mthc::app {

namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `base` is `extension` after a name of at least one character.
bool has_extension(std::string_view base, std::string_view extension) {
  return base.size() > extension.size() &&
         std::equal(extension.begin(), extension.end(), base.end() - extension.size(),
                    [](char a, char b) { return a == lower(b); });
}

// The file's own name: "a.mid/song" has no extension.
std::string_view base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

constexpr std::string_view k_container = ".mthc";
constexpr std::string_view k_midi_extensions[] = {".mid", ".midi", ".rmi", ".kar"};

std::string replaced(std::string_view name, std::size_t drop, std::string_view extension) {
  std::string out(name.substr(0, name.size() - drop));
  out += extension;
  return out;
}

}  // namespace

bool has_midi_extension(std::string_view path) {
  const std::string_view base = base_name(path);
  return std::any_of(std::begin(k_midi_extensions), std::end(k_midi_extensions),
                     [base](std::string_view extension) { return has_extension(base, extension); });
}

bool has_container_extension(std::string_view path) {
  return has_extension(base_name(path), k_container);
}

std::string output_name(std::string_view input, bool to_midi) {
  const std::string_view base = base_name(input);
  if (to_midi) {
    return replaced(input, has_extension(base, k_container) ? k_container.size() : 0, ".mid");
  }
  for (const std::string_view extension : k_midi_extensions) {
    if (has_extension(base, extension)) return replaced(input, extension.size(), ".mthc");
  }
  return replaced(input, 0, ".mthc");
}

}  // namespace mthc::app
