// Option parsing: every rule of the argument table.
#include "cli/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/run.hpp"

namespace mthc::cli {
namespace {

struct parse_case {
  std::vector<const char*> arguments;  // without the program name
  parse_action action;
  bool verbose = false;
  const char* input = nullptr;
  const char* extract = nullptr;
  const char* decompress = nullptr;
  const char* unexpected = nullptr;
};

std::string show(const char* s) {
  return s == nullptr ? "(none)" : s;
}

TEST(ParseOptions, ArgumentTable) {
  const std::vector<parse_case> cases = {
      {{}, parse_action::usage_error},
      {{"-v"}, parse_action::usage_error, true},
      {{"--verbose", "--decompress", "x.mid"},
       parse_action::usage_error,
       true,
       nullptr,
       nullptr,
       "x.mid"},
      {{"in.mthc", "--decompress"}, parse_action::usage_error, false, "in.mthc"},
      {{"in.mthc", "--extract-payload"}, parse_action::usage_error, false, "in.mthc"},
      {{"a", "b"}, parse_action::unexpected_argument, false, "a", nullptr, nullptr, "b"},
      {{"a", "b", "--help"}, parse_action::unexpected_argument, false, "a", nullptr, nullptr, "b"},
      {{"--help", "a", "b"}, parse_action::help},
      {{"a", "-h"}, parse_action::help, false, "a"},
      {{"-x"}, parse_action::run, false, "-x"},
      {{"-vv", "--quiet"},
       parse_action::unexpected_argument,
       false,
       "-vv",
       nullptr,
       nullptr,
       "--quiet"},
      {{"-V"}, parse_action::run, false, "-V"},
      {{"--extract-payload", "-v", "in"}, parse_action::run, false, "in", "-v"},
      {{"--decompress", "--help", "in"}, parse_action::run, false, "in", nullptr, "--help"},
      {{"in", "-v", "--extract-payload", "p", "--decompress", "m"},
       parse_action::run,
       true,
       "in",
       "p",
       "m"},
      {{"-v", "--extract-payload", "p", "--decompress", "m", "in"},
       parse_action::run,
       true,
       "in",
       "p",
       "m"},
      {{"--decompress", "one", "in", "--decompress", "two"},
       parse_action::run,
       false,
       "in",
       nullptr,
       "two"},
      {{"--extract-payload=p", "in"},
       parse_action::unexpected_argument,
       false,
       "--extract-payload=p",
       nullptr,
       nullptr,
       "in"},
  };
  for (const parse_case& c : cases) {
    std::string trace;
    for (const char* a : c.arguments)
      trace += std::string(a) + " ";
    SCOPED_TRACE(trace);
    const parse_result r = parse_options(c.arguments);
    EXPECT_EQ(r.action, c.action);
    if (c.action == parse_action::help) continue;  // nothing else is promised
    EXPECT_EQ(r.options.verbose, c.verbose);
    EXPECT_EQ(show(r.options.input_path), show(c.input));
    EXPECT_EQ(show(r.options.extract_path), show(c.extract));
    EXPECT_EQ(show(r.options.decompress_path), show(c.decompress));
    EXPECT_EQ(show(r.unexpected), show(c.unexpected));
  }
}

}  // namespace
}  // namespace mthc::cli

namespace mthc::cli {
namespace {

TEST(Run, WithoutEvenAProgramNameTheUsageNamesMthc) {
  const char* const argv[] = {nullptr};
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  const int status = run(0, argv);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err.rfind("MThc decompressor\nUsage: mthc [options] <input.mid>\n", 0), 0U) << err;
}

}  // namespace
}  // namespace mthc::cli
