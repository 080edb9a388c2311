// Around a submission: an official letter attached through the browser's
// native file dialog (driven with the desktop's pointer and keyboard), and
// the number of the application on the page read with retries.
#include "frame/calls.h"
#include "frame/retry.h"
#include "frame/routines.h"

namespace kf {

py::object upload_official_letter(Arg driver, Arg upload_button_xpath, Arg upload_button_text,
                                  Arg file_path, Arg target_screen) {
  say({"Clicking on the upload button..."});
  by_name::click(driver, upload_button_xpath, upload_button_text, 4, true, int_of(5));
  sleep(2);

  py::object pyautogui = g("pyautogui");
  py::object size = pyautogui.attr("size")();
  py::object width = size.attr("width");
  py::object height = size.attr("height");
  py::object screen = target_screen.attr("lower")();
  if (eq(screen, "first")) {
    pyautogui.attr("moveTo")(floordiv(width, int_of(4)), floordiv(height, int_of(2)));
    say({"Focusing on the first screen."});
  } else if (eq(screen, "second")) {
    pyautogui.attr("moveTo")(add(width, floordiv(width, int_of(4))),
                             floordiv(height, int_of(2)));
    say({"Focusing on the second screen."});
  } else {
    raise_error(PyExc_ValueError, "Invalid target_screen. Choose 'first' or 'second'.");
  }
  sleep(2);
  say({"Entering file path: ", file_path});
  sleep(2);
  pyautogui.attr("write")(file_path);
  pyautogui.attr("press")("enter");
  say({"File uploaded successfully: ", file_path});
  return py::none();
}

py::object scrape_application_number(Arg driver, Arg enviroment, Arg max_retries, Arg retry_delay) {
  py::object xpaths = py::none();
  if (eq(enviroment, "Durezo_vuda")) {
    xpaths = strings(
        {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[4]/div[2]/div[1]/div[2]",
         "//div[@class='widget-body app-application-details']//div[@class='value']/span[@data-bind='text: applicationNumber']"});
  } else if (eq(enviroment, "DEVU")) {
    xpaths = strings({"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[3]/div[2]/div[1]/div"});
  }
  py::object found;
  retry::run(
      retry::Count::range(max_retries), retry::Pause::fixed(retry_delay),
      [&](const retry::Attempt& attempt) {
        say({"Attempt ", attempt.number + 1, " of ", max_retries, "..."});
        if (xpaths.is_none()) {
          raise(PyExc_ValueError,
                concat({"Unknown environment ", py::repr(enviroment),
                        ": the application number panel is known for 'Durezo_vuda' and 'DEVU' only."}));
        }
        py::object text = g("extract_text")(driver, xpaths, py::arg("max_retries") = 3,
                                            py::arg("retry_delay") = 1, py::arg("waittime") = 3);
        py::object record = g("application_details_formatting")(text);
        py::object number = py::none();
        if (!truthy(record.attr("empty")))
          number = record[str_of("Application Number")].attr("iloc")[py::int_(0)];
        if (truthy(number) && truthy(number.attr("strip")())) {
          say({"Application number found: ", number});
          found = number;
          return retry::Next::stop;
        }
        say({"Application number is empty. Retrying..."});
        return retry::Next::retry;
      });
  if (found) return found;
  say({"Failed to retrieve application number after maximum retries."});
  return py::none();
}

}  // namespace kf
