// Hovering: every XPath for several passes, then every visible text; a real
// pointer move first, a synthetic mouseover event as the fallback.
#include "interaction/all_options.h"

namespace kf {
namespace {

using all_options::Outcome;
using all_options::Pause;

constexpr const char* kMouseoverScript =
    "\n"
    "                            var evObj = document.createEvent('MouseEvents');\n"
    "                            evObj.initMouseEvent('mouseover', true, true, window);\n"
    "                            arguments[0].dispatchEvent(evObj);\n"
    "                        ";

// Moves the pointer onto the element, falling back to dispatching mouseover.
Outcome hover_with_fallback(Arg driver, py::handle element, const py::str& success_line,
                            const char* failure_prefix) {
  try {
    py::object actions = g("ActionChains")(driver);
    actions.attr("move_to_element")(element).attr("perform")();
    say_values({success_line});
    return Outcome::succeeded;
  } catch (...) {
    py::error_already_set e = caught();
    say({failure_prefix, e});
    try {
      run_script(driver, kMouseoverScript, element);
      say({"✅ Hovered using JavaScript fallback."});
      return Outcome::succeeded;
    } catch (...) {
      py::error_already_set e2 = caught();
      say({"⚠️ JS hover also failed: ", e2});
      return Outcome::next;
    }
  }
}

// Scrolls to each text in turn; the first failure ends the scrolling.
constexpr all_options::TextScroll kScroll{all_options::exact_text_holder,
                                          "arguments[0].scrollIntoView(true);",
                                          "🟦 Scrolled to element with text: ",
                                          "⚠️ Failed to scroll to element: ", true, true};

}  // namespace

py::object hovering_by_xpath(Arg driver, Arg x_paths_input, Arg text_input_list, Arg max_retries, Arg scroll,
                             Arg timeout) {
  if (truthy(scroll)) all_options::scroll_to_texts(driver, text_input_list, kScroll);

  Outcome outcome = all_options::run_passes(
      x_paths_input, max_retries, "hover over element with XPath", Pause::growing(0.5),
      [&](py::handle xpath) {
        py::object element = all_options::wait_or_say(
            driver, timeout, "visibility_of_element_located", [&] { return xpath; },
            [&](auto&) {
              say({"Could not find/hover element with XPath '", xpath, "', trying next one..."});
            });
        if (!element) return Outcome::next;
        return hover_with_fallback(driver, element,
                                   concat({"✅ Hovered successfully on element with XPath: ", xpath}),
                                   "⚠️ Hover failed using move_to_element(): ");
      });
  if (outcome == Outcome::succeeded) return py::bool_(true);

  say({"❌ Failed to hover using XPaths, attempting text-based fallback..."});
  outcome = all_options::run_passes(
      text_input_list, max_retries, "hover over element with text", Pause::growing(1),
      [&](py::handle text_input) {
        py::object element = all_options::wait_or_say(
            driver, timeout, "visibility_of_element_located",
            [&] { return exact_text_xpath(text_input); },
            [&](const py::error_already_set& e) {
              if (is_instance(e, "TimeoutException"))
                say({"⚠️ Element with text '", text_input, "' not visible yet."});
              else
                say({"⚠️ An error occurred while trying to hover over text '", text_input, "': ",
                     e});
            });
        if (!element) return Outcome::next;
        return hover_with_fallback(
            driver, element,
            concat({"✅ Hovered successfully on element with text: '", text_input, "'"}),
            "⚠️ Hover failed using ActionChains: ");
      });
  if (outcome == Outcome::succeeded) return py::bool_(true);

  say({"❌ Failed to hover over any provided elements after ", max_retries, " attempts."});
  return py::bool_(false);
}

}  // namespace kf
