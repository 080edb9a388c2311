"""The command run as a process the test watches: marked, so that every
process it leads to (job processes, drivers, browsers, the display) can be
found by the mark in its environment, whatever its parent or group."""
import os
import secrets
import signal
import subprocess
import threading
import time
from pathlib import Path

from cli.commands import command
from helpers import HANG, child_env

MARK = "KESTRELFLOW_TEST_MARK"


def marked_processes(mark):
    """The live processes whose environment holds the mark (zombies do not count)."""
    needle = ("%s=%s" % (MARK, mark)).encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            if needle not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            state = (entry / "stat").read_text().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if state != "Z":
            found.append(int(entry.name))
    return found


def wait_until(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.2)
    return predicate()


class Watched:
    """`kestrelflow ARGS` as a process: stdout read line by line as it comes."""

    def __init__(self, *args, env=None, own_display=False, prefix=()):
        self.mark = secrets.token_hex(8)
        env = child_env(**{MARK: self.mark, **(env or {})})
        if own_display:  # the command starts its own Xvfb
            env.pop("DISPLAY", None)
            env.pop("XAUTHORITY", None)
        self.process = subprocess.Popen([*prefix, *command(*args)], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, encoding="utf-8", env=env)
        self.lines, self.errors = [], ""
        self._seen = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            with self._seen:
                self.lines.append(line.rstrip("\n"))
                self._seen.notify_all()
        with self._seen:
            self.lines.append(None)
            self._seen.notify_all()

    def wait_for_line(self, start, timeout=HANG):
        """Waits until a line starting with `start` was printed."""
        def seen():
            return any(line is not None and line.startswith(start) for line in self.lines)
        with self._seen:
            self._seen.wait_for(lambda: seen() or None in self.lines, timeout)
            assert seen(), self.lines

    def signal(self, number):
        os.kill(self.process.pid, number)

    def wait(self, timeout=HANG):
        self.process.wait(timeout=timeout)
        self.errors = self.process.stderr.read()
        wait_until(lambda: None in self.lines, 10)
        return self.process.returncode

    def stdout(self):
        return [l for l in self.lines if l is not None]

    def end(self):
        """Whatever is left of it, ended (a test's clean-up)."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for pid in marked_processes(self.mark):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        self.process.stdout.close()
        self.process.stderr.close()
