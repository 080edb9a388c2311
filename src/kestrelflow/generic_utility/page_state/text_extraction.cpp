// Reading the page: the text of the first element found among XPaths, and an
// absolute XPath for every element of the document.
#include "frame/browser.h"
#include "frame/routines.h"

namespace kf {
namespace {

// Runs in the page; returns one path per element in document order.
constexpr const char* kElementPathsScript =
    "\n"
    "        let elements = document.querySelectorAll('*');\n"
    "        let paths = [];\n"
    "        elements.forEach((el) => {\n"
    "            let path = '';\n"
    "            for (; el && el.nodeType === 1; el = el.parentNode) {\n"
    "                let index = 0;\n"
    "                for (let sibling = el.previousSibling; sibling; sibling = sibling.previousSibling) {\n"
    "                    if (sibling.nodeType === 1 && sibling.tagName === el.tagName) {\n"
    "                        index++;\n"
    "                    }\n"
    "                }\n"
    "                let tagName = el.tagName.toLowerCase();\n"
    "                path = '/' + tagName + (index ? '[' + (index + 1) + ']' : '') + path;\n"
    "            }\n"
    "            paths.push(path);\n"
    "        });\n"
    "        return paths;\n"
    "    ";

}  // namespace

py::object extract_text(Arg driver, Arg xpaths, Arg max_retries, Arg retry_delay, Arg waittime) {
  for (py::handle xpath : xpaths) {
    long long attempts = 0;
    while (lt(int_of(attempts), max_retries)) {
      check_signals();
      try {
        py::object element =
            wait_until(driver, waittime, "presence_of_element_located", locator("XPATH", xpath));
        say({"Successfully extracted text from XPath ", xpath});
        return element.attr("text");
      } catch (...) {
        py::error_already_set e = caught();
        ++attempts;
        say({"Attempt ", attempts, ": Error extracting text for XPath ", xpath, " -"});
        if (lt(int_of(attempts), max_retries)) {
          say({"Retrying XPath ", xpath, " in ", retry_delay, " seconds..."});
          sleep(retry_delay);
        } else {
          say({"Failed to extract text for XPath ", xpath, " after ", max_retries, " attempts."});
        }
      }
    }
  }
  say({"All XPaths failed after max retries."});
  return py::bool_(false);
}

py::object get_all_xpaths(Arg driver) {
  return driver.attr("execute_script")(kElementPathsScript);
}

}  // namespace kf
