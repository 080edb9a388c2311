// File and folder operations: the first file of a folder matching a name
// fragment and an extension copied under a dated name, and folders created
// with their parents.
//
// A copy is made beside its dated name and put in its place only when
// complete (frame/file_safety.h): a copy that fails part-way leaves the
// earlier copy of the day as it was.
#include "frame/file_safety.h"
#include "frame/routines.h"

namespace kf {
namespace {

// shutil.copy(source, destination), content and permission bits, with the
// same choice of the file written: into a folder under the source's name,
// through a symbolic link to the file it names, and never a file onto
// itself.  The file is replaced in one step.
void copy_beside(py::handle os, py::handle source, py::handle destination) {
  py::object os_path = os.attr("path");
  py::object shutil = g("shutil");
  py::object named = py::reinterpret_borrow<py::object>(destination);
  if (truthy(call_method(os_path, "isdir", {named})))
    named = call_method(os_path, "join", {named, call_method(os_path, "basename", {source})});
  py::object target = named;
  if (truthy(call_method(os_path, "islink", {named})))
    target = call_method(os_path, "realpath", {named});
  if (truthy(call_method(os_path, "exists", {target})) &&
      truthy(call_method(os_path, "samefile", {source, target}))) {
    py::object message = call_method(str_of("{!r} and {!r} are the same file"), "format",
                                      {source, named});
    raise(shutil.attr("SameFileError"), message);
  }
  write_beside(target, 0600, Place::replace, [&](py::handle, py::handle temporary) {
    call_method(shutil, "copy", {source, temporary});
  });
}

}  // namespace

py::object copy_and_rename_file(Arg input_dir, Arg output_dir, Arg text_to_include,
                                Arg file_extension) {
  py::object today_date =
      call_method(call_method(g("datetime"), "now"), "strftime", {str_of("%Y-%m-%d")});
  py::object os = g("os");
  py::object file_found;
  py::object file_path;
  for (py::handle file_name : call_method(os, "listdir", {input_dir})) {
    check_signals();
    if (contains(file_name, text_to_include) &&
        truthy(call_method(file_name, "endswith", {file_extension}))) {
      file_path = call_method(os.attr("path"), "join", {input_dir, file_name});
      file_found = py::reinterpret_borrow<py::object>(file_name);
      break;
    }
  }
  if (!file_found) {
    say({"No file with '", text_to_include, "' found in '", input_dir, "'."});
    return py::none();
  }
  py::object new_file_name = add(add(add(text_to_include, py::str(" ")), today_date), file_extension);
  py::object destination_path = call_method(os.attr("path"), "join", {output_dir, new_file_name});
  os.attr("makedirs")(output_dir, py::arg("exist_ok") = true);
  copy_beside(os, file_path, destination_path);
  say({"File '", file_found, "' successfully copied and renamed to '", new_file_name, "' in '",
       output_dir, "'."});
  return py::none();
}

py::object create_folder_in_path(Arg folderpath) {
  try {
    g("os").attr("makedirs")(folderpath, py::arg("exist_ok") = true);
    say({"Folder created at: ", folderpath});
  } catch (...) {
    py::error_already_set e = caught();
    say({"Error creating folder: ", e});
  }
  return py::none();
}

}  // namespace kf
