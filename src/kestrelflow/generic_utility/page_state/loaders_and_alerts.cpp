// The things that get in the way of a usable page: loading indicators waited
// away, the portal's data-retrieval error cured by reloading, expected error
// messages picked out of a page text, and a stray JavaScript alert dismissed.
#include "frame/browser.h"
#include "frame/calls.h"
#include "frame/retry.h"
#include "frame/routines.h"
#include "page_state/element_absence.h"

namespace kf {
namespace {

// The portal's application root, whose text is inspected for errors.
constexpr const char* kApplicationRoot = R"(//*[@id="app"])";

// The portal's loading spinner.
constexpr const char* kSpinner = R"(//*[@class="ui-lib-spinner ui-lib-spinner_circle-image"])";

// What the portal says when retrieving the data failed, as found in the
// lower-cased page text, in the order they are tested.
constexpr const char* kDataErrors[] = {
    "an error occurred while retrieving the data",
    "sorry, the page you're looking for can't be found",
    "something went wrong",
    "حدث خطأ أثناء استرجاع البيانات",
    "حدث خطأ أثناء استرجاع البيانات.",
};

constexpr const char* kDataErrorHeader =
    "-----------------------Checking for Data Retrieval Errors-----------------------";


}  // namespace

py::object wait_for_loading_elements(Arg driver, Arg xpaths, Arg maxtrial, Arg polling_interval,
                                     Arg consecutive_not_exists) {
  say({"🔍 Checking loaders..."});
  Streak clear;
  LookupTrouble trouble("the loader");
  bool disappeared = retry::run(
      retry::Count::period(maxtrial, polling_interval), retry::Pause::fixed(polling_interval),
      [&](const retry::Attempt&) {
        trouble.new_poll();
        bool loader_seen = false;
        for (py::handle xpath : xpaths) {
          loader_seen = trouble.ask([&] {
            py::object loader = find_element(driver, "XPATH", xpath);
            if (!truthy(call_method(loader, "is_displayed"))) return false;
            say({"🔄 Loader detected for xpath: ", xpath});
            return true;
          });
          if (loader_seen) break;
        }
        // A poll with a lookup that could not tell is not clear.
        if (loader_seen || trouble.unsettled()) {
          clear.reset();
          return retry::Next::retry;
        }
        clear.hit();
        say({"✅ No loaders found (", clear.count(), "/", consecutive_not_exists, ")"});
        if (clear.reached(consecutive_not_exists)) {
          say({"✅ All loaders disappeared"});
          return retry::Next::stop;
        }
        return retry::Next::retry;
      });
  if (disappeared) return py::bool_(true);
  say({"⚠️ Timeout: Loader still exists"});
  return py::bool_(false);
}

py::object check_data_error_retrieving(Arg driver, Arg retry_params) {
  py::object max_retries = retry_params.attr("get")(str_of("max_retries"), int_of(2));
  py::object retry_delay = retry_params.attr("get")(str_of("retry_delay"), py::float_(0.5));
  say({kDataErrorHeader});

  // A failed read goes on to the next attempt at once; a reload waits
  // retry_delay before it.
  bool settled = retry::run(
      retry::Count::while_below(max_retries), retry::Pause::fixed(retry_delay),
      [&](const retry::Attempt& attempt) {
        say({"Attempt ", attempt.number + 1, " of ", max_retries, "."});
        py::object page_text;
        try {
          page_text = g("extract_text")(driver, strings({kApplicationRoot}),
                                        py::arg("max_retries") = 2, py::arg("retry_delay") = 0.5);
          page_text = call_method(call_method(call_method(page_text, "lower"), "strip"),
                                  "replace", {str_of("\n"), str_of(" ")});
        } catch (...) {
          py::error_already_set e = caught();
          say({"Error extracting text:"});
          return retry::Next::retry_now;
        }

        bool error_shown = false;
        for (const char* message : kDataErrors)
          if ((error_shown = contains(page_text, str_of(message)))) break;
        if (!error_shown) {
          say({"No significant data retrieval error detected on attempt ", attempt.number + 1,
               "."});
          return retry::Next::stop;
        }

        say({"Error detected: '", page_text, "'. Refreshing the page."});
        driver.attr("refresh")();
        g("wait_for_loading_elements")(driver, strings({kSpinner}), py::arg("maxtrial") = 50,
                                       py::arg("polling_interval") = 1,
                                       py::arg("consecutive_not_exists") = 6);
        say({"Page refreshed. Waiting before the next attempt..."});
        return retry::Next::retry;
      });
  if (settled) return str_of("No significant data retrieval error detected.");
  say({"Data retrieval error persists after ", max_retries, " attempts."});
  return str_of("Data retrieval error persists after retries.");
}

py::object find_error_messages(Arg data_page, Arg error_messages) {
  py::list found;
  for (py::handle message : error_messages)
    if (contains(data_page, message)) found.append(message);
  return std::move(found);
}

py::object dismiss_alerts(Arg driver) {
  try {
    py::object wait = call(g("WebDriverWait"), {driver, int_of(3)});
    call_method(wait, "until", {call_method(g("EC"), "alert_is_present")});
    py::object alert = driver.attr("switch_to").attr("alert");
    call_method(alert, "dismiss");
    say({"Unexpected alert dismissed."});
  } catch (...) {
    py::error_already_set e = caught(g("TimeoutException"));
  }
  return py::none();
}

}  // namespace kf
