#include "app/output_name.hpp"

#include <algorithm>

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

std::string replaced(std::string_view name, std::size_t drop, std::string_view extension) {
  std::string out(name.substr(0, name.size() - drop));
  out += extension;
  return out;
}

}  // namespace

std::string output_name(std::string_view input, bool to_midi) {
  const std::size_t slash = input.find_last_of("/\\");
  const std::string_view base = slash == std::string_view::npos ? input : input.substr(slash + 1);
  if (to_midi) {
    constexpr std::string_view k_container = ".mthc";
    return replaced(input, has_extension(base, k_container) ? k_container.size() : 0, ".mid");
  }
  for (const std::string_view extension : {".mid", ".midi", ".rmi", ".kar"}) {
    if (has_extension(base, extension)) return replaced(input, extension.size(), ".mthc");
  }
  return replaced(input, 0, ".mthc");
}

}  // namespace mthc::app
