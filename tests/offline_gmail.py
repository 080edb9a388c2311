"""An offline Gmail: the client's bundled discovery document, answered by a
scripted sequence of HTTP responses that records every request made."""
import json
from urllib.parse import parse_qs, urlsplit

from googleapiclient.discovery import build
from googleapiclient.http import HttpMockSequence


def ok(obj):
    return ({"status": "200", "content-type": "application/json"}, json.dumps(obj))


def failure(status=500, message="Backend Error"):
    return ({"status": str(status), "content-type": "application/json"},
            json.dumps({"error": {"code": status, "message": message,
                                  "errors": [{"message": message, "reason": "backendError"}]}}))


def query(uri):
    """(path, parameters) of a recorded request URI."""
    parts = urlsplit(uri)
    return parts.path, parse_qs(parts.query)


def offline_service(responses, credentials=None):
    """(service, http): a Gmail service whose requests get `responses` in order;
    http.request_sequence lists the requests made."""
    http = HttpMockSequence(list(responses))
    if credentials is not None:
        from google_auth_httplib2 import AuthorizedHttp
        return build("gmail", "v1", http=AuthorizedHttp(credentials, http=http),
                     static_discovery=True), http
    return build("gmail", "v1", http=http, static_discovery=True), http
