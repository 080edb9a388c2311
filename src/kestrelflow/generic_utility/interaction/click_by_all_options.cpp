// The robust click: every XPath for several passes, then every visible text,
// each element clicked natively and, failing that, by script.
#include "interaction/all_options.h"

namespace kf {
namespace {

using all_options::Outcome;
using all_options::Pause;

// element.click(), falling back to a script click; prints the outcome.
Outcome click_with_fallback(Arg driver, py::handle element, const py::str& success_line) {
  try {
    element.attr("click")();
    say_values({success_line});
    return Outcome::succeeded;
  } catch (...) {
    py::error_already_set e = caught();
    say({"Failed to click using element.click(): ", e});
    try {
      run_script(driver, "arguments[0].click();", element);
      say({"Clicked using JavaScript as a fallback."});
      return Outcome::succeeded;
    } catch (...) {
      py::error_already_set e2 = caught();
      say({"JavaScript click also failed: ", e2});
      return Outcome::next;
    }
  }
}

// The element that shows a text: the innermost element whose normalised
// text contains it (none of its child elements' does), since the first
// container in document order is always <html>.  Of several, the first one
// displayed, else the first; NoSuchElementException when none contains it.
py::object innermost_holder(Arg driver, py::handle text) {
  py::str contains = template_xpath("contains(normalize-space(), '", text, "')");
  py::str xpath = concat({"//*[", contains, " and not(*[", contains, "])]"});
  py::object holders = find_elements(driver, "XPATH", xpath);
  for (py::handle holder : holders) {
    check_signals();
    if (truthy(call_method(holder, "is_displayed"))) return py::reinterpret_borrow<py::object>(holder);
  }
  if (py::len(holders) == 0) return find_element(driver, "XPATH", contains_text_xpath(text));
  return holders.attr("__getitem__")(0);
}

// Centres each text's innermost holder in turn; the first failure ends the
// scrolling.
constexpr all_options::TextScroll kScroll{innermost_holder,
                                          "arguments[0].scrollIntoView({block: 'center'});",
                                          "Scrolled to element with text: ",
                                          "Failed to scroll to element:", false, true};

// Gives loaders and overlays up to 5 seconds to vanish; never fails.
void wait_for_overlays(Arg driver) {
  try {
    wait_until(driver, int_of(5), "invisibility_of_element_located",
               locator("CSS_SELECTOR", py::str(".loading, .overlay, .spinner")));
  } catch (...) {
    py::error_already_set e = caught();
  }
}

}  // namespace

py::object clicking_on_element_by_all_option(Arg driver, Arg x_paths_input, Arg text_input_list,
                                             Arg max_retries, Arg scroll, Arg timeout) {
  if (truthy(scroll)) all_options::scroll_to_texts(driver, text_input_list, kScroll);
  wait_for_overlays(driver);

  Outcome outcome = all_options::run_passes(
      x_paths_input, max_retries, "click element with XPath", Pause::none(),
      [&](py::handle xpath) {
        py::object element = all_options::wait_or_say(
            driver, timeout, "element_to_be_clickable", [&] { return xpath; },
            [&](auto&) {
              say({"Could not find/click element with XPath '", xpath, "', trying next XPath:"});
            });
        if (!element) return Outcome::next;
        return click_with_fallback(driver, element,
                                   concat({"Clicked successfully on element with XPath: ", xpath}));
      });
  if (outcome == Outcome::succeeded) return py::bool_(true);

  say({"Failed to click using XPaths, trying to click based on text."});
  outcome = all_options::run_passes(
      text_input_list, max_retries, "click element with text", Pause::growing(1),
      [&](py::handle text_input) {
        py::object element = all_options::wait_or_say(
            driver, timeout, "element_to_be_clickable", [&] { return exact_text_xpath(text_input); },
            [&](const py::error_already_set& e) {
              if (is_instance(e, "TimeoutException"))
                say({"Could not find element with exact text '", text_input,
                     "', trying other methods."});
              else
                say({"An error occurred while trying to click element with text '", text_input,
                     "': "});
            });
        if (!element) return Outcome::next;
        return click_with_fallback(
            driver, element,
            concat({"Clicked element with exact text '", text_input, "' (XPath exact match)."}));
      });
  if (outcome == Outcome::succeeded) return py::bool_(true);

  say({"Failed to click element with provided text inputs after ", max_retries, " attempts."});
  return py::bool_(false);
}

}  // namespace kf
