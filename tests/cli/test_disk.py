"""A disk that fills up during the run, or an output folder on a read-only
file system: one line naming the folder and the error, a status that is not
0, no temporary file left behind, no traceback, and the JUnit file written
where it was asked for when that place can be written."""
import errno
import os
import shutil
import subprocess
import xml.etree.ElementTree as ET

import pytest

from cli.commands import write_job
from cli.runs import Watched

# The folder gets a small file system of its own, in a mount namespace of the
# command's own (so nothing is mounted for anyone else).
MOUNT = {
    "full": 'mount -t tmpfs -o size=4m tmpfs "$KF_DISK" && mkdir "$KF_DISK/out"',
    "read-only": 'mount -t tmpfs -o size=4m tmpfs "$KF_DISK" && mkdir "$KF_DISK/out" '
                 '&& mount -o remount,ro "$KF_DISK"',
}
ERRORS = {"full": "No space left on device", "read-only": "Read-only file system"}


def can_mount():
    if os.geteuid() != 0 or not shutil.which("unshare"):
        return False
    return subprocess.run(["unshare", "-m", "sh", "-c", "mount -t tmpfs tmpfs /mnt"],
                          capture_output=True).returncode == 0


def fill(path):
    with open(path, "wb") as f:
        try:
            while True:
                f.write(b"\0" * 65536)
                f.flush()
        except OSError as error:
            assert error.errno == errno.ENOSPC


@pytest.mark.skipif(not can_mount(), reason="needs root and mount namespaces")
@pytest.mark.parametrize("disk", MOUNT)
def test_a_disk_that_cannot_be_written(disk, pages, tmp_path):
    steps = [{"name": "Open", "action": "get_url", "values": [pages.url("steps_portal.html")]},
             {"name": "Read", "action": "Scrap_data", "xpaths": ["//h1"], "delay": 3}]
    job = write_job(tmp_path, "job", steps, sleep_time=0)
    mounted, junit, listing = tmp_path / "disk", tmp_path / "junit.xml", tmp_path / "left.txt"
    mounted.mkdir()
    out = mounted / "out"
    script = MOUNT[disk] + ' && { "$@"; status=$?; find "$KF_DISK" -name "*.partial" > "$KF_LISTING"; exit $status; }'
    run = Watched("run", job, "--out", out, "--headless", "--junit", junit,
                  env={"KF_DISK": str(mounted), "KF_LISTING": str(listing)},
                  prefix=["unshare", "-m", "sh", "-c", script, "sh"])
    try:
        if disk == "full":
            run.wait_for_line("job: step 1/2")
            fill("/proc/%d/root%s/filler" % (run.process.pid, mounted))
        status = run.wait(timeout=180)
    finally:
        run.end()
    assert status not in (0, None)
    assert "Traceback" not in run.errors
    lines = run.errors.splitlines()
    assert len(lines) == 1, lines
    assert lines[0].startswith("kestrelflow: cannot write in %s" % out) and lines[0].endswith(ERRORS[disk])
    assert listing.read_text() == ""  # no .partial file on the disk
    suite = ET.parse(junit).getroot().find("testsuite")
    assert suite.get("name") == "job" and suite.get("errors") != "0"
