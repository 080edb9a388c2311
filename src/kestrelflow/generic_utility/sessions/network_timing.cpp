// Network timing export: the page's resource timing entries appended to a CSV
// file, one row per resource, after a step's screenshot.
#include "frame/browser.h"
#include "frame/routines.h"

namespace kf {
namespace {

constexpr const char* kResourceEntriesScript =
    "\n"
    "            var performance = window.performance || window.mozPerformance || "
    "window.msPerformance || window.webkitPerformance || {};\n"
    "            return performance.getEntriesByType('resource');\n"
    "            ";

// How a column is read from a timing entry: entry.get(key) or entry.get(key, default).
enum class Missing { kNone, kZero, kNotAvailable };

struct Column {
  const char* key;
  Missing missing;
};

// Columns 1 to 22 of a row, read from the entry, in file order.
constexpr Column kEntryColumns[] = {
    {"name", Missing::kNone},
    {"initiatorType", Missing::kNone},
    {"duration", Missing::kNone},
    {"decodedBodySize", Missing::kZero},
    {"transferSize", Missing::kZero},
    {"responseStatus", Missing::kNotAvailable},
    {"startTime", Missing::kNone},
    {"responseEnd", Missing::kNone},
    {"connectEnd", Missing::kNotAvailable},
    {"connectStart", Missing::kNotAvailable},
    {"contentType", Missing::kNotAvailable},
    {"domainLookupEnd", Missing::kNotAvailable},
    {"domainLookupStart", Missing::kNotAvailable},
    {"fetchStart", Missing::kNotAvailable},
    {"nextHopProtocol", Missing::kNotAvailable},
    {"requestStart", Missing::kNotAvailable},
    {"responseStart", Missing::kNotAvailable},
    {"secureConnectionStart", Missing::kNotAvailable},
    {"serverTiming", Missing::kNotAvailable},
    {"unloadEventEnd", Missing::kNotAvailable},
    {"unloadEventStart", Missing::kNotAvailable},
    {"workerStart", Missing::kNotAvailable},
};

py::dict timing_row(py::handle entry, Arg step_type, Arg action_type, py::handle stamp) {
  py::dict row;
  py::object get = entry.attr("get");
  for (const Column& column : kEntryColumns) {
    switch (column.missing) {
      case Missing::kNone: row[column.key] = get(column.key); break;
      case Missing::kZero: row[column.key] = get(column.key, py::int_(0)); break;
      case Missing::kNotAvailable: row[column.key] = get(column.key, "N/A"); break;
    }
  }
  row["Step Type"] = step_type;
  row["Action Type"] = action_type;
  row["time_date"] = stamp;
  return row;
}

}  // namespace

py::object extract_performance_logs_and_append_to_csv(Arg driver, Arg file_path, Arg step_type,
                                                      Arg action_type) {
  wait_until(driver, py::int_(20), "presence_of_all_elements_located",
             locator("TAG_NAME", py::str("body")));

  py::object entries;
  try {
    entries = driver.attr("execute_script")(kResourceEntriesScript);
  } catch (...) {
    py::error_already_set e = caught();
    say({"Error fetching performance logs: "});
    return py::none();
  }

  // A page that loaded no resources has nothing to record; the file stays as it is.
  if (!truthy(entries)) {
    say({"No resource timing entries to append to ", file_path});
    return py::none();
  }

  py::object stamp = g("datetime").attr("now")().attr("strftime")("%Y-%m-%d %H:%M:%S");
  py::list rows;
  for (py::handle entry : entries) rows.append(timing_row(entry, step_type, action_type, stamp));

  py::object table = g("pd").attr("DataFrame")(rows);
  table[py::str("Total_Response_time")] = table[py::str("duration")];

  py::object to_csv = table.attr("to_csv");
  if (truthy(g("os").attr("path").attr("exists")(file_path))) {
    to_csv(file_path, py::arg("mode") = "a", py::arg("index") = false, py::arg("header") = false);
  } else {
    to_csv(file_path, py::arg("mode") = "w", py::arg("index") = false, py::arg("header") = true);
  }
  say({"Data appended to ", file_path});
  return py::none();
}

py::object export_network_logs(Arg driver, Arg Service_name, Arg /*Screenshots_path*/, Arg file_path,
                               Arg step_type, Arg action_type, Arg Base_path, Arg /*zoom_level*/) {
  g("capture_screenshot")(Base_path, py::arg("service_name") = Service_name,
                          py::arg("step_name") = step_type, py::arg("use_webdriver") = true,
                          py::arg("driver") = driver);
  return g("extract_performance_logs_and_append_to_csv")(driver, file_path, step_type, action_type);
}

}  // namespace kf
