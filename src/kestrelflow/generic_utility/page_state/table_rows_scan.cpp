// The bounded scan behind find_matching_row.
//
// What row[key] holds in a row of df.iterrows() depends on the whole frame:
//   - df.values lays every row out in one dtype common to all columns.  A
//     frame of only floats and ints gives float64 rows, of only ints int64
//     rows, of only bools bool rows, of only naive datetimes datetime rows
//     (Timestamp cells); anything mixed gives object rows, whose cells are
//     Python ints, floats and bools, Timestamps and NaT, and the stored
//     objects of object and text columns (pd.NA for a masked cell).
//   - an object row then goes through the Series constructor, which infers a
//     dtype from the row's own cells: a row of strings and missing values
//     becomes a str row (None and pd.NA read back as NaN), a row of
//     datetimes and missing values a datetime row (missing cells read NaT).
//     Rows holding other time-like or unknown objects are built as Series,
//     the way iterrows builds them, and asked.
//
// The scan reads the columns' buffers in blocks of rows: per criterion a
// tight loop adds the block's matches where the comparison's answer is known
// from the bytes (numbers against numbers, text against text, instants
// against instants, any cell against a value of another family); a cell it
// cannot answer marks its row, and the marked rows are then read one by one
// with Python's own comparison, in row order and criteria order, so that a
// comparison that raises raises where the plain walk raises.  The work stops
// with the block holding the first qualifying row.
#include "page_state/table_rows_scan.h"

#include "page_state/table_rows_columns.h"

#include <datetime.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace kf {
namespace {

constexpr Py_ssize_t kBlock = 4096;
constexpr Py_ssize_t kFirstBlock = 16;
constexpr int64_t kNaT = INT64_MIN;

// ---- the expected values ---------------------------------------------------------------

enum class Want : uint8_t { text, integer, real, boolean, none, instant, other };

struct Expected {
  Want want = Want::other;
  int64_t integer = 0;         // integer, boolean
  bool exact_double = false;   // integer: a double holds it exactly (|v| < 2**53)
  double real = 0;             // real
  int64_t ticks = 0;           // instant: in units of 10**-unit seconds
  int unit = 0;
};

// 0, 3, 6, 9 for "s", "ms", "us", "ns"; -1 for any other unit.
int unit_exponent(const std::string& unit) {
  if (unit == "s") return 0;
  if (unit == "ms") return 3;
  if (unit == "us") return 6;
  if (unit == "ns") return 9;
  return -1;
}

Expected expect(py::handle value, py::handle pd) {
  if (PyDateTimeAPI == nullptr) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
  }
  Expected e;
  PyObject* v = value.ptr();
  PyTypeObject* type = Py_TYPE(v);
  if (type == &PyUnicode_Type) {
    e.want = Want::text;
  } else if (type == &PyBool_Type) {
    e.want = Want::boolean;
    e.integer = v == Py_True ? 1 : 0;
  } else if (type == &PyLong_Type) {
    int overflow = 0;
    long long n = PyLong_AsLongLongAndOverflow(v, &overflow);
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow == 0) {
      e.want = Want::integer;
      e.integer = n;
      e.exact_double = n > -(1LL << 53) && n < (1LL << 53);
    }
  } else if (type == &PyFloat_Type) {
    e.want = Want::real;
    e.real = PyFloat_AS_DOUBLE(v);
  } else if (v == Py_None) {
    e.want = Want::none;
  } else if (PyDateTime_CheckExact(v) || py::type::of(value).is(pd.attr("Timestamp"))) {
    // A naive instant: a Timestamp equals it when they are the same instant.
    if (value.attr("tzinfo").is_none()) {
      py::object instant = PyDateTime_CheckExact(v) ? pd.attr("Timestamp")(value) : py::reinterpret_borrow<py::object>(value);
      int unit = unit_exponent(py::str(instant.attr("unit")));
      if (unit >= 0) {
        e.want = Want::instant;
        e.unit = unit;
        e.ticks = instant.attr("_value").cast<int64_t>();
      }
    }
  }
  return e;
}

// The instant `ticks` (in 10**-from seconds) in units of 10**-to seconds, or
// kNaT when no int64 count of that unit is exactly that instant.
int64_t in_unit(int64_t ticks, int from, int to) {
  int64_t scale = 1;
  for (int i = 0; i < (to > from ? to - from : from - to); ++i) scale *= 10;
  if (to >= from) {
    int64_t scaled = 0;
    if (__builtin_mul_overflow(ticks, scale, &scaled)) return kNaT;
    return scaled;
  }
  if (ticks % scale != 0) return kNaT;
  return ticks / scale;
}

// The float v as an int64, when it is a whole number in the int64 range.
bool real_as_integer(double v, int64_t& out) {
  if (!std::isfinite(v) || v != std::trunc(v)) return false;
  if (v >= 9223372036854775808.0 || v < -9223372036854775808.0) return false;
  out = static_cast<int64_t>(v);
  return true;
}

// A Python int x == the float v, exactly as int.__eq__ decides it.
bool integer_equals_real(int64_t x, double v) {
  int64_t whole = 0;
  return real_as_integer(v, whole) && x == whole;
}

// ---- the columns' storage -----------------------------------------------------------------

enum class Store : uint8_t { f64, f32, i8, i16, i32, i64, u8, u16, u32, u64, b1, date, object };

bool is_integer_store(Store s) {
  return s == Store::i8 || s == Store::i16 || s == Store::i32 || s == Store::i64 ||
         s == Store::u8 || s == Store::u16 || s == Store::u32 || s == Store::u64;
}
bool is_real_store(Store s) { return s == Store::f64 || s == Store::f32; }

struct Source {
  Store store = Store::object;
  bool numpy = false;               // the column is a plain numpy array
  const char* data = nullptr;
  Py_ssize_t stride = 0;
  const char* mask = nullptr;       // masked arrays: nonzero where the cell is pd.NA
  Py_ssize_t mask_stride = 0;
  int unit = 0;                     // date
  py::object values;                // the arrays read, held for the call
  py::object mask_values;
  py::object array;                 // dates: the DatetimeArray that makes the Timestamps

  template <class T>
  T at(Py_ssize_t row) const {
    T x;
    std::memcpy(&x, data + row * stride, sizeof x);
    return x;
  }
  PyObject* object_at(Py_ssize_t row) const { return at<PyObject*>(row); }
  bool masked(Py_ssize_t row) const { return mask != nullptr && mask[row * mask_stride] != 0; }
};

// Reads a one-dimensional numpy array of `rows` cells through its array
// interface; false for a layout the scan does not read.
bool read_ndarray(py::handle array, Py_ssize_t rows, Source& source) {
  py::dict face = array.attr("__array_interface__");
  py::tuple shape = face["shape"];
  if (shape.size() != 1 || shape[0].cast<Py_ssize_t>() != rows) return false;
  std::string type = py::str(face["typestr"]);
  if (type.size() < 2 || (type[0] != '<' && type[0] != '|' && type[0] != '=')) return false;
  std::string code = type.substr(1);
  struct Code { const char* code; Store store; Py_ssize_t size; };
  static const Code codes[] = {
      {"f8", Store::f64, 8}, {"f4", Store::f32, 4}, {"i1", Store::i8, 1},  {"i2", Store::i16, 2},
      {"i4", Store::i32, 4}, {"i8", Store::i64, 8}, {"u1", Store::u8, 1},  {"u2", Store::u16, 2},
      {"u4", Store::u32, 4}, {"u8", Store::u64, 8}, {"b1", Store::b1, 1},  {"O", Store::object, 8},
  };
  Py_ssize_t size = 0;
  bool known = false;
  for (const Code& c : codes)
    if (code == c.code) {
      source.store = c.store;
      size = c.size;
      known = true;
    }
  if (!known && code.rfind("M8[", 0) == 0 && code.back() == ']') {
    int unit = unit_exponent(code.substr(3, code.size() - 4));
    if (unit < 0) return false;
    source.store = Store::date;
    source.unit = unit;
    size = 8;
    known = true;
  }
  if (!known || (source.store == Store::object && sizeof(PyObject*) != 8)) return false;
  py::tuple data = face["data"];
  source.data = reinterpret_cast<const char*>(data[0].cast<uintptr_t>());
  py::object strides = face["strides"];
  source.stride = strides.is_none() ? size : py::tuple(strides)[0].cast<Py_ssize_t>();
  source.values = py::reinterpret_borrow<py::object>(array);
  return true;
}

// The pandas array types the scan reads, looked up once per call.
struct PandasKinds {
  py::object ndarray, datetime_array, string_array, integer_array, floating_array, boolean_array;
  py::object na, nat, nat_type, timestamp, timedelta;

  explicit PandasKinds(py::handle pd, py::handle np)
      : ndarray(np.attr("ndarray")),
        datetime_array(pd.attr("arrays").attr("DatetimeArray")),
        string_array(pd.attr("arrays").attr("StringArray")),
        integer_array(pd.attr("arrays").attr("IntegerArray")),
        floating_array(pd.attr("arrays").attr("FloatingArray")),
        boolean_array(pd.attr("arrays").attr("BooleanArray")),
        na(pd.attr("NA")),
        nat(pd.attr("NaT")),
        nat_type(py::type::of(pd.attr("NaT"))),
        timestamp(pd.attr("Timestamp")),
        timedelta(pd.attr("Timedelta")) {}
};

bool read_column(py::handle array, Py_ssize_t rows, const PandasKinds& kinds, Source& source) {
  py::handle type = py::type::of(array);
  if (type.is(kinds.ndarray)) {
    source.numpy = true;
    // Dates are read through their DatetimeArray, which makes their Timestamps.
    return read_ndarray(array, rows, source) && source.store != Store::date;
  }
  if (type.is(kinds.datetime_array)) {
    if (!array.attr("tz").is_none()) return false;
    if (!read_ndarray(array.attr("_ndarray"), rows, source) || source.store != Store::date) return false;
    source.array = py::reinterpret_borrow<py::object>(array);
    return true;
  }
  if (type.is(kinds.string_array)) {
    if (!eq(array.attr("dtype").attr("storage"), "python")) return false;
    return read_ndarray(array.attr("_ndarray"), rows, source) && source.store == Store::object;
  }
  if (type.is(kinds.integer_array) || type.is(kinds.floating_array) || type.is(kinds.boolean_array)) {
    Source mask;
    if (!read_ndarray(array.attr("_mask"), rows, mask) || mask.store != Store::b1) return false;
    if (!read_ndarray(array.attr("_data"), rows, source)) return false;
    if (source.store == Store::object || source.store == Store::date) return false;
    source.mask = mask.data;
    source.mask_stride = mask.stride;
    source.mask_values = mask.values;
    return true;
  }
  return false;
}

// ---- how a row is read -------------------------------------------------------------------

// What a cell says about the dtype its object row is read as.
enum CellClass : uint8_t {
  kString = 1,     // exactly str
  kMissing = 2,    // None, NaN, pd.NA
  kPlain = 4,      // exactly int, bool, or a float that is not NaN
  kTimeLike = 8,   // a Timestamp, Timedelta or NaT held as an object
  kOther = 16,     // anything else
  kDate = 32,      // a cell of a naive datetime column (Timestamp or NaT)
  kInstant = 64,   // with kDate: a Timestamp, not NaT
  kNA = 128,       // with kMissing: pd.NA
};

enum RowKind : uint8_t {
  as_stored,  // cells as df.values holds them
  as_text,    // a str row: missing cells read back as the str dtype's NaN
  as_dates,   // a datetime row: missing cells read back as NaT
  built,      // built as a Series and asked
};

// The layout df.values gives the rows.
enum class Layout : uint8_t { real, integer, boolean, dates, objects };

// ---- the tests per criterion ---------------------------------------------------------------

enum class Test : uint8_t {
  never,          // no cell of the column equals the value
  real_equal,     // the cell, as a double, equals `real`
  integer_equal,  // the cell, as an int64 (dates: its ticks), equals `integer`
  text_equal,     // an object column against a str
  per_cell,       // each cell read and answered, or compared by Python
};

struct Criterion : CriterionColumn {
  Expected expected;
  Test test = Test::per_cell;
  double real = 0;
  int64_t integer = 0;
};

// The test of a numeric or date column, as a Python number or a Timestamp
// answers ==; the numeric layouts choose the values it is used for.
void numeric_test(Criterion& c, Store store, int unit) {
  const Expected& e = c.expected;
  c.test = Test::never;
  if (e.want == Want::other) {
    c.test = Test::per_cell;
  } else if (store == Store::date) {
    if (e.want == Want::instant) {
      c.integer = in_unit(e.ticks, e.unit, unit);
      c.test = c.integer == kNaT ? Test::never : Test::integer_equal;
    }
  } else if (store == Store::u64) {
    c.test = Test::per_cell;
  } else if (is_integer_store(store) || store == Store::b1) {
    bool flag = store == Store::b1;
    if (e.want == Want::integer || e.want == Want::boolean) {
      c.integer = e.integer;
      c.test = (!flag || e.integer == 0 || e.integer == 1) ? Test::integer_equal : Test::never;
    } else if (e.want == Want::real && real_as_integer(e.real, c.integer)) {
      c.test = (!flag || c.integer == 0 || c.integer == 1) ? Test::integer_equal : Test::never;
    }
  } else if (is_real_store(store)) {
    if (e.want == Want::real) {
      c.real = e.real;
      c.test = Test::real_equal;
    } else if (e.want == Want::boolean) {
      c.real = static_cast<double>(e.integer);
      c.test = Test::real_equal;
    } else if (e.want == Want::integer) {
      c.real = static_cast<double>(e.integer);
      c.test = e.exact_double ? Test::real_equal : Test::per_cell;
    }
  }
}

// counts[i] += (cell i, converted to Target, == target), for the n cells from
// `begin`; a contiguous column gets the loop the compiler can vectorise.
template <class T, class Target>
void add_equal(const Source& s, Py_ssize_t begin, Py_ssize_t n, Target target, int32_t* counts) {
  const char* p = s.data + begin * s.stride;
  if (s.stride == static_cast<Py_ssize_t>(sizeof(T))) {
    for (Py_ssize_t i = 0; i < n; ++i) {
      T x;
      std::memcpy(&x, p + i * static_cast<Py_ssize_t>(sizeof(T)), sizeof x);
      counts[i] += static_cast<Target>(x) == target;
    }
    return;
  }
  for (Py_ssize_t i = 0; i < n; ++i, p += s.stride) {
    T x;
    std::memcpy(&x, p, sizeof x);
    counts[i] += static_cast<Target>(x) == target;
  }
}

template <class Add>
void by_store(Store store, Add&& add) {
  switch (store) {
    case Store::f64: add(static_cast<double*>(nullptr)); break;
    case Store::f32: add(static_cast<float*>(nullptr)); break;
    case Store::i8: add(static_cast<int8_t*>(nullptr)); break;
    case Store::i16: add(static_cast<int16_t*>(nullptr)); break;
    case Store::i32: add(static_cast<int32_t*>(nullptr)); break;
    case Store::i64: case Store::date: add(static_cast<int64_t*>(nullptr)); break;
    case Store::u8: case Store::b1: add(static_cast<uint8_t*>(nullptr)); break;
    case Store::u16: add(static_cast<uint16_t*>(nullptr)); break;
    case Store::u32: add(static_cast<uint32_t*>(nullptr)); break;
    case Store::u64: add(static_cast<uint64_t*>(nullptr)); break;
    case Store::object: break;
  }
}

// Two exact str objects hold the same text.
inline bool same_text(PyObject* a, PyObject* b) {
  if (a == b) return true;
  Py_ssize_t length = PyUnicode_GET_LENGTH(a);
  if (length != PyUnicode_GET_LENGTH(b)) return false;
  unsigned kind = PyUnicode_KIND(a);
  if (kind != static_cast<unsigned>(PyUnicode_KIND(b))) return false;
  return std::memcmp(PyUnicode_DATA(a), PyUnicode_DATA(b), static_cast<size_t>(length) * kind) == 0;
}

// ---- what a cell reads as ---------------------------------------------------------------

enum class Cell : uint8_t { integer, real, text, none, nat, instant, unknown };

struct Reading {
  Cell cell = Cell::unknown;
  int64_t integer = 0;  // integer (bools as 0 and 1); instant: ticks
  double real = 0;
  PyObject* text = nullptr;
};

// 1 or 0 when the reading settles `cell == value`, -1 when Python must decide.
int answer(const Reading& r, const Criterion& c, int unit) {
  const Expected& e = c.expected;
  if (e.want == Want::other || r.cell == Cell::unknown) return -1;
  switch (r.cell) {
    case Cell::integer:
      if (e.want == Want::integer || e.want == Want::boolean) return r.integer == e.integer;
      if (e.want == Want::real) return integer_equals_real(r.integer, e.real);
      return 0;
    case Cell::real:
      if (e.want == Want::real) return r.real == e.real;
      if (e.want == Want::boolean) return r.real == static_cast<double>(e.integer);
      if (e.want == Want::integer) return e.exact_double ? r.real == static_cast<double>(e.integer) : -1;
      return 0;
    case Cell::text:
      return e.want == Want::text && same_text(r.text, c.value.ptr());
    case Cell::none:
      return e.want == Want::none;
    case Cell::nat:
      return 0;
    case Cell::instant:
      return e.want == Want::instant && in_unit(e.ticks, e.unit, unit) == r.integer;
    case Cell::unknown:
      break;
  }
  return -1;
}

class Scan {
 public:
  static std::optional<Scan> plan(py::handle df, const py::dict& criteria) {
    py::object pd = g("pd");
    if (!py::type::of(df).is(pd.attr("DataFrame"))) return std::nullopt;
    if (!py::hasattr(df, "_iter_column_arrays")) return std::nullopt;
    py::object np = g("np");
    Scan scan(df, pd, np);

    for (py::handle array : df.attr("_iter_column_arrays")()) {
      Source source;
      if (!read_column(array, scan.rows_, scan.kinds_, source)) return std::nullopt;
      scan.sources_.push_back(std::move(source));
    }
    size_t column_count = scan.sources_.size();
    if (column_count != py::len(df.attr("columns"))) return std::nullopt;

    bool all_numpy = true, all_dates = true;
    for (const Source& s : scan.sources_) {
      all_numpy = all_numpy && s.numpy;
      all_dates = all_dates && s.store == Store::date;
    }
    // The dtype df.values lays the rows out in.  Beside any extension column
    // other than dates that is object (pandas interleaves extension dtypes
    // as objects), and naive dates alone give dates; plain numpy columns are
    // asked of pandas.
    std::string kind = all_dates ? "M" : "O";
    int itemsize = 8;
    if (all_numpy) {
      py::object common = df.attr("iloc")[py::slice(0, 0, 1)].attr("values").attr("dtype");
      kind = py::str(common.attr("kind"));
      itemsize = common.attr("itemsize").cast<int>();
    }
    if (kind == "f" && itemsize == 8 && all_numpy) {
      scan.layout_ = Layout::real;
    } else if (kind == "i" && itemsize == 8 && all_numpy) {
      scan.layout_ = Layout::integer;
    } else if (kind == "b" && all_numpy) {
      scan.layout_ = Layout::boolean;
    } else if (kind == "M" && all_dates) {
      scan.layout_ = Layout::dates;
    } else if (kind == "O" && (column_count > 1 || all_numpy)) {
      scan.layout_ = Layout::objects;
    } else {
      return std::nullopt;
    }

    std::optional<std::vector<CriterionColumn>> present = criterion_columns(df, criteria);
    if (!present) return std::nullopt;
    for (const CriterionColumn& found : *present) {
      Criterion c;
      static_cast<CriterionColumn&>(c) = found;
      c.expected = expect(c.value, pd);
      if (!scan.choose_test(c)) return std::nullopt;
      scan.criteria_.push_back(std::move(c));
    }
    scan.total_ = static_cast<long long>(criteria.size());
    if (scan.layout_ == Layout::objects) scan.plan_row_kinds();
    return scan;
  }

  py::object first_match(py::handle threshold) {
    verdicts_.assign(static_cast<size_t>(total_ + 1), -1);
    if (criteria_.empty()) return qualifies(0, threshold) ? label(0) : int_of(-1);
    // A threshold that is a plain number is compared without side effects
    // and rises with the count: the verdicts are known up front, and a row
    // qualifies when its count reaches the least qualifying one.
    PyObject* t = threshold.ptr();
    long long need = -1;
    if (PyFloat_CheckExact(t) || PyLong_CheckExact(t) || PyBool_Check(t)) {
      need = static_cast<long long>(criteria_.size()) + 1;
      for (long long m = static_cast<long long>(criteria_.size()); m >= 0; --m)
        if (qualifies(m, threshold)) need = m;
    }
    std::vector<int32_t> counts(kBlock);
    std::vector<uint8_t> slow(kBlock), kinds(kBlock);
    // The first blocks are short: a match near the top is found after
    // reading little more than its own rows.
    Py_ssize_t block = kFirstBlock;
    for (Py_ssize_t begin = 0; begin < rows_; begin += block, block = std::min(block * 4, kBlock)) {
      check_signals();
      Py_ssize_t n = std::min(rows_ - begin, block);
      std::fill(counts.begin(), counts.begin() + n, 0);
      std::fill(slow.begin(), slow.begin() + n, 0);
      const uint8_t* row_kinds = nullptr;
      if (classify_rows_) {
        read_row_kinds(begin, n, kinds.data());
        for (Py_ssize_t i = 0; i < n; ++i) slow[i] = kinds[i] == built;
        row_kinds = kinds.data();
      }
      for (const Criterion& c : criteria_) add_block(c, begin, n, row_kinds, counts.data(), slow.data());
      if (need >= 0 && std::find(slow.begin(), slow.begin() + n, uint8_t(1)) == slow.begin() + n) {
        for (Py_ssize_t i = 0; i < n; ++i)
          if (counts[i] >= need) return label(begin + i);
        continue;
      }
      for (Py_ssize_t i = 0; i < n; ++i) {
        // A row read by Python may take long (a built row): signals are
        // looked at every 256 rows of the block.
        if ((i & 0xff) == 0xff) check_signals();
        long long matches = slow[i] ? count_slowly(begin + i, row_kinds ? row_kinds[i] : uint8_t(as_stored))
                                    : counts[i];
        if (qualifies(matches, threshold)) return label(begin + i);
      }
    }
    return int_of(-1);
  }

 private:
  Scan(py::handle df, py::handle pd, py::handle np)
      : df_(py::reinterpret_borrow<py::object>(df)),
        pd_(py::reinterpret_borrow<py::object>(pd)),
        kinds_(pd, np),
        rows_(py::len(df.attr("index"))) {}

  // false when the layout cannot answer the criterion without Python
  // objects the scan does not make (numpy scalars).
  bool choose_test(Criterion& c) {
    const Source& s = sources_[static_cast<size_t>(c.position)];
    const Expected& e = c.expected;
    switch (layout_) {
      case Layout::real:
        // Each cell as a float64, compared as numpy compares it.
        if (e.want == Want::instant || e.want == Want::other ||
            (e.want == Want::integer && !e.exact_double))
          return false;
        c.test = Test::never;
        if (e.want == Want::real || e.want == Want::boolean || e.want == Want::integer) {
          c.real = e.want == Want::real ? e.real : static_cast<double>(e.integer);
          c.test = Test::real_equal;
        }
        return true;
      case Layout::integer:
      case Layout::boolean:
        if (e.want == Want::instant || e.want == Want::other) return false;
        // A float compared with an int64 is compared as float64 by numpy and
        // exactly by Python: alike below 2**53 only.
        if (e.want == Want::real && std::isfinite(e.real) && e.real == std::trunc(e.real) &&
            std::fabs(e.real) >= 9007199254740992.0)
          return false;
        numeric_test(c, layout_ == Layout::boolean ? Store::b1 : Store::i64, 0);
        return true;
      case Layout::dates:
        if (e.want == Want::other) return false;
        numeric_test(c, Store::date, s.unit);
        return true;
      case Layout::objects:
        if (s.mask != nullptr) {
          c.test = Test::per_cell;
        } else if (s.store == Store::object) {
          c.test = e.want == Want::text ? Test::text_equal : Test::per_cell;
        } else {
          numeric_test(c, s.store, s.unit);
        }
        return true;
    }
    return false;
  }

  // Object rows need their kinds unless a column makes every row plain.
  void plan_row_kinds() {
    classify_rows_ = true;
    int unit = -1;
    for (const Source& s : sources_) {
      if (s.numpy && (is_integer_store(s.store) || s.store == Store::b1)) {
        classify_rows_ = false;
        return;
      }
      if (s.store == Store::date) {
        if (unit >= 0 && unit != s.unit) one_date_unit_ = false;
        unit = s.unit;
      }
    }
  }

  uint8_t classify_object(PyObject* cell) const {
    PyTypeObject* type = Py_TYPE(cell);
    if (type == &PyUnicode_Type) return kString;
    if (cell == Py_None) return kMissing;
    if (cell == kinds_.na.ptr()) return kMissing | kNA;
    if (type == &PyLong_Type || type == &PyBool_Type) return kPlain;
    if (PyFloat_Check(cell)) {
      if (std::isnan(PyFloat_AS_DOUBLE(cell))) return kMissing;
      return type == &PyFloat_Type ? kPlain : kOther;
    }
    PyObject* t = reinterpret_cast<PyObject*>(type);
    if (t == kinds_.nat_type.ptr() || t == kinds_.timestamp.ptr() || t == kinds_.timedelta.ptr())
      return kTimeLike;
    return kOther;
  }

  uint8_t classify(const Source& s, Py_ssize_t row) const {
    if (s.masked(row)) return kMissing | kNA;
    switch (s.store) {
      case Store::f64: return std::isnan(s.at<double>(row)) ? kMissing : kPlain;
      case Store::f32: return std::isnan(s.at<float>(row)) ? kMissing : kPlain;
      case Store::date: return s.at<int64_t>(row) == kNaT ? uint8_t(kDate) : uint8_t(kDate | kInstant);
      case Store::object: return classify_object(s.object_at(row));
      default: return kPlain;
    }
  }

  RowKind kind_of(uint8_t classes) const {
    if (classes & kPlain) return as_stored;
    if (classes & kString) {
      if (classes & kOther) return built;
      return (classes & (kTimeLike | kDate)) ? as_stored : as_text;
    }
    // Dates and missing cells make a datetime row, except that pd.NA beside
    // nothing but NaT leaves the row of objects.
    if ((classes & kDate) && (classes & ~(kDate | kInstant | kMissing | kNA)) == 0)
      return one_date_unit_ && (!(classes & kNA) || (classes & kInstant)) ? as_dates : built;
    return (classes & (kTimeLike | kOther | kDate)) ? built : as_stored;
  }

  void read_row_kinds(Py_ssize_t begin, Py_ssize_t n, uint8_t* kinds) {
    std::fill(kinds, kinds + n, uint8_t(0));
    for (const Source& s : sources_)
      for (Py_ssize_t i = 0; i < n; ++i) kinds[i] = static_cast<uint8_t>(kinds[i] | classify(s, begin + i));
    bool text_rows = false;
    for (Py_ssize_t i = 0; i < n; ++i) {
      kinds[i] = kind_of(kinds[i]);
      text_rows = text_rows || kinds[i] == as_text;
    }
    if (text_rows && !text_missing_known_) {
      text_missing_known_ = true;
      text_missing_ = missing_in_text_row(pd_);
    }
  }

  // The cell's reading in a row of the given kind.
  Reading read(const Source& s, Py_ssize_t row, uint8_t kind) const {
    Reading r;
    if (s.masked(row)) return missing(nullptr, kind);
    switch (s.store) {
      case Store::f64: r.cell = Cell::real; r.real = s.at<double>(row); break;
      case Store::f32: r.cell = Cell::real; r.real = static_cast<double>(s.at<float>(row)); break;
      case Store::i8: r.cell = Cell::integer; r.integer = s.at<int8_t>(row); break;
      case Store::i16: r.cell = Cell::integer; r.integer = s.at<int16_t>(row); break;
      case Store::i32: r.cell = Cell::integer; r.integer = s.at<int32_t>(row); break;
      case Store::i64: r.cell = Cell::integer; r.integer = s.at<int64_t>(row); break;
      case Store::u8: case Store::b1: r.cell = Cell::integer; r.integer = s.at<uint8_t>(row); break;
      case Store::u16: r.cell = Cell::integer; r.integer = s.at<uint16_t>(row); break;
      case Store::u32: r.cell = Cell::integer; r.integer = s.at<uint32_t>(row); break;
      case Store::u64: {
        uint64_t x = s.at<uint64_t>(row);
        if (x <= static_cast<uint64_t>(INT64_MAX)) {
          r.cell = Cell::integer;
          r.integer = static_cast<int64_t>(x);
        }
        break;
      }
      case Store::date:
        r.integer = s.at<int64_t>(row);
        r.cell = r.integer == kNaT ? Cell::nat : Cell::instant;
        break;
      case Store::object: {
        PyObject* o = s.object_at(row);
        if ((classify_object(o) & kMissing) && kind != as_stored) return missing(o, kind);
        PyTypeObject* type = Py_TYPE(o);
        if (type == &PyUnicode_Type) {
          r.cell = Cell::text;
          r.text = o;
        } else if (o == Py_None) {
          r.cell = Cell::none;
        } else if (type == &PyFloat_Type) {
          r.cell = Cell::real;
          r.real = PyFloat_AS_DOUBLE(o);
        } else if (type == &PyBool_Type) {
          r.cell = Cell::integer;
          r.integer = o == Py_True;
        } else if (type == &PyLong_Type) {
          int overflow = 0;
          long long x = PyLong_AsLongLongAndOverflow(o, &overflow);
          if (x == -1 && PyErr_Occurred()) PyErr_Clear();
          else if (overflow == 0) {
            r.cell = Cell::integer;
            r.integer = x;
          }
        }
        break;
      }
    }
    return r;
  }

  // A missing cell (`o`, or a masked one when null) in a row of the given kind.
  Reading missing(PyObject* o, uint8_t kind) const {
    Reading r;
    if (kind == as_dates) {
      r.cell = Cell::nat;
    } else if (kind == as_text && text_missing_) {
      r.cell = Cell::real;
      r.real = std::nan("");
    } else if (o == Py_None) {
      r.cell = Cell::none;
    } else if (o != nullptr && Py_TYPE(o) == &PyFloat_Type) {
      r.cell = Cell::real;
      r.real = PyFloat_AS_DOUBLE(o);
    }
    return r;  // pd.NA and the like: unknown
  }

  // The cell as the row Series hands it out (object rows).
  py::object cell_object(const Source& s, Py_ssize_t row, uint8_t kind) const {
    bool is_missing = s.masked(row) ||
                      (s.store == Store::object && (classify_object(s.object_at(row)) & kMissing)) ||
                      (is_real_store(s.store) && (classify(s, row) & kMissing));
    if (is_missing && kind == as_dates) return kinds_.nat;
    if (is_missing && kind == as_text && text_missing_) return text_missing_;
    if (s.masked(row)) return kinds_.na;
    PyObject* made = nullptr;
    switch (s.store) {
      case Store::f64: made = PyFloat_FromDouble(s.at<double>(row)); break;
      case Store::f32: made = PyFloat_FromDouble(static_cast<double>(s.at<float>(row))); break;
      case Store::i8: made = PyLong_FromLong(s.at<int8_t>(row)); break;
      case Store::i16: made = PyLong_FromLong(s.at<int16_t>(row)); break;
      case Store::i32: made = PyLong_FromLong(s.at<int32_t>(row)); break;
      case Store::i64: made = PyLong_FromLongLong(s.at<int64_t>(row)); break;
      case Store::u8: made = PyLong_FromLong(s.at<uint8_t>(row)); break;
      case Store::u16: made = PyLong_FromLong(s.at<uint16_t>(row)); break;
      case Store::u32: made = PyLong_FromUnsignedLong(s.at<uint32_t>(row)); break;
      case Store::u64: made = PyLong_FromUnsignedLongLong(s.at<uint64_t>(row)); break;
      case Store::b1: made = Py_NewRef(s.at<uint8_t>(row) ? Py_True : Py_False); break;
      case Store::date: return s.array[int_of(row)];
      case Store::object: made = Py_NewRef(s.object_at(row)); break;
    }
    if (made == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(made);
  }

  void add_block(const Criterion& c, Py_ssize_t begin, Py_ssize_t n, const uint8_t* kinds,
                 int32_t* counts, uint8_t* slow) const {
    const Source& s = sources_[static_cast<size_t>(c.position)];
    switch (c.test) {
      case Test::never:
        return;
      case Test::integer_equal:
        by_store(s.store, [&]([[maybe_unused]] auto* tag) {
          add_equal<std::remove_pointer_t<decltype(tag)>, int64_t>(s, begin, n, c.integer, counts);
        });
        return;
      case Test::real_equal:
        by_store(s.store, [&]([[maybe_unused]] auto* tag) {
          add_equal<std::remove_pointer_t<decltype(tag)>, double>(s, begin, n, c.real, counts);
        });
        return;
      case Test::text_equal:
        for (Py_ssize_t i = 0; i < n; ++i) {
          if (slow[i]) continue;
          PyObject* o = s.object_at(begin + i);
          PyTypeObject* type = Py_TYPE(o);
          if (type == &PyUnicode_Type) {
            counts[i] += same_text(o, c.value.ptr());
          } else if (o == Py_None || type == &PyFloat_Type || type == &PyLong_Type || type == &PyBool_Type) {
            // not text, whatever the row's kind makes of it
          } else if (o == kinds_.na.ptr() && kinds != nullptr && kinds[i] != as_stored) {
            // read back as NaN or NaT
          } else {
            slow[i] = 1;
          }
        }
        return;
      case Test::per_cell:
        for (Py_ssize_t i = 0; i < n; ++i) {
          if (slow[i]) continue;
          int a = answer(read(s, begin + i, kinds ? kinds[i] : uint8_t(as_stored)), c, s.unit);
          if (a < 0) slow[i] = 1;
          else counts[i] += a;
        }
        return;
    }
  }

  // A row some cell of which needs Python's own comparison.
  long long count_slowly(Py_ssize_t row, uint8_t kind) {
    if (kind == built) return count_in_built_row(row);
    long long matches = 0;
    for (const Criterion& c : criteria_) {
      const Source& s = sources_[static_cast<size_t>(c.position)];
      int a = answer(read(s, row, kind), c, s.unit);
      if (a < 0) a = eq(cell_object(s, row, kind), c.value) ? 1 : 0;
      matches += a;
    }
    return matches;
  }

  // The row as iterrows builds it, asked as the plain walk asks it.
  long long count_in_built_row(Py_ssize_t row) {
    py::object one = df_.attr("iloc")[py::slice(row, row + 1, 1)];
    py::object pair = py::iter(one.attr("iterrows")()).attr("__next__")();
    py::object series = py::tuple(pair)[1];
    long long matches = 0;
    for (const Criterion& c : criteria_)
      if (contains(series, c.key) && eq(series[c.key], c.value)) ++matches;
    return matches;
  }

  bool qualifies(long long matches, py::handle threshold) {
    int8_t& verdict = verdicts_[static_cast<size_t>(matches)];
    if (verdict < 0) {
      verdict = ge(truediv(int_of(matches), int_of(total_)), threshold) ? 1 : 0;
    }
    return verdict != 0;
  }

  // The index label of a row, as iterating the index gives it.
  py::object label(Py_ssize_t row) {
    py::object one = df_.attr("index")[py::slice(row, row + 1, 1)];
    return py::iter(one).attr("__next__")();
  }

  py::object df_;
  py::object pd_;
  PandasKinds kinds_;
  Py_ssize_t rows_;
  Layout layout_ = Layout::objects;
  std::vector<Source> sources_;
  std::vector<Criterion> criteria_;
  long long total_ = 0;
  bool classify_rows_ = false;
  bool one_date_unit_ = true;
  bool text_missing_known_ = false;
  py::object text_missing_;   // empty: missing cells of str rows stay as stored
  std::vector<int8_t> verdicts_;
};

}  // namespace

std::optional<py::object> scan_first_match(py::handle df, const py::dict& criteria,
                                           py::handle threshold) {
  std::optional<Scan> scan = Scan::plan(df, criteria);
  if (!scan) return std::nullopt;
  return scan->first_match(threshold);
}

}  // namespace kf
