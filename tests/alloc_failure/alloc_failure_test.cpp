// Allocation-failure sweep: a whole run of the tool (load, report, preview,
// extraction, conversion, writing) is repeated with the 1st, 2nd, ... N-th
// allocation failing, for every N up to the number of allocations the run
// makes. Each run must either succeed exactly as without the failure, or
// print one error line of the step that failed and exit 1, leave no MIDI
// file behind, say nothing of one, and release every block it allocated.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mthc/mthc.hpp>
#include <string>
#include <vector>

#include "bit_writer.hpp"
#include "cli/run.hpp"
#include "container_builder.hpp"
#include "failing_allocator.hpp"
#include "generated_data.hpp"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace mthc {
namespace {

namespace fs = std::filesystem;
using test::bytes;

const std::string k_decompress_failed = "Error: failed to decompress MThc file\n";
const std::string k_assemble_failed =
    "Error: failed to assemble MIDI file from decompressed data\n";

std::string out_of_memory_line(std::size_t size) {
  return "Error: out of memory allocating " + std::to_string(size) + " bytes\n";
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Standard output and standard error of one in-process run, captured in files
// by pointing descriptors 1 and 2 at them for the duration of the run.
struct captured_run {
  int status = 0;
  std::string out;
  std::string err;
  std::size_t allocations = 0;
  bool injected = false;
  std::size_t leaked_blocks = 0;
};

class capture {
 public:
  explicit capture(const fs::path& directory)
      : out_path_(directory / "stdout.txt"), err_path_(directory / "stderr.txt") {}

  captured_run run(std::vector<std::string> arguments, std::size_t fail_at) const {
    std::vector<const char*> argv;
    for (const std::string& a : arguments)
      argv.push_back(a.c_str());

    std::fflush(stdout);
    std::fflush(stderr);
    const int saved_out = dup(fileno(stdout));
    const int saved_err = dup(fileno(stderr));
    std::FILE* out = std::fopen(out_path_.string().c_str(), "wb");
    std::FILE* err = std::fopen(err_path_.string().c_str(), "wb");
    dup2(fileno(out), fileno(stdout));
    dup2(fileno(err), fileno(stderr));

    captured_run result;
    const std::size_t live_before = test::live_allocations();
    test::arm_allocation_failure(fail_at);
    result.status = run_tool(static_cast<int>(argv.size()), argv.data());
    result.allocations = test::disarm_allocation_failure();
    result.injected = test::allocation_failure_injected();
    result.leaked_blocks = test::live_allocations() - live_before;

    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, fileno(stdout));
    dup2(saved_err, fileno(stderr));
    close(saved_out);
    close(saved_err);
    std::fclose(out);
    std::fclose(err);
    result.out = read_text(out_path_);
    result.err = read_text(err_path_);
    return result;
  }

 private:
  static int run_tool(int argc, const char* const* argv) { return mthc::cli::run(argc, argv); }

  fs::path out_path_;
  fs::path err_path_;
};

// An allocation whose failure must end the run with a known line: found in
// the log of the undisturbed run by its size, which the growth rules fix.
struct landmark {
  std::size_t size;
  std::string line;
};

struct sweep_case {
  std::string name;
  bytes container;
  std::vector<landmark> landmarks;
};

// The step an error line belongs to, in the order the run takes the steps.
int step_of(const std::string& err, std::size_t container_size) {
  if (err == out_of_memory_line(container_size)) return 0;
  if (err == k_decompress_failed) return 1;
  if (err == k_assemble_failed) return 2;
  return -1;
}

void PrintTo(const sweep_case& c, std::ostream* os) {
  *os << c.name;
}

class AllocationFailure : public testing::TestWithParam<sweep_case> {};

TEST_P(AllocationFailure, EveryAllocationFailsCleanly) {
  const sweep_case& c = GetParam();
  const fs::path dir =
      fs::temp_directory_path() / ("mthc-alloc-" + c.name + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path input = dir / "in.mthc";
  const fs::path payload = dir / "payload.bin";
  const fs::path midi = dir / "out.mid";
  {
    std::ofstream f(input, std::ios::binary);
    f.write(reinterpret_cast<const char*>(c.container.data()),
            static_cast<std::streamsize>(c.container.size()));
  }
  const std::vector<std::string> arguments = {"mthc",           "-v",           "--extract-payload",
                                              payload.string(), "--decompress", midi.string(),
                                              input.string()};
  const capture tool(dir);

  const captured_run baseline = tool.run(arguments, 0);
  ASSERT_EQ(baseline.status, 0) << baseline.err;
  ASSERT_EQ(baseline.err, "");
  ASSERT_EQ(baseline.leaked_blocks, 0U);
  ASSERT_GT(baseline.allocations, 0U);
  ASSERT_LE(baseline.allocations, test::k_logged_allocations);
  const std::string expected_midi = read_text(midi);
  const std::string expected_payload = read_text(payload);
  const std::string success_line = "Decompressed MThc to MIDI " + midi.string() + " (" +
                                   std::to_string(expected_midi.size()) + " bytes)\n";
  ASSERT_GE(baseline.out.size(), success_line.size());
  ASSERT_EQ(baseline.out.substr(baseline.out.size() - success_line.size()), success_line);
  const std::string out_before_conversion =
      baseline.out.substr(0, baseline.out.size() - success_line.size());

  std::vector<std::size_t> sizes(baseline.allocations);
  for (std::size_t i = 0; i < sizes.size(); ++i)
    sizes[i] = test::logged_allocation_size(i);

  std::printf("[ sweep    ] %zu allocations, each failed in turn\n", baseline.allocations);
  // What failing each allocation gave, by its 1-based number.
  std::map<std::size_t, std::string> errors;
  int last_step = 0;
  for (std::size_t n = 1; n <= baseline.allocations; ++n) {
    SCOPED_TRACE(testing::Message() << "allocation " << n << " of " << baseline.allocations << " ("
                                    << sizes[n - 1] << " bytes) fails");
    fs::remove(payload);
    fs::remove(midi);
    const captured_run r = tool.run(arguments, n);
    ASSERT_TRUE(r.injected);
    EXPECT_EQ(r.leaked_blocks, 0U);
    errors[n] = r.err;
    if (r.status == 0) {
      // A failure the run may absorb (an empty allocation): then nothing differs.
      EXPECT_EQ(r.out, baseline.out);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(read_text(midi), expected_midi);
      continue;
    }
    ASSERT_EQ(r.status, 1);
    const int step = step_of(r.err, c.container.size());
    ASSERT_GE(step, 0) << "not one documented error line: " << r.err;
    // The steps come in order: a later allocation never fails an earlier step.
    EXPECT_GE(step, last_step);
    last_step = step;
    EXPECT_FALSE(fs::exists(midi)) << "a MIDI file was left behind";
    if (step == 0) {
      // Loading failed: nothing reported, nothing extracted.
      EXPECT_EQ(r.out, "");
      EXPECT_FALSE(fs::exists(payload));
    } else {
      // The conversion failed: everything before it happened, no success line.
      EXPECT_EQ(r.out, out_before_conversion);
      EXPECT_EQ(read_text(payload), expected_payload);
    }
  }

  for (const landmark& m : c.landmarks) {
    SCOPED_TRACE(testing::Message() << "allocation of " << m.size << " bytes");
    std::size_t found = 0;
    for (std::size_t i = 0; i < sizes.size() && found == 0; ++i) {
      if (sizes[i] == m.size) found = i + 1;
    }
    ASSERT_NE(found, 0U) << "the run never allocates this size";
    EXPECT_EQ(errors[found], m.line);
  }
  fs::remove_all(dir);
}

// ---- the containers -------------------------------------------------------

bytes worked_example() {
  return test::from_hex(
      "4d 54 68 63 01 00 24 00 29 ff 4d 54 68 70 00 00 00 06 ff 00 01 00 02 00 60 00 00 ff 00 00 "
      "02 00 00 0c 00 90 ff 3c 40 60 80 3c 00 00 ff f0 2f 00 00 00");
}

sweep_case worked_case() {
  const bytes container = worked_example();
  return {"worked_example",
          container,
          {
              {container.size(), out_of_memory_line(container.size())},
              {0x10000, k_decompress_failed},                    // the decoded stream
              {1 * sizeof(std::uint16_t), k_decompress_failed},  // the table of declared sizes
              {36 + 2048, k_assemble_failed},                    // the MIDI image
              {12 + 1024, k_assemble_failed},                    // track 0's buffer
          }};
}

// One track of 119000 bytes in records of 50000, 50000 and 19000 bytes, one
// block each: the stream doubles once, to 131072 bytes, and the track's
// buffer grows once.
sweep_case multi_block_case() {
  const bytes track = test::midi_like_bytes(9, 119000);
  std::vector<std::vector<bytes>> blocks;
  for (std::size_t offset = 0; offset < track.size(); offset += 50000) {
    const std::size_t end = std::min(offset + 50000, track.size());
    blocks.push_back({bytes(track.begin() + static_cast<std::ptrdiff_t>(offset),
                            track.begin() + static_cast<std::ptrdiff_t>(end))});
  }
  return {"multi_block",
          test::container_from_records(1, 1, 96, blocks),
          {
              {0x20000, k_decompress_failed},                    // doubling the stream
              {3 * sizeof(std::uint16_t), k_decompress_failed},  // the table
              {50000 + 1024, k_assemble_failed},                 // the first record
              {50000 + 2 * (50000 + 1024), k_assemble_failed},   // growing for the second
          }};
}

// Five tracks of a generated song in 700-byte pieces: the instrument tracks
// grow their buffers several times. Every capacity track 1 goes through, by
// the growth rule (n + 1024 at first, then n + twice the capacity), is a
// landmark.
sweep_case multi_track_case() {
  const auto tracks = test::midi_song(21, 5, 64);
  std::vector<std::vector<bytes>> blocks;
  for (std::size_t offset = 0;; offset += 700) {
    std::vector<bytes> records;
    bool any = false;
    for (const auto& t : tracks) {
      const std::size_t begin = std::min(offset, t.size());
      const std::size_t end = std::min(offset + 700, t.size());
      records.emplace_back(t.begin() + static_cast<std::ptrdiff_t>(begin),
                           t.begin() + static_cast<std::ptrdiff_t>(end));
      any = any || end > begin;
    }
    if (!any) break;
    blocks.push_back(records);
  }
  std::vector<landmark> landmarks;
  std::size_t length = 0;
  std::size_t capacity = 0;
  for (const auto& records : blocks) {
    const std::size_t n = records[1].size();
    if (n != 0 && capacity < length + n) {
      capacity = capacity == 0 ? n + 1024 : n + 2 * capacity;
      landmarks.push_back({capacity, k_assemble_failed});
    }
    length += n;
  }
  return {"multi_track", test::container_from_records(1, 5, 480, blocks), landmarks};
}

// 300 tracks and no records: the file (14 + 300 x 12 bytes) outgrows the
// image's first capacity of stream size + 2048, so the image has to grow.
sweep_case many_empty_tracks_case() {
  bytes stream = test::stream_header(1, 300, 96);
  test::append(stream, bytes{0, 0, 0, 0});
  const std::vector<test::stored_block> blocks = {
      {static_cast<std::uint16_t>(stream.size()), test::literal_block(stream)}};
  const std::size_t first_capacity = stream.size() + 2048;
  return {"many_empty_tracks",
          test::build_container(blocks),
          {
              {first_capacity, k_assemble_failed},
              {2 * first_capacity + 4 + 8, k_assemble_failed},
          }};
}

INSTANTIATE_TEST_SUITE_P(Containers, AllocationFailure,
                         testing::Values(worked_case(), multi_block_case(), multi_track_case(),
                                         many_empty_tracks_case()),
                         [](const testing::TestParamInfo<sweep_case>& param_info) {
                           return param_info.param.name;
                         });

// The library's own functions, each allocation failed in turn: a good input
// then either gives the undisturbed result or out_of_memory, never an error
// that blames the input.
TEST(AllocationFailureInTheLibrary, OutOfMemoryIsNeverBadInput) {
  const bytes song = test::midi_file(1, 96, test::midi_song(5, 3, 6));
  struct api_call {
    const char* name;
    // Runs the call; returns whether it succeeded, and sets `memory` when it
    // reported out_of_memory.
    bool (*call)(const bytes& input, bool& memory);
    bytes input;
  };
  const api_call calls[] = {
      {"convert_to_midi",
       [](const bytes& input, bool& memory) {
         const conversion_result r = convert_to_midi(input);
         memory = r.error == conversion_error::out_of_memory;
         return r.error == conversion_error::none;
       },
       worked_example()},
      {"pack_midi",
       [](const bytes& input, bool& memory) {
         const pack_result r = pack_midi(input, {encode_level::fast});
         memory = r.error == pack_error::out_of_memory;
         return r.error == pack_error::none;
       },
       song},
      {"encode_block",
       [](const bytes& input, bool& memory) {
         const encode_result r = encode_block(input, encode_level::best);
         memory = r.error == encode_error::out_of_memory;
         return r.error == encode_error::none;
       },
       test::midi_like_bytes(3, 2000)},
  };
  for (const api_call& c : calls) {
    SCOPED_TRACE(c.name);
    bool memory = false;
    test::arm_allocation_failure(0);
    ASSERT_TRUE(c.call(c.input, memory));
    const std::size_t allocations = test::disarm_allocation_failure();
    for (std::size_t n = 1; n <= allocations; ++n) {
      test::arm_allocation_failure(n);
      const bool ok = c.call(c.input, memory);
      test::disarm_allocation_failure();
      EXPECT_TRUE(ok || memory) << "allocation " << n << " of " << allocations;
    }
  }
}

}  // namespace
}  // namespace mthc
