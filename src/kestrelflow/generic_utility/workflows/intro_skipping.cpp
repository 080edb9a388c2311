// The portal's introduction tour clicked through (two "Continue" buttons and
// "Finish"); a click that raises leads to the dismissal of any open alert.
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {

py::object Skipping_intro_part(Arg driver, Arg wait_time) {
  struct Button {
    const char* xpath;
    const char* text;
  };
  static constexpr Button kButtons[] = {
      {"/html/body/div[1]/div/div/div/div/div[3]/div[2]/div[2]/div[3]/div/div", "Continue"},
      {"/html/body/div[1]/div/div/div/div/div[3]/div[2]/div[2]/div[2]/div/div", "Continue"},
      {"/html/body/div[1]/div/div/div/div/div[3]/div[2]/div[2]/div[2]/div/div/div", "Finish"},
  };
  sleep(wait_time);
  for (const Button& button : kButtons) {
    try {
      by_name::click(driver, strings({button.xpath}), strings({button.text}), 4, true,
                    int_of(5));
    } catch (...) {
      py::error_already_set e = caught();
      g("dismiss_alerts")(driver);
    }
    sleep(wait_time);
  }
  return py::none();
}

}  // namespace kf
