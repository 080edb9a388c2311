"""Chromium on this machine, for the demo, the tests and the benchmarks.

The module is written for a Windows desktop: Chrome_Driver_info downloads a
driver through webdriver-manager and starts Chrome with its sandbox, which
refuses to run as root; importing the module needs an X display (the pointer
library opens one).  On a Linux box with Chromium and its driver from the
distribution this file supplies what is missing:

    from kestrelflow.local_browser import local_display, open_chrome

    with local_display():                  # Xvfb, when there is no display
        driver = open_chrome(headless=True)

`local_chrome()` rebinds the module's `ChromeDriverManager` and
`ChromeOptions` for its duration; the module looks both names up at call
time, so every session opened inside it uses the local driver and Chromium.

The module itself is imported only inside the functions that need it, never
when this file is imported: that import needs the display.
"""
import contextlib
import os
import random
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

WINDOW_SIZE = "1280,900"
BROWSERS = ("/usr/bin/chromium", "/usr/bin/chromium-browser")


def chromedriver_path():
    return shutil.which("chromedriver") or "/usr/bin/chromedriver"


class LocalChromeDriverManager:
    """Stands in for the driver manager: hands out the installed chromedriver
    and downloads nothing."""

    def __init__(self, *args, **kwargs):
        pass

    def install(self):
        return chromedriver_path()


def local_chrome_options_class(base, extra_arguments=()):
    """A subclass of the options class `base` that starts the local Chromium
    the way a container allows: no sandbox, no /dev/shm, a fixed window."""

    class LocalChromeOptions(base):
        def __init__(self):
            super().__init__()
            for switch in ("--no-sandbox", "--disable-dev-shm-usage",
                           "--window-size=" + WINDOW_SIZE, *extra_arguments):
                self.add_argument(switch)
            for binary in BROWSERS:
                if os.path.exists(binary):
                    self.binary_location = binary
                    break

    return LocalChromeOptions


def _module(gu_module):
    if gu_module is not None:
        return gu_module
    import kestrelflow.generic_utility as gu
    return gu


@contextlib.contextmanager
def local_chrome(gu_module=None, extra_arguments=()):
    """Rebinds the module's driver manager and options class to the local
    ones while the block runs, and restores what was bound before; yields the
    module."""
    gu = _module(gu_module)
    saved = gu.ChromeDriverManager, gu.ChromeOptions
    gu.ChromeDriverManager = LocalChromeDriverManager
    gu.ChromeOptions = local_chrome_options_class(saved[1], extra_arguments)
    try:
        yield gu
    finally:
        gu.ChromeDriverManager, gu.ChromeOptions = saved


def open_chrome(extra_arguments=(), **kwargs):
    """Chrome_Driver_info(**kwargs) on the local Chromium, started with the
    extra command-line switches given."""
    with local_chrome(extra_arguments=extra_arguments) as gu:
        return gu.Chrome_Driver_info(**kwargs)


# ---- the environment ----------------------------------------------------------------

@contextlib.contextmanager
def saved_environment(names):
    """Puts the environment variables `names` back as they were (set or
    unset) when the block ends."""
    saved = {name: os.environ.get(name) for name in names}
    try:
        yield
    finally:
        for name, value in saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value


# ---- a display ----------------------------------------------------------------------

@contextlib.contextmanager
def local_display():
    """Runs the block on a virtual X display of its own when there is none
    (Linux with Xvfb installed); otherwise on the display there is.  The
    display takes only clients that hold its cookie, which is kept in an
    authority file of this process's own."""
    if not sys.platform.startswith("linux") or os.environ.get("DISPLAY") or not shutil.which("Xvfb"):
        yield
        return
    fd, authority = tempfile.mkstemp(prefix="kestrelflow-xauth-")
    os.close(fd)
    try:
        with saved_environment(("DISPLAY", "XAUTHORITY")):
            number, xvfb = _start_xvfb(authority)
            os.environ["DISPLAY"], os.environ["XAUTHORITY"] = ":%d" % number, authority
            try:
                yield
            finally:
                xvfb.terminate()
                xvfb.wait()
    finally:
        os.unlink(authority)


def _start_xvfb(authority):
    """Starts Xvfb on a free display number drawn from a high range that
    servers taking the first free number do not reach; returns the number
    and the process."""
    for number in random.sample(range(200, 1000), 5):
        if os.path.exists("/tmp/.X%d-lock" % number):
            continue
        _write_cookie(authority, number)
        xvfb = subprocess.Popen(_dying_with_this_process(["Xvfb", ":%d" % number, "-screen", "0", "1280x900x24",
                                                          "-nolisten", "tcp", "-auth", authority]),
                                stderr=subprocess.DEVNULL, start_new_session=True)
        for _ in range(100):
            if xvfb.poll() is not None:
                break
            if os.path.exists("/tmp/.X11-unix/X%d" % number):
                return number, xvfb
            time.sleep(0.05)
        xvfb.terminate()
        xvfb.wait()
    raise RuntimeError("could not start a virtual display (Xvfb)")


# Sets the parent-death signal (SIGTERM) of the process, then becomes the
# program: the display ends with the process that started it, however that
# one ends (killed outright included).  Its own session keeps a terminal's
# Ctrl-C, which is its owner's to handle, away from it.
_DIE_WITH_PARENT = ("import ctypes, os, signal, sys\n"
                    "ctypes.CDLL(None).prctl(1, signal.SIGTERM, 0, 0, 0)\n"
                    "if os.getppid() != int(sys.argv[1]): sys.exit(1)\n"
                    "os.execvp(sys.argv[2], sys.argv[2:])\n")


def _dying_with_this_process(command):
    if not sys.platform.startswith("linux"):
        return command
    return [sys.executable, "-c", _DIE_WITH_PARENT, str(os.getpid())] + command


def _write_cookie(path, number):
    """One entry of the X authority file format: a random cookie for display
    `number` of this host, reached through its local socket."""
    def counted(data):
        return struct.pack(">H", len(data)) + data

    entry = (struct.pack(">H", 256)  # FamilyLocal
             + counted(socket.gethostname().encode()) + counted(str(number).encode())
             + counted(b"MIT-MAGIC-COOKIE-1") + counted(os.urandom(16)))
    with open(path, "wb") as f:
        f.write(entry)
