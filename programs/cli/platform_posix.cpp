// The POSIX half of platform.hpp (Linux and other Unix systems).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

#include "cli/platform.hpp"

namespace mthc::cli {

// ---- The console and the standard streams ------------------------------

const char* path_separators() noexcept {
  return "/";
}

bool names_ignore_case() noexcept {
  return false;
}

bool is_terminal(std::FILE* stream) noexcept {
  return isatty(fileno(stream)) != 0;
}

void use_binary_standard_streams() noexcept {}

void use_utf8_console() noexcept {}

void wait_for_enter_in_own_console() noexcept {}

// ---- Looking up files ---------------------------------------------------

namespace {

path_kind kind_of(mode_t mode) noexcept {
  if (S_ISREG(mode)) return path_kind::regular;
  if (S_ISDIR(mode)) return path_kind::directory;
  if (S_ISLNK(mode)) return path_kind::link;
  if (S_ISFIFO(mode)) return path_kind::fifo;
  if (S_ISCHR(mode)) return path_kind::device;
  if (S_ISBLK(mode)) return path_kind::block_device;
  if (S_ISSOCK(mode)) return path_kind::socket;
  return path_kind::other;
}

std::int64_t nanoseconds(const timespec& time) noexcept {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

timespec timespec_of(std::int64_t ns) noexcept {
  timespec time{};
  time.tv_sec = static_cast<time_t>(ns / 1000000000);
  time.tv_nsec = static_cast<long>(ns % 1000000000);
  if (time.tv_nsec < 0) {  // before 1970
    time.tv_nsec += 1000000000;
    time.tv_sec -= 1;
  }
  return time;
}

file_status status_from(const struct stat& s) noexcept {
  file_status status;
  status.kind = kind_of(s.st_mode);
  status.identity = {static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino)};
  status.permissions = static_cast<std::uint32_t>(s.st_mode & 0777);
  status.accessed_ns = nanoseconds(s.st_atim);
  status.modified_ns = nanoseconds(s.st_mtim);
  return status;
}

}  // namespace

bool look_up(const char* path, links how, file_status& status) noexcept {
  struct stat s {};
  if ((how == links::followed ? stat(path, &s) : lstat(path, &s)) != 0) return false;
  status = status_from(s);
  return true;
}

std::optional<file_identity> identity_of(const char* path) noexcept {
  file_status status;
  if (!look_up(path, links::followed, status)) return std::nullopt;
  return status.identity;
}

bool may_write(const char* path) noexcept {
  return access(path, W_OK) == 0;
}

std::uint32_t creation_mask() noexcept {
  // The only way to read the mask is to set it; the programs run one thread.
  const mode_t mask = umask(022);
  umask(mask);
  return static_cast<std::uint32_t>(mask);
}

// ---- Folders --------------------------------------------------------------

namespace {

path_kind kind_of_entry(unsigned char type) noexcept {
  switch (type) {
    case DT_REG:
      return path_kind::regular;
    case DT_DIR:
      return path_kind::directory;
    case DT_LNK:
      return path_kind::link;
    case DT_FIFO:
      return path_kind::fifo;
    case DT_CHR:
      return path_kind::device;
    case DT_BLK:
      return path_kind::block_device;
    case DT_SOCK:
      return path_kind::socket;
    default:
      return path_kind::other;
  }
}

struct folder_closer {
  void operator()(DIR* folder) const noexcept { closedir(folder); }
};

}  // namespace

bool list_folder(const char* path, links how, std::vector<folder_entry>& entries) {
  entries.clear();
  const int flags =
      O_RDONLY | O_DIRECTORY | O_CLOEXEC | (how == links::not_followed ? O_NOFOLLOW : 0);
  const int descriptor = open(path, flags);
  if (descriptor < 0) return false;
  const std::unique_ptr<DIR, folder_closer> folder(fdopendir(descriptor));
  if (!folder) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(folder.get());
    if (entry == nullptr) return errno == 0;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    path_kind kind = kind_of_entry(entry->d_type);
    // File systems that do not say: asked of the entry itself.
    struct stat s {};
    if (entry->d_type == DT_UNKNOWN &&
        fstatat(dirfd(folder.get()), entry->d_name, &s, AT_SYMLINK_NOFOLLOW) == 0) {
      kind = kind_of(s.st_mode);
    }
    entries.push_back({std::string(name), kind});
  }
}

// ---- Reading ------------------------------------------------------------

std::FILE* open_for_reading(const char* path) noexcept {
  return std::fopen(path, "rb");
}

path_kind kind_of_open_file(std::FILE* file) noexcept {
  struct stat s {};
  if (fstat(fileno(file), &s) != 0) return path_kind::other;
  return kind_of(s.st_mode);
}

int seek_to(std::FILE* file, int origin) noexcept {
  return fseeko(file, 0, origin);
}

std::int64_t position_of(std::FILE* file) noexcept {
  return static_cast<std::int64_t>(ftello(file));
}

int too_large_errno() noexcept {
  return EOVERFLOW;
}

// ---- Writing ------------------------------------------------------------

std::FILE* open_device_for_writing(const char* path, path_kind& kind) noexcept {
  kind = path_kind::other;
  // Neither O_CREAT nor O_TRUNC: whatever is found is opened as it is, and
  // a regular file that took the device's place meanwhile is left untouched.
  const int descriptor = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat s {};
  if (fstat(descriptor, &s) != 0) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return nullptr;
  }
  kind = kind_of(s.st_mode);
  if (kind != path_kind::fifo && kind != path_kind::device) {
    close(descriptor);
    errno = kind == path_kind::directory ? EISDIR : EINVAL;
    return nullptr;
  }
  std::FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) {
    const int error = errno;
    close(descriptor);
    errno = error;
  }
  return file;
}

namespace {

// The temporary files, in fixed storage: a signal handler may only touch
// what needs no allocation. Each is named relative to its folder, which
// stays open while it exists, so that a handler needs no path and no path
// is too long.
struct temporary_state {
  int folder = -1;
  int descriptor = -1;
  bool waits_for_sync = false;
  char name[NAME_MAX + 1] = {};
  char target_name[NAME_MAX + 1] = {};
};
temporary_state g_temporaries[k_max_temporaries];
// Set while the file exists under its temporary name: the handler's own.
volatile std::sig_atomic_t g_temporary_exists[k_max_temporaries] = {};

// The signals whose default action ends the process and that come from
// outside: each removes the temporary files first. Faults of the program
// itself (SEGV, BUS, FPE, ILL, ABRT, TRAP, SYS) are left alone: after one,
// nothing the program holds can be trusted, and what is left shows what
// happened.
constexpr int k_ending_signals[] = {
    SIGHUP,    SIGINT,  SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM,
    SIGUSR1,   SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

sigset_t g_handled;  // the signals with the handler installed

extern "C" void remove_temporary_and_end(int signal_number) {
  for (int t = 0; t < k_max_temporaries; ++t) {
    if (g_temporary_exists[t] != 0) unlinkat(g_temporaries[t].folder, g_temporaries[t].name, 0);
  }
  // The default action, once this handler returns (the signal is blocked
  // until then).
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

bool install_unless_ignored(int signal_number) noexcept {
  struct sigaction previous {};
  if (sigaction(signal_number, nullptr, &previous) != 0) return false;
  if (previous.sa_handler == SIG_IGN) return false;
  struct sigaction action {};
  action.sa_handler = remove_temporary_and_end;
  // No other ending signal interrupts the handler (each is blocked in it).
  action.sa_mask = g_handled;
  return sigaction(signal_number, &action, nullptr) == 0;
}

// Blocks the ending signals while a temporary file is created or moved, so
// that it is removed exactly when it exists under its temporary name.
struct signals_held {
  sigset_t previous{};
  signals_held() noexcept { sigprocmask(SIG_BLOCK, &g_handled, &previous); }
  ~signals_held() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
  signals_held(const signals_held&) = delete;
  signals_held& operator=(const signals_held&) = delete;
};

void close_keeping_errno(int& descriptor) noexcept {
  if (descriptor < 0) return;
  const int error = errno;
  close(descriptor);
  errno = error;
  descriptor = -1;
}

bool is_free(int t) noexcept {
  return g_temporaries[t].folder < 0;
}

// Writes the temporary file's name for `target_name` and `attempt` into
// `slot.name`; false when it would be longer than a name may be.
bool name_temporary(temporary_state& slot, bool short_form, int attempt) noexcept {
  const long pid = static_cast<long>(getpid());
  // Made on the stack and copied in: the optimiser cannot tell the slot's
  // two names apart and warns that snprintf might read what it writes.
  char name[sizeof slot.name];
  const int n = short_form ? std::snprintf(name, sizeof name, ".mthc-%ld-%d.tmp", pid, attempt)
                           : std::snprintf(name, sizeof name, ".%s.%ld-%d.tmp", slot.target_name,
                                           pid, attempt);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof name) return false;
  std::memcpy(slot.name, name, sizeof name);
  return true;
}

// The attempts share one count across the run's temporary files, so that
// the first name tried is new.
int g_attempts = 0;

// Opens the folder of `target` into `slot` and notes the target's name;
// false with errno set.
bool open_folder_of(const char* target, temporary_state& slot) noexcept {
  const char* slash = std::strrchr(target, '/');
  const char* name = slash == nullptr ? target : slash + 1;
  if (*name == '\0') {
    // "folder/": no name to put a file at, as creating it would say.
    errno = *target == '\0' ? ENOENT : EISDIR;
    return false;
  }
  if (std::strlen(name) > NAME_MAX) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::strcpy(slot.target_name, name);  // NOLINT: the length was checked
  // The folder, held open: every later step is relative to it, so that
  // renaming a folder on the path meanwhile cannot move where they happen.
  // O_PATH needs no permission to read the folder, only to search it.
  int folder_flags = O_DIRECTORY | O_CLOEXEC;
#ifdef O_PATH
  folder_flags |= O_PATH;
#else
  folder_flags |= O_RDONLY;
#endif
  if (slash == nullptr) {
    slot.folder = open(".", folder_flags);
  } else {
    char folder[PATH_MAX];
    const auto length = static_cast<std::size_t>(slash - target) + 1;  // "/" for the root
    if (length >= sizeof folder) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::memcpy(folder, target, length);
    folder[length] = '\0';
    slot.folder = open(folder, folder_flags);
  }
  return slot.folder >= 0;
}

}  // namespace

void remove_temporary_on_signals() noexcept {
  sigemptyset(&g_handled);
  for (const int s : k_ending_signals)
    sigaddset(&g_handled, s);
#ifdef SIGRTMIN
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
    sigaddset(&g_handled, s);
#endif
  for (const int s : k_ending_signals) {
    if (!install_unless_ignored(s)) sigdelset(&g_handled, s);
  }
#ifdef SIGRTMIN
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) {
    if (!install_unless_ignored(s)) sigdelset(&g_handled, s);
  }
#endif
  // Beyond the file-size limit a write then fails with EFBIG, which is
  // reported, rather than ending the process with a partial file.
  std::signal(SIGXFSZ, SIG_IGN);
}

bool temporaries_full() noexcept {
  for (int t = 0; t < k_max_temporaries; ++t) {
    if (is_free(t)) return false;
  }
  return true;
}

int create_temporary_beside(const char* target) noexcept {
  int t = 0;
  while (t < k_max_temporaries && !is_free(t))
    ++t;
  if (t == k_max_temporaries) {
    errno = EMFILE;
    return -1;
  }
  temporary_state& slot = g_temporaries[t];
  if (!open_folder_of(target, slot)) {
    close_keeping_errno(slot.folder);
    return -1;
  }

  bool short_form = false;
  for (int tries = 0; tries < 100; ++tries) {
    const int attempt = g_attempts++;
    if (!short_form && !name_temporary(slot, false, attempt)) short_form = true;
    if (short_form && !name_temporary(slot, true, attempt)) {
      errno = ENAMETOOLONG;
      break;
    }
    const signals_held held;
    // Exclusive: an existing file, or a link planted under this name, is
    // never opened.
    const int descriptor =
        openat(slot.folder, slot.name,
               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
      slot.descriptor = descriptor;
      slot.waits_for_sync = false;
      g_temporary_exists[t] = 1;
      // What was opened, not what a lookup saw: a new regular file, with
      // this one name.
      struct stat s {};
      if (fstat(descriptor, &s) != 0) {
        remove_temporary(t);
        return -1;
      }
      if (!S_ISREG(s.st_mode) || s.st_nlink != 1) {
        remove_temporary(t);
        errno = EEXIST;
        return -1;
      }
      return t;
    }
    // A file system with shorter names than the usual limit.
    if (errno == ENAMETOOLONG && !short_form) {
      short_form = true;
      --tries;
      continue;
    }
    if (errno != EEXIST) break;
  }
  close_keeping_errno(slot.folder);
  return -1;
}

bool write_temporary(int t, std::span<const std::uint8_t> bytes) noexcept {
  while (!bytes.empty()) {
    const ssize_t n = write(g_temporaries[t].descriptor, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

void set_temporary_metadata(int t, std::uint32_t permissions, const file_status* times) noexcept {
  const int descriptor = g_temporaries[t].descriptor;
  fchmod(descriptor, static_cast<mode_t>(permissions & 0777));
  if (times != nullptr) {
    const timespec both[2] = {timespec_of(times->accessed_ns), timespec_of(times->modified_ns)};
    futimens(descriptor, both);
  }
}

namespace {

// A file system that cannot flush (EINVAL) has nothing more to do.
bool flushed(int result) noexcept {
  return result == 0 || errno == EINVAL;
}

}  // namespace

bool finish_temporary(int t, flush when) noexcept {
  temporary_state& slot = g_temporaries[t];
  if (when == flush::with_others) {
    // Open until then: the sync goes through it.
    slot.waits_for_sync = true;
    return true;
  }
  const bool synced = flushed(fsync(slot.descriptor));
  const int sync_error = errno;
  const bool closed = close(slot.descriptor) == 0;
  slot.descriptor = -1;
  if (!synced) errno = sync_error;
  return synced && closed;
}

bool sync_temporaries() noexcept {
  bool all = true;
  int error = 0;
#ifdef __linux__
  // The file systems synced so far, by device.
  dev_t synced[k_max_temporaries];
  int synced_count = 0;
#endif
  for (temporary_state& slot : g_temporaries) {
    if (!slot.waits_for_sync) continue;
    bool done = true;
#ifdef __linux__
    struct stat s {};
    if (fstat(slot.descriptor, &s) != 0) {
      done = false;
    } else if (std::find(synced, synced + synced_count, s.st_dev) == synced + synced_count) {
      done = flushed(syncfs(slot.descriptor));
      if (done) synced[synced_count++] = s.st_dev;
    }
#else
    done = flushed(fsync(slot.descriptor));
#endif
    if (!done) error = errno;
    if (close(slot.descriptor) != 0 && done) {
      done = false;
      error = errno;
    }
    slot.descriptor = -1;
    slot.waits_for_sync = false;
    all = all && done;
  }
  if (!all) errno = error;
  return all;
}

bool move_temporary_into_place(int t, bool replace) noexcept {
  temporary_state& slot = g_temporaries[t];
  close_keeping_errno(slot.descriptor);  // not when it was synced
  slot.waits_for_sync = false;
  const int folder = slot.folder;
  const char* name = slot.target_name;
  const signals_held held;
  if (replace) {
    if (renameat(folder, slot.name, folder, name) != 0) return false;
  } else if (linkat(folder, slot.name, folder, name, 0) == 0) {
    // A hard link is made only where nothing exists, a link included: no
    // file that appeared since the check is replaced.
    unlinkat(folder, slot.name, 0);
  } else {
    if (errno == EEXIST) return false;
    // File systems without hard links: check, then rename.
    struct stat s {};
    if (fstatat(folder, name, &s, AT_SYMLINK_NOFOLLOW) == 0) {
      errno = EEXIST;
      return false;
    }
    if (renameat(folder, slot.name, folder, name) != 0) return false;
  }
  g_temporary_exists[t] = 0;  // it is the output now
  close_keeping_errno(slot.folder);
  return true;
}

void remove_temporary(int t) noexcept {
  temporary_state& slot = g_temporaries[t];
  const signals_held held;
  close_keeping_errno(slot.descriptor);
  slot.waits_for_sync = false;
  if (g_temporary_exists[t] != 0) {
    const int error = errno;
    unlinkat(slot.folder, slot.name, 0);
    errno = error;
    g_temporary_exists[t] = 0;
  }
  close_keeping_errno(slot.folder);
}

void remove_temporaries() noexcept {
  for (int t = 0; t < k_max_temporaries; ++t)
    remove_temporary(t);
}

}  // namespace mthc::cli
