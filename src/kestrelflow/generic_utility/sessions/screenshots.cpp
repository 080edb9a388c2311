// Screenshots of the browser viewport or of whole screens, and parking the
// mouse pointer on the second screen.
#include "frame/routines.h"

namespace kf {
namespace {

// A special method looked up on the type and bound to the instance, the way
// the interpreter finds __enter__ and __exit__ for a `with` statement.
py::object special_method(py::handle object, const char* name, const char* missing) {
  PyTypeObject* type = Py_TYPE(object.ptr());
  PyObject* found = _PyType_Lookup(type, py::str(name).ptr());
  if (found == nullptr) {
    if (!PyErr_Occurred())
      PyErr_Format(PyExc_TypeError, "'%.200s' object does not support the context manager protocol%s",
                   type->tp_name, missing);
    throw py::error_already_set();
  }
  descrgetfunc bind = Py_TYPE(found)->tp_descr_get;
  if (bind == nullptr) return py::reinterpret_borrow<py::object>(found);
  PyObject* bound = bind(found, object.ptr(), reinterpret_cast<PyObject*>(type));
  if (bound == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(bound);
}

// `with manager as value: body(value)`.  __exit__ sees the exception of the
// body, if any, as the exception being handled, and a true result of it
// swallows that exception.
template <typename Body>
void with_context(py::handle manager, Body&& body) {
  py::object enter = special_method(manager, "__enter__", "");
  py::object exit = special_method(manager, "__exit__", " (missed __exit__ method)");
  py::object value = enter();

  try {
    body(py::handle(value));
  } catch (...) {
    py::error_already_set error = as_python_error();
    py::object trace = error.trace() ? error.trace() : py::none();
    py::object result;
    {
      // While __exit__ runs, the body's error is the one being handled.
      struct HandledException {
        py::object outer = py::reinterpret_steal<py::object>(PyErr_GetHandledException());
        explicit HandledException(py::handle now) { PyErr_SetHandledException(now.ptr()); }
        ~HandledException() { PyErr_SetHandledException(outer.ptr()); }
      } handled(error.value());
      result = exit(error.type(), error.value(), trace);
    }
    if (!truthy(result)) throw error;
    return;
  }
  exit(py::none(), py::none(), py::none());
}

}  // namespace

py::object capture_screenshot(A base_path, A screen_number, A service_name, A step_name,
                              A use_webdriver, A driver) {
  py::object os = g("os");
  py::str folder = text({base_path, "/", service_name});
  py::object stamp = g("time").attr("strftime")("%Y%m%d_%H%M%S");
  py::str file_name = text({step_name.attr("replace")(" ", "_"), "_", stamp, ".png"});
  py::object save_path = os.attr("path").attr("join")(folder, file_name);
  say_values({py::str("save_path======>"), save_path});
  os.attr("makedirs")(folder, py::arg("exist_ok") = true);

  if (truthy(use_webdriver)) {
    if (driver.is_none()) {
      PyErr_SetString(PyExc_ValueError, "WebDriver instance must be provided when use_webdriver=True.");
      throw py::error_already_set();
    }
    say({"Capturing screenshot using Selenium WebDriver..."});
    driver.attr("save_screenshot")(save_path);
    say({"Screenshot saved to ", save_path});
    return py::none();
  }

  with_context(g("mss").attr("mss")(), [&](py::handle grabber) {
    py::object monitors = grabber.attr("monitors");
    size_t count = py::len(monitors);
    if (py::reinterpret_borrow<py::object>(screen_number) >= py::int_(count)) {
      say({"Screen number ", screen_number, " does not exist. Total screens detected: ",
           static_cast<long long>(count) - 1});
      return;
    }
    py::object monitor = monitors[screen_number];
    say({"Capturing screenshot of screen ", screen_number, "..."});
    py::object shot = grabber.attr("grab")(monitor);
    py::object image = g("Image").attr("frombytes")("RGB", shot.attr("size"), shot.attr("bgra"),
                                                    "raw", "BGRX");
    image.attr("save")(save_path);
    say({"Screenshot saved to ", save_path});
  });
  return py::none();
}

py::object move_mouse_to_second_screen() {
  py::object pointer = g("pyautogui");
  // width, height = pyautogui.size()
  py::object size = pointer.attr("size")();
  py::object parts[2];
  size_t unpacked = 0;
  for (py::handle part : size) {
    if (unpacked == 2) {
      PyErr_SetString(PyExc_ValueError, "too many values to unpack (expected 2)");
      throw py::error_already_set();
    }
    parts[unpacked++] = py::reinterpret_borrow<py::object>(part);
  }
  if (unpacked < 2) {
    PyErr_Format(PyExc_ValueError, "not enough values to unpack (expected 2, got %zu)", unpacked);
    throw py::error_already_set();
  }
  py::object x = parts[0] - py::int_(3000);
  PyObject* half = PyNumber_FloorDivide(parts[1].ptr(), py::int_(2).ptr());
  if (half == nullptr) throw py::error_already_set();
  py::object y = py::reinterpret_steal<py::object>(half);
  pointer.attr("moveTo")(x, y);
  say({"Mouse moved to position on second screen at (", x, ", ", y, ")"});
  return py::none();
}

}  // namespace kf
