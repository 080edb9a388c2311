// Screenshots of the browser viewport or of whole screens, and parking the
// mouse pointer on the second screen.
//
// A picture is evidence: it is written beside its name and appears under it
// only when complete (frame/file_safety.h); a picture that could not be
// written raises instead of being reported as saved, and an existing file
// (or link) under a name is never written to or through.
#include "frame/file_safety.h"
#include "frame/routines.h"

namespace kf {
namespace {

// The path of the screenshot: the stem with ".png", or, when a name is taken
// already (two shots of one step within a second, or a link, dangling or
// not), the stem with "_2", "_3", ... added, so that no evidence is
// overwritten.
py::object free_path(py::handle os, py::handle folder, py::handle file_stem) {
  py::object join = os.attr("path").attr("join");
  py::object exists = os.attr("path").attr("lexists");
  py::object path = join(folder, concat({file_stem, ".png"}));
  for (long long n = 2; truthy(exists(path)); ++n) {
    path = join(folder, concat({file_stem, "_", n, ".png"}));
    check_signals();
  }
  return path;
}

}  // namespace

py::object capture_screenshot(Arg base_path, Arg screen_number, Arg service_name, Arg step_name,
                              Arg use_webdriver, Arg driver) {
  py::object os = g("os");
  py::str folder = concat({base_path, "/", service_name});
  py::object stamp = g("time").attr("strftime")("%Y%m%d_%H%M%S");
  py::str file_stem = concat({step_name.attr("replace")(" ", "_"), "_", stamp});
  py::object save_path = free_path(os, folder, file_stem);
  say_values({py::str("save_path======>"), save_path});
  os.attr("makedirs")(folder, py::arg("exist_ok") = true);

  if (truthy(use_webdriver)) {
    if (driver.is_none()) {
      PyErr_SetString(PyExc_ValueError, "WebDriver instance must be provided when use_webdriver=True.");
      throw py::error_already_set();
    }
    say({"Capturing screenshot using Selenium WebDriver..."});
    write_beside(save_path, 0666, Place::keep_existing, [&](py::handle, py::handle temporary) {
      // The driver reports a file it could not write by returning False.
      py::object saved = driver.attr("save_screenshot")(temporary);
      if (saved.ptr() == Py_False)
        raise(PyExc_OSError, concat({"Screenshot not written to ", save_path}));
    });
    say({"Screenshot saved to ", save_path});
    return py::none();
  }

  with_(g("mss").attr("mss")(), [&](py::handle grabber) {
    py::object monitors = grabber.attr("monitors");
    size_t count = py::len(monitors);
    if (ge(screen_number, int_of(static_cast<long long>(count)))) {
      say({"Screen number ", screen_number, " does not exist. Total screens detected: ",
           static_cast<long long>(count) - 1});
      return;
    }
    py::object monitor = monitors[screen_number];
    say({"Capturing screenshot of screen ", screen_number, "..."});
    py::object shot = grabber.attr("grab")(monitor);
    py::object image = g("Image").attr("frombytes")("RGB", shot.attr("size"), shot.attr("bgra"),
                                                    "raw", "BGRX");
    write_beside(save_path, 0666, Place::keep_existing,
                 [&](py::handle, py::handle temporary) { image.attr("save")(temporary); });
    say({"Screenshot saved to ", save_path});
  });
  return py::none();
}

py::object move_mouse_to_second_screen() {
  py::object pointer = g("pyautogui");
  // width, height = pyautogui.size()
  auto [width, height] = unpack<2>(pointer.attr("size")());
  py::object x = sub(width, int_of(3000));
  py::object y = floordiv(height, int_of(2));
  pointer.attr("moveTo")(x, y);
  say({"Mouse moved to position on second screen at (", x, ", ", y, ")"});
  return py::none();
}

}  // namespace kf
