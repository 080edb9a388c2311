// Network timing export: the page's resource timing entries appended to a CSV
// file, one row per resource, after a step's screenshot.
#include "frame/browser.h"
#include "frame/file_safety.h"
#include "frame/routines.h"

#include <string>

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

// The header line the rows belong under, as pandas writes it: the column
// names in file order (none of them needs quoting), then the line end.
py::bytes header_line(py::handle os) {
  std::string line;
  for (const Column& column : kEntryColumns) {
    line += column.key;
    line += ',';
  }
  line += "Step Type,Action Type,time_date,Total_Response_time";
  line += py::str(os.attr("linesep")).cast<std::string>();
  return py::bytes(line);
}

// What an existing timing file holds, read before anything is written to it.
struct Existing {
  bool found = false;         // the path names a file
  bool empty = true;          // it holds no bytes
  bool ends_in_line = true;   // its last byte ends a line
  bool same_header = true;    // its first line is our header
};

Existing inspect_file(py::handle file_path, py::handle header) {
  Existing existing;
  if (!truthy(g("os").attr("path").attr("exists")(file_path))) return existing;
  existing.found = true;
  with_(import_module("builtins").attr("open")(file_path, "rb"), [&](py::handle file) {
    py::object first = call_method(file, "readline");
    if (py::len(first) == 0) return;
    existing.empty = false;
    py::object strip = py::bytes("\r\n");
    existing.same_header = eq(first.attr("rstrip")(strip), header.attr("rstrip")(strip));
    file.attr("seek")(-1, 2);
    py::object last = call_method(file, "read", {int_of(1)});
    existing.ends_in_line = eq(last, py::bytes("\n")) || eq(last, py::bytes("\r"));
  });
  return existing;
}

// Appends the table's rows to the file in one piece: the header first when
// the file is new or empty, a line break first when the file's last line has
// none.  A file headed by something else is left alone (false).  When the
// write fails part-way, the file is left as it was (frame/file_safety.h) and
// the error goes on to the caller.
bool append_rows(py::handle table, py::handle file_path) {
  py::object os = g("os");
  py::bytes header = header_line(os);
  Existing existing = inspect_file(file_path, header);
  if (!existing.empty && !existing.same_header) {
    say({"⚠️ Timing rows not appended: ", file_path,
         " starts with another header"});
    return false;
  }

  py::object rows =
      table.attr("to_csv")(py::arg("index") = false, py::arg("header") = false).attr("encode")("utf-8");
  py::object data = existing.empty ? add(header, rows) : rows;
  if (!existing.ends_in_line) {
    data = add(os.attr("linesep").attr("encode")("ascii"), data);
  }

  append_whole(file_path, data, !existing.found);
  return true;
}

}  // namespace

py::object extract_performance_logs_and_append_to_csv(Arg driver, Arg file_path, Arg step_type,
                                                      Arg action_type) {
  wait_until(driver, py::int_(20), "presence_of_all_elements_located",
             locator("TAG_NAME", py::str("body")));

  py::object entries;
  try {
    entries = run_script(driver, kResourceEntriesScript);
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

  if (!append_rows(table, file_path)) return py::none();
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
