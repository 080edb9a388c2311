// Entering a value into a field given by XPaths and visible texts: a text
// field (cleared, then typed into), a calendar pop-up (the field, then a day
// cell, clicked) or "others" (typed into without clearing); optionally inside
// one shadow DOM tree.
#include "interaction/all_options.h"

namespace kf {
namespace {

using all_options::Outcome;
using all_options::Pause;

bool is_kind(Arg field_type, const char* kind) { return eq(field_type, kind); }

// The calendar's day cell for the date text.
py::str day_xpath(Arg calender_date) {
  return template_xpath("//td[normalize-space()='", calender_date,
                        "' and contains(@class, 'day')]");
}

// Clicks the field at `field_xpath` to open the calendar, then the day cell.
void pick_calendar_day(Arg driver, py::handle field_xpath, Arg calender_date, Arg timeout) {
  py::object element =
      wait_until(driver, timeout, "element_to_be_clickable", locator("XPATH", field_xpath));
  element.attr("click")();
  py::object day_element = wait_until(driver, timeout, "element_to_be_clickable",
                                      locator("XPATH", day_xpath(calender_date)));
  day_element.attr("click")();
}

struct Call {
  Arg driver, text_input_list, data, calender_date, timeout, input_delay, field_type;
  py::object shadow_root;  // set in shadow mode
  bool use_shadow;
};

// A password field's value never reaches the output: the echo shows this.
constexpr const char* kMaskedValue = "********";

// True for an <input type="password">.  A field whose type cannot be read is
// treated as one: a secret is never echoed on a guess.
bool is_password_field(py::handle input_field) {
  try {
    py::object type = input_field.attr("get_attribute")("type");
    if (!PyUnicode_Check(type.ptr())) return false;
    return eq(type.attr("lower")(), "password");
  } catch (...) {
    py::error_already_set e = caught();
    return true;
  }
}

// True for a read-only or disabled input, textarea or select (a disabled
// fieldset around it included): the browser takes keys for such a field
// without an error and leaves its value as it was.
constexpr const char* kRefusesTyping =
    "var e = arguments[0], tag = String(e.tagName).toLowerCase();"
    "return (tag === 'input' || tag === 'textarea' || tag === 'select')"
    " && (e.readOnly === true || e.matches(':disabled'));";

// Raises ElementNotInteractableException when the field just typed into
// without clearing is still read-only or disabled: the keys went nowhere.
// The question is put after the typing, since a field may unlock on the
// focus the typing gives it.  A field the question cannot be put to (gone
// with the page the keys submitted, say) counts as typed into.
void require_typed(Arg driver, py::handle input_field) {
  bool refuses = false;
  try {
    refuses = truthy(run_script(driver, kRefusesTyping, input_field));
  } catch (...) {
    py::error_already_set e = caught();
  }
  if (refuses)
    raise(g("ElementNotInteractableException"),
          str_of("element not interactable: the field is read-only or disabled"));
}

// Types the data after the input delay, clearing the field first (and then
// echoing the value, when asked) for a text field; clearing raises for a
// field that takes no keys, and a field typed into without clearing is
// asked afterwards.  Prints `success_line`.
Outcome type_data(const Call& c, py::handle input_field, bool clear_first, bool echo,
                  const py::str& success_line) {
  try {
    sleep(c.input_delay);
    if (clear_first) {
      input_field.attr("clear")();
      if (echo) {
        if (is_password_field(input_field))
          say({kMaskedValue});
        else
          say_values({c.data});
      }
    }
    input_field.attr("send_keys")(c.data);
    if (!clear_first) require_typed(c.driver, input_field);
    say_values({success_line});
    return Outcome::succeeded;
  } catch (...) {
    py::error_already_set e = caught();
    say({"Error inputting data in Text field: "});
    return Outcome::next;
  }
}

// One XPath (a CSS selector in shadow mode): locate, then enter by field kind.
Outcome enter_by_xpath(const Call& c, py::handle xpath) {
  bool typing = is_kind(c.field_type, "Text_field") || is_kind(c.field_type, "others");
  py::object input_field;
  try {
    if (c.use_shadow)
      input_field = g("shadow_find")(c.shadow_root, xpath);
    else
      input_field =
          wait_until(c.driver, c.timeout, "element_to_be_clickable", locator("XPATH", xpath));
  } catch (...) {
    // Only a missing or unreachable field is retried; other errors leave.
    caught(py::make_tuple(g("TimeoutException"), g("ElementNotInteractableException")));
    say({"Could not find/interact with element using XPath '", xpath, "', retrying."});
    return Outcome::next;
  }

  if (typing) {
    bool text_field = is_kind(c.field_type, "Text_field");
    return type_data(c, input_field, text_field, text_field,
                     concat({"Data input successfullysssssssssssssssssssss using XPath: '", xpath, "'"}));
  }
  if (is_kind(c.field_type, "Calender")) {
    try {
      if (c.use_shadow) {
        say({"⚠️ Calendar field not supported inside Shadow DOM"});
        return Outcome::gave_up;
      }
      pick_calendar_day(c.driver, xpath, c.calender_date, c.timeout);
      say({"✅ Calendar date selected successfully"});
      return Outcome::succeeded;
    } catch (...) {
      py::error_already_set e = caught();
      say({"❌ Error inputting data in Calendar field"});
      return Outcome::next;
    }
  }
  say({"Data input successfully using XPathsssssssssssssssssssssssss: '", xpath, "'"});
  return Outcome::succeeded;
}

// One visible text, by its exact-text XPath (never inside the shadow root).
Outcome enter_by_text(const Call& c, py::handle text_input) {
  try {
    try {
      say({"# Option 1: Input data based on text"});
      py::str text_xpath = exact_text_xpath(text_input);
      py::object input_field =
          wait_until(c.driver, c.timeout, "element_to_be_clickable", locator("XPATH", text_xpath));

      if (is_kind(c.field_type, "Text_field"))
        return type_data(c, input_field, true, false,
                         concat({"Data input successfully using XPath: '", text_xpath, "'"}));
      if (is_kind(c.field_type, "Calender")) {
        try {
          pick_calendar_day(c.driver, text_xpath, c.calender_date, c.timeout);
        } catch (...) {
          py::error_already_set e = caught();
          say({"Error inputting data in Text field: "});
          return Outcome::next;
        }
      }
      say({"Data input successfully using text: '", text_input, "'"});
      return Outcome::succeeded;
    } catch (...) {
      py::error_already_set e = caught(g("TimeoutException"));
      say({"Could not find element with exact text '", text_input, "', trying other methods."});
      return Outcome::next;
    }
  } catch (...) {
    py::error_already_set e = caught();
    say({"An error occurred while trying to input data for text '", text_input, "':"});
    return Outcome::next;
  }
}

// Scrolls to each text; a failure skips only that text.
constexpr all_options::TextScroll kScroll{all_options::exact_text_holder,
                                          "arguments[0].scrollIntoView(true);",
                                          "Scrolled to element with text: ",
                                          "Failed to scroll to element:", false, false};

}  // namespace

py::object input_data_by_all_option(Arg driver, Arg x_paths_input, Arg text_input_list, Arg data,
                                    Arg calender_date, Arg max_attempts, Arg timeout, Arg scroll,
                                    Arg input_delay, Arg shadow_host_tag, Arg field_type) {
  Call c{driver, text_input_list, data, calender_date, timeout, input_delay, field_type,
         py::object(), !shadow_host_tag.is_none()};

  if (c.use_shadow) {
    try {
      c.shadow_root = g("get_shadow_root")(driver, shadow_host_tag);
    } catch (...) {
      py::error_already_set e = caught();
    }
    // A host without an open shadow root (none, or a closed one) is no root.
    if (!c.shadow_root || c.shadow_root.is_none()) {
      say({"❌ Failed to get shadow root for <", shadow_host_tag, ">"});
      return py::bool_(false);
    }
    say({"✅ Shadow root found for <", shadow_host_tag, ">"});
  }

  if (truthy(scroll)) all_options::scroll_to_texts(driver, text_input_list, kScroll);

  Outcome outcome =
      all_options::run_passes(x_paths_input, max_attempts, "input data using XPath", Pause::none(),
                              [&](py::handle xpath) { return enter_by_xpath(c, xpath); });
  if (outcome != Outcome::next) return py::bool_(outcome == Outcome::succeeded);

  say({"Failed to input using XPaths, trying to input based on text."});
  outcome = all_options::run_passes(text_input_list, max_attempts, "input data using text",
                                    Pause::growing(1),
                                    [&](py::handle text_input) { return enter_by_text(c, text_input); });
  if (outcome != Outcome::next) return py::bool_(outcome == Outcome::succeeded);

  say({"Failed to input data for provided text inputs after ", max_attempts, " attempts."});
  return py::bool_(false);
}

}  // namespace kf
