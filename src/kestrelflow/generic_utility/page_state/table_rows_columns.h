// The column-wise reading behind find_matching_row, and what it shares with
// the bounded scan (table_rows_scan.h).
//
// The reading answers what walking df.iterrows() and comparing
// row[key] == value would answer, column by column: a row Series is never
// built where the cells it would hold can be known without it.  What such a
// row holds depends on the whole frame and on the row itself:
//   - df.values lays every row out in one dtype common to all columns: a
//     frame of int and float columns gives float64 cells (numpy scalars), a
//     frame mixing kinds gives object cells (Python ints, floats, Timestamps);
//   - an object row then goes through the Series constructor, which infers a
//     dtype from the row's own cells: a row of strings and missing values
//     becomes a str row, where None and pd.NA read back as NaN; a row of
//     timestamps and missing values becomes a datetime row.
// Rows whose reading is settled by a plain number, bool or string in them are
// compared column-wise; the few others are built as Series, as iterrows
// builds them.
#pragma once

#include "frame/toolkit.h"

#include <optional>
#include <vector>

namespace kf {

// The index label of the first row of `df` whose share of satisfied criteria
// reaches `threshold`, or -1, read column-wise.  `criteria` holds the
// normalised keys and `df` at least one row.  Nothing when the frame's layout
// is outside the rules above (a frame subclass, a frame of only datetimes, a
// single extension-typed column, a duplicated label among the criteria): the
// caller then walks the rows.
std::optional<py::object> column_wise_first_match(py::handle df, const py::dict& criteria,
                                                  py::handle threshold);

// row[key], as the subscription reads.
py::object item(py::handle container, py::handle key);

// A criterion whose column the frame has: the column's position, the key and
// the expected value.
struct CriterionColumn {
  Py_ssize_t position = 0;
  py::object key;
  py::object value;
};

// The criteria whose column the frame has, in the criteria's order; nothing
// when one of their labels names several columns.
std::optional<std::vector<CriterionColumn>> criterion_columns(py::handle df,
                                                              const py::dict& criteria);

// What a row of text gives back for a missing cell (NaN), or nothing when
// pandas does not infer text rows: asked of pandas once per frame.
py::object missing_in_text_row(py::handle pd);

}  // namespace kf
