// Land search results read into a DataFrame: the plot search row by row, the
// owner search column by column (for either of the portal's two table
// styles), each with its own column names and flag wording.
#include "frame/browser.h"
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {
namespace {

constexpr const char* kPlotColumns[] = {"checkbox_selected", "municipality", "district",
                                        "community",         "road",         "plot Number",
                                        "Land Use",          "has Block",    "has Mortgage"};

struct TextCell {
  const char* key;
  const char* xpath;
};

constexpr TextCell kPlotTextCells[] = {
    {"municipalityName", "./td[2]"}, {"districtName", "./td[3]"}, {"communityName", "./td[4]"},
    {"roadName", "./td[5]"},         {"plotNumber", "./td[6]"},   {"landUseName", "./td[7]"},
};

py::list plot_columns() {
  py::list columns;
  for (const char* name : kPlotColumns) columns.append(str_of(name));
  return columns;
}

py::str yes_no(py::handle element) { return str_of(truthy(element.attr("is_displayed")()) ? "Yes" : "No"); }

py::dict plot_record(py::handle row) {
  py::dict record;
  record["checkbox_selected"] =
      find_element(row, "XPATH", str_of("./td[1]/label/input")).attr("is_selected")();
  py::object cell_text = g("get_element_with_retries");
  for (const TextCell& cell : kPlotTextCells) record[cell.key] = cell_text(row, str_of(cell.xpath));
  record["hasBlock"] = yes_no(find_element(row, "XPATH", str_of("./td[8]/span")));
  record["hasMortgage"] = yes_no(find_element(row, "XPATH", str_of("./td[9]/span")));
  return record;
}

enum class OwnerValue { text, status, selected };

struct OwnerColumn {
  const char* name;
  const char* target;  // what follows the table in both XPath alternatives
  OwnerValue value;
};

constexpr const char* kOwnerTables[] = {
    "//table[@class='table table-striped table-bordered table-hover']",
    "//table[@class='table table-hover']",
};

constexpr OwnerColumn kOwnerColumns[] = {
    {"Land Use", "//td[@data-bind='text: landUseName']", OwnerValue::text},
    {"District", "//td[@data-bind='text: districtName']", OwnerValue::text},
    {"Community", "//td[@data-bind='text: communityName']", OwnerValue::text},
    {"Road", "//td[@data-bind='text: roadName']", OwnerValue::text},
    {"Plot Number", "//td[@data-bind='text: plotNumber']", OwnerValue::text},
    {"Status Block", "//span[@data-bind='if: hasBlock']", OwnerValue::status},
    {"Status Mortgage", "//span[@data-bind='if: hasMortgage']", OwnerValue::status},
    {"Checkbox", "//input[@type='checkbox']", OwnerValue::selected},
};

py::object owner_value(py::handle element, OwnerValue kind) {
  switch (kind) {
    case OwnerValue::status:
      return str_of(truthy(element.attr("is_displayed")()) ? "Has Status" : "No Status");
    case OwnerValue::selected:
      return element.attr("is_selected")();
    case OwnerValue::text:
      break;
  }
  return element.attr("text");
}

}  // namespace

py::object Getting_data_from_plot_search(Arg driver) {
  py::object rows = find_elements(driver, "XPATH", str_of("//tr[contains(@data-bind, 'item')]"));
  py::list records;
  for (py::handle row : rows) {
    check_signals();
    try {
      records.append(plot_record(row));
    } catch (...) {
      py::error_already_set e = caught();
      say({"Error extracting data from row:"});
    }
  }
  // No readable row: the frame still has its nine columns.
  if (records.empty()) return g("pd").attr("DataFrame")(py::arg("columns") = plot_columns());
  py::object frame = g("pd").attr("DataFrame")(records);
  frame.attr("columns") = plot_columns();
  return frame;
}

py::object Getting_data_from_Owner_search(Arg driver) {
  py::dict result;
  for (const OwnerColumn& column : kOwnerColumns) result[column.name] = py::list();
  size_t longest = 0;
  for (const OwnerColumn& column : kOwnerColumns) {
    py::object elements = py::list();
    for (const char* table : kOwnerTables) {
      py::object found = find_elements(driver, "XPATH", concat({table, column.target}));
      if (truthy(found)) {
        elements = found;
        break;
      }
    }
    size_t count = py::len(elements);
    if (count > longest) longest = count;
    py::list values = result[column.name];
    for (py::handle element : elements) values.append(owner_value(element, column.value));
  }
  for (const OwnerColumn& column : kOwnerColumns) {
    py::list values = result[column.name];
    while (values.size() < longest) values.append(py::none());
  }
  return g("pd").attr("DataFrame")(result);
}

}  // namespace kf
