#include "cli/write_output_file.hpp"

#include <cerrno>
#include <cstdio>
#include <optional>

#include "cli/file_handle.hpp"
#include "cli/shown_name.hpp"
#include "cli/system_error.hpp"

namespace mthc {

namespace {

enum class route {
  refused,    // an error line has been printed
  direct,     // a device or FIFO the user named, written as it is
  temporary,  // a new file, renamed into place
};

struct target_check {
  route how = route::temporary;
  // The permission bits of the regular file that the output replaces.
  std::optional<std::uint32_t> replaced_permissions;
};

constexpr target_check k_refused{route::refused, std::nullopt};
constexpr target_check k_direct{route::direct, std::nullopt};

void print_exists(const char* path) noexcept {
  std::fprintf(stderr, "Error: '%s' already exists; use -f to overwrite it\n",
               printable_name(path).c_str());
}

const char* special_kind_name(path_kind kind) noexcept {
  switch (kind) {
    case path_kind::fifo:
      return "FIFO";
    case path_kind::device:
      return "device";
    case path_kind::socket:
      return "socket";
    default:
      return "special file";
  }
}

target_check check_target(const char* path, const output_rules& rules) noexcept {
  file_status entry;
  // Nothing there, or what cannot be looked up: creating the file says why.
  if (!look_up(path, links::not_followed, entry)) return {};
  path_kind kind = entry.kind;
  if (kind == path_kind::link && rules.named_by_user) {
    // A device, FIFO or folder that the user named through a link
    // (/dev/stdout) is what the user meant; a link to a regular file, or to
    // nothing, is replaced like a file.
    file_status target;
    if (look_up(path, links::followed, target) && target.kind != path_kind::regular) {
      kind = target.kind;
    }
  }
  switch (kind) {
    case path_kind::directory:
      errno = EISDIR;
      print_system_error("cannot create", path);
      return k_refused;
    case path_kind::regular:
    case path_kind::link:
      if (!rules.replace) {
        print_exists(path);
        return k_refused;
      }
      if (kind == path_kind::link) return {};
      if (rules.program == output_program::mthc && !may_write(path)) {
        errno = EACCES;
        print_system_error("cannot create", path);
        return k_refused;
      }
      return {route::temporary, entry.permissions};
    case path_kind::fifo:
    case path_kind::device:
    case path_kind::socket:
    case path_kind::other:
      if (rules.named_by_user) return k_direct;
      std::fprintf(stderr, "Error: '%s' is a %s, not a regular file; it is not overwritten\n",
                   printable_name(path).c_str(), special_kind_name(kind));
      return k_refused;
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

void print_write_failure(const char* path, const output_rules& rules) noexcept {
  // The report tool's short write carries no system text.
  if (rules.program == output_program::mthc) {
    std::fprintf(stderr, "Error: failed writing '%s'\n", printable_name(path).c_str());
  } else {
    print_system_error("failed writing", path);
  }
}

enum class direct_result { written, failed, not_a_device };

direct_result write_directly(const char* path, std::span<const std::uint8_t> bytes,
                             const output_rules& rules) noexcept {
  path_kind kind = path_kind::other;
  file_handle file(open_device_for_writing(path, kind));
  if (!file) {
    // A regular file took the device's place since the check: it is not
    // written through, but replaced as any other.
    if (kind == path_kind::regular) return direct_result::not_a_device;
    print_system_error("cannot create", path);
    return direct_result::failed;
  }
  if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) ||
      (rules.program == output_program::mthc_pack && std::fflush(file.get()) != 0)) {
    print_write_failure(path, rules);
    return direct_result::failed;  // closed by the handle, its result ignored
  }
  // Buffered data reaches the device here, so a full disk often shows up
  // only now.
  if (std::fclose(file.release()) != 0) {
    print_system_error("failed closing", path);
    return direct_result::failed;
  }
  return direct_result::written;
}

// Removes the temporary file on every way out, unless it became the output.
struct temporary_guard {
  temporary_guard() = default;
  temporary_guard(const temporary_guard&) = delete;
  temporary_guard& operator=(const temporary_guard&) = delete;
  ~temporary_guard() { remove_temporary(); }
};

int write_through_temporary(const char* path, std::span<const std::uint8_t> bytes,
                            const output_rules& rules, const target_check& check) noexcept {
  const bool report_tool = rules.program == output_program::mthc;
  if (!create_temporary_beside(path)) {
    print_system_error("cannot create", path);
    return 1;
  }
  const temporary_guard guard;
  if (!write_temporary(bytes)) {
    print_write_failure(path, rules);
    return 1;
  }
  set_temporary_metadata(output_permissions(rules, check), report_tool ? nullptr : rules.input);
  if (!finish_temporary()) {
    print_system_error(report_tool ? "failed closing" : "failed writing", path);
    return 1;
  }
  if (!move_temporary_into_place(rules.replace)) {
    if (errno == EEXIST && !rules.replace) {
      print_exists(path);
    } else {
      print_system_error(report_tool ? "cannot create" : "cannot replace", path);
    }
    return 1;
  }
  return 0;
}

}  // namespace

bool output_allowed(const char* path, const output_rules& rules) noexcept {
  return check_target(path, rules).how != route::refused;
}

int write_output_file(const char* path, std::span<const std::uint8_t> bytes,
                      const output_rules& rules) noexcept {
  const target_check check = check_target(path, rules);
  switch (check.how) {
    case route::refused:
      return 1;
    case route::direct:
      switch (write_directly(path, bytes, rules)) {
        case direct_result::written:
          return 0;
        case direct_result::failed:
          return 1;
        case direct_result::not_a_device:
          return write_through_temporary(path, bytes, rules, {});
      }
      return 1;
    case route::temporary:
      return write_through_temporary(path, bytes, rules, check);
  }
  return 1;
}

}  // namespace mthc
