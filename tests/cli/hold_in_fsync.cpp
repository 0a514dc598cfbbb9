// Test helper, preloaded (LD_PRELOAD) into a program under test, Linux or
// wine: holds the program in the middle of writing an output, so that a
// test can signal it exactly while its temporary file exists.
//
// When MTHC_TEST_HOLD names a file, an fsync or syncfs through a file named
// "*.tmp" in the same folder creates that file and then waits, up to a
// minute, until the test removes it again; a signal that ends the program
// ends the wait. Every other call is the system's.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// Whether `descriptor` is a temporary output in the folder of `marker`.
bool is_held(int descriptor, const char* marker) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
  char path[PATH_MAX];
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return false;
  const std::string file(path, static_cast<std::size_t>(n));
  const std::string folder(marker, std::strrchr(marker, '/') - marker + 1);
  return file.size() > 4 && file.compare(file.size() - 4, 4, ".tmp") == 0 &&
         file.compare(0, folder.size(), folder) == 0 &&
         file.find('/', folder.size()) == std::string::npos;
}

void hold_if_asked(int descriptor) {
  const char* marker = std::getenv("MTHC_TEST_HOLD");
  if (marker != nullptr && std::strchr(marker, '/') != nullptr && is_held(descriptor, marker)) {
    const int created = open(marker, O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (created >= 0) close(created);
    for (int i = 0; i < 6000 && access(marker, F_OK) == 0; ++i) {
      const timespec step{0, 10000000};
      nanosleep(&step, nullptr);
    }
  }
}

}  // namespace

extern "C" int fsync(int descriptor) {
  hold_if_asked(descriptor);
  using fsync_function = int (*)(int);
  const auto system_fsync = reinterpret_cast<fsync_function>(dlsym(RTLD_NEXT, "fsync"));
  return system_fsync(descriptor);
}

extern "C" int syncfs(int descriptor) {
  hold_if_asked(descriptor);
  using syncfs_function = int (*)(int);
  const auto system_syncfs = reinterpret_cast<syncfs_function>(dlsym(RTLD_NEXT, "syncfs"));
  return system_syncfs(descriptor);
}
