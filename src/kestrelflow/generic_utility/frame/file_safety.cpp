// Files that appear under their name complete, or not at all (the rules are
// in file_safety.h).
#include "frame/file_safety.h"

#include <cerrno>
#include <optional>
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

// os.access(path, mode), False when the question cannot be put.
bool may(py::handle os, py::handle path, py::handle mode) {
  try {
    return truthy(call_method(os, "access", {path, mode}));
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
    return false;
  }
}

long long stat_field(py::handle status, const char* field) {
  return status.attr(field).cast<long long>();
}

// What save_text may replace (rule 1): the path as text, and the file's
// status (empty when nothing is there yet).
struct Replaceable {
  py::object path;
  py::object status;
};

// The target when save_text may replace what it names (rule 1); nothing when
// it is written in place (rule 2).
std::optional<Replaceable> replaceable(py::handle os, py::handle file_path) {
  py::object path;
  py::object folder;
  py::object status;
  try {
    path = call_method(os, "fsdecode", {call_method(os, "fspath", {file_path})});
    py::object os_path = os.attr("path");
    folder = call_method(os_path, "dirname", {call_method(os_path, "abspath", {path})});
    status = call_method(os, "lstat", {path});
  } catch (...) {
    py::error_already_set e = caught();
    if (!e.matches(PyExc_FileNotFoundError) || !folder) return std::nullopt;
  }
  if (!may(os, folder, os.attr("W_OK") | os.attr("X_OK"))) return std::nullopt;
  if (!status) return Replaceable{path, status};  // nothing there yet
  constexpr long long kTypeBits = 0170000, kRegular = 0100000;
  bool plain = (stat_field(status, "st_mode") & kTypeBits) == kRegular &&
               stat_field(status, "st_nlink") == 1 &&
               stat_field(status, "st_uid") == call_method(os, "geteuid").cast<long long>() &&
               may(os, path, os.attr("W_OK"));
  if (!plain) return std::nullopt;
  return Replaceable{path, status};
}

// open(path, "w", encoding="utf-8").write(text), closing the file whatever
// happens.
void write_text_in_place(py::handle path, py::handle text) {
  py::object file = import_module("builtins").attr("open")(path, py::str("w"),
                                                          py::arg("encoding") = "utf-8");
  with_(file, [&](py::handle out) { call_method(out, "write", {text}); });
}

// Rule 1 of save_text: false, with nothing changed, when the new file cannot
// be made, would get another group than the old one, or cannot take the old
// one's place.  A failure to write the text raises, the target untouched.
bool replace_with_text(py::handle os, py::handle text, const Replaceable& target) {
  const py::object& path = target.path;
  const py::object& existing = target.status;
  std::pair<py::object, py::object> created;
  try {
    created = create_temporary(os, path, 0666);
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
    return false;
  }
  py::object fd = created.first;
  py::object temporary = created.second;
  bool replaced = false;
  try {
    if (existing && stat_field(call_method(os, "fstat", {fd}), "st_gid") !=
                        stat_field(existing, "st_gid")) {
      close_quietly(os, fd);
      remove_quietly(os, temporary);
      return false;
    }
    py::object file;
    try {
      file = os.attr("fdopen")(fd, py::str("w"), py::arg("encoding") = "utf-8");
    } catch (...) {
      py::error_already_set e = caught();
      close_quietly(os, fd);
      throw e;
    }
    with_(file, [&](py::handle out) { call_method(out, "write", {text}); });
    if (existing) {
      py::object permissions = py::object(existing.attr("st_mode")) & int_of(07777);
      call_method(os, "chmod", {temporary, permissions});
    }
    try {
      call_method(os, "replace", {temporary, path});
      replaced = true;
    } catch (...) {
      py::error_already_set e = caught(PyExc_OSError);
    }
  } catch (...) {
    py::error_already_set e = caught();
    remove_quietly(os, temporary);
    throw e;
  }
  if (!replaced) remove_quietly(os, temporary);
  return replaced;
}

}  // namespace

void save_text(py::handle file_path, py::handle text) {
  py::object os = g("os");
  std::optional<Replaceable> target = replaceable(os, file_path);
  if (!target || !replace_with_text(os, text, *target)) write_text_in_place(file_path, text);
}

py::object write_new_temporary(const char* suffix, py::handle text) {
  py::object file = g("tempfile").attr("NamedTemporaryFile")(
      py::arg("suffix") = suffix, py::arg("delete") = false, py::arg("mode") = "w",
      py::arg("encoding") = "utf-8");
  py::object name = file.attr("name");
  try {
    with_(file, [&](py::handle out) { call_method(out, "write", {text}); });
  } catch (...) {
    py::error_already_set e = caught();
    remove_quietly(g("os"), name);
    throw e;
  }
  return name;
}

void append_whole(py::handle path, py::handle data, bool create) {
  py::object os = g("os");
  py::object flags = os.attr("O_WRONLY") | os.attr("O_APPEND") |
                     py::getattr(os, "O_BINARY", int_of(0));
  if (create) flags = flags | os.attr("O_CREAT") | os.attr("O_TRUNC");
  py::object fd = call_method(os, "open", {path, flags, int_of(0666)});
  py::object before;
  try {
    before = call_method(os, "lseek", {fd, int_of(0), os.attr("SEEK_END")});
    write_all(fd, data);
  } catch (...) {
    py::error_already_set e = as_python_error();
    // Undo whatever part of the bytes reached the file; the first error is
    // the one the caller hears about.
    try {
      if (create) {
        close_quietly(os, fd);
        fd = py::none();
        call_method(os, "unlink", {path});
      } else if (before) {
        call_method(os, "ftruncate", {fd, before});
      }
    } catch (...) {
      py::error_already_set ignored = as_python_error();
    }
    if (!fd.is_none()) close_quietly(os, fd);
    throw e;
  }
  call_method(os, "close", {fd});
}

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
