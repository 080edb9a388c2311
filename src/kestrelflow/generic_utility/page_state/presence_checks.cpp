// Deciding over a bounded period whether something is on the page or gone
// from it: elements present (at once or often enough), elements absent on
// enough consecutive polls, and the portal's error banner waited away with a
// page reload each time it shows.
//
// The period is an elapsed counter that grows by the polling interval after
// every poll (retry::Count::period, frame/retry.h).
#include "frame/browser.h"
#include "frame/retry.h"
#include "frame/routines.h"
#include "page_state/element_absence.h"

namespace kf {
namespace {

// The portal's error banner, and its parent, in the order they are tried.
constexpr const char* kErrorBanner[] = {
    R"(//*[@id="app"]/div/div/div/div[2]/div/div/div/div/div/div/div/div/div/div[2]/div)",
    R"(//*[@id="app"]/div/div/div/div[2]/div/div/div/div/div/div/div/div/div/div[2])",
};

// driver.find_element(By.XPATH, xpath) for its outcome only: true when found,
// false on NoSuchElementException; every other error propagates.
bool element_exists(Arg driver, py::handle xpath) {
  try {
    find_element(driver, "XPATH", xpath);
    return true;
  } catch (...) {
    py::error_already_set e = caught(g("NoSuchElementException"));
    return false;
  }
}

}  // namespace

py::object check_element_existance(Arg driver, Arg xpaths, Arg maxtrial, Arg polling_interval,
                                   Arg mode, Arg min_found) {
  long long found_count = 0;
  bool stopped = retry::run(
      retry::Count::period(maxtrial, polling_interval), retry::Pause::fixed(polling_interval),
      [&](const retry::Attempt&) {
        for (py::handle xpath : xpaths) {
          if (!element_exists(driver, xpath)) continue;
          say({"✅ Element exists at: ", xpath});
          if (eq(mode, "stop")) return retry::Next::stop;
          ++found_count;
          break;
        }
        return retry::Next::retry;
      });
  if (stopped) return py::bool_(true);
  if (eq(mode, "keep") && ge(int_of(found_count), min_found)) {
    say({"✅ Element was found ", found_count, " times during checks."});
    return py::bool_(true);
  }
  say({"⏳ Timeout reached. Element not found enough times."});
  return py::bool_(false);
}

py::object check_element_disapearing(Arg driver, Arg xpaths, Arg maxtrial, Arg polling_interval,
                                     Arg consecutive_not_exists, Arg mode) {
  Streak absent;
  bool disappeared = retry::run(
      retry::Count::period(maxtrial, polling_interval), retry::Pause::fixed(polling_interval),
      [&](const retry::Attempt&) {
        for (py::handle xpath : xpaths) {
          if (!element_exists(driver, xpath)) continue;
          absent.reset();
          say({"❌ Element still exists at: ", xpath});
          return retry::Next::retry;
        }
        absent.hit();
        say({"Element not found (", absent.count(), "/", consecutive_not_exists, ")"});
        if (eq(mode, "stop")) {
          say({"✅ Element disappeared (stop mode)."});
          return retry::Next::stop;
        }
        if (eq(mode, "keep") && absent.reached(consecutive_not_exists)) {
          say({"✅ Element disappeared for ", consecutive_not_exists, " consecutive checks."});
          return retry::Next::stop;
        }
        return retry::Next::retry;
      });
  if (disappeared) return py::bool_(true);
  say({"⏳ Timeout reached. Element still exists."});
  return py::bool_(false);
}

py::object wait_for_error_to_disappear(Arg driver, Arg maxtrial, Arg polling_interval,
                                       Arg consecutive_not_exists) {
  Streak absent;
  LookupTrouble trouble("the error message");
  // A poll that finds the banner, or cannot tell, pauses before the next;
  // a poll that finds it gone goes on at once.
  bool disappeared = retry::run(
      retry::Count::period(maxtrial, polling_interval), retry::Pause::fixed(polling_interval),
      [&](const retry::Attempt&) {
        trouble.new_poll();
        bool error_found = false;
        for (const char* banner : kErrorBanner) {
          py::str xpath = str_of(banner);
          error_found = trouble.ask([&] {
            find_element(driver, "XPATH", xpath);
            say({"Error message still exists at: ", xpath, ". Refreshing the page..."});
            return true;
          });
          if (error_found) break;
        }
        if (error_found) {
          absent.reset();
          driver.attr("refresh")();
          say({"Page refreshed to attempt resolving the error."});
          return retry::Next::retry;
        }
        // A poll with a lookup that could not tell neither reloads nor counts
        // towards the streak.
        if (trouble.unsettled()) {
          absent.reset();
          return retry::Next::retry;
        }
        absent.hit();
        say({"Error message not found (", absent.count(), "/", consecutive_not_exists, ")."});
        if (absent.reached(consecutive_not_exists)) {
          say({"Error message disappeared for ", consecutive_not_exists, " consecutive checks."});
          return retry::Next::stop;
        }
        return retry::Next::retry_now;
      });
  if (disappeared) return py::bool_(true);
  say({"Timeout reached. Error message still exists."});
  return py::bool_(false);
}

}  // namespace kf
