// Gmail access: credentials from the stored token, or from a one-time consent
// in the browser whose token is then stored, and the list of inbox messages.
#include "frame/file_safety.h"
#include "frame/routines.h"

#include <cerrno>

namespace kf {
namespace {

constexpr const char* kTokenFile = "token.json";
constexpr const char* kClientSecretsFile = "Creds.json";

// Stores the token as a new owner-only file (mode 0600 less the umask),
// written beside "token.json" and put in its place only when complete, so
// that a failed write leaves the earlier file (or none) rather than a
// truncated one.  A symbolic link at the name is refused, not replaced.
void store_token(py::handle token_json) {
  py::object os = g("os");
  py::str name = str_of(kTokenFile);
  if (truthy(call_method(os.attr("path"), "islink", {name}))) raise_os_error(ELOOP, name);
  py::object data = call_method(token_json, "encode", {str_of("utf-8")});
  write_beside(name, 0600, Place::replace, [&](py::handle fd, py::handle) { write_all(fd, data); });
}

}  // namespace

py::object authenticate_gmail() {
  py::object scopes = g("SCOPES");
  py::object credentials;
  if (truthy(call_method(g("os").attr("path"), "exists", {str_of(kTokenFile)}))) {
    credentials = call_method(g("Credentials"), "from_authorized_user_file",
                              {str_of(kTokenFile), scopes});
  } else {
    py::object flow = call_method(g("InstalledAppFlow"), "from_client_secrets_file",
                                  {str_of(kClientSecretsFile), scopes});
    credentials = flow.attr("run_local_server")(py::arg("port") = 0);
    store_token(call_method(credentials, "to_json"));
  }
  return g("build")(py::str("gmail"), py::str("v1"), py::arg("credentials") = credentials);
}

py::object list_messages(Arg service, Arg max_results) {
  py::object response;
  try {
    py::object messages = call_method(call_method(service, "users"), "messages");
    py::list inbox(1);
    inbox[0] = py::str("INBOX");
    py::object request = messages.attr("list")(py::arg("userId") = "me",
                                               py::arg("maxResults") = max_results,
                                               py::arg("labelIds") = inbox);
    response = call_method(request, "execute");
  } catch (...) {
    py::error_already_set e = caught(g("HttpError"));
    say({"An error occurred: ", e});
    return py::list();
  }
  return call_method(response, "get", {str_of("messages"), py::list()});
}

}  // namespace kf
