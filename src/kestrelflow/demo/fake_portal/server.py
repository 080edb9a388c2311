"""The two fake applications and their HTTP servers.

DEVU is one page routed by its fragment; its data (applications, services,
plots, owners) comes from `FakePortal.data` when the page loads.  ZIV is a
server-rendered login (POST, session cookie), a home page with the
collection menu and the cashier screen; the fees of each application live
in `FakePortal.data["fees"]` and a payment changes them.  Both report what a
visitor did to `FakePortal.events` (a list of dicts with "app", "kind" and
"detail").
"""
import errno
import http.server
import json
import random
import secrets
import sys
import threading
from pathlib import Path
from urllib.parse import parse_qs, urlsplit

HERE = Path(__file__).parent
DEVU_HOST = "devu.portal.test"
ZIV_HOST = "ziv.internal"
ZIV_PORT = 7001


FALLBACK_ADDRESS = "127.0.0.1"
# Addresses tried before falling back to FALLBACK_ADDRESS.
ADDRESS_TRIES = 20


class PortTaken(RuntimeError):
    """The fixed ZIV port is used by another program."""


def private_loopback_address(rng=random):
    """A loopback address of 127.0.0.0/8 drawn at random, away from the
    addresses services commonly use (127.0.0.x, and 127.0.1.1 that Debian
    gives the host name): Linux routes the whole range to the loopback
    interface, so a server on it needs no setup and meets no one else's."""
    return "127.%d.%d.%d" % (rng.randint(2, 254), rng.randint(0, 255), rng.randint(1, 254))


def default_data():
    """The portal's contents: a few applications, services, plots and owners,
    and the ZIV fees of the applications."""
    return {
        "applications": [
            {"number": "2025000123", "service": "Land Ownership Certificate", "status": "inbox",
             "start": "2025-03-01 09:15:00", "on_behalf_of": "Mariam Saeed",
             "submitted": "2025-03-02 11:40:12", "inbox": "Land Registry Officer", "layout": "standard"},
            {"number": "2025000456", "service": "Plot Reservation", "status": "pending",
             "start": "2025-04-10 08:00:00", "on_behalf_of": "Omar Khalil",
             "submitted": "2025-04-11 10:05:30", "inbox": "Reservations Desk", "layout": "reservation"},
            {"number": "2025000789", "service": "شهادة ملكية أرض", "status": "completed",
             "start": "2025-05-20 13:30:00", "on_behalf_of": "سالم علي",
             "submitted": "2025-05-21 09:00:00", "inbox": "مكتب التسجيل", "layout": "arabic"},
            {"number": "2025000999", "service": "Building Permit", "status": "inbox",
             "start": "2025-06-01 07:45:00", "on_behalf_of": "Huda Nasser",
             "submitted": "2025-06-02 12:00:00", "inbox": "Permits Office", "layout": "standard",
             "number_shown": ""},
            {"number": "2025000321", "service": "Site Plan Issuance", "status": "completed",
             "start": "2025-07-07 10:10:10", "on_behalf_of": "Khalid Musa",
             "submitted": "2025-07-08 08:08:08", "inbox": "Planning Office", "layout": "long"},
        ],
        "services": [
            {"name": "Land Ownership Certificate", "description": "Certificate of the plots you own"},
            {"name": "Building Permit", "description": "Permit to build on a plot"},
            {"name": "Plot Reservation", "description": "Reserve a plot for a project"},
            {"name": "Site Plan Issuance", "description": "The site plan of a plot"},
            {"name": "شهادة ملكية أرض", "description": "شهادة بملكية الأراضي"},
        ],
        "municipalities": ["Abu Dhabi", "Al Ain", "Al Dhafra"],
        "districts": ["Al Bateen", "Al Khalidiya", "Musaffah", "Zone 1"],
        "land_uses": ["Residential", "Commercial", "Industrial"],
        "plots": [
            {"municipalityName": "Abu Dhabi", "districtName": "Al Bateen", "communityName": "W-12",
             "roadName": "Al Bateen St", "plotNumber": "C-17", "landUseName": "Residential",
             "hasBlock": True, "hasMortgage": False, "selected": True},
            {"municipalityName": "Abu Dhabi", "districtName": "Al Bateen", "communityName": "W-14",
             "roadName": "Corniche Rd", "plotNumber": "C-17", "landUseName": "Residential",
             "hasBlock": False, "hasMortgage": True, "selected": False},
            {"municipalityName": "Abu Dhabi", "districtName": "Musaffah", "communityName": "M-3",
             "roadName": "Street 10", "plotNumber": "M-88", "landUseName": "Industrial",
             "hasBlock": False, "hasMortgage": False, "selected": False, "broken": True},
            {"municipalityName": "Abu Dhabi", "districtName": "Musaffah", "communityName": "M-4",
             "roadName": "Street 12", "plotNumber": "M-88", "landUseName": "Industrial",
             "hasBlock": True, "hasMortgage": True, "selected": False},
        ],
        "owners": {
            "784198012345671": {"table_class": "table table-striped table-bordered table-hover", "plots": [
                {"municipalityName": "Abu Dhabi", "districtName": "Al Bateen", "communityName": "W-12",
                 "roadName": "Al Bateen St", "plotNumber": "C-17", "landUseName": "Residential",
                 "hasBlock": True, "hasMortgage": False},
                {"municipalityName": "Abu Dhabi", "districtName": "Al Khalidiya", "communityName": "W-7",
                 "roadName": "Khalidiya St", "plotNumber": "K-2", "landUseName": "Commercial",
                 "hasBlock": "absent", "hasMortgage": True},
                {"municipalityName": "Al Ain", "districtName": "Zone 1", "communityName": "A-1",
                 "roadName": "Oasis Rd", "plotNumber": "Z-5", "landUseName": "Residential",
                 "hasBlock": False, "hasMortgage": False},
            ]},
            "784199056789012": {"table_class": "table table-hover", "plots": [
                {"municipalityName": "Al Dhafra", "districtName": "Zone 1", "communityName": "D-9",
                 "roadName": "Desert Rd", "plotNumber": "D-41", "landUseName": "Industrial",
                 "hasBlock": False, "hasMortgage": True},
            ]},
            "784190000000000": {"table_class": "table table-hover", "plots": []},
        },
        # ZIV: the fees of an application; "state" is "unpaid", "paid" or
        # "noframe" (a dialog whose payment form could not be loaded).
        "fees": {
            "2025000123": [
                {"title": "رسوم إصدار الشهادة", "amount": "150.00", "state": "unpaid"},
                {"title": "رسوم التدقيق", "amount": "50.00", "state": "paid"},
                {"title": "رسوم الخدمة الإلكترونية", "amount": "10.00", "state": "noframe"},
            ],
            "2025000456": [],
        },
    }


def _bind(server_class, handler, address, port, name):
    try:
        return server_class((address, port), handler)
    except OSError as error:
        if error.errno == errno.EADDRINUSE:
            raise PortTaken("%s cannot listen on %s:%d: the port is taken by another program"
                            % (name, address, port)) from None
        raise


def _bind_ziv(handler, port, address):
    """ZIV's server on `address`, or, when none is given, on a private
    loopback address drawn at random (another one when the port is taken
    there); on 127.0.0.1 when the platform routes only that address."""
    if address is not None:
        return _bind(_Server, handler, address, port, "ZIV")
    for _ in range(ADDRESS_TRIES):
        try:
            return _bind(_Server, handler, private_loopback_address(), port, "ZIV")
        except PortTaken:
            continue
        except OSError as error:
            if error.errno != errno.EADDRNOTAVAIL:
                raise
            break  # no 127.0.0.0/8 beyond 127.0.0.1 here
    return _bind(_Server, handler, FALLBACK_ADDRESS, port, "ZIV")


class FakePortal:
    """Serves ZIV on `ziv_port` (7001 unless told otherwise) and DEVU on a
    free port (or `devu_port`), both on one loopback address, until close().

    The address is `address` when given, else a private one drawn for this
    portal (see private_loopback_address), so that the portals of several
    runs, and other programs on 127.0.0.1:7001, never meet; a browser reaches
    the portal's host names with the switches of `browser_arguments()`.
    Where only 127.0.0.1 is routed, that is used, and PortTaken says so when
    another program holds the port there."""

    def __init__(self, ziv_user="cashier", ziv_password="k", devu_port=0, ziv_port=ZIV_PORT,
                 devu_host=DEVU_HOST, ziv_host=ZIV_HOST, address=None):
        self.ziv_user = ziv_user
        self.ziv_password = ziv_password
        self.devu_host = devu_host
        self.ziv_host = ziv_host
        self.data = default_data()
        self.events = []
        self.sessions = set()
        self._lock = threading.Lock()
        self._servers = []
        ziv = _bind_ziv(_handler(self, _ZivRoutes), ziv_port, address)
        self.address = ziv.server_address[0]
        try:
            devu = _bind(_Server, _handler(self, _DevuRoutes), self.address, devu_port, "DEVU")
        except BaseException:
            ziv.server_close()
            raise
        self.ziv_port = ziv.server_address[1]
        self.devu_port = devu.server_address[1]
        for server in (devu, ziv):
            threading.Thread(target=server.serve_forever, daemon=True).start()
            self._servers.append(server)

    def browser_arguments(self):
        """Chromium switches that resolve every host name to this portal's
        address (and keep plain HTTP plain)."""
        return ("--host-resolver-rules=MAP * " + self.address, "--disable-features=HttpsUpgrades")

    # ---- addresses ----------------------------------------------------------------

    def devu_url(self, path="/private#dashboard", host=None):
        return "http://%s:%d%s" % (host or self.devu_host, self.devu_port, path)

    def ziv_url(self, path="/ords/f?p=100", host=None):
        return "http://%s:%d%s" % (host or self.ziv_host, self.ziv_port, path)

    # ---- what happened ------------------------------------------------------------

    def record(self, app, kind, detail=None):
        with self._lock:
            self.events.append({"app": app, "kind": kind, "detail": detail})

    def kinds(self, app=None):
        """The kinds of the events so far (of one application when given)."""
        return [e["kind"] for e in self.events if app is None or e["app"] == app]

    def details(self, kind):
        """The details of the events of one kind, in order."""
        return [e["detail"] for e in self.events if e["kind"] == kind]

    def reset(self):
        """Forgets the events and sessions and restores the original contents."""
        with self._lock:
            self.events = []
            self.sessions = set()
            self.data = default_data()

    def close(self):
        for server in self._servers:
            server.shutdown()
            server.server_close()
        self._servers = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


# ---- request handling ---------------------------------------------------------------

class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A browser that goes away in the middle of an answer is no error.
        if isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            return
        super().handle_error(request, client_address)


def _handler(portal, routes):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            routes(portal, self).get()

        def do_POST(self):
            routes(portal, self).post()

    return Handler


class _Routes:
    static = None

    def __init__(self, portal, request):
        self.portal = portal
        self.request = request
        parts = urlsplit(request.path)
        self.path = parts.path
        self.query = parse_qs(parts.query, keep_blank_values=True)

    def send(self, body, content_type="text/html; charset=utf-8", status=200, headers=()):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.request.send_response(status)
        self.request.send_header("Content-Type", content_type)
        self.request.send_header("Content-Length", str(len(data)))
        self.request.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.request.send_header(name, value)
        self.request.end_headers()
        self.request.wfile.write(data)

    def send_json(self, value, status=200):
        self.send(json.dumps(value, ensure_ascii=False), "application/json; charset=utf-8", status)

    def redirect(self, location, headers=()):
        self.send("", status=302, headers=[("Location", location)] + list(headers))

    def body(self):
        length = int(self.request.headers.get("Content-Length") or 0)
        return self.request.rfile.read(length).decode("utf-8") if length else ""

    def send_static(self):
        name = self.path[len("/static/"):]
        target = (self.static / name).resolve()
        if target.parent != self.static.resolve() or not target.is_file():
            self.send("not found", "text/plain", 404)
            return
        types = {".js": "application/javascript", ".css": "text/css", ".html": "text/html"}
        self.send(target.read_bytes(), types.get(target.suffix, "application/octet-stream") + "; charset=utf-8")

    def post_record(self):
        event = json.loads(self.body() or "{}")
        self.portal.record(event.get("app"), event.get("kind"), event.get("detail"))
        self.send_json({"ok": True})


class _DevuRoutes(_Routes):
    static = HERE / "devu"

    def get(self):
        if self.path.startswith("/static/"):
            self.send_static()
        elif self.path == "/__data":
            self.send_json(self.portal.data)
        elif self.path == "/__events":
            self.send_json(self.portal.events)
        else:
            self.send((self.static / "index.html").read_text(encoding="utf-8"))

    def post(self):
        if self.path == "/__record":
            self.post_record()
        else:
            self.send("not found", "text/plain", 404)


class _ZivRoutes(_Routes):
    static = HERE / "ziv"

    def page(self, name, **values):
        text = (self.static / name).read_text(encoding="utf-8")
        for key, value in values.items():
            text = text.replace("{{" + key + "}}", value)
        return text

    def session(self):
        cookies = self.request.headers.get("Cookie") or ""
        for part in cookies.split(";"):
            key, _, value = part.strip().partition("=")
            if key == "ZIVSESSION" and value in self.portal.sessions:
                return value
        return None

    def get(self):
        if self.path.startswith("/static/"):
            self.send_static()
            return
        if self.path == "/ords/f":
            page = (self.query.get("p") or [""])[0]
            if page == "100":
                self.send(self.page("login.html", error=""))
            elif not self.session():
                self.redirect("/ords/f?p=100")
            elif page == "100:1":
                self.send(self.page("home.html"))
            elif page == "100:18":
                self.portal.record("ziv", "cashier opened")
                self.send(self.page("cashier.html"))
            else:
                self.send(self.page("home.html"))
            return
        if self.path == "/ords/api/fees":
            if not self.session():
                self.send_json({"error": "not logged in"}, 403)
                return
            number = (self.query.get("app") or [""])[0]
            self.portal.record("ziv", "search", number)
            self.send_json({"fees": self.portal.data["fees"].get(number, [])})
            return
        self.send("not found", "text/plain", 404)

    def post(self):
        if self.path == "/__record":
            self.post_record()
        elif self.path == "/ords/wwv_flow.accept":
            form = parse_qs(self.body(), keep_blank_values=True)
            user = (form.get("username") or [""])[0]
            password = (form.get("password") or [""])[0]
            ok = user == self.portal.ziv_user and password == self.portal.ziv_password
            self.portal.record("ziv", "login", {"user": user, "accepted": ok})
            if not ok:
                self.send(self.page("login.html", error="اسم المستخدم أو كلمة المرور غير صحيحة"))
                return
            token = secrets.token_hex(16)
            self.portal.sessions.add(token)
            self.redirect("/ords/f?p=100:1", [("Set-Cookie", "ZIVSESSION=%s; Path=/; HttpOnly" % token)])
        elif self.path == "/ords/api/pay":
            if not self.session():
                self.send_json({"error": "not logged in"}, 403)
                return
            request = json.loads(self.body() or "{}")
            fees = self.portal.data["fees"].get(request.get("application"), [])
            index = request.get("fee")
            if not isinstance(index, int) or not 0 <= index < len(fees):
                self.send_json({"error": "no such fee"}, 404)
                return
            fee = fees[index]
            if fee["state"] == "unpaid":
                fee["state"] = "paid"
                self.portal.record("ziv", "paid", {"application": request.get("application"),
                                                   "fee": index + 1, "method": request.get("method")})
            self.send_json({"state": fee["state"]})
        else:
            self.send("not found", "text/plain", 404)
