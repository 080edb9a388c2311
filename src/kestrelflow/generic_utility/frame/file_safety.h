// Files that appear under their name complete, or not at all.
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

// raise OSError(code, os.strerror(code), filename): the subclass the code
// stands for (FileExistsError for EEXIST ...), as the system calls raise it.
[[noreturn]] void raise_os_error(int code, py::handle filename);

// os.write(fd, ...) until every byte of `data` (bytes or a buffer) is written.
void write_all(py::handle fd, py::handle data);

}  // namespace kf
