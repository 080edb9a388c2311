// Gmail access: credentials from the stored token, or from a one-time consent
// in the browser whose token is then stored, and the list of inbox messages.
#include "frame/routines.h"

namespace kf {
namespace {

constexpr const char* kTokenFile = "token.json";
constexpr const char* kClientSecretsFile = "Creds.json";

// os.O_NOFOLLOW where the system has it.
py::object no_follow_flag(py::handle os) {
  return py::getattr(os, "O_NOFOLLOW", int_of(0));
}

// Writes the token as a new owner-only file: created with mode 0600 (never
// widened by the umask, never narrowed afterwards), truncated when it is
// there already, and refused when the name is a symbolic link.
void store_token(py::handle token_json) {
  py::object os = g("os");
  py::object flags = os.attr("O_WRONLY") | os.attr("O_CREAT") | os.attr("O_TRUNC") |
                     no_follow_flag(os);
  py::object fd = call_method(os, "open", {str_of(kTokenFile), flags, int_of(0600)});
  py::object file;
  try {
    file = os.attr("fdopen")(fd, py::str("w"));
  } catch (...) {
    py::error_already_set e = caught();
    call_method(os, "close", {fd});
    throw e;
  }
  with_(file, [&](py::handle token) { call_method(token, "write", {token_json}); });
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
