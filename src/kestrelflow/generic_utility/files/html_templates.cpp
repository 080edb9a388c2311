// HTML templates: {{key}} placeholders filled from a dictionary, and UTF-8
// files read, saved and written to a new temporary file.  Saving never
// leaves a plain file half written, and a temporary file that could not be
// written is not left behind (the rules are in frame/file_safety.h).
#include "frame/file_safety.h"
#include "frame/routines.h"

namespace kf {
namespace {

py::object open_utf8(py::handle path, const char* mode) {
  return import_module("builtins").attr("open")(path, py::str(mode), py::arg("encoding") = "utf-8");
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
  save_text(file_path, content);
  say({"File saved successfully at: ", file_path});
  return py::none();
}

py::object create_temp_html_file(Arg content) { return write_new_temporary(".html", content); }

}  // namespace kf
