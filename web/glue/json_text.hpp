// Text from files in the JSON that the page reads: strict UTF-8, as the
// tools' listing writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mthc::web {

// Appends `bytes` as a JSON string: valid UTF-8 kept as it is, other bytes
// read as Latin-1, control characters left out.
void append_json_string(std::string& out, std::string_view bytes);

// Appends `"key":value` (after a comma unless `out` ends with '{').
void append_json_number(std::string& out, const char* key, std::uint64_t value);

}  // namespace mthc::web
