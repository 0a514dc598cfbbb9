// A bytes-like object's own bytes, seen without a copy for as long as the view
// lives.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <span>

namespace mthc::python {

// Asks the object for its memory as one contiguous run of bytes
// (PyBUF_SIMPLE): bytes, bytearray, a contiguous memoryview, array, mmap.
// Other objects raise a TypeError that names the argument `data` and its
// type (never its value, which may be megabytes long), and a memoryview with
// gaps BufferError, as the standard library's functions on bytes do. While the view lives the
// object keeps its memory where it is (a bytearray refuses to change size),
// so the bytes may be read with the GIL released. Make and drop it with the
// GIL held.
class input_view {
 public:
  explicit input_view(pybind11::handle object) {
    if (PyObject_CheckBuffer(object.ptr()) == 0) {
      PyErr_Format(
          PyExc_TypeError,
          "data must be a bytes-like object (bytes, bytearray, memoryview, ...), not %.80s",
          Py_TYPE(object.ptr())->tp_name);
      throw pybind11::error_already_set();
    }
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) {
      throw pybind11::error_already_set();
    }
  }
  ~input_view() { PyBuffer_Release(&view_); }
  input_view(const input_view&) = delete;
  input_view& operator=(const input_view&) = delete;

  std::span<const std::uint8_t> bytes() const noexcept {
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

}  // namespace mthc::python
