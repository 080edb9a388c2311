// Payload posting: stored request bodies replayed one by one against an HTTP
// endpoint, each request and its answer printed, with a pause after each.
//
// Every request has time-outs: kConnectSeconds to connect and kReadSeconds
// for each wait for data from the server.  A server that stays silent longer
// raises requests' time-out error, which stops the remaining rows.  The read
// time-out bounds each silence, not the whole answer: a server that keeps
// sending a little at a time keeps its request going.
#include "frame/routines.h"

namespace kf {
namespace {

constexpr long long kConnectSeconds = 10;
constexpr long long kReadSeconds = 60;

}  // namespace

py::object send_post_requests_for_payloads(Arg df, Arg url, Arg headers, Arg delay) {
  py::object payloads = df[str_of("request_payload")];
  Py_ssize_t count = py::len(payloads);
  size_t total = py::len(df);
  py::object post = g("requests").attr("post");
  py::str comma = str_of(",");
  py::tuple timeout = py::make_tuple(int_of(kConnectSeconds), int_of(kReadSeconds));
  for (Py_ssize_t i = 0; i < count; ++i) {
    check_signals();
    py::object payload = payloads.attr("iloc")[py::int_(i)];
    say_values({concat({"Request Payload Data (", static_cast<long long>(i + 1), "/", total, "):"}),
                payload});
    py::object response = post(url, py::arg("headers") = headers,
                               py::arg("data") = payload.attr("encode")("utf-8"),
                               py::arg("timeout") = timeout);
    say_values({str_of("Response Data:"), response.attr("text").attr("split")(comma)});
    sleep(delay);
    say({"\n-------------------------------------------------------------\n"});
  }
  return py::none();
}

}  // namespace kf
