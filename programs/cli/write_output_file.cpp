#include "cli/write_output_file.hpp"

#include <cerrno>
#include <cstdio>
#include <optional>

#include "cli/file_handle.hpp"
#include "cli/shown_name.hpp"

namespace mthc::cli {

namespace {

enum class route {
  refused,    // `why` says why
  direct,     // a device or FIFO the user named, written as it is
  temporary,  // a new file, renamed into place
};

struct target_check {
  route how = route::temporary;
  // The permission bits of the regular file that the output replaces.
  std::optional<std::uint32_t> replaced_permissions;
  failure why;
};

target_check refused(const failure& why) noexcept {
  return {route::refused, std::nullopt, why};
}

constexpr target_check k_direct{route::direct, std::nullopt, {}};

failure exists(const char* path) noexcept {
  return failure_of("'%s' already exists; use -f to overwrite it", printable_name(path).c_str());
}

const char* special_kind_name(path_kind kind) noexcept {
  switch (kind) {
    case path_kind::fifo:
      return "FIFO";
    case path_kind::device:
      return "device";
    case path_kind::block_device:
      return "block device";
    case path_kind::socket:
      return "socket";
    default:
      return "special file";
  }
}

failure not_overwritten(const char* path, path_kind kind) noexcept {
  return failure_of("'%s' is a %s, not a regular file; it is not overwritten",
                    printable_name(path).c_str(), special_kind_name(kind));
}

// What is written as a stream where it is: /dev/null, a terminal, a pipe. A
// disk, a folder or a socket never is, however it is named.
bool is_stream(path_kind kind) noexcept {
  return kind == path_kind::fifo || kind == path_kind::device;
}

target_check check_target(const char* path, const output_rules& rules) noexcept {
  file_status entry;
  // Nothing there, or what cannot be looked up: creating the file says why.
  if (!look_up(path, links::not_followed, entry)) return {};
  path_kind kind = entry.kind;
  if (kind == path_kind::link && rules.named_by_user) {
    // A FIFO or device that the user named through a link (/dev/stdout) is
    // what the user meant, and a folder says so as one named directly; a
    // link to a regular file, or to nothing, is replaced like a file. A
    // link to a disk or a socket is neither followed nor replaced: whoever
    // planted it there meant it to be written through.
    file_status target;
    if (look_up(path, links::followed, target) && target.kind != path_kind::regular) {
      if (!is_stream(target.kind) && target.kind != path_kind::directory) {
        return refused(failure_of("'%s' is a link to a %s; it is not written through",
                                  printable_name(path).c_str(), special_kind_name(target.kind)));
      }
      kind = target.kind;
    }
  }
  switch (kind) {
    case path_kind::directory:
      errno = EISDIR;
      return refused(system_failure("cannot create", path));
    case path_kind::regular:
    case path_kind::link:
      if (!rules.replace) return refused(exists(path));
      if (kind == path_kind::link) return {};
      if (rules.program == output_program::mthc && !may_write(path)) {
        errno = EACCES;
        return refused(system_failure("cannot create", path));
      }
      return {route::temporary, entry.permissions, {}};
    case path_kind::fifo:
    case path_kind::device:
      if (rules.named_by_user) return k_direct;
      return refused(not_overwritten(path, kind));
    case path_kind::block_device:
    case path_kind::socket:
    case path_kind::other:
      return refused(not_overwritten(path, kind));
  }
  return {};
}

std::uint32_t output_permissions(const output_rules& rules, const target_check& check) noexcept {
  if (rules.program == output_program::mthc_pack && rules.input != nullptr) {
    return rules.input->permissions;
  }
  if (check.replaced_permissions) return *check.replaced_permissions;
  const std::uint32_t wanted = rules.input != nullptr ? rules.input->permissions : 0666;
  return wanted & ~creation_mask();
}

failure write_failure(const char* path, const output_rules& rules) noexcept {
  // The report tool's short write carries no system text.
  if (rules.program == output_program::mthc) {
    return failure_of("failed writing '%s'", printable_name(path).c_str());
  }
  return system_failure("failed writing", path);
}

struct direct_result {
  // A regular file took the device's place since the check: it is not
  // written through, but replaced as any other.
  bool not_a_device = false;
  failure why;
};

direct_result write_directly(const char* path, std::span<const std::uint8_t> bytes,
                             const output_rules& rules) noexcept {
  path_kind kind = path_kind::other;
  file_handle file(open_device_for_writing(path, kind));
  if (!file) {
    if (kind == path_kind::regular) return {true, {}};
    // Something else took the device's place since the check.
    if (kind == path_kind::block_device || kind == path_kind::socket) {
      return {false, not_overwritten(path, kind)};
    }
    return {false, system_failure("cannot create", path)};
  }
  if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) ||
      (rules.program == output_program::mthc_pack && std::fflush(file.get()) != 0)) {
    return {false, write_failure(path, rules)};  // closed by the handle, its result ignored
  }
  // Buffered data reaches the device here, so a full disk often shows up
  // only now.
  if (std::fclose(file.release()) != 0) return {false, system_failure("failed closing", path)};
  return {};
}

// Writes `bytes` to a new temporary file beside `path` and finishes it:
// its number in `t`, or why not (it is then removed).
failure write_temporary_beside(const char* path, std::span<const std::uint8_t> bytes,
                               const output_rules& rules, const target_check& check, flush when,
                               int& t) noexcept {
  const bool report_tool = rules.program == output_program::mthc;
  t = create_temporary_beside(path);
  if (t < 0) return system_failure("cannot create", path);
  failure failed;
  if (!write_temporary(t, bytes)) {
    failed = write_failure(path, rules);
  } else {
    set_temporary_metadata(t, output_permissions(rules, check),
                           report_tool ? nullptr : rules.input);
    if (!finish_temporary(t, when)) {
      failed = system_failure(report_tool ? "failed closing" : "failed writing", path);
    }
  }
  if (failed.failed()) {
    remove_temporary(t);
    t = -1;
  }
  return failed;
}

// Moves finished temporary file `t` to `path`, or says why not (it is then
// removed).
failure move_into_place(int t, const char* path, const output_rules& rules) noexcept {
  if (move_temporary_into_place(t, rules.replace)) return {};
  const failure failed =
      errno == EEXIST && !rules.replace
          ? exists(path)
          : system_failure(
                rules.program == output_program::mthc ? "cannot create" : "cannot replace", path);
  remove_temporary(t);
  return failed;
}

}  // namespace

failure output_allowed(const char* path, const output_rules& rules) noexcept {
  return check_target(path, rules).why;
}

namespace {

// Writes `bytes` for `path` as its check routes them: straight into a device
// that the user named, or into a temporary file beside it (`staged`, which
// stays -1 otherwise), flushed `when` asked.
failure write_routed(const char* path, std::span<const std::uint8_t> bytes,
                     const output_rules& rules, flush when, int& staged) noexcept {
  staged = -1;
  const target_check check = check_target(path, rules);
  switch (check.how) {
    case route::refused:
      return check.why;
    case route::direct: {
      const direct_result direct = write_directly(path, bytes, rules);
      if (!direct.not_a_device) return direct.why;
      return write_temporary_beside(path, bytes, rules, {}, when, staged);
    }
    case route::temporary:
      return write_temporary_beside(path, bytes, rules, check, when, staged);
  }
  return {};
}

}  // namespace

failure stage_output_file(const char* path, std::span<const std::uint8_t> bytes,
                          const output_rules& rules, int& staged) noexcept {
  return write_routed(path, bytes, rules, flush::with_others, staged);
}

failure place_staged_output(int staged, const char* path, const output_rules& rules) noexcept {
  return move_into_place(staged, path, rules);
}

failure write_output_file(const char* path, std::span<const std::uint8_t> bytes,
                          const output_rules& rules) noexcept {
  int staged = -1;
  if (failure failed = write_routed(path, bytes, rules, flush::now, staged);
      failed.failed() || staged < 0) {
    return failed;
  }
  return move_into_place(staged, path, rules);
}

}  // namespace mthc::cli
