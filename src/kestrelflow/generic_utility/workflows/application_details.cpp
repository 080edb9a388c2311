// Application details: the label-and-value text of an opened application's
// details panel turned into a one-row record, read from the page or from
// text already in hand; and captured step values turned into label maps.
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {
namespace {

struct Field {
  const char* column;
  const char* pattern;
};

// Each value is the first match of its expression anywhere in the text.
constexpr Field kFields[] = {
    {"Service", R"(Service\s+(.+))"},
    {"Application Number", R"(Application Number\s+(\d+))"},
    {"Application Start Date", R"(Application Start Date\s+([0-9\-:, ]+))"},
    {"On Behalf Of", R"(On Behalf Of\s+(.+))"},
    {"Submit Date", R"(Submit Date\s+([0-9\-:, ]+))"},
    {"Current Inbox", R"(Current Inbox\s+(.+))"},
};

py::object record_frame(py::handle text) {
  py::object search = g("re").attr("search");
  py::dict record;
  for (const Field& field : kFields) {
    py::object match = search(str_of(field.pattern), text);
    record[str_of(field.column)] = match.is_none() ? py::object(py::none()) : match.attr("group")(1);
  }
  return g("pd").attr("DataFrame")(one_item_list(record));
}

py::object no_details() {
  say({"Failed to extract application details text."});
  return g("pd").attr("DataFrame")();
}

}  // namespace

py::object application_details_formatting(Arg text) {
  if (!truthy(text)) return no_details();
  return record_frame(text);
}

py::object Getting_Application_Detials(Arg driver, Arg Services_category) {
  py::list xpaths;
  if (eq(Services_category, "DEVU")) {
    xpaths = strings({"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[7]/div[2]/div[1]",
                      "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[5]/div[2]/div[1]",
                      "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[3]/div[2]/div[1]"});
  } else if (eq(Services_category, "Reservation")) {
    xpaths = strings({"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[5]/div[2]/div[2]/div[2]",
                      "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[5]/div[2]/div[2]"});
  } else {
    raise(PyExc_ValueError,
          concat({"Unknown services category ", py::repr(Services_category),
                  ": the details panel is known for 'DEVU' and 'Reservation' only."}));
  }
  py::object text = g("extract_text")(driver, xpaths, py::arg("max_retries") = 3,
                                      py::arg("retry_delay") = 1, py::arg("waittime") = 3);
  if (!truthy(text)) return no_details();
  return record_frame(text);
}

py::object parse_application_details(Arg data_list) {
  py::dict result;
  py::str line_feed = str_of("\n");
  for (py::handle item : data_list) {
    check_signals();
    py::object step = item.attr("get")("step");
    py::object value = item.attr("get")("value", "");
    py::list lines;
    for (py::handle piece : value.attr("split")(line_feed)) {
      py::object line = piece.attr("strip")();
      if (truthy(line)) lines.append(line);
    }
    py::dict labels;
    Py_ssize_t count = static_cast<Py_ssize_t>(lines.size());
    for (Py_ssize_t index = 1; index < count - 1; index += 2) labels[lines[static_cast<size_t>(index)]] = lines[static_cast<size_t>(index + 1)];
    result[step] = labels;
  }
  return result;
}

}  // namespace kf
