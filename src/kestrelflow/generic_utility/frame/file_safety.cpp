// Files that appear under their name complete, or not at all (the rules are
// in file_safety.h).
#include "frame/file_safety.h"

#include <cerrno>
#include <utility>

namespace kf {
namespace {

// Characters of the target's stem kept in the temporary name: with the tag
// and the dots the name stays well within the 255 bytes a folder entry may
// have, whatever the script of the stem.
constexpr Py_ssize_t kStemKept = 40;
constexpr int kCreateAttempts = 100;

void remove_quietly(py::handle os, py::handle path) {
  try {
    call_method(os, "unlink", {path});
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
  }
}

void close_quietly(py::handle os, py::handle fd) {
  try {
    call_method(os, "close", {fd});
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
  }
}

// An OSError about the temporary file is reported under the target's name,
// the one the caller knows.
void name_the_target(const py::error_already_set& error, py::handle temporary, py::handle path) {
  if (!error.matches(PyExc_OSError)) return;
  try {
    for (const char* field : {"filename", "filename2"}) {
      py::object name = py::getattr(error.value(), field, py::none());
      if (!name.is_none() && eq(name, temporary)) py::setattr(error.value(), field, path);
    }
  } catch (...) {
    py::error_already_set e = caught();
  }
}

// A new temporary file beside `path`: its descriptor and its name.
std::pair<py::object, py::object> create_temporary(py::handle os, py::handle path, int create_mode) {
  py::object os_path = os.attr("path");
  py::object folder = call_method(os_path, "dirname", {call_method(os_path, "abspath", {path})});
  auto parts = unpack<2>(call_method(os_path, "splitext", {call_method(os_path, "basename", {path})}));
  py::object stem = parts[0][py::slice(0, kStemKept, 1)];
  py::object flags = os.attr("O_WRONLY") | os.attr("O_CREAT") | os.attr("O_EXCL") |
                     py::getattr(os, "O_NOFOLLOW", int_of(0)) |
                     py::getattr(os, "O_BINARY", int_of(0));
  for (int attempt = 1;; ++attempt) {
    py::object tag = call_method(call_method(os, "urandom", {int_of(6)}), "hex");
    py::object name =
        call_method(os_path, "join", {folder, concat({".", stem, ".", tag, ".tmp", parts[1]})});
    try {
      return {call_method(os, "open", {name, flags, int_of(create_mode)}), name};
    } catch (...) {
      py::error_already_set e = caught(PyExc_OSError);
      if (e.matches(PyExc_FileExistsError) && attempt < kCreateAttempts) continue;
      name_the_target(e, name, path);
      throw e;
    }
  }
}

// Links the complete file under `path`, which must be free; the temporary
// name is then dropped.  Where the file system has no hard links the name is
// checked and taken by a rename.
void link_into_place(py::handle os, py::handle temporary, py::handle path) {
  try {
    call_method(os, "link", {temporary, path});
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
    if (e.matches(PyExc_FileExistsError)) throw e;
    if (truthy(call_method(os.attr("path"), "lexists", {path})))
      raise_os_error(EEXIST, path);
    call_method(os, "replace", {temporary, path});
    return;
  }
  remove_quietly(os, temporary);
}

// Makes the written bytes durable before the name shows them.  A file system
// that cannot sync a file says so with EINVAL or ENOTSUP; that is no
// failure of the write.  Any other error (an I/O error, a full disk found
// late) is.
void sync_file(py::handle os, py::handle fd) {
  try {
    call_method(os, "fsync", {fd});
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
    py::object code = e.value().attr("errno");
    for (int unsupported : {EINVAL, ENOTSUP, EOPNOTSUPP})
      if (eq(code, int_of(unsupported))) return;
    throw e;
  }
}

// Makes the new entry of the folder durable where the system lets a folder
// be synced; nothing is lost where it does not.
void sync_folder(py::handle os, py::handle path) {
  py::object os_path = os.attr("path");
  py::object folder = call_method(os_path, "dirname", {call_method(os_path, "abspath", {path})});
  py::object fd;
  try {
    fd = call_method(os, "open", {folder, os.attr("O_RDONLY")});
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
    return;
  }
  try {
    call_method(os, "fsync", {fd});
  } catch (...) {
    py::error_already_set e = as_python_error();
    close_quietly(os, fd);
    if (!e.matches(PyExc_OSError)) throw e;
    return;
  }
  close_quietly(os, fd);
}

}  // namespace

void raise_os_error(int code, py::handle filename) {
  py::object number = int_of(code);
  py::object message = call_method(g("os"), "strerror", {number});
  py::object error = call(PyExc_OSError, {number, message, filename});
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

void write_all(py::handle fd, py::handle data) {
  py::object os = g("os");
  py::object view = py::reinterpret_steal<py::object>(PyMemoryView_FromObject(data.ptr()));
  if (!view) throw py::error_already_set();
  for (Py_ssize_t left = static_cast<Py_ssize_t>(py::len(view)); left > 0;) {
    check_signals();
    Py_ssize_t written = call_method(os, "write", {fd, view}).cast<Py_ssize_t>();
    if (written <= 0 || written > left) raise_error(PyExc_OSError, "the file took no more bytes");
    left -= written;
    view = view[py::slice(written, static_cast<Py_ssize_t>(py::len(view)), 1)];
  }
}

namespace detail {

void write_beside(py::handle target, int create_mode, Place place, WriteBody write, void* body) {
  py::object os = g("os");
  py::object path = call_method(os, "fspath", {target});
  std::pair<py::object, py::object> created = create_temporary(os, path, create_mode);
  py::object fd = created.first;
  py::object temporary = created.second;
  bool fd_open = true;
  try {
    write(body, fd, temporary);
    sync_file(os, fd);
    fd_open = false;
    call_method(os, "close", {fd});
    if (place == Place::replace)
      call_method(os, "replace", {temporary, path});
    else
      link_into_place(os, temporary, path);
  } catch (...) {
    py::error_already_set e = as_python_error();
    if (fd_open) close_quietly(os, fd);
    remove_quietly(os, temporary);
    name_the_target(e, temporary, path);
    throw e;
  }
  sync_folder(os, path);
}

}  // namespace detail
}  // namespace kf
