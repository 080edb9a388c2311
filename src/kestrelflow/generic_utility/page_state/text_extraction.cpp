// Reading the page: the text of the first element found among XPaths, and an
// absolute XPath for every element of the document.
#include "frame/browser.h"
#include "frame/retry.h"
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
    py::object text;
    retry::run(retry::Count::while_below(max_retries), retry::Pause::between(retry_delay),
               [&](const retry::Attempt& attempt) {
                 try {
                   py::object element = wait_until(driver, waittime, "presence_of_element_located",
                                                   locator("XPATH", xpath));
                   say({"Successfully extracted text from XPath ", xpath});
                   text = element.attr("text");
                   return retry::Next::stop;
                 } catch (...) {
                   py::error_already_set e = caught();
                   say({"Attempt ", attempt.number + 1, ": Error extracting text for XPath ", xpath,
                        " -"});
                   if (attempt.last) {
                     say({"Failed to extract text for XPath ", xpath, " after ", max_retries,
                          " attempts."});
                   } else {
                     say({"Retrying XPath ", xpath, " in ", retry_delay, " seconds..."});
                   }
                   return retry::Next::retry;
                 }
               });
    if (text) return text;
  }
  say({"All XPaths failed after max retries."});
  return py::bool_(false);
}

py::object get_all_xpaths(Arg driver) {
  return run_script(driver, kElementPathsScript);
}

}  // namespace kf
