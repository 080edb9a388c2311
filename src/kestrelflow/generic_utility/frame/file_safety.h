// Files that appear under their name complete, or not at all.
//
// write_beside(target, file_mode, create_mode, place, body) writes a file
// that a later run (or a person) relies on, so that a failure part-way (a
// full disk, a size limit, an unwritable name, Ctrl-C) never leaves a
// truncated file under the target's name.  Its rules:
//
//   1. The content goes to a new temporary file in the target's own folder,
//      named "." + the target's stem + "." + a random tag + ".tmp" + the
//      target's extension (so that libraries choosing a format by the
//      extension still see it).  It is created with O_CREAT | O_EXCL |
//      O_NOFOLLOW: never an existing file, never through a symbolic link,
//      never a name someone else prepared.  Its mode is `create_mode` less
//      the umask (0600 stays owner-only whatever the umask).
//   2. `body(file, temporary)` writes it: `file` is a file object open on
//      the new file in `file_mode` ("w" or "wb"); a body may instead write
//      through the `temporary` name (a library that takes a path).  Then the
//      file is flushed, fsync'ed and closed.
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
using WriteBody = void (*)(void* body, py::handle file, py::handle temporary);
void write_beside(py::handle target, const char* file_mode, int create_mode, Place place,
                  WriteBody write, void* body);
}  // namespace detail

template <typename Body>
void write_beside(py::handle target, const char* file_mode, int create_mode, Place place,
                  Body&& body) {
  detail::write_beside(
      target, file_mode, create_mode, place,
      [](void* b, py::handle file, py::handle temporary) {
        (*static_cast<std::remove_reference_t<Body>*>(b))(file, temporary);
      },
      static_cast<void*>(&body));
}

}  // namespace kf
