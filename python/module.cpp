// The extension mthc._mthc, on which the package mthc builds its functions:
// packing, unpacking, checking and listing in memory, on the library's public
// API. The package checks the arguments and issues the warnings; here each
// function reads a bytes-like object in place, lets go of the GIL while the
// library works, so that threads pack in parallel, and returns what the
// library made of it: the bytes and each change as data, or mthc.Error with
// the fault's name, place and the tool's text, or MemoryError when memory
// runs out. No name or text is made here: they come from messages.hpp and
// app/.
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
#include <vector>

#include "app/input_limit.hpp"
#include "app/summary_json.hpp"
#include "input_view.hpp"

namespace py = pybind11;

namespace mthc::python {

namespace {

// mthc.Error, from the package's own module of types: kept for the life of
// the interpreter, as a C extension keeps its types.
PyObject* error_class = nullptr;

// A text of the library as a Python string. The texts are UTF-8; should a
// byte not be, it shows as an escape rather than failing the call.
py::str python_text(std::string_view text) {
  PyObject* decoded =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "backslashreplace");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

py::object optional_number(const std::optional<std::size_t>& number) {
  if (!number) return py::none();
  return py::int_(*number);
}

// Raises mthc.Error(text, kind, track, offset), or MemoryError with the text
// when memory ran out.
[[noreturn]] void fail(const std::string& text, std::string_view kind, const fault_place& place,
                       bool out_of_memory) {
  if (out_of_memory) {
    PyErr_SetObject(PyExc_MemoryError, python_text(text).ptr());
    throw py::error_already_set();
  }
  const py::object error =
      py::handle(error_class)(python_text(text), python_text(kind), optional_number(place.track),
                              optional_number(place.offset));
  PyErr_SetObject(error_class, error.ptr());
  throw py::error_already_set();
}

// One change, as the package's mthc.Change takes it:
// (kind, track, offset, count, text).
py::tuple change_tuple(std::string_view kind, const fault_place& place, std::size_t count,
                       const std::string& text) {
  return py::make_tuple(python_text(kind), optional_number(place.track),
                        optional_number(place.offset), count, python_text(text));
}

// The bytes of `data`, refused as mthc-pack refuses a file of that size.
std::span<const std::uint8_t> input_bytes(const input_view& input) {
  const std::span<const std::uint8_t> bytes = input.bytes();
  if (bytes.size() > static_cast<std::uint64_t>(app::k_max_input_size)) {
    fail(app::input_too_large_text(), too_large_name(), {}, false);
  }
  return bytes;
}

py::bytes python_bytes(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// What a successful pack warns of, in the order of warning_texts: each
// change, the tracks without data (at the first, with their number), then
// what was packed as it is.
py::list pack_changes(const pack_result& result) {
  py::list changes;
  for (const midi_change& change : result.changes) {
    changes.append(change_tuple(change_name(change.kind), change_place(change), change.count,
                                change_text(change)));
  }
  if (!result.empty_tracks.empty()) {
    changes.append(change_tuple(
        error_name(pack_error::empty_track), {result.empty_tracks.front(), std::nullopt},
        result.empty_tracks.size(), empty_tracks_text(result.empty_tracks)));
  }
  const std::vector<std::string> as_is = packed_as_is_texts(result);
  const std::size_t expected =
      (result.unknown_format ? 1U : 0U) + (result.unreadable_track ? 1U : 0U);
  if (as_is.size() != expected) {  // memory ran out while the texts were made
    PyErr_NoMemory();
    throw py::error_already_set();
  }
  std::size_t next = 0;
  if (result.unknown_format) {
    changes.append(change_tuple(error_name(pack_error::unknown_format), {}, 1, as_is[next++]));
  }
  if (result.unreadable_track) {
    changes.append(change_tuple(error_name(pack_error::track_unreadable),
                                track_fault_place(*result.unreadable_track), 1, as_is[next]));
  }
  return changes;
}

py::tuple pack(const py::object& data, bool best, bool strict) {
  const pack_options options{best ? encode_level::best : encode_level::fast, strict};
  const input_view input(data);
  const std::span<const std::uint8_t> smf = input_bytes(input);
  pack_result result;
  {
    const py::gil_scoped_release unlocked;
    result = pack_midi(smf, options);
  }
  if (result.error != pack_error::none) {
    fail(error_text(result), error_name(result), error_place(result),
         result.error == pack_error::out_of_memory);
  }
  py::list changes = pack_changes(result);
  return py::make_tuple(python_bytes(result.container), changes);
}

// The container converted and checked, or the error raised.
unpack_result unpack_checked(const py::object& data, bool as_is) {
  const input_view input(data);
  const std::span<const std::uint8_t> image = input_bytes(input);
  unpack_result result;
  {
    const py::gil_scoped_release unlocked;
    result = unpack_container(image, unpack_options{as_is});
  }
  if (result.error != unpack_error::none) {
    fail(error_text(result), error_name(result), error_place(result),
         result.error == unpack_error::out_of_memory);
  }
  return result;
}

py::tuple unpack(const py::object& data, bool as_is) {
  const unpack_result result = unpack_checked(data, as_is);
  py::list changes;
  if (result.music_fault != unpack_error::none) {
    changes.append(
        change_tuple(warning_name(result), warning_place(result), 1, warning_text(result)));
  }
  return py::make_tuple(python_bytes(result.midi_file.used()), changes);
}

void check(const py::object& data) {
  unpack_checked(data, false);
}

// The object of `mthc-pack -l --json` as its one writer writes it (the
// package reads it with Python's own JSON reader, so that the two cannot
// differ), and the damage of a container's blocks, which the listing lets
// through, as a change.
py::tuple summary(const py::object& data) {
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
    fail(error_text(result), error_name(result), error_place(result),
         result.error == file_error::out_of_memory);
  }
  py::list changes;
  if (result.kind == file_kind::container && !result.check.sound()) {
    changes.append(change_tuple(error_name(result.check), {}, 1, error_text(result.check)));
  }
  return py::make_tuple(python_text(json), changes);
}

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
  module.doc() = "The library's side of the package mthc (import mthc rather than this).";
  module.attr("__version__") = MTHC_VERSION_STRING;
  mp::error_class = py::object(py::module_::import("mthc._types").attr("Error")).release().ptr();

  // Called by the package only, with arguments it has checked.
  module.def("pack", &mp::pack, py::arg("data"), py::arg("best"), py::arg("strict"));
  module.def("unpack", &mp::unpack, py::arg("data"), py::arg("as_is"));
  module.def("check", &mp::check, py::arg("data"));
  module.def("summary", &mp::summary, py::arg("data"));
}
