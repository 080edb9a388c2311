// Rows of tabular results: the first DataFrame row that satisfies a share of
// column criteria, and the selection checkbox of a row of the portal's list
// table.
//
// The row search answers exactly what walking df.iterrows() and comparing
// row[key] == value answers.  What row[key] holds depends on the frame:
// df.values lays every row out in one dtype (float64 when the frame holds only
// ints and floats, Timestamps when it holds only naive datetimes of one unit,
// objects when it mixes kinds), and an object row then goes through the
// Series constructor, which may turn its missing cells into NaN or NaT.  For
// the expected values handled here (text, numbers that float64 holds exactly,
// instants, NaT, None) a cell compares the same way in any of those readings,
// except for missing cells (pd.NA raises or not, None equals None or not) and
// objects of other types: the rows holding such a cell in a criterion column
// are read the plain way, one row at a time.  Frames or values outside these
// rules are walked the plain way.
//
// The columns are compared in blocks of growing size, through numpy and the
// arrays' public interface, and the work stops with the block that holds the
// first qualifying row.
#include "frame/browser.h"
#include "frame/routines.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace kf {
namespace {

constexpr Py_ssize_t kFirstBlock = 64;
constexpr Py_ssize_t kLargestBlock = Py_ssize_t{1} << 18;

// ---- the plain walk ----------------------------------------------------------------

py::object item(py::handle container, py::handle key) {
  PyObject* value = PyObject_GetItem(container.ptr(), key.ptr());
  if (value == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(value);
}

// The number of criteria that a row Series satisfies.
long long count_matches(py::handle row, const py::dict& criteria) {
  long long matches = 0;
  for (auto entry : criteria)
    if (contains(row, entry.first) && eq(item(row, entry.first), entry.second)) ++matches;
  return matches;
}

bool qualifies(long long matches, const py::dict& criteria, py::handle threshold) {
  return ge(truediv(int_of(matches), int_of(static_cast<long long>(criteria.size()))), threshold);
}

// for index, row in df.iterrows(): ... as the statement reads.
py::object walk_rows(py::handle df, const py::dict& criteria, py::handle threshold) {
  for (py::handle pair : call_method(df, "iterrows")) {
    check_signals();
    auto [index, row] = unpack<2>(pair);
    if (qualifies(count_matches(row, criteria), criteria, threshold)) return index;
  }
  return int_of(-1);
}

// ---- the block search ------------------------------------------------------------------

// How df.values lays a row out.
enum class Layout { numbers, flags, dates, objects, unknown };

// The expected values whose comparisons are known for every kind of cell.
enum class Want { text, number, instant, nat, none, other };

// How a criterion's column is read.
enum class Read { number, masked, date, text, category, objects };

struct Criterion {
  py::object key, value;
  Want want = Want::other;
  Read read = Read::objects;
  py::object values;     // what the blocks are cut from
  py::object target;     // the number or tick count the cells are compared with
  bool never = false;    // no cell that is read by blocks equals the value
  bool may_miss = false; // text: the column holds pd.NA for a missing cell
  py::object cast;       // number: the dtype a block is compared in, or none
  py::object table, slow_table;  // category: per code (-1 last), equal / read plainly
};

Want want_of(py::handle value, py::handle pd) {
  PyObject* v = value.ptr();
  if (v == nullptr) return Want::other;
  if (PyUnicode_CheckExact(v)) return Want::text;
  if (PyBool_Check(v)) return Want::number;
  if (v == Py_None) return Want::none;
  if (value.is(pd.attr("NaT"))) return Want::nat;
  // A number float64 holds exactly compares alike as a Python or a numpy
  // scalar, against ints, floats and bools of any width.
  if (PyLong_CheckExact(v)) {
    int overflow = 0;
    long long n = PyLong_AsLongLongAndOverflow(v, &overflow);
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    return overflow == 0 && std::llabs(n) < (1LL << 53) ? Want::number : Want::other;
  }
  if (PyFloat_CheckExact(v)) {
    double x = PyFloat_AS_DOUBLE(v);
    bool whole = std::isfinite(x) && x == std::trunc(x);
    return !whole || std::fabs(x) < 9007199254740992.0 ? Want::number : Want::other;
  }
  py::handle type = py::type::of(value);
  if (type.is(pd.attr("Timestamp")) || type.is(import_module("datetime").attr("datetime")))
    return Want::instant;
  return Want::other;
}

bool is_masked(py::handle dtype, py::handle pd) {
  for (const char* name : {"Int8Dtype", "Int16Dtype", "Int32Dtype", "Int64Dtype", "UInt8Dtype",
                           "UInt16Dtype", "UInt32Dtype", "UInt64Dtype", "Float32Dtype",
                           "Float64Dtype", "BooleanDtype"})
    if (py::isinstance(dtype, pd.attr(name))) return true;
  return false;
}

std::string kind_of(py::handle dtype) { return py::str(dtype.attr("kind")); }

Layout layout_of(const py::list& dtypes, py::handle np, py::handle pd) {
  std::string kinds;
  bool every_numpy = true, known = true;
  for (py::handle dtype : dtypes) {
    if (py::isinstance(dtype, np.attr("dtype"))) {
      kinds += kind_of(dtype);
      known = known && std::string("iufbMmO").find(kinds.back()) != std::string::npos;
    } else {
      every_numpy = false;
      known = known && (is_masked(dtype, pd) || py::isinstance(dtype, pd.attr("StringDtype")) ||
                        py::isinstance(dtype, pd.attr("CategoricalDtype")) ||
                        py::isinstance(dtype, pd.attr("DatetimeTZDtype")));
    }
  }
  if (dtypes.empty() || !known) return Layout::unknown;
  if (!every_numpy) return dtypes.size() == 1 ? Layout::unknown : Layout::objects;
  auto only = [&](const char* allowed) { return kinds.find_first_not_of(allowed) == std::string::npos; };
  if (only("iuf")) {
    py::object common = np.attr("result_type")(*dtypes);
    return eq(common, np.attr("dtype")("float64")) || eq(common, np.attr("dtype")("int64"))
               ? Layout::numbers : Layout::unknown;
  }
  if (only("b")) return Layout::flags;
  if (only("M")) {
    py::object first = dtypes[0];
    for (py::handle dtype : dtypes)
      if (!eq(dtype, first)) return Layout::unknown;
    return Layout::dates;
  }
  return only("m") ? Layout::unknown : Layout::objects;
}

// The tick count of a datetime64 unit: 10**-exponent seconds; -1 for others.
int unit_exponent(py::handle datetime64_dtype, py::handle np) {
  py::tuple data = np.attr("datetime_data")(datetime64_dtype);
  std::string unit = py::str(data[0]);
  if (data[1].cast<long long>() != 1) return -1;
  return unit == "s" ? 0 : unit == "ms" ? 3 : unit == "us" ? 6 : unit == "ns" ? 9 : -1;
}

class Search {
 public:
  Search(py::handle df, const py::dict& criteria)
      : df_(py::reinterpret_borrow<py::object>(df)), np_(g("np")), pd_(g("pd")),
        timestamp_(pd_.attr("Timestamp")), criteria_(criteria),
        rows_(py::len(df.attr("index"))) {}

  // false when some rule above does not hold: the rows are then walked.
  bool plan(py::handle threshold) {
    if (!py::type::of(df_).is(pd_.attr("DataFrame"))) return false;
    py::object columns = df_.attr("columns");
    if (!truthy(columns.attr("is_unique"))) return false;
    py::list dtypes = df_.attr("dtypes").attr("tolist")();
    layout_ = layout_of(dtypes, np_, pd_);
    if (layout_ == Layout::unknown) return false;
    for (size_t m = 0; m <= criteria_.size(); ++m) {
      try {
        verdicts_.push_back(qualifies(static_cast<long long>(m), criteria_, threshold));
      } catch (...) {
        caught();  // the walk raises it at the row where the statement does
        return false;
      }
    }
    for (auto entry : criteria_) {
      if (!contains(columns, entry.first)) continue;
      Criterion c;
      c.key = py::reinterpret_borrow<py::object>(entry.first);
      c.value = py::reinterpret_borrow<py::object>(entry.second);
      c.want = want_of(c.value, pd_);
      if (c.want == Want::other) return false;
      Py_ssize_t position = columns.attr("get_loc")(c.key).cast<Py_ssize_t>();
      if (!plan_column(c, dtypes[position], item(df_, c.key))) return false;
      criteria_read_.push_back(std::move(c));
    }
    return true;
  }

  py::object first_match() {
    std::vector<int32_t> counts;
    std::vector<uint8_t> slow;
    Py_ssize_t size = kFirstBlock;
    for (Py_ssize_t begin = 0; begin < rows_; begin += size, size = std::min(size * 16, kLargestBlock)) {
      check_signals();
      Py_ssize_t end = std::min(rows_, begin + size);
      counts.assign(static_cast<size_t>(end - begin), 0);
      slow.assign(static_cast<size_t>(end - begin), 0);
      for (const Criterion& c : criteria_read_) add_block(c, begin, end, counts.data(), slow.data());
      for (Py_ssize_t i = 0; i < end - begin; ++i) {
        if (slow[i]) {
          // The row as iterrows makes it, and the statement's comparisons on it.
          check_signals();
          py::object one = df_.attr("iloc")[py::slice(begin + i, begin + i + 1, 1)];
          auto [index, row] = unpack<2>(py::iter(call_method(one, "iterrows")).attr("__next__")());
          if (verdicts_[static_cast<size_t>(count_matches(row, criteria_))]) return index;
        } else if (verdicts_[static_cast<size_t>(counts[i])]) {
          return label(begin + i);
        }
      }
    }
    return int_of(-1);
  }

 private:
  bool plan_column(Criterion& c, py::handle dtype, py::handle series) {
    bool numpy_dtype = py::isinstance(dtype, np_.attr("dtype"));
    std::string kind = numpy_dtype ? kind_of(dtype) : "";
    if (layout_ != Layout::objects) {
      // numbers: ints and floats; flags: bools; dates: naive datetimes of one unit.
      bool fits = layout_ == Layout::numbers ? (kind == "i" || kind == "u" || kind == "f")
                  : layout_ == Layout::flags ? kind == "b" : kind == "M";
      if (!fits) return false;
    }
    bool zoned = py::isinstance(dtype, pd_.attr("DatetimeTZDtype"));
    if (kind == "i" || kind == "u" || kind == "f" || kind == "b" || (!numpy_dtype && is_masked(dtype, pd_))) {
      c.read = numpy_dtype ? Read::number : Read::masked;
      c.values = numpy_dtype ? series.attr("to_numpy")() : series.attr("array");
      // Floats compare as float64 (what a float32 cell becomes in a row); bools as 0 and 1.
      std::string k = numpy_dtype ? kind : kind_of(dtype.attr("numpy_dtype"));
      bool narrow = k == "f" && (numpy_dtype ? dtype : dtype.attr("numpy_dtype")).attr("itemsize").cast<int>() != 8;
      if (k == "f" && (narrow || !numpy_dtype)) c.cast = np_.attr("dtype")("float64");
      else if (k == "b") c.cast = np_.attr("dtype")("uint8");
      else if (!numpy_dtype) c.cast = dtype.attr("numpy_dtype");
      c.never = c.want != Want::number;
      if (!c.never) c.target = PyBool_Check(c.value.ptr()) ? int_of(c.value.ptr() == Py_True) : c.value;
    } else if (kind == "M" || zoned) {
      c.read = Read::date;
      // A zoned column's values are its instants in UTC; a Timestamp equals
      // an instant of its own kind (naive or zoned) when they are the same instant.
      py::object instants = zoned ? series.attr("values") : series.attr("to_numpy")();
      c.values = instants.attr("view")("i8");
      c.never = c.want != Want::instant;
      if (!c.never) {
        py::object stamp = pd_.attr("Timestamp")(c.value);
        if (stamp.attr("tz").is_none() == zoned) {
          c.never = true;
        } else {
          if (zoned) stamp = stamp.attr("tz_convert")("UTC").attr("tz_localize")(py::none());
          py::object moment = stamp.attr("to_datetime64")();
          int from = unit_exponent(moment.attr("dtype"), np_), to = unit_exponent(instants.attr("dtype"), np_);
          if (from < 0 || to < 0) return false;
          long long ticks = moment.attr("astype")("int64").cast<long long>(), scale = 1, scaled = 0;
          for (int i = 0; i < std::abs(to - from); ++i) scale *= 10;
          if (to >= from) {
            c.never = __builtin_mul_overflow(ticks, scale, &scaled);
          } else {
            c.never = ticks % scale != 0;
            scaled = ticks / scale;
          }
          c.target = int_of(scaled);
        }
      }
    } else if (py::isinstance(dtype, pd_.attr("StringDtype"))) {
      c.read = Read::text;
      c.values = series.attr("array");
      c.may_miss = dtype.attr("na_value").is(pd_.attr("NA"));
      c.never = c.want != Want::text;
    } else if (py::isinstance(dtype, pd_.attr("CategoricalDtype"))) {
      // A cell holds its category's value, NaN when missing: each category
      // is compared once; the code -1 takes the tables' last place.
      c.read = Read::category;
      c.values = series.attr("array").attr("codes");
      py::list categories = series.attr("cat").attr("categories").attr("to_numpy")(py::arg("dtype") = "object").attr("tolist")();
      py::list equal, plain;
      long long hits = 0, last_hit = -1, slow_ones = 0;
      for (py::handle category : categories) {
        int truth = plain_cell(category) ? eq_status(category, c.value) : -1;
        if (truth < 0 && PyErr_Occurred()) caught_comparison();
        if (truth > 0) {
          last_hit = static_cast<long long>(py::len(equal));
          ++hits;
        }
        slow_ones += truth < 0;
        equal.append(py::bool_(truth > 0));
        plain.append(py::bool_(truth < 0));
      }
      equal.append(py::bool_(false));
      plain.append(py::bool_(false));
      // One equal category is compared by its code; no table when none is.
      c.never = hits == 0;
      if (hits == 1) c.target = int_of(last_hit);
      else if (hits > 1) c.table = np_.attr("array")(equal, "bool");
      if (slow_ones > 0) c.slow_table = np_.attr("array")(plain, "bool");
    } else if (kind == "O") {
      c.read = Read::objects;
      c.values = series.attr("to_numpy")();
    } else {
      return false;
    }
    return true;
  }

  // str, int, float, bool and Timestamp cells compare alike in any reading
  // of their row (a Timestamp may change its unit, not its instant).
  bool plain_cell(py::handle cell) const {
    PyObject* o = cell.ptr();
    return PyUnicode_CheckExact(o) || PyLong_CheckExact(o) || PyFloat_CheckExact(o) || PyBool_Check(o) ||
           py::type::of(cell).is(timestamp_);
  }

  // A comparison that raised: the row is read plainly, where it raises again
  // in its place.  Interrupts and exits go on now.
  static void caught_comparison() {
    if (!PyErr_ExceptionMatches(PyExc_Exception)) throw py::error_already_set();
    PyErr_Clear();
  }

  template <class T>
  static void each_flag(py::handle array, T&& use) {
    py::buffer_info info = py::buffer(py::reinterpret_borrow<py::object>(array)).request();
    const char* p = static_cast<const char*>(info.ptr);
    for (Py_ssize_t i = 0; i < info.shape[0]; ++i) use(i, p[i * info.strides[0]] != 0);
  }

  void add_block(const Criterion& c, Py_ssize_t begin, Py_ssize_t end, int32_t* counts, uint8_t* slow) {
    py::object block = c.values[py::slice(begin, end, 1)];
    auto count = [&](py::handle flags) { each_flag(flags, [&](Py_ssize_t i, bool f) { counts[i] += f; }); };
    auto mark = [&](py::handle flags) { each_flag(flags, [&](Py_ssize_t i, bool f) { slow[i] |= f; }); };
    switch (c.read) {
      case Read::masked:
        mark(np_.attr("asarray")(block.attr("isna")()));
        if (c.never) return;
        block = block.attr("to_numpy")(py::arg("dtype") = c.cast, py::arg("na_value") = 0);
        count(rich_eq(block, c.target));
        return;
      case Read::number:
        if (c.never) return;
        if (c.cast) block = block.attr("astype")(c.cast);
        count(rich_eq(block, c.target));
        return;
      case Read::date:
        if (!c.never) count(rich_eq(block, c.target));
        return;
      case Read::text:
        if (c.may_miss) mark(np_.attr("asarray")(block.attr("isna")()));
        if (c.never) return;
        {
          py::object equal = rich_eq(block, c.value);
          if (!py::isinstance(equal, np_.attr("ndarray")))
            equal = equal.attr("to_numpy")(py::arg("dtype") = "bool", py::arg("na_value") = false);
          count(equal);
        }
        return;
      case Read::category:
        if (c.slow_table) mark(item(c.slow_table, block));
        if (c.never) return;
        count(c.target ? rich_eq(block, c.target) : item(c.table, block));
        return;
      case Read::objects: {
        py::list cells = block.attr("tolist")();
        for (Py_ssize_t i = 0; i < end - begin; ++i) {
          py::handle cell = PyList_GET_ITEM(cells.ptr(), i);
          if (cell.is_none() && c.want != Want::none) continue;
          int truth = plain_cell(cell) ? eq_status(cell, c.value) : -1;
          if (truth < 0 && PyErr_Occurred()) caught_comparison();
          if (truth < 0) slow[i] = 1;
          else counts[i] += truth;
        }
        return;
      }
    }
  }

  static py::object rich_eq(py::handle a, py::handle b) {
    PyObject* result = PyObject_RichCompare(a.ptr(), b.ptr(), Py_EQ);
    if (result == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
  }

  // The index label of a row, as iterating the index gives it.
  py::object label(Py_ssize_t row) {
    py::object one = item(df_.attr("index"), py::slice(row, row + 1, 1));
    return py::iter(one).attr("__next__")();
  }

  py::object df_, np_, pd_, timestamp_;
  const py::dict& criteria_;
  Py_ssize_t rows_;
  Layout layout_ = Layout::unknown;
  std::vector<bool> verdicts_;
  std::vector<Criterion> criteria_read_;
};

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

  Py_ssize_t rows = py::len(df.attr("index"));
  if (rows == 0) return int_of(-1);
  if (normalised.empty()) truediv(int_of(0), int_of(0));  // the first row's ratio: ZeroDivisionError
  Search search(df, normalised);
  if (!search.plan(match_threshold)) return walk_rows(df, normalised, match_threshold);
  return search.first_match();
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
