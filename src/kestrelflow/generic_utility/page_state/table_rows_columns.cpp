// The column-wise reading behind find_matching_row, for the layouts the
// bounded scan does not read (the rules are in table_rows_columns.h).
#include "page_state/table_rows_columns.h"

#include "frame/routines.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace kf {
namespace {

// What a cell says about the dtype its row is read as.
enum CellClass : uint8_t {
  kString = 1,     // exactly str
  kMissing = 2,    // None, NaN, pd.NA
  kPlain = 4,      // exactly int, bool, or a float that is not NaN
  kTimeLike = 8,   // Timestamp, Timedelta, NaT
  kOther = 16,     // anything else
};

// How a row is read.
enum class RowKind : uint8_t {
  as_stored,  // an object row: its cells as df.values holds them
  as_text,    // a str row: missing cells read back as the str dtype's NaN
  built,      // anything else: build the row Series and ask it
};

RowKind row_kind(uint8_t classes) {
  if (classes & kPlain) return RowKind::as_stored;
  if (classes & kString) {
    if (classes & kOther) return RowKind::built;
    return (classes & kTimeLike) ? RowKind::as_stored : RowKind::as_text;
  }
  return (classes & (kTimeLike | kOther)) ? RowKind::built : RowKind::as_stored;
}

// The pandas values the cell classes are told by, looked up once per call.
struct PandasTypes {
  py::object na;         // pd.NA
  py::object nat_type;   // type(pd.NaT)
  py::object timestamp;  // pd.Timestamp
  py::object timedelta;  // pd.Timedelta

  explicit PandasTypes(py::handle pd)
      : na(pd.attr("NA")),
        nat_type(py::type::of(pd.attr("NaT"))),
        timestamp(pd.attr("Timestamp")),
        timedelta(pd.attr("Timedelta")) {}

  uint8_t classify(PyObject* cell) const {
    PyTypeObject* type = Py_TYPE(cell);
    if (type == &PyUnicode_Type) return kString;
    if (cell == Py_None || cell == na.ptr()) return kMissing;
    if (type == &PyLong_Type || type == &PyBool_Type) return kPlain;
    if (PyFloat_Check(cell)) {
      if (std::isnan(PyFloat_AS_DOUBLE(cell))) return kMissing;
      return type == &PyFloat_Type ? kPlain : kOther;
    }
    PyObject* t = reinterpret_cast<PyObject*>(type);
    if (t == nat_type.ptr() || t == timestamp.ptr() || t == timedelta.ptr()) return kTimeLike;
    return kOther;
  }
};

// One criterion whose column exists, with what its comparisons met.
struct Column : CriterionColumn {
  // The first row whose comparison raised, and its error.
  Py_ssize_t failed_at = -1;
  std::optional<py::error_already_set> error;
};

class ColumnScan {
 public:
  // The scan of df for the criteria, or nothing when the frame's layout is
  // one the scan does not read (the rows are then walked one by one).
  static std::optional<ColumnScan> plan(py::handle df, const py::dict& criteria) {
    py::object pd = g("pd");
    if (!py::type::of(df).is(pd.attr("DataFrame"))) return std::nullopt;

    ColumnScan scan(df, pd);
    py::object columns = df.attr("columns");
    py::object dtypes = py::list(df.attr("dtypes"));
    Py_ssize_t column_count = py::len(columns);
    py::object np_dtype = g("np").attr("dtype");

    // The dtype df.values lays the rows out in.
    py::object common = df.attr("iloc")[py::slice(0, 0, 1)].attr("values").attr("dtype");
    std::string kind = py::str(common.attr("kind"));
    int itemsize = common.attr("itemsize").cast<int>();
    scan.as_objects_ = kind == "O";
    bool numeric = (kind == "b" || kind == "i" || kind == "u" || kind == "f") && itemsize <= 8;
    if (!scan.as_objects_ && !numeric) return std::nullopt;

    bool every_numpy = true;
    for (py::handle dtype : dtypes) every_numpy = every_numpy && py::isinstance(dtype, np_dtype);
    // A lone extension column is laid out by its own to_numpy(), and a
    // numeric layout is only read here when every column is a numpy column.
    if (!every_numpy && (column_count == 1 || numeric)) return std::nullopt;

    std::optional<std::vector<CriterionColumn>> present = criterion_columns(df, criteria);
    if (!present) return std::nullopt;
    for (const CriterionColumn& found : *present) {
      Column column;
      static_cast<CriterionColumn&>(column) = found;
      scan.columns_.push_back(std::move(column));
    }
    scan.total_ = static_cast<long long>(criteria.size());
    scan.common_ = common;
    if (scan.as_objects_ && !scan.columns_.empty()) scan.read_row_kinds(dtypes);
    return scan;
  }

  // The index label of the first row whose share of satisfied criteria
  // reaches the threshold, or -1.
  py::object first_match(py::handle threshold) {
    count_column_wise();
    Py_ssize_t first_error = rows_;
    for (const Column& column : columns_)
      if (column.failed_at >= 0 && column.failed_at < first_error) first_error = column.failed_at;

    std::vector<int8_t> qualifies(static_cast<size_t>(total_ + 1), -1);
    for (Py_ssize_t row = 0; row < rows_; ++row) {
      if ((row & 0xfff) == 0) check_signals();
      long long matches;
      if (!kinds_.empty() && kinds_[row] == RowKind::built) {
        matches = count_in_built_row(row);
      } else {
        if (row == first_error) raise_first_error(row);
        matches = counts_[row];
      }
      int8_t& verdict = qualifies[static_cast<size_t>(matches)];
      if (verdict < 0)
        verdict = ge(truediv(int_of(matches), int_of(total_)), threshold) ? 1 : 0;
      if (verdict) return label(row);
    }
    return int_of(-1);
  }

 private:
  ColumnScan(py::handle df, py::handle pd)
      : df_(py::reinterpret_borrow<py::object>(df)),
        pd_(py::reinterpret_borrow<py::object>(pd)),
        rows_(py::len(df.attr("index"))) {}

  py::object column_values(Py_ssize_t position) {
    return df_.attr("iloc")[py::make_tuple(py::slice(py::none(), py::none(), py::none()),
                                           int_of(position))]
        .attr("_values");
  }

  // The cells of a column as an object row holds them: what the block gives
  // when df.values interleaves the frame into objects.
  py::list object_cells(Py_ssize_t position) {
    py::object values = column_values(position).attr("astype")(g("np").attr("object_"));
    return as_list(g("np").attr("asarray")(values));
  }

  // The cells of a column in the frame's numeric layout: numpy scalars, or
  // Python numbers when pandas is set to hand those out.
  py::list numeric_cells(Py_ssize_t position, py::handle common) {
    py::object values = column_values(position).attr("astype")(common);
    if (hands_out_python_numbers(common)) return values.attr("tolist")();
    return as_list(values);
  }

  bool hands_out_python_numbers(py::handle common) {
    py::list label;
    label.append(str_of("k"));
    py::object sample = pd_.attr("Series")(g("np").attr("zeros")(1, common), py::arg("index") = label);
    return !py::isinstance(item(sample, label[0]), g("np").attr("generic"));
  }

  static py::list as_list(py::handle sequence) {
    PyObject* list = PySequence_List(sequence.ptr());
    if (list == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::list>(list);
  }

  // Tells, for each row, how the Series constructor reads it.
  void read_row_kinds(py::handle dtypes) {
    std::vector<uint8_t> classes(static_cast<size_t>(rows_), 0);
    PandasTypes types(pd_);
    Py_ssize_t position = 0;
    for (py::handle dtype : dtypes) {
      Py_ssize_t here = position++;
      if (py::isinstance(dtype, g("np").attr("dtype"))) {
        std::string kind = py::str(dtype.attr("kind"));
        // ints and bools settle every row; dates and durations are time-like
        // in every row, NaT included.
        if (kind == "b" || kind == "i" || kind == "u") return;
        if (kind == "M" || kind == "m") {
          for (uint8_t& c : classes) c |= kTimeLike;
          continue;
        }
      }
      py::list cells = object_cells(here);
      for (Py_ssize_t row = 0; row < rows_; ++row)
        classes[row] |= types.classify(PyList_GET_ITEM(cells.ptr(), row));
      check_signals();
    }
    kinds_.resize(static_cast<size_t>(rows_));
    bool any_text = false;
    for (Py_ssize_t row = 0; row < rows_; ++row) {
      kinds_[row] = row_kind(classes[row]);
      any_text = any_text || kinds_[row] == RowKind::as_text;
    }
    if (any_text) missing_as_text_ = missing_in_text_row(pd_);
  }

  // Compares every column's cells with its expected value, row kinds taken
  // into account; a column stops at its first failed comparison.
  void count_column_wise() {
    counts_.assign(static_cast<size_t>(rows_), 0);
    PandasTypes types(pd_);
    for (Column& column : columns_) {
      // One column's cells at a time, dropped once counted.
      py::list cells = as_objects_ ? object_cells(column.position)
                                   : numeric_cells(column.position, common_);
      PyObject* value = column.value.ptr();
      for (Py_ssize_t row = 0; row < rows_; ++row) {
        if ((row & 0xfff) == 0) check_signals();
        PyObject* cell = PyList_GET_ITEM(cells.ptr(), row);
        if (!kinds_.empty()) {
          RowKind kind = kinds_[row];
          if (kind == RowKind::built) continue;
          if (kind == RowKind::as_text && missing_as_text_ && types.classify(cell) == kMissing)
            cell = missing_as_text_.ptr();
        }
        int truth = eq_status(cell, value);
        if (truth < 0) {
          py::error_already_set error;
          // Interrupts and exits are not the comparison's answer: they go on now.
          if (!error.matches(PyExc_Exception)) throw error;
          column.failed_at = row;
          column.error = std::move(error);
          break;
        }
        counts_[row] += truth;
      }
    }
  }

  // The first failed comparison of the row, criteria taken in order.
  [[noreturn]] void raise_first_error(Py_ssize_t row) {
    for (Column& column : columns_)
      if (column.failed_at == row) throw *column.error;
    raise_error(PyExc_RuntimeError, "no comparison failed at this row");
  }

  // Builds the row Series as iterrows does and counts on it.
  long long count_in_built_row(Py_ssize_t row) {
    if (all_cells_.empty()) {
      Py_ssize_t column_count = py::len(df_.attr("columns"));
      for (Py_ssize_t position = 0; position < column_count; ++position)
        all_cells_.push_back(object_cells(position));
    }
    py::object values =
        g("np").attr("empty")(static_cast<Py_ssize_t>(all_cells_.size()),
                              py::arg("dtype") = g("np").attr("object_"));
    for (size_t position = 0; position < all_cells_.size(); ++position) {
      PyObject* cell = PyList_GET_ITEM(all_cells_[position].ptr(), row);
      if (PySequence_SetItem(values.ptr(), static_cast<Py_ssize_t>(position), cell) < 0)
        throw py::error_already_set();
    }
    py::object series =
        pd_.attr("Series")(values, py::arg("index") = df_.attr("columns"));
    long long matches = 0;
    for (const Column& column : columns_)
      if (eq(item(series, column.key), column.value)) ++matches;
    return matches;
  }

  // The index label of a row, as iterating the index gives it.
  py::object label(Py_ssize_t row) {
    py::object one = item(df_.attr("index"), py::slice(row, row + 1, 1));
    return py::iter(one).attr("__next__")();
  }

  py::object df_;
  py::object pd_;
  Py_ssize_t rows_;
  bool as_objects_ = false;
  py::object common_;                 // the dtype df.values lays rows out in
  long long total_ = 0;
  std::vector<Column> columns_;
  std::vector<RowKind> kinds_;        // empty: every row read as stored
  py::object missing_as_text_;        // empty: missing cells stay as stored
  std::vector<int32_t> counts_;
  std::vector<py::list> all_cells_;   // every column, for the built rows
};

}  // namespace

py::object item(py::handle container, py::handle key) {
  PyObject* value = PyObject_GetItem(container.ptr(), key.ptr());
  if (value == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(value);
}

std::optional<std::vector<CriterionColumn>> criterion_columns(py::handle df,
                                                              const py::dict& criteria) {
  std::vector<CriterionColumn> present;
  py::object columns = df.attr("columns");
  for (auto entry : criteria) {
    if (!contains(columns, entry.first)) continue;
    py::object position = columns.attr("get_loc")(entry.first);
    if (!PyLong_CheckExact(position.ptr())) return std::nullopt;  // a duplicated label
    CriterionColumn column;
    column.position = position.cast<Py_ssize_t>();
    column.key = py::reinterpret_borrow<py::object>(entry.first);
    column.value = py::reinterpret_borrow<py::object>(entry.second);
    present.push_back(std::move(column));
  }
  return present;
}

std::optional<py::object> column_wise_first_match(py::handle df, const py::dict& criteria,
                                                  py::handle threshold) {
  std::optional<ColumnScan> scan = ColumnScan::plan(df, criteria);
  if (!scan) return std::nullopt;
  return scan->first_match(threshold);
}

py::object missing_in_text_row(py::handle pd) {
  py::list cells;
  cells.append(str_of("a"));
  cells.append(py::none());
  py::list labels;
  labels.append(str_of("x"));
  labels.append(str_of("y"));
  py::object sample = pd.attr("Series")(
      g("np").attr("array")(cells, py::arg("dtype") = g("np").attr("object_")),
      py::arg("index") = labels);
  py::object read_back = sample[labels[1]];
  return read_back.is_none() ? py::object() : read_back;
}
}  // namespace kf
