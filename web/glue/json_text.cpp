#include "json_text.hpp"

namespace mthc::web {

void append_json_string(std::string& out, std::string_view bytes) {
  out += '"';
  std::size_t i = 0;
  const auto continuation = [&bytes](std::size_t at) {
    return at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80;
  };
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t n = 0;
    if (c >= 0xC2 && c <= 0xDF) n = 1;
    if (c >= 0xE0 && c <= 0xEF) n = 2;
    if (c >= 0xF0 && c <= 0xF4) n = 3;
    bool valid = n > 0;
    for (std::size_t k = 1; k <= n && valid; ++k)
      valid = continuation(i + k);
    if (valid) {
      out.append(bytes.substr(i, n + 1));
      i += n + 1;
      continue;
    }
    if (c >= 0x80) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
}

void append_json_number(std::string& out, const char* key, std::uint64_t value) {
  if (!out.empty() && out.back() != '{') out += ',';
  out += '"';
  out += key;
  out += "\":";
  out += std::to_string(value);
}

}  // namespace mthc::web
