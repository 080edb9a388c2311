// Messages to table: one Gmail message reduced to subject, sender, plain-text
// body and local receive time, and the inbox turned into a DataFrame with the
// fields parsed out of the portal's notification mails.
#include "frame/routines.h"

namespace kf {
namespace {

constexpr const char* kDetailKeys[] = {"subject", "sender", "body", "time"};

// The added columns, in column order.
constexpr const char* kParsedColumns[] = {
    "application_number", "status",          "service_name",    "username_en", "username_ar",
    "service_name_en",    "service_name_ar", "link_en",         "link_ar",
};

// The "value" of the first header with exactly this name, else `otherwise`.
py::object header_value(py::handle headers, const char* name, const char* otherwise) {
  for (py::handle header : headers) {
    if (eq(header[py::str("name")], name)) return header[py::str("value")];
  }
  return str_of(otherwise);
}

// base64url text, with or without its padding, decoded to text; bytes that
// are not UTF-8 become replacement characters.
py::object decoded_body(py::handle data) {
  py::object padded = py::reinterpret_borrow<py::object>(data);
  Py_ssize_t missing = -static_cast<Py_ssize_t>(py::len(data)) & 3;
  if (missing) padded = add(data, py::str(std::string(static_cast<size_t>(missing), '=')));
  py::object raw = call_method(g("base64"), "urlsafe_b64decode", {padded});
  return call_method(raw, "decode", {str_of("utf-8"), str_of("replace")});
}

// The first text/plain part among `parts`, in order; only when there is none
// there, the same search in each part's own parts, in order.  An empty handle
// when there is none at any depth.
py::object first_plain_part(py::handle parts) {
  for (py::handle part : parts) {
    if (eq(part[py::str("mimeType")], "text/plain")) return py::reinterpret_borrow<py::object>(part);
  }
  for (py::handle part : parts) {
    if (contains(part, str_of("parts"))) {
      py::object found = first_plain_part(part[py::str("parts")]);
      if (found) return found;
    }
  }
  return py::object();
}

py::object message_body(py::handle payload) {
  if (contains(payload, str_of("parts"))) {
    py::object part = first_plain_part(payload[py::str("parts")]);
    if (!part) return py::str("");
    return decoded_body(part[py::str("body")][py::str("data")]);
  }
  return decoded_body(payload[py::str("body")][py::str("data")]);
}

py::object receive_time(py::handle internal_date) {
  py::object seconds = truediv(to_int(internal_date), int_of(1000));
  py::object local = call_method(g("datetime"), "fromtimestamp", {seconds});
  return call_method(local, "strftime", {str_of("%Y-%m-%d %H:%M:%S")});
}

py::dict details(py::handle subject, py::handle sender, py::handle body, py::handle time) {
  py::dict result;
  result[kDetailKeys[0]] = subject;
  result[kDetailKeys[1]] = sender;
  result[kDetailKeys[2]] = body;
  result[kDetailKeys[3]] = time;
  return result;
}

// The status of a subject: what follows its last "status is", lower case.
py::object subject_status(py::handle subject) {
  py::object lower = call_method(subject, "lower");
  py::object pieces = call_method(lower, "split", {str_of("status is")});
  return call_method(pieces[py::int_(-1)], "strip");
}

}  // namespace

py::object get_message_details(Arg service, Arg msg_id) {
  try {
    py::object messages = call_method(call_method(service, "users"), "messages");
    py::object message =
        call_method(messages.attr("get")(py::arg("userId") = "me", py::arg("id") = msg_id),
                    "execute");
    py::object payload = message[py::str("payload")];
    py::object headers = payload[py::str("headers")];
    py::object subject = header_value(headers, "Subject", "No Subject");
    py::object sender = header_value(headers, "From", "No Sender");
    py::object time = receive_time(message[py::str("internalDate")]);
    py::object body = message_body(payload);
    return details(subject, sender, body, time);
  } catch (...) {
    py::error_already_set e = caught(g("HttpError"));
    say({"An error occurred: ", e});
    py::str error("Error");
    return details(error, error, error, error);
  }
}

namespace {

// The four details of every row are exactly what get_message_details makes
// of a message: a dict with the keys in order and text values.
bool plain_details(py::handle rows) {
  for (py::handle row : rows) {
    if (!PyDict_CheckExact(row.ptr()) || PyDict_Size(row.ptr()) != 4) return false;
    Py_ssize_t pos = 0, k = 0;
    PyObject *key, *value;
    while (PyDict_Next(row.ptr(), &pos, &key, &value)) {
      if (!PyUnicode_CheckExact(key) || !PyUnicode_CheckExact(value) ||
          PyUnicode_CompareWithASCIIString(key, kDetailKeys[k++]) != 0)
        return false;
    }
  }
  return true;
}

// The table as the Part's cell-by-cell statement leaves it: the details
// frame, the added columns filled with "NAN", then every cell of them set
// with the column keeping its type.
py::object details_frame(py::handle pd, py::handle rows) {
  py::object frame = call_method(pd, "DataFrame", {rows});
  for (const char* column : kParsedColumns) {
    if (!contains(frame.attr("columns"), str_of(column))) frame[column] = py::str("NAN");
  }
  return frame;
}

}  // namespace

// The parsed columns are filled whole, one list each, rather than a cell at a
// time: the same table, with the same column types, in a fraction of the time.
// When every row is plain text (the usual case), the whole table is made in
// one step from its columns: the text columns then take the type that text
// takes in a DataFrame, which is the type of a column filled with "NAN", and
// a parsed column holding no value at all is given that type too.
py::object fetch_emails_to_dataframe(Arg service, Arg max_results) {
  py::object references = g("list_messages")(service, max_results);
  py::object get_details = g("get_message_details");
  py::list rows;
  for (py::handle reference : references) {
    check_signals();
    rows.append(get_details(service, reference[py::str("id")]));
  }

  py::object pd = g("pd");
  const size_t count = py::len(rows);
  const bool plain = count > 0 && plain_details(rows);
  py::object frame;
  if (!plain) {
    frame = details_frame(pd, rows);
    if (count == 0) return frame;
  }

  // Column values, by the position of the column in kParsedColumns.
  constexpr size_t kColumns = std::size(kParsedColumns);
  py::object keys[std::size(kDetailKeys)];
  for (size_t k = 0; k < std::size(kDetailKeys); ++k) keys[k] = str_of(kDetailKeys[k]);
  py::object names[kColumns];
  for (size_t c = 0; c < kColumns; ++c) names[c] = str_of(kParsedColumns[c]);
  py::list values[kColumns];
  for (auto& column : values) column = py::list(count);
  bool all_text = true;                 // every value a str or None
  size_t filled[kColumns] = {};         // the values that are not None, by column
  auto put = [&](size_t c, size_t i, py::object value) {
    if (!value.is_none()) {
      ++filled[c];
      if (!PyUnicode_CheckExact(value.ptr())) all_text = false;
    }
    values[c][i] = std::move(value);
  };

  py::object service_name = g("extract_service_name");
  for (size_t i = 0; i < count; ++i) {
    check_signals();
    py::handle row = rows[i];
    put(1, i, subject_status(row[keys[0]]));
    put(2, i, call(service_name, {row[keys[2]]}));
  }

  py::object parse = g("extract_email_data");
  py::str missing("NAN");
  for (size_t i = 0; i < count; ++i) {
    check_signals();
    py::object parsed = call(parse, {rows[i][keys[2]]});
    py::object get = parsed.attr("get");
    for (size_t c = 0; c < kColumns; ++c) {
      if (c == 1 || c == 2) continue;
      put(c, i, call(get, {names[c], missing}));
    }
  }

  if (plain && all_text) {
    py::dict columns;
    for (size_t k = 0; k < std::size(kDetailKeys); ++k) {
      py::list column(count);
      for (size_t i = 0; i < count; ++i) column[i] = rows[i][keys[k]];
      columns[keys[k]] = column;
    }
    for (size_t c = 0; c < kColumns; ++c) columns[names[c]] = values[c];
    frame = call_method(pd, "DataFrame", {columns});
    py::object text_type = frame[keys[0]].attr("dtype");
    for (size_t c = 0; c < kColumns; ++c) {
      if (filled[c] > 0) continue;
      frame[names[c]] = pd.attr("Series")(values[c], py::arg("index") = frame.attr("index"),
                                          py::arg("dtype") = text_type);
    }
    return frame;
  }
  if (plain) frame = details_frame(pd, rows);

  // Each column keeps the type it was given when it was filled with "NAN".
  py::object series = pd.attr("Series");
  py::object index = frame.attr("index");
  for (size_t c = 0; c < kColumns; ++c) {
    py::object dtype = frame[names[c]].attr("dtype");
    frame[names[c]] = series(values[c], py::arg("index") = index, py::arg("dtype") = dtype);
  }
  return frame;
}

}  // namespace kf
