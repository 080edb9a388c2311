// HTML templates: {{key}} placeholders filled from a dictionary, and UTF-8
// files read, saved and written to a new temporary file.
//
// Saving never damages what is there: the content is written to a new file
// beside the target, given the target's mode, and put in its place in one
// rename; when anything fails the new file is removed and the target is left
// as it was.
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

// Raises the error that opening `path` for writing would raise, without
// touching the file (opened for appending, nothing written); returns when
// it could be opened.
void raise_target_error(py::handle path) {
  call_method(open_utf8(path, "a"), "close");
}

// A new, empty file beside `path` that no one else has: the descriptor and
// its name.  Created with the mode a new file gets from open() (0666 less the
// umask), never through a symbolic link.
std::pair<py::object, py::object> sibling_file(py::handle os, py::handle path) {
  py::object os_path = os.attr("path");
  py::object folder = call_method(os_path, "dirname", {call_method(os_path, "abspath", {path})});
  py::object base = call_method(os_path, "basename", {call_method(os, "fspath", {path})});
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
  // A symbolic link is written through, as opening it would: the file it
  // points to is the one replaced.
  py::object target = py::reinterpret_borrow<py::object>(file_path);
  if (truthy(call_method(os.attr("path"), "islink", {file_path})))
    target = call_method(os.attr("path"), "realpath", {file_path});
  // A file that may not be written is reported as opening it would report it.
  if (truthy(call_method(os.attr("path"), "exists", {target})) &&
      !truthy(call_method(os, "access", {target, os.attr("W_OK")})))
    raise_target_error(file_path);
  std::pair<py::object, py::object> created;
  try {
    created = sibling_file(os, target);
  } catch (...) {
    py::error_already_set e = caught(PyExc_OSError);
    raise_target_error(file_path);
    throw e;
  }
  auto& [fd, temporary] = created;
  try {
    py::object file;
    try {
      file = os.attr("fdopen")(fd, py::str("w"), py::arg("encoding") = "utf-8");
    } catch (...) {
      py::error_already_set e = caught();
      call_method(os, "close", {fd});
      throw e;
    }
    with_(file, [&](py::handle out) { call_method(out, "write", {content}); });
    // An existing file keeps its permission bits.
    py::object mode;
    try {
      mode = call_method(os, "stat", {target}).attr("st_mode");
    } catch (...) {
      py::error_already_set e = caught(PyExc_OSError);
    }
    if (mode) call_method(os, "chmod", {temporary, mode & int_of(07777)});
    try {
      call_method(os, "replace", {temporary, target});
    } catch (...) {
      py::error_already_set e = caught(PyExc_OSError);
      raise_target_error(file_path);
      throw e;
    }
  } catch (...) {
    py::error_already_set e = caught();
    remove_quietly(os, temporary);
    throw e;
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
