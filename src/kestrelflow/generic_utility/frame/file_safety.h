// Files that appear under their name complete, or not at all: a new file
// put in place (write_beside), a file saved over (save_text), a new
// temporary file (write_new_temporary), bytes appended (append_whole).
//
// write_beside(target, create_mode, place, body) writes a file that a later
// run (or a person) relies on, so that a failure part-way (a full disk, a
// size limit, an unwritable name, Ctrl-C) never leaves a truncated file
// under the target's name.  Its rules:
//
//   1. The content goes to a new temporary file in the target's own folder,
//      named "." + the target's stem + "." + a random tag + ".tmp" + the
//      target's extension (so that libraries choosing a format by the
//      extension still see it).  It is created with O_CREAT | O_EXCL |
//      O_NOFOLLOW: never an existing file, never through a symbolic link,
//      never a name someone else prepared.  Its mode is `create_mode` less
//      the umask (0600 stays owner-only whatever the umask).
//   2. `body(fd, temporary)` writes it, through the descriptor (write_all)
//      or through the `temporary` name (a library that takes a path).  Then
//      the file is fsync'ed (a file system that cannot sync a file, EINVAL or
//      ENOTSUP, is no failure) and closed.
//   3. Only then is it put in place, in one step: Place::replace renames it
//      over the target (os.replace); Place::keep_existing links it under the
//      target's name and raises FileExistsError when that name is taken
//      (also by a dangling link), so that nothing is ever overwritten.
//   4. When anything fails or is interrupted, the temporary file is removed
//      and the error raised again; the target is as it was.  An OSError
//      that names the temporary file is reported under the target's name.
//
// The target's folder must exist; it is not created here.
#pragma once

#include "frame/toolkit.h"

#include <type_traits>

namespace kf {

enum class Place { replace, keep_existing };

namespace detail {
using WriteBody = void (*)(void* body, py::handle fd, py::handle temporary);
void write_beside(py::handle target, int create_mode, Place place, WriteBody write, void* body);
}  // namespace detail

template <typename Body>
void write_beside(py::handle target, int create_mode, Place place, Body&& body) {
  detail::write_beside(
      target, create_mode, place,
      [](void* b, py::handle fd, py::handle temporary) {
        (*static_cast<std::remove_reference_t<Body>*>(b))(fd, temporary);
      },
      static_cast<void*>(&body));
}

// save_text(file_path, text) saves text, UTF-8 encoded, under file_path with
// the outcome open(file_path, "w").write(text) has, but never half written
// where that can be avoided.  Its rules:
//
//   1. A plain file of the caller's is replaced whole: the path names
//      nothing yet, or a regular file of the caller's, with no other name,
//      that the caller may write; and the caller may write its folder.  The
//      text goes to a new file beside it (made as in rule 1 above, mode 0666
//      less the umask), which gets the old file's permission bits and takes
//      its place in one rename.
//   2. Everything else is written in place, as open() writes it, so that it
//      stays what it is: a device, a FIFO, a symbolic link, a file with
//      several names or another owner, a file descriptor number, a path whose
//      folder cannot be reached or written.  So is a plain file whose new
//      file cannot be made, would get another group than the old one, or
//      cannot take its place; that new file is removed first.
//   3. Text that cannot be written (no str, a character UTF-8 cannot encode)
//      raises what open().write raises, and the target is left as it was.
void save_text(py::handle file_path, py::handle text);

// write_new_temporary(suffix, text) writes text, UTF-8 encoded, to a new file
// that tempfile names and places (its folder, its random name ending in
// `suffix`) and returns the name.  When the text cannot be written the file
// is removed again and the error raised: no empty or partial file is left.
py::object write_new_temporary(const char* suffix, py::handle text);

// append_whole(path, data, create) appends bytes at the end of the file at
// `path` in one piece, as they are (no line-end translation).  `create` says
// the file is not there yet: it is then made (mode 0666 less the umask).
// When the write fails part-way the file is cut back to the length it had,
// or removed when this call made it, and the first error is raised: a
// reader never sees part of the bytes.
void append_whole(py::handle path, py::handle data, bool create);

// raise OSError(code, os.strerror(code), filename): the subclass the code
// stands for (FileExistsError for EEXIST ...), as the system calls raise it.
[[noreturn]] void raise_os_error(int code, py::handle filename);

// os.write(fd, ...) until every byte of `data` (bytes or a buffer) is written.
void write_all(py::handle fd, py::handle data);

}  // namespace kf
