"""Small helpers shared by the test modules."""
import os


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
