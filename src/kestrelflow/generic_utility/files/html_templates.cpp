// HTML templates: {{key}} placeholders filled from a dictionary, and UTF-8
// files read, saved and written to a new temporary file.
//
// Saving a plain file of the caller's never leaves it half written: the
// content goes to a new file beside it, given its mode, and is put in its
// place in one rename; when anything fails the new file is removed and the
// target is left as it was.  Every other target (a device, a FIFO, a file
// with several names or another owner, a symbolic link, a file descriptor)
// is opened and written in place, as open() does, so that it stays what it
// is.
#include "frame/routines.h"

namespace kf {
namespace {

py::object builtin_open() { return import_module("builtins").attr("open"); }

py::object open_utf8(py::handle path, const char* mode) {
  return builtin_open()(path, py::str(mode), py::arg("encoding") = "utf-8");
}

// Removes a file of our own, ignoring that it may be gone already.
void remove_quietly(py::handle os, py::handle path) {
  try {
    call_method(os, "unlink", {path});
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
  }
}

// A new, empty file beside `path` that no one else has: the descriptor and
// its name.  Created with the mode a new file gets from open() (0666 less the
// umask), never through a symbolic link.
std::pair<py::object, py::object> sibling_file(py::handle os, const py::str& folder,
                                               const py::str& path) {
  py::object os_path = os.attr("path");
  py::object base = call_method(os_path, "basename", {path});
  py::object flags = os.attr("O_WRONLY") | os.attr("O_CREAT") | os.attr("O_EXCL") |
                     py::getattr(os, "O_NOFOLLOW", int_of(0));
  for (int attempt = 1;; ++attempt) {
    py::object tag = call_method(call_method(os, "urandom", {int_of(6)}), "hex");
    py::object name = call_method(os_path, "join", {folder, concat({".", base, ".", tag, ".tmp"})});
    try {
      return {call_method(os, "open", {name, flags, int_of(0666)}), name};
    } catch (...) {
      py::error_already_set e = caught(PyExc_FileExistsError);
      if (attempt == 100) throw e;
    }
  }
}

long long stat_field(py::handle status, const char* field) {
  return status.attr(field).cast<long long>();
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

// The target as a text path when a new file may take its place without
// anyone noticing: nothing is there yet, or a regular file of the caller's
// with no other name that the caller may write, in a folder the caller may
// write.  Anything else (a device, a FIFO, a symbolic link, a file with
// another name or another owner, a descriptor number, a path whose folder
// cannot be reached) is written in place, as open() writes it: the empty
// object then.
py::object replaceable_path(py::handle os, Arg file_path) {
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
    if (!e.matches(PyExc_FileNotFoundError) || !folder) return py::object();
  }
  py::object writable_folder = os.attr("W_OK") | os.attr("X_OK");
  if (!may(os, folder, writable_folder)) return py::object();
  if (!status) return path;  // nothing there yet
  constexpr long long kTypeBits = 0170000, kRegular = 0100000;
  bool plain = (stat_field(status, "st_mode") & kTypeBits) == kRegular &&
               stat_field(status, "st_nlink") == 1 &&
               stat_field(status, "st_uid") == call_method(os, "geteuid").cast<long long>() &&
               may(os, path, os.attr("W_OK"));
  return plain ? path : py::object();
}

// Writes the content to a new file beside `target` and puts it in the
// target's place, keeping an existing target's permission bits.  False, with
// nothing changed, when that cannot be done (the new file cannot be made,
// would get another group than the old one, or cannot take its place): the
// caller then writes in place.  A failure to write the content raises, with
// the target untouched.
bool replace_with(py::handle os, Arg content, const py::str& target) {
  py::object os_path = os.attr("path");
  py::str folder = call_method(os_path, "dirname", {call_method(os_path, "abspath", {target})});
  py::object existing;
  try {
    existing = call_method(os, "stat", {target});
  } catch (...) {
    py::error_already_set e = caught(PyExc_FileNotFoundError);
  }
  std::pair<py::object, py::object> created;
  try {
    created = sibling_file(os, folder, target);
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
    return false;
  }
  py::object fd = created.first;
  py::object temporary = created.second;
  bool replaced = false;
  try {
    bool same_group =
        !existing ||
        stat_field(call_method(os, "fstat", {fd}), "st_gid") == stat_field(existing, "st_gid");
    if (!same_group) {
      call_method(os, "close", {fd});
      remove_quietly(os, temporary);
      return false;
    }
    py::object file;
    try {
      file = os.attr("fdopen")(fd, py::str("w"), py::arg("encoding") = "utf-8");
    } catch (...) {
      py::error_already_set e = caught();
      call_method(os, "close", {fd});
      throw e;
    }
    with_(file, [&](py::handle out) { call_method(out, "write", {content}); });
    if (existing) {
      py::object mode = existing.attr("st_mode");
      py::object permissions = mode & int_of(07777);
      call_method(os, "chmod", {temporary, permissions});
    }
    try {
      call_method(os, "replace", {temporary, target});
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

py::object populate_email_template(Arg template_text, Arg data) {
  py::object text = py::reinterpret_borrow<py::object>(template_text);
  py::str empty("");
  for (py::handle item : data.attr("items")()) {
    check_signals();
    auto [key, value] = unpack<2>(item);
    py::object name = py::reinterpret_steal<py::object>(PyObject_Format(key.ptr(), empty.ptr()));
    if (!name) throw py::error_already_set();
    py::object placeholder = concat({"{{", name, "}}"});
    text = call_method(text, "replace", {placeholder, truthy(value) ? py::handle(value) : empty});
  }
  return text;
}

py::object read_html_template(Arg file_path) {
  py::object content;
  with_(open_utf8(file_path, "r"), [&](py::handle file) { content = call_method(file, "read"); });
  return content;
}

py::object save_html_file(Arg content, Arg file_path) {
  py::object os = g("os");
  py::object target = replaceable_path(os, file_path);
  if (!target || !replace_with(os, content, target)) {
    with_(open_utf8(file_path, "w"), [&](py::handle out) { call_method(out, "write", {content}); });
  }
  say({"File saved successfully at: ", file_path});
  return py::none();
}

py::object create_temp_html_file(Arg content) {
  py::object file = g("tempfile").attr("NamedTemporaryFile")(
      py::arg("suffix") = ".html", py::arg("delete") = false, py::arg("mode") = "w",
      py::arg("encoding") = "utf-8");
  py::object name = file.attr("name");
  try {
    with_(file, [&](py::handle out) { call_method(out, "write", {content}); });
  } catch (...) {
    py::error_already_set e = caught();
    remove_quietly(g("os"), name);
    throw e;
  }
  return name;
}

}  // namespace kf
