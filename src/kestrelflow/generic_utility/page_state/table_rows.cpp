// Rows of tabular results: the first DataFrame row that satisfies a share of
// column criteria, and the selection checkbox of a row of the portal's list
// table.
//
// The row search answers exactly what walking df.iterrows() and comparing
// row[key] == value would answer.  The bounded scan of table_rows_scan.cpp
// answers the layouts whose cells it reads from the columns' buffers; the
// column-wise reading of table_rows_columns.cpp the others it can tell the
// cells of; the rest (frame subclasses, frames of only datetimes, single
// extension-typed columns, duplicated labels among the criteria) walk the
// rows the plain way, here.
#include "frame/browser.h"
#include "frame/routines.h"
#include "page_state/table_rows_columns.h"
#include "page_state/table_rows_scan.h"

#include <optional>

namespace kf {
namespace {

// ---- the plain walk ----------------------------------------------------------------

// The number of criteria that a row Series satisfies.
long long count_matches(py::handle row, const py::dict& criteria) {
  long long matches = 0;
  for (auto entry : criteria)
    if (contains(row, entry.first) && eq(item(row, entry.first), entry.second)) ++matches;
  return matches;
}

// for index, row in df.iterrows(): ... as the statement reads.
py::object walk_rows(py::handle df, const py::dict& criteria, py::handle threshold) {
  for (py::handle pair : call_method(df, "iterrows")) {
    check_signals();
    auto [index, row] = unpack<2>(pair);
    py::object ratio = truediv(int_of(count_matches(row, criteria)),
                                   int_of(static_cast<long long>(criteria.size())));
    if (ge(ratio, threshold)) return index;
  }
  return int_of(-1);
}

// ---- the list table's checkboxes ------------------------------------------------------

// The checkbox of row {} of the portal's list table, in the two layouts the
// portal renders it in, tried in this order.
constexpr const char* kCheckboxLayouts[] = {
    "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/div/"
    "div[1]/app-list/div/div[3]/table/tbody/tr[{}]/td[1]/label/span",
    "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div[1]/div[2]/div/div[1]/app-list/"
    "div/div[3]/table/tbody/tr[{}]/td[1]/label/span",
};

}  // namespace

py::object find_matching_row(Arg df, Arg criteria, Arg match_threshold) {
  py::object columns = df.attr("columns").attr("str").attr("lower")().attr("str").attr("strip")();
  py::setattr(df, "columns", columns);

  py::dict normalised;
  for (py::handle entry : criteria.attr("items")()) {
    auto [key, value] = unpack<2>(entry);
    py::object name = call_method(call_method(key, "lower"), "strip");
    if (PyDict_SetItem(normalised.ptr(), name.ptr(), value.ptr()) < 0) throw py::error_already_set();
  }

  if (py::len(df.attr("index")) == 0) return int_of(-1);
  if (std::optional<py::object> found = scan_first_match(df, normalised, match_threshold)) return *found;
  if (std::optional<py::object> found = column_wise_first_match(df, normalised, match_threshold))
    return *found;
  return walk_rows(df, normalised, match_threshold);
}

py::object click_checkbox_by_row(Arg driver, Arg row_index) {
  for (const char* layout : kCheckboxLayouts) {
    py::object checkbox_xpath = call_method(str_of(layout), "format", {row_index});
    try {
      py::object checkbox = find_element(driver, "XPATH", checkbox_xpath);
      run_script(driver, "arguments[0].scrollIntoView({block: 'center'});", checkbox);
      call_method(checkbox, "click");
      say({"Successfully clicked checkbox at row ", row_index, " using XPath: ", checkbox_xpath});
      sleep(int_of(2));
      return py::none();
    } catch (...) {
      py::error_already_set e =
          caught(py::make_tuple(g("NoSuchElementException"), g("ElementNotInteractableException")));
      say({"Could not click checkbox at row ", row_index, " using XPath: ", checkbox_xpath,
           ". Error:"});
    }
  }
  say({"Failed to click checkbox at row ", row_index, " after trying all base XPaths."});
  return py::none();
}

}  // namespace kf
