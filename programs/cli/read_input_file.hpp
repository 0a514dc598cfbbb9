// Reading a whole input file: the one reader of both programs.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <mthc/byte_buffer.hpp>
#include <span>

#include "cli/report.hpp"

namespace mthc::cli {

enum class read_status {
  ok,
  failed,         // `why` says why
  too_large,      // larger than the limit given; nothing printed, nothing read
  empty,          // the file holds no bytes; nothing printed
  out_of_memory,  // no buffer of the file's size; nothing printed
};

struct read_result {
  read_status status = read_status::failed;
  // The file's size as its position query gave it (also when too large or
  // when no buffer could be had).
  std::int64_t size = 0;
  // The file's first bytes (up to 4), also when it is too large to read:
  // enough to tell whether it is a container.
  std::array<std::uint8_t, 4> head{};
  std::size_t head_length = 0;
  failure why;

  std::span<const std::uint8_t> first_bytes() const noexcept { return {head.data(), head_length}; }
};

// Whether a file that cannot seek (a pipe, a FIFO, a terminal), or that has
// no size to take (a character device: /dev/zero), is read to its end, or
// refused (one that cannot seek) or taken at the size it gives.
enum class stream_input { refused, read };

// Reads the file at `path` into `bytes` (length = file size). Nothing is
// printed. The steps, and the failures they give: "cannot open" (also for a
// directory),
// "cannot seek" (unless streams are read), "cannot determine size of",
// "cannot rewind", each with the system's text; "failed reading" without.
// Positions are 64-bit on every system. `bytes` is empty unless the result
// is ok.
read_result read_input_file(const char* path, std::int64_t max_size, byte_buffer& bytes,
                            stream_input streams = stream_input::refused) noexcept;

// Reads `file` from where it is to its end, at most `max_size` bytes
// (`size` is then max_size + 1 and the result too_large). A read error is
// "failed reading '<name>'" with the system's text.
read_result read_stream(std::FILE* file, const char* name, std::int64_t max_size,
                        byte_buffer& bytes) noexcept;

}  // namespace mthc::cli
