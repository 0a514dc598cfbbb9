#include "cli/load_container.hpp"

#include <cerrno>
#include <cstdio>

#include "cli/platform.hpp"
#include "cli/print_report.hpp"
#include "cli/read_input_file.hpp"
#include "cli/system_error.hpp"

namespace mthc {

bool load_container(const char* path, byte_buffer& image) noexcept {
  const read_result read = read_input_file(path, k_max_container_size, image);
  switch (read.status) {
    case read_status::ok:
      return true;
    case read_status::failed:
      return false;
    case read_status::too_large:
      errno = too_large_errno();
      print_system_error("cannot determine size of", path);
      return false;
    case read_status::empty:
      print_container_fault(container_fault::too_small);
      return false;
    case read_status::out_of_memory:
      std::fprintf(stderr, "Error: out of memory allocating %ld bytes\n",
                   static_cast<long>(read.size));
      return false;
  }
  return false;
}

}  // namespace mthc
