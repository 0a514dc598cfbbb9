// The front ends' JSON writer: commas and nesting, and names from files
// written losslessly with their mark.
#include "app/json_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mthc::app {
namespace {

TEST(JsonWriter, CommasAndNesting) {
  std::string text;
  json_object top = begin_object(text);
  json_array empty = begin_array(top, "none");
  end_array(empty);
  add_number(top, "n", 18446744073709551615U);
  json_object inner = begin_object(top, "inner");
  end_object(inner);
  json_array rows = begin_array(top, "rows");
  for (int i = 0; i < 3; ++i) {
    json_object row = begin_object(rows);
    add_flag(row, "odd", i % 2 != 0);
    if (i == 2) add_null(row, "last");
    end_object(row);
  }
  end_array(rows);
  const std::vector<std::uint64_t> values = {0, 9};
  add_numbers(top, "values", values);
  add_number_text(top, "seconds", "1.500");
  end_object(top);
  EXPECT_EQ(text,
            "{\"none\":[],\"n\":18446744073709551615,\"inner\":{},"
            "\"rows\":[{\"odd\":false},{\"odd\":true},{\"odd\":false,\"last\":null}],"
            "\"values\":[0,9],\"seconds\":1.500}");
}

TEST(JsonWriter, NamesAreLosslessAndMarked) {
  struct named {
    const char* what;
    std::string bytes;
    const char* json;
  };
  const named cases[] = {
      {"plain", "Piano", "{\"name\":\"Piano\"}"},
      {"UTF-8 kept", "M\xc3\xbcsik", "{\"name\":\"M\xc3\xbcsik\"}"},
      {"quote and backslash", "a\"b\\c", "{\"name\":\"a\\\"b\\\\c\"}"},
      // An ESC and a NUL are shown as JSON escapes, and read back as they are.
      {"controls",
       std::string("a\x1b"
                   "b\0c",
                   5),
       "{\"name\":\"a\\u001bb\\u0000c\"}"},
      // Bytes that are not UTF-8 as \xHH, the backslash of the name doubled
      // so that it cannot pass for one, and the mark beside it.
      {"not UTF-8", "\xc0\xaf\\x", "{\"name\":\"\\\\xc0\\\\xaf\\\\\\\\x\",\"name_escaped\":true}"},
  };
  for (const named& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text;
    json_object object = begin_object(text);
    add_name(object, "name", c.bytes);
    end_object(object);
    EXPECT_EQ(text, c.json);
  }
}

}  // namespace
}  // namespace mthc::app
