// The extension mthc._mthc, which the package mthc re-exports: packing,
// unpacking, checking and listing in memory, on the library's public API.
// Each function reads any bytes-like object in place, lets go of the GIL
// while the library works, so that threads pack in parallel, and reports as
// mthc-pack does: mthc.Error with the tool's error text, a warning of the
// module's own for each of its warning lines, MemoryError when memory runs
// out. No text is made here: they all come from messages.hpp and app/.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <mthc/messages.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/summarize_file.hpp>
#include <mthc/unpack.hpp>
#include <mthc/version.hpp>
#include <span>
#include <string>
#include <string_view>

#include "app/input_limit.hpp"
#include "app/summary_json.hpp"
#include "input_view.hpp"

namespace py = pybind11;

namespace mthc::python {

namespace {

// The module's exception and warning classes: made once at import and kept
// for the life of the interpreter, as a C extension keeps its types.
PyObject* error_class = nullptr;
PyObject* pack_warning_class = nullptr;
PyObject* unpack_warning_class = nullptr;

// A text of the library as a Python string. The texts are UTF-8; should a
// byte not be, it shows as an escape rather than failing the call.
py::str python_text(const std::string& text) {
  PyObject* decoded =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "backslashreplace");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

[[noreturn]] void fail(const std::string& text, bool out_of_memory) {
  const py::str message = python_text(text);
  PyErr_SetObject(out_of_memory ? PyExc_MemoryError : error_class, message.ptr());
  throw py::error_already_set();
}

// Stack level 1 names the caller's line: the module's functions have no
// frame of their own. A filter that turns warnings into errors raises here.
void warn(PyObject* category, const std::string& text) {
  const py::str message = python_text(text);
  const char* utf8 = PyUnicode_AsUTF8(message.ptr());
  if (utf8 == nullptr || PyErr_WarnEx(category, utf8, 1) != 0) throw py::error_already_set();
}

// The bytes of `data`, refused as mthc-pack refuses a file of that size.
std::span<const std::uint8_t> input_bytes(const input_view& input) {
  const std::span<const std::uint8_t> bytes = input.bytes();
  if (bytes.size() > static_cast<std::uint64_t>(app::k_max_input_size)) {
    fail(app::input_too_large_text(), false);
  }
  return bytes;
}

py::bytes python_bytes(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

encode_level level_named(std::string_view level) {
  if (level == "best") return encode_level::best;
  if (level == "fast") return encode_level::fast;
  throw py::value_error("level must be 'best' or 'fast', not '" + std::string(level) + "'");
}

py::bytes pack(const py::object& data, std::string_view level, bool strict) {
  const pack_options options{level_named(level), strict};
  const input_view input(data);
  const std::span<const std::uint8_t> smf = input_bytes(input);
  pack_result result;
  {
    const py::gil_scoped_release unlocked;
    result = pack_midi(smf, options);
  }
  if (result.error != pack_error::none) {
    fail(error_text(result), result.error == pack_error::out_of_memory);
  }
  for (const std::string& text : warning_texts(result))
    warn(pack_warning_class, text);
  return python_bytes(result.container);
}

// What unpack and check share: the container converted and checked, or the
// error raised.
unpack_result unpack_checked(py::handle data, bool as_is) {
  const input_view input(data);
  const std::span<const std::uint8_t> image = input_bytes(input);
  unpack_result result;
  {
    const py::gil_scoped_release unlocked;
    result = unpack_container(image, unpack_options{as_is});
  }
  if (result.error != unpack_error::none) {
    fail(error_text(result), result.error == unpack_error::out_of_memory);
  }
  return result;
}

py::bytes unpack(const py::object& data, bool as_is) {
  const unpack_result result = unpack_checked(data, as_is);
  if (result.music_fault != unpack_error::none) warn(unpack_warning_class, warning_text(result));
  return python_bytes(result.midi_file.used());
}

void check(const py::object& data) {
  unpack_checked(data, false);
}

// The object of `mthc-pack -l --json` from its one writer, read by Python's
// own JSON reader, so that the two cannot differ.
py::object summary(const py::object& data) {
  const input_view input(data);
  const std::span<const std::uint8_t> bytes = input_bytes(input);
  file_summary result;
  std::string json;
  {
    const py::gil_scoped_release unlocked;
    result = summarize_file(bytes, true);
    if (result.error == file_error::none) json = app::summary_json(result, nullptr);
  }
  if (result.error != file_error::none) {
    fail(error_text(result), result.error == file_error::out_of_memory);
  }
  py::object parsed = py::module_::import("json").attr("loads")(json);
  if (result.kind == file_kind::container && !result.check.sound()) {
    warn(unpack_warning_class, error_text(result.check));
  }
  return parsed;
}

// A class of the module, named as users see it (mthc.Error, not
// mthc._mthc.Error), added to the module under its short name.
PyObject* add_class(py::module_& module, const char* name, const char* doc, PyObject* base) {
  const std::string full_name = std::string("mthc.") + name;
  PyObject* made = PyErr_NewExceptionWithDoc(full_name.c_str(), doc, base, nullptr);
  if (made == nullptr) throw py::error_already_set();
  module.attr(name) = py::handle(made);
  return made;
}

constexpr const char* k_error_doc =
    "A file that mthc cannot pack, unpack, check or list; the message is the\n"
    "text that mthc-pack prints for it after \"Error: <file>: \". A ValueError.";

constexpr const char* k_pack_warning_doc =
    "What pack changed in a MIDI file that will not come back as it was (or a\n"
    "track that does not read); the message is mthc-pack's warning text.\n"
    "pack(..., strict=True) raises mthc.Error instead.";

constexpr const char* k_unpack_warning_doc =
    "What reading a container let through: the fault of the music that\n"
    "unpack(..., as_is=True) keeps, or the damage of a container that summary\n"
    "lists all the same. The message is the text mthc-pack prints for it.";

constexpr const char* k_pack_doc = R"(pack(data, level="best", strict=False) -> bytes

Pack a Standard MIDI File into an MThc container and return the container.

data is any bytes-like object (bytes, bytearray, memoryview, ...), read in
place. level is "best" (smallest, slower) or "fast". MIDI files as players
take them are packed with what would not come back as it is changed (a RIFF
wrapper, chunks other than tracks, bytes after the last chunk, ...): each
change, like each empty or unreadable track, is issued as an
mthc.PackWarning with mthc-pack's text. With strict=True such a change
raises mthc.Error instead.

Raises mthc.Error (a ValueError) with mthc-pack's text for a file it does
not pack, MemoryError when memory runs out, ValueError for another level.
The GIL is released while packing: threads pack in parallel.)";

constexpr const char* k_unpack_doc = R"(unpack(data, as_is=False) -> bytes

Unpack an MThc container and return its MIDI file, checked as
`mthc-pack -d` checks it: the container's blocks and records, the MIDI
header and every track must read to their end.

With as_is=True, a MIDI file whose header or tracks do not read is given
back as the container stores it, with an mthc.UnpackWarning that says what
does not read; a container whose blocks are damaged is refused all the same.

Raises mthc.Error with the text of `mthc-pack -t` for a container refused,
MemoryError when memory runs out. The GIL is released while unpacking.)";

constexpr const char* k_check_doc = R"(check(data) -> None

Check an MThc container as `mthc-pack -t` does, keeping nothing: return
None when it unpacks, raise mthc.Error with the tool's text when it does
not (MemoryError when memory runs out). The GIL is released meanwhile.)";

constexpr const char* k_summary_doc = R"(summary(data) -> dict

What `mthc-pack -l --json` says of a container or a MIDI file, as a dict
with the same keys and values, less "file": "type" ("container" or
"midi"), the sizes, the MIDI header, "end_tick", "duration_seconds" and
"tracks", one dict per track with its name, channels, programs, notes,
events, bytes and fault. A container is listed as it converts: if its blocks are damaged,
an mthc.UnpackWarning says how.

Raises mthc.Error with the tool's text for a file it cannot list,
MemoryError when memory runs out. The GIL is released while reading.)";

}  // namespace

}  // namespace mthc::python

PYBIND11_MODULE(_mthc, module) {
  namespace mp = mthc::python;
  // Headers and library are built together; this guards against a mix-up of
  // builds on the import path.
  if (std::strcmp(mthc::version_string(), MTHC_VERSION_STRING) != 0) {
    throw py::import_error(std::string("mthc: the library is version ") + mthc::version_string() +
                           ", the module " + MTHC_VERSION_STRING);
  }
  module.doc() = "The functions of the package mthc (import mthc rather than this).";
  module.attr("__version__") = MTHC_VERSION_STRING;

  mp::error_class = mp::add_class(module, "Error", mp::k_error_doc, PyExc_ValueError);
  mp::pack_warning_class =
      mp::add_class(module, "PackWarning", mp::k_pack_warning_doc, PyExc_UserWarning);
  mp::unpack_warning_class =
      mp::add_class(module, "UnpackWarning", mp::k_unpack_warning_doc, PyExc_UserWarning);

  // The docstrings carry their own signature lines, in Python's terms.
  py::options options;
  options.disable_function_signatures();
  module.def("pack", &mp::pack, py::arg("data"), py::arg("level") = "best",
             py::arg("strict") = false, mp::k_pack_doc);
  module.def("unpack", &mp::unpack, py::arg("data"), py::arg("as_is") = false, mp::k_unpack_doc);
  module.def("check", &mp::check, py::arg("data"), mp::k_check_doc);
  module.def("summary", &mp::summary, py::arg("data"), mp::k_summary_doc);
}
