// The bounded scan behind find_matching_row: the first qualifying row found
// by reading the columns' buffers in blocks of rows, without building a row
// Series or a Python object per cell where the comparison's answer is known
// from the cell's bytes.
#pragma once

#include "frame/toolkit.h"

#include <optional>

namespace kf {

// The index label of the first row of `df` whose share of satisfied criteria
// reaches `threshold`, or -1: the answer of walking df.iterrows() and
// comparing row[key] == value.  `criteria` holds the normalised keys and
// `df` at least one row.  Nothing when the frame's layout, a column's storage
// or an expected value is one whose comparisons the scan cannot prove equal
// to the row Series' own; the caller then reads the rows the general way.
std::optional<py::object> scan_first_match(py::handle df, const py::dict& criteria,
                                           py::handle threshold);

}  // namespace kf
