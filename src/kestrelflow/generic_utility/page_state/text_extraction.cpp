// Reading the page: the text of the first element found among XPaths, and an
// absolute XPath for every element of the document.
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

py::object extract_text(A driver, A xpaths, A max_retries, A retry_delay, A waittime) {
  py::object limit = py::reinterpret_borrow<py::object>(max_retries);
  for (py::handle xpath : xpaths) {
    long long attempts = 0;
    while (py::int_(attempts) < limit) {
      try {
        py::object element =
            wait_until(driver, waittime, "presence_of_element_located", locator("XPATH", xpath));
        say({"Successfully extracted text from XPath ", xpath});
        return element.attr("text");
      } catch (py::error_already_set& e) {
        pass_unless(e);
        ++attempts;
        say({"Attempt ", attempts, ": Error extracting text for XPath ", xpath, " -"});
        if (py::int_(attempts) < limit) {
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

py::object get_all_xpaths(A driver) {
  return driver.attr("execute_script")(kElementPathsScript);
}

}  // namespace kf
