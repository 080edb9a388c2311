"""Small helpers shared by the test modules."""
import os
from contextlib import contextmanager

# How long a child process may take before it is taken as hung.  Only a hang
# reaches it: a child on a machine busy many times over (load 8 per core)
# finishes in a small part of it, so no test depends on the machine's speed.
HANG = 900


def outcome(fn, *args):
    """What a call gives: its result, or the type and text of its error."""
    try:
        return fn(*args)
    except Exception as error:
        return type(error), str(error)


def page_record(driver, name):
    """A list the test page keeps on `window` (the ids it saw clicked, hovered ...)."""
    return driver.execute_script("return window." + name)


def clicks(driver):
    return page_record(driver, "clicks")


def hovered(driver):
    return page_record(driver, "hovered")


class held_port:
    """A listening socket on address:port for the block, as another program
    holding the port would have; when someone already holds it, the block
    runs as it is."""

    def __init__(self, address, port):
        self.address, self.port = address, port
        self.sock = None

    def __enter__(self):
        import errno
        import socket
        sock = socket.socket()
        try:
            sock.bind((self.address, self.port))
            sock.listen()
        except OSError as error:
            sock.close()
            if error.errno != errno.EADDRINUSE:
                raise
        else:
            self.sock = sock
        return self

    def __exit__(self, *exc):
        if self.sock is not None:
            self.sock.close()


def child_env(**extra):
    """The environment of a child process that imports the module: this test
    process's own virtual display (the one pytest-xvfb started for it, with
    its authority file) named explicitly, never a display the shell passed
    down, which may be gone by the time the child connects."""
    import pytest_xvfb
    env = dict(os.environ, **extra)
    xvfb = pytest_xvfb.xvfb_instance
    if xvfb is not None and xvfb.display is not None:
        assert xvfb._virtual_display.is_alive(), "the test display :%d has gone away" % xvfb.display
        env["DISPLAY"] = ":%d" % xvfb.display
        # pytest-xvfb put the display's authority file here when it started it
        if os.environ.get("XAUTHORITY"):
            env["XAUTHORITY"] = os.environ["XAUTHORITY"]
    return env


def stable_id(value):
    """A parameter's repr without the memory addresses that objects' default
    reprs carry, so that every pytest-xdist worker gives a case the same id."""
    import re
    return re.sub(r" at 0x[0-9a-fA-F]+", "", repr(value))


def sleeps_until(clock, driver, script, when=lambda seconds: True):
    """Makes the fake clock's sleeps that `when` picks last until `script`
    holds on the page: a pause outlasts the page's own timer, whatever the
    machine's speed.  Every sleep is still recorded."""
    from selenium.webdriver.support.ui import WebDriverWait

    def sleep(seconds):
        clock.sleeps.append(seconds)
        if when(seconds):
            WebDriverWait(driver, 30, poll_frequency=0.05).until(lambda d: d.execute_script(script))
    clock.sleep = sleep


# ---- the processes the tests start ------------------------------------------------------

# Every process the suite starts carries this variable in its environment,
# with the value of the pytest process (an xdist worker) that started it:
# browsers, chromedriver, Xvfb, the command's own processes and their
# children inherit it, so that each can be found in /proc/<pid>/environ.
PROCESS_MARKER = "KESTRELFLOW_TEST_SUITE"


def mark_this_process():
    """Gives this pytest process (and so everything it starts) a marker of its own."""
    import secrets
    os.environ[PROCESS_MARKER] = "%d-%s" % (os.getpid(), secrets.token_hex(4))


def started_here():
    """The live processes (not zombies) this pytest process's tests started:
    those whose environment carries its marker, this process itself and the
    display pytest-xvfb keeps for it left out."""
    import psutil
    marker = os.environ.get(PROCESS_MARKER)
    if not marker:
        return []
    skip = {os.getpid(), own_display_pid()}
    found = []
    for process in psutil.process_iter():
        if process.pid in skip:
            continue
        try:
            if process.status() == psutil.STATUS_ZOMBIE:
                continue
            if process.environ().get(PROCESS_MARKER) == marker:
                found.append(process)
        except (psutil.Error, OSError):
            continue
    return found


def running(process):
    """Whether the process is still running (a zombie has ended)."""
    import psutil
    try:
        return process.is_running() and process.status() != psutil.STATUS_ZOMBIE
    except psutil.Error:
        return False


def running_after(processes, seconds):
    """Those of the processes still running after up to `seconds` of waiting
    for them to end by themselves."""
    import time
    until = time.monotonic() + seconds
    left = [process for process in processes if running(process)]
    while left and time.monotonic() < until:
        time.sleep(0.1)
        left = [process for process in left if running(process)]
    return left


def own_display_pid():
    """The process id of the Xvfb pytest-xvfb started for this process (None without)."""
    import pytest_xvfb
    xvfb = pytest_xvfb.xvfb_instance
    try:
        return xvfb._virtual_display.pid if xvfb is not None and xvfb.display is not None else None
    except Exception:
        return None


def describe(process):
    try:
        return "%d %s" % (process.pid, " ".join(process.cmdline())[:160] or process.name())
    except Exception:
        return "%d (gone)" % process.pid


def end_processes(processes, grace=10.0):
    """Ends the processes (SIGTERM, then SIGKILL after `grace` seconds);
    returns once none of them is running (zombies count as ended)."""
    import psutil
    alive = []
    for process in processes:
        try:
            process.terminate()
            alive.append(process)
        except psutil.Error:
            pass
    for process in running_after(alive, grace):
        try:
            process.kill()
        except psutil.Error:
            pass
    running_after(alive, grace)


def process_tree(pid):
    """The process and all its descendants, as psutil.Process objects."""
    import psutil
    try:
        root = psutil.Process(pid)
        return [root] + root.children(recursive=True)
    except psutil.Error:
        return []


# ---- files no one can write -------------------------------------------------------------

_FS_IOC_GETFLAGS, _FS_IOC_SETFLAGS, _FS_IMMUTABLE_FL = 0x80086601, 0x40086602, 0x10


class Unwritable:
    """Makes files and folders that cannot be written, by root too: an
    ordinary user is kept out by the mode bits, root (whom they do not stop)
    by the file system's immutable attribute.  end() gives the paths back."""

    def __init__(self):
        self.locked = []

    def __call__(self, path):
        path = str(path)
        if os.geteuid() != 0:
            os.chmod(path, 0o555 if os.path.isdir(path) else 0o444)
        else:
            self._immutable(path, True)
            self.locked.append(path)
        return path

    @staticmethod
    def _immutable(path, on):
        import fcntl
        import struct
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        try:
            flags = struct.unpack("i", fcntl.ioctl(fd, _FS_IOC_GETFLAGS, struct.pack("i", 0)))[0]
            flags = flags | _FS_IMMUTABLE_FL if on else flags & ~_FS_IMMUTABLE_FL
            fcntl.ioctl(fd, _FS_IOC_SETFLAGS, struct.pack("i", flags))
        finally:
            os.close(fd)

    @classmethod
    def available(cls, folder):
        """Why files in the folder cannot be made unwritable here ("" when they can)."""
        if os.geteuid() != 0:
            return ""
        probe = os.path.join(str(folder), ".immutable-probe")
        open(probe, "w").close()
        try:
            cls._immutable(probe, True)
            cls._immutable(probe, False)
        except OSError as error:
            return ("running as root, which mode bits do not stop, on a file system (or in a "
                    "container) without the immutable attribute: %s" % error)
        finally:
            os.unlink(probe)
        return ""

    def end(self):
        for path in reversed(self.locked):
            try:
                self._immutable(path, False)
            except OSError:
                pass
        self.locked = []


def awaited(read, expected, deadline=120.0, interval=0.05):
    """read() again and again until it gives `expected` (something recorded
    elsewhere, a page or a server, may still be on its way), for at most
    `deadline` seconds; returns what it gave last."""
    import time
    until = time.monotonic() + deadline
    value = read()
    while value != expected and time.monotonic() < until:
        time.sleep(interval)
        value = read()
    return value


def free_port():
    """A loopback port nobody holds at the moment of asking."""
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextmanager
def webdriver_server():
    """chromedriver serving the WebDriver protocol on a free local port, as a
    Grid node does; yields its URL."""
    import subprocess
    import time
    import urllib.request
    from kestrelflow.local_browser import chromedriver_path
    port = free_port()
    server = subprocess.Popen([chromedriver_path(), "--port=%d" % port], env=child_env(),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = "http://127.0.0.1:%d" % port
    try:
        # However long a busy machine takes to start it; an exit (the port
        # taken in the meantime) ends the wait at once.
        deadline = time.monotonic() + 300
        while True:
            try:
                with urllib.request.urlopen(url + "/status", timeout=5) as reply:
                    if reply.status == 200:
                        break
            except OSError:
                pass
            if server.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("chromedriver did not start serving on port %d" % port)
            time.sleep(0.05)
        yield url
    finally:
        server.terminate()
        server.wait(timeout=30)
