"""Test hosts of our own: network namespaces for a Grid hub and two nodes,
joined by veth pairs to a bridge in the hub's namespace.  Their addresses
(198.18.7.0/24, the range set aside for network testing) exist only inside
these namespaces; nothing is routed out of them."""
import os
import shutil
import subprocess
import time
import sys
from pathlib import Path

import pytest

from grid.servers import Holding

SUBNET = "198.18.7"
SERVERS = Path(__file__).with_name("servers.py")


def ip(*args):
    return subprocess.run(["ip", *args], check=True, capture_output=True, text=True, timeout=30)


class Hosts:
    def __init__(self):
        base = "kfgrid%d" % os.getpid()
        self.hub_ns, self.hub = base + "h", SUBNET + ".1"
        self.nodes = [("node-a", base + "a", SUBNET + ".2"), ("node-b", base + "b", SUBNET + ".3")]
        self.made, self.grids, self.pages = [], [], None

    @classmethod
    def make_or_skip(cls):
        if os.geteuid() != 0:
            pytest.skip("network namespaces for the test hosts need root")
        if shutil.which("ip") is None:
            pytest.skip("no ip command (iproute2) for the test hosts' network namespaces")
        hosts = cls()
        try:
            hosts.make()
        except (subprocess.CalledProcessError, OSError) as error:
            hosts.close()
            pytest.skip("no network namespaces here: %s" % (getattr(error, "stderr", "") or error).strip())
        return hosts

    def make(self):
        for ns in [self.hub_ns] + [ns for _, ns, _ in self.nodes]:
            ip("netns", "add", ns)
            self.made.append(ns)
            ip("-n", ns, "link", "set", "lo", "up")
        ip("-n", self.hub_ns, "link", "add", "br0", "type", "bridge")
        ip("-n", self.hub_ns, "addr", "add", self.hub + "/24", "dev", "br0")
        ip("-n", self.hub_ns, "link", "set", "br0", "up")
        for index, (_, ns, address) in enumerate(self.nodes):
            port = "veth%d" % index
            ip("-n", self.hub_ns, "link", "add", port, "type", "veth", "peer", "name", "eth0", "netns", ns)
            ip("-n", self.hub_ns, "link", "set", port, "master", "br0")
            ip("-n", self.hub_ns, "link", "set", port, "up")
            ip("-n", ns, "addr", "add", address + "/24", "dev", "eth0")
            ip("-n", ns, "link", "set", "eth0", "up")

    @staticmethod
    def run_in(ns):
        return ["ip", "netns", "exec", ns]

    def add(self, grid):
        """A Grid (or node) started on these hosts: ended by close()."""
        self.grids.append(grid)
        return grid

    def start(self, grid):
        return self.add(grid).wait_ready()

    def page_server(self):
        """tests/pages and the held page, served on the hub's host."""
        self.pages = RemotePages(self.run_in(self.hub_ns), self.hub)
        return self.pages

    def close(self):
        for grid in reversed(self.grids):
            grid.stop()
        if self.pages is not None:
            self.pages.close()
        for ns in self.made:
            try:
                ip("netns", "del", ns)
            except subprocess.CalledProcessError:
                pass


class RemotePages(Holding):
    """servers.py's page server as a process in another namespace."""

    def __init__(self, prefix, address):
        self.process = subprocess.Popen([*prefix, sys.executable, str(SERVERS), address],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                        cwd=str(SERVERS.parent.parent))
        self.base = self.process.stdout.readline().strip()
        if not self.base:
            self.close()
            pytest.fail("the page server on the hub's host did not start")
        import threading
        self.held = 0
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("held "):
                with self.changed:
                    self.held = int(line.split()[1])
                    self.changed.notify_all()

    def url(self, name):
        return self.base + name

    def release(self):
        self.process.stdin.write("release\n")
        self.process.stdin.flush()

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.close()
                self.process.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
