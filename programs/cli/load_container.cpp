#include "cli/load_container.hpp"

#include <cerrno>
#include <mthc/messages.hpp>

#include "cli/platform.hpp"
#include "cli/read_input_file.hpp"

namespace mthc::cli {

failure load_container(const char* path, byte_buffer& image) noexcept {
  const read_result read = read_input_file(path, k_max_container_size, image);
  switch (read.status) {
    case read_status::ok:
      return {};
    case read_status::failed:
      return read.why;
    case read_status::too_large:
      errno = too_large_errno();
      return system_failure("cannot determine size of", path);
    case read_status::empty:
      return failure_of("%s", error_text(container_fault::too_small).c_str());
    case read_status::out_of_memory:
      return failure_of("out of memory allocating %ld bytes", static_cast<long>(read.size));
  }
  return {};
}

}  // namespace mthc::cli
