"""Replaying stored payloads against a local recording endpoint."""
import http.server
import socket
import threading
import types

import pandas as pd
import pytest
import requests

import kestrelflow.generic_utility as gu

SEPARATOR = ["", "-" * 61, ""]


class Endpoint:
    """Records every POST (path, headers, body) and answers with the next
    (status, body) of `answers`, the last one repeated."""

    def __init__(self):
        self.requests = []
        self.answers = [(200, "ok")]
        endpoint = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_POST(self):
                body = self.rfile.read(int(self.headers["Content-Length"]))
                endpoint.requests.append((self.path, dict(self.headers), body))
                status, text = endpoint.answers[min(len(endpoint.requests), len(endpoint.answers)) - 1]
                data = text.encode("utf-8")
                self.send_response(status)
                self.send_header("Content-Type", "text/plain; charset=utf-8")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/api/replay" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


@pytest.fixture
def endpoint():
    server = Endpoint()
    yield server
    server.close()


@pytest.fixture
def closed_port_url():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    return "http://127.0.0.1:%d/api/replay" % port


def test_each_payload_is_posted_printed_and_paced(endpoint, clock, out):
    endpoint.answers = [(200, "accepted,id=7,ok"), (200, "done")]
    frame = pd.DataFrame({"request_payload": ['{"plot": "C-17"}', '{"owner": "سالم"}'],
                          "note": ["ignored", "ignored"]})
    headers = {"Authorization": "Bearer t", "X-Trace": "42"}
    assert gu.send_post_requests_for_payloads(frame, endpoint.url, headers, 5) is None

    assert [(path, body) for path, _, body in endpoint.requests] == [
        ("/api/replay", b'{"plot": "C-17"}'),
        ("/api/replay", '{"owner": "سالم"}'.encode("utf-8")),
    ]
    for _, sent, _ in endpoint.requests:
        assert sent["Authorization"] == "Bearer t" and sent["X-Trace"] == "42"
        assert "Content-Type" not in sent  # raw bytes: neither JSON nor form encoded
    assert out() == [
        'Request Payload Data (1/2): {"plot": "C-17"}',
        "Response Data: ['accepted', 'id=7', 'ok']",
        *SEPARATOR,
        'Request Payload Data (2/2): {"owner": "سالم"}',
        "Response Data: ['done']",
        *SEPARATOR,
    ]
    assert clock.sleeps == [5, 5]


def test_default_pause_and_error_statuses_go_on(endpoint, clock, out):
    endpoint.answers = [(500, "server error, try later")]
    frame = pd.DataFrame({"request_payload": ["a", "b"]}, index=[10, 20])
    gu.send_post_requests_for_payloads(frame, endpoint.url, {})
    assert len(endpoint.requests) == 2
    assert out()[1] == "Response Data: ['server error', ' try later']"
    assert clock.sleeps == [8, 8]


def test_empty_table_sends_and_prints_nothing(endpoint, clock, out):
    gu.send_post_requests_for_payloads(pd.DataFrame({"request_payload": []}), endpoint.url, {}, 1)
    assert endpoint.requests == [] and out() == [] and clock.sleeps == []


def test_missing_column_raises_before_any_request(endpoint, clock, out):
    with pytest.raises(KeyError):
        gu.send_post_requests_for_payloads(pd.DataFrame({"payload": ["x"]}), endpoint.url, {}, 1)
    assert endpoint.requests == [] and out() == []


def test_refused_connection_propagates_and_stops(closed_port_url, clock, out):
    frame = pd.DataFrame({"request_payload": ["first", "second"]})
    with pytest.raises(requests.exceptions.ConnectionError):
        gu.send_post_requests_for_payloads(frame, closed_port_url, {}, 1)
    assert out() == ["Request Payload Data (1/2): first"]
    assert clock.sleeps == []



# ---- servers that never finish answering -------------------------------------

class Stalling:
    """A server on 127.0.0.1 that takes a request, sends `at_once`, then
    `trickle` one byte every `interval` seconds.  With nothing to send it
    never accepts: the system completes the connection, nobody answers."""

    def __init__(self, at_once=b"", trickle=b"", interval=2.0):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.url = "http://127.0.0.1:%d/api/replay" % self.listener.getsockname()[1]
        self.at_once, self.trickle, self.interval = at_once, trickle, interval
        self.stopped = threading.Event()
        self.thread = None
        if at_once or trickle:
            self.thread = threading.Thread(target=self.serve, daemon=True)
            self.thread.start()

    def serve(self):
        try:
            connection, _ = self.listener.accept()
        except OSError:
            return
        with connection:
            connection.recv(65536)
            connection.sendall(self.at_once)
            for byte in self.trickle:
                if self.stopped.wait(self.interval):
                    return
                connection.sendall(bytes([byte]))

    def close(self):
        self.stopped.set()
        self.listener.close()
        if self.thread:
            self.thread.join(10)


@pytest.fixture
def short_timeouts(monkeypatch):
    """The module's requests with the time-outs cut to a fraction of a
    second; lists the time-out each post was given."""
    given = []

    def post(*args, timeout=None, **kwargs):
        given.append(timeout)
        assert timeout is not None, "posted without a time-out"
        return requests.post(*args, timeout=(2, 0.3), **kwargs)

    monkeypatch.setattr(gu, "requests", types.SimpleNamespace(post=post))
    return given


@pytest.mark.parametrize("at_once, trickle, error", [
    pytest.param(b"", b"", requests.exceptions.ReadTimeout, id="silent"),
    pytest.param(b"", b"HTTP/1.1 200 OK\r\n", requests.exceptions.ReadTimeout,
                 id="status line a byte at a time"),
    # requests reports a time-out inside the body as a ConnectionError.
    pytest.param(b"HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n", b"accepted" * 5,
                 requests.exceptions.ConnectionError, id="body a byte at a time"),
])
def test_a_server_that_stops_answering_raises_a_time_out(short_timeouts, clock, out,
                                                         at_once, trickle, error):
    server = Stalling(at_once, trickle)
    try:
        frame = pd.DataFrame({"request_payload": ["first", "second"]})
        with pytest.raises(error, match="timed out"):
            gu.send_post_requests_for_payloads(frame, server.url, {}, 1)
    finally:
        server.close()
    assert short_timeouts == [(10, 60)]
    assert out() == ["Request Payload Data (1/2): first"]
    assert clock.sleeps == []
