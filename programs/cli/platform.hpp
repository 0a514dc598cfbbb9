// The operating system, for both programs: every call that opens, looks up,
// renames, links or removes a file, asks about or sets up the console, or
// sets up signals goes through here, and nothing else in the programs knows
// which system it runs on. platform_posix.cpp and platform_windows.cpp hold
// the two halves; the build takes one.
//
// Paths are UTF-8 on every system. On Windows each call converts its path
// to UTF-16 and calls the wide function, which takes a path of any length
// and any language (the narrow functions of some runtimes copy a path into
// 260 characters on its way there). Failures set errno, with the C
// library's numbers on every system, so that one message form fits all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mthc::cli {

// ---- The console and the standard streams ------------------------------

bool is_terminal(std::FILE* stream) noexcept;

// Standard input and output carry bytes as they are (Windows would otherwise
// translate line ends in them).
void use_binary_standard_streams() noexcept;

// Windows: makes the console show the programs' output as UTF-8, which is
// what they print (names as they were given, in any language), until the
// program ends; the console's previous code page is then restored for
// whatever runs in it next. Nothing happens without a console, or elsewhere.
void use_utf8_console() noexcept;

// Windows: when the program has a console window of its own, as when files
// are dropped on it in the file manager, the window would close with the
// program before anyone could read what it printed: this asks for Enter
// first, on standard error, and reads a line from the console. It does
// nothing when the program shares its console (started from a command
// prompt), when standard input is not the console, and on other systems.
void wait_for_enter_in_own_console() noexcept;

// ---- Paths ----------------------------------------------------------------

// The characters that end a folder's name in a path: '/', and on Windows
// '\\' too.
const char* path_separators() noexcept;

// Whether two names that differ only in the case of their letters name one
// file (Windows' file systems).
bool names_ignore_case() noexcept;

// ---- Looking up files ---------------------------------------------------

// `device` is a character device (a terminal, /dev/null), which is written
// as a stream; `block_device` a disk or a partition, which never is.
enum class path_kind { regular, directory, link, fifo, device, block_device, socket, other };

// Tells whether two paths name the same file (another spelling, a link, a
// case-insensitive name): the device and the file number (on Windows the
// volume and the file index).
struct file_identity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const file_identity&) const = default;
};

struct file_status {
  path_kind kind = path_kind::other;
  file_identity identity;
  // The permission bits (0777). Windows has only "read-only" (0444; 0666
  // otherwise), and the programs set none there.
  std::uint32_t permissions = 0;
  // Nanoseconds since 1970-01-01 UTC.
  std::int64_t accessed_ns = 0;
  std::int64_t modified_ns = 0;
};

enum class links { followed, not_followed };

// What is at `path`: the file a link leads to, or the link itself. False
// with errno set (ENOENT when there is nothing) when it cannot be told.
bool look_up(const char* path, links how, file_status& status) noexcept;

// The identity of the existing file at `path`, links followed; none when
// there is none.
std::optional<file_identity> identity_of(const char* path) noexcept;

// Whether this process may write the file at `path` (not whether its folder
// lets it be replaced).
bool may_write(const char* path) noexcept;

// The permission bits that new files do not get (the umask; 0 on Windows).
std::uint32_t creation_mask() noexcept;

// ---- Folders --------------------------------------------------------------

struct folder_entry {
  std::string name;
  // The entry itself: a link is a link (on Windows, a symbolic link or a
  // junction; a cloud service's placeholder is the file or folder it
  // stands for), and what a Windows folder holds is a regular file, a folder
  // or a link.
  path_kind kind = path_kind::other;
};

// The entries of the folder at `path`, "." and ".." left out, in the order
// the system gives them. With links::not_followed a link at `path` is not
// listed through (POSIX: checked as it is opened). Names that are not
// Unicode (Windows) are left out: no path in UTF-8 could open them. False
// with errno set. Throws std::bad_alloc.
bool list_folder(const char* path, links how, std::vector<folder_entry>& entries);

// ---- Reading ------------------------------------------------------------

// fopen(path, "rb"), with the path in UTF-8 on every system.
std::FILE* open_for_reading(const char* path) noexcept;

// What an open file is, as the open file says: a character device (a
// terminal, /dev/zero) has no size to take, whatever seeking it says.
// path_kind::other when it cannot be told.
path_kind kind_of_open_file(std::FILE* file) noexcept;

// Seeks to offset 0 from `origin` (SEEK_SET or SEEK_END); 0 on success.
// Positions are 64-bit on every system, so a file of 2 GiB or more is seen
// as such rather than as a wrapped 32-bit position (long is 32 bits on
// Windows).
int seek_to(std::FILE* file, int origin) noexcept;
std::int64_t position_of(std::FILE* file) noexcept;

// The errno for a file too large to count: what POSIX's ftell reports for a
// position its type cannot hold (EOVERFLOW). msvcrt.dll's strerror knows
// only the classic errno values and says "Unknown error" for that one, so
// on Windows the older EFBIG ("File too large") says it instead.
int too_large_errno() noexcept;

// ---- Writing ------------------------------------------------------------

// Opens the existing file at `path` (links followed) for writing as it is,
// without creating or truncating anything, and sets `kind` to what was
// opened, as the opened file says (not as a lookup before said). Returns a
// binary stream only for a FIFO or a character device; anything else is
// closed again untouched, unwritten, and null returned with errno EISDIR (a
// folder) or EINVAL. Null with errno set and `kind` path_kind::other when it
// cannot be opened.
std::FILE* open_device_for_writing(const char* path, path_kind& kind) noexcept;

// The temporary files of outputs, each created beside its target (so that
// the rename stays within one file system) under a new name, and removed by
// a signal that ends the run while it exists (see
// remove_temporary_on_signals). The name is "." + the target's name + "." +
// the process id + "-" + a count + ".tmp", so that a leftover says what it
// was, or ".mthc-<pid>-<count>.tmp" where that would be longer than a file
// name may be. At most k_max_temporaries exist at a time: a run may finish
// several and sync them together before it moves them into place (one sync
// of the disk costs as much as one of a file, often more than the work on
// a song). Each is known by its number, from 0.
inline constexpr int k_max_temporaries = 32;

// Whether every temporary file that may exist at a time does.
bool temporaries_full() noexcept;

// Creates one, exclusively (never an existing file, never through a link),
// and checks that what was opened is a new regular file. Its number, or -1
// with errno set.
int create_temporary_beside(const char* target) noexcept;

// Writes all of `bytes` to temporary file `t`. False with errno set.
bool write_temporary(int t, std::span<const std::uint8_t> bytes) noexcept;

// Gives temporary file `t` its permission bits, and its access and
// modification times when `times` is given. Where the system or the file
// system refuses, the file keeps what it had (permission 0600 on POSIX).
void set_temporary_metadata(int t, std::uint32_t permissions, const file_status* times) noexcept;

// When a finished temporary file's data are flushed to the disk: at once,
// or by sync_temporaries (all that wait for it, together).
enum class flush { now, with_others };

// Ends the writing of temporary file `t`, flushing its data to the disk
// first with flush::now. False with errno set (its data may then not be on
// the disk).
bool finish_temporary(int t, flush when) noexcept;

// Flushes the data of every temporary file finished with flush::with_others
// to the disk: on Linux one syncfs for each file system they are on (which
// writes back the rest of it too), elsewhere each file. False with errno
// set when any failed (the files' data may then not be on the disk).
bool sync_temporaries() noexcept;

// Renames finished temporary file `t` to its target. With `replace`, an
// existing file, or a link, at the target is replaced (the link itself,
// never what it leads to); without, nothing that exists there is touched
// (the check and the rename are one step where the system allows it) and
// errno is EEXIST. False with errno set; the temporary file then still
// exists.
bool move_temporary_into_place(int t, bool replace) noexcept;

// Closes and removes temporary file `t`, if it exists.
void remove_temporary(int t) noexcept;

// Closes and removes every temporary file that exists.
void remove_temporaries() noexcept;

// Called once at the start of a program: every signal that would end the
// run (POSIX: HUP, INT, QUIT, TERM, PIPE, ALRM, USR1, USR2, VTALRM, PROF,
// XCPU and, on Linux, POLL, PWR, STKFLT and the real-time signals; Windows:
// every console event) first removes the temporary files, then ends the run
// as it would have. A signal that the process inherited as ignored is left
// ignored (a run under nohup survives its terminal). A write beyond the
// file-size limit fails with EFBIG instead of ending the process.
void remove_temporary_on_signals() noexcept;

}  // namespace mthc::cli
