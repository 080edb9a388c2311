"""copy_and_rename_file and create_folder_in_path."""
import datetime as real_datetime
import errno
import os
import stat

import pytest

import kestrelflow.generic_utility as gu


@pytest.fixture
def today(monkeypatch):
    """The module's clock fixed at 2024-03-09 23:59:59."""
    class FixedDatetime(real_datetime.datetime):
        @classmethod
        def now(cls, tz=None):
            return cls(2024, 3, 9, 23, 59, 59)
    monkeypatch.setattr(gu, "datetime", FixedDatetime)


def make(folder, names, content=b"data"):
    folder.mkdir(parents=True, exist_ok=True)
    for name in names:
        (folder / name).write_bytes(content + name.encode())


def test_first_listed_match_is_copied(folder, today, out):
    source = folder / "in"
    make(source, ["report_b.xlsx", "report_a.xlsx", "report_c.csv", "other.xlsx", "Report_d.xlsx"])
    os.chmod(source / "report_a.xlsx", 0o640)
    os.chmod(source / "report_b.xlsx", 0o640)
    first = next(n for n in os.listdir(source) if "report" in n and n.endswith(".xlsx"))

    assert gu.copy_and_rename_file(str(source), "out/nested", "report", ".xlsx") is None

    copied = folder / "out" / "nested" / "report 2024-03-09.xlsx"
    assert copied.read_bytes() == (source / first).read_bytes()
    assert stat.S_IMODE(copied.stat().st_mode) == 0o640
    assert os.listdir(folder / "out" / "nested") == ["report 2024-03-09.xlsx"]
    assert out() == [f"File '{first}' successfully copied and renamed to "
                     "'report 2024-03-09.xlsx' in 'out/nested'."]


def test_second_run_on_the_same_day_overwrites(folder, today, out):
    make(folder / "in", ["تقرير يومي.pdf"])
    gu.copy_and_rename_file("in", "out", "تقرير", ".pdf")
    (folder / "in" / "تقرير يومي.pdf").write_bytes(b"second version")
    gu.copy_and_rename_file("in", "out", "تقرير", ".pdf")
    assert os.listdir(folder / "out") == ["تقرير 2024-03-09.pdf"]
    assert (folder / "out" / "تقرير 2024-03-09.pdf").read_bytes() == b"second version"
    assert out() == ["File 'تقرير يومي.pdf' successfully copied and renamed to "
                     "'تقرير 2024-03-09.pdf' in 'out'."] * 2


@pytest.mark.parametrize("names, text, extension, new_name", [
    (["invoice.pdf"], "invoice", "pdf", "invoice 2024-03-09pdf"),
    (["a.tar.gz"], "a", ".gz", "a 2024-03-09.gz"),
    (["xx"], "", "", " 2024-03-09"),
])
def test_new_name(folder, today, names, text, extension, new_name, out):
    make(folder / "in", names)
    gu.copy_and_rename_file("in", "out", text, extension)
    assert os.listdir(folder / "out") == [new_name]


@pytest.mark.parametrize("names, text, extension", [
    (["Report.xlsx"], "report", ".xlsx"),
    (["report.XLSX"], "report", ".xlsx"),
    ([], "report", ".xlsx"),
])
def test_no_match(folder, today, names, text, extension, out):
    make(folder / "in", names)
    gu.copy_and_rename_file("in", "out", text, extension)
    assert not (folder / "out").exists()
    assert out() == [f"No file with '{text}' found in 'in'."]


def test_missing_input_folder_raises(folder, today):
    with pytest.raises(FileNotFoundError):
        gu.copy_and_rename_file("nowhere", "out", "a", ".b")


@pytest.mark.parametrize("path", ["new", "a/b/c", "مجلد/فرعي", "{tmp}/abs"])
def test_create_folder(folder, path, out):
    path = path.format(tmp=folder)
    assert gu.create_folder_in_path(path) is None
    assert os.path.isdir(os.path.join(folder, path))
    gu.create_folder_in_path(path)
    assert out() == [f"Folder created at: {path}"] * 2


def test_create_folder_error_is_printed(folder, out):
    (folder / "file").write_text("x")
    try:
        os.makedirs("file/sub")
    except OSError as error:
        expected = f"Error creating folder: {error}"
    assert gu.create_folder_in_path("file/sub") is None
    assert out() == [expected]


# A child process with a file size limit of 20,000 bytes, so that copying a
# 100,000-byte file fails part-way with EFBIG (SIGXFSZ ignored), as on a
# full disk.
SIZE_LIMITED = r"""
import datetime as real_datetime, errno, resource, signal
import kestrelflow.generic_utility as gu

class FixedDatetime(real_datetime.datetime):
    @classmethod
    def now(cls, tz=None):
        return cls(2024, 3, 9, 23, 59, 59)

gu.datetime = FixedDatetime
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
resource.setrlimit(resource.RLIMIT_FSIZE, (20000, hard))
try:
    gu.copy_and_rename_file("in", "out", "report", ".bin")
except OSError as error:
    print("raised", errno.errorcode[error.errno], error)
"""


def test_a_failing_copy_keeps_the_earlier_copy_byte_for_byte(folder):
    import subprocess
    import sys

    from helpers import child_env
    make(folder / "in", ["report.bin"], content=b"new " * 25000)
    earlier = bytes(range(256)) * 390 + b"earlier copy"
    make(folder / "out", [])
    (folder / "out" / "report 2024-03-09.bin").write_bytes(earlier)
    done = subprocess.run([sys.executable, "-c", SIZE_LIMITED], cwd=folder,
                          capture_output=True, text=True, timeout=1800, env=child_env())
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == [
        "raised EFBIG [Errno 27] File too large: 'in/report.bin' -> 'out/report 2024-03-09.bin'"]
    assert os.listdir(folder / "out") == ["report 2024-03-09.bin"]
    assert (folder / "out" / "report 2024-03-09.bin").read_bytes() == earlier


def test_a_linked_destination_is_written_through_as_a_copy_does(folder, today, out):
    make(folder / "in", ["report.txt"], content=b"fresh ")
    make(folder / "kept", ["target.txt"], content=b"old ")
    make(folder / "out", [])
    os.symlink(folder / "kept" / "target.txt", folder / "out" / "report 2024-03-09.txt")
    gu.copy_and_rename_file("in", "out", "report", ".txt")
    assert os.path.islink(folder / "out" / "report 2024-03-09.txt")
    assert (folder / "kept" / "target.txt").read_bytes() == b"fresh report.txt"
    assert os.listdir(folder / "kept") == ["target.txt"]


def test_a_file_copied_onto_itself_raises(folder, today, out):
    import shutil
    make(folder / "in", ["report 2024-03-09.txt"])
    with pytest.raises(shutil.SameFileError):
        gu.copy_and_rename_file("in", "in", "report", ".txt")
    assert os.listdir(folder / "in") == ["report 2024-03-09.txt"]
    assert out() == []


class SyncFailing:
    """The module's os, with fsync of files failing with the given errno."""

    def __init__(self, code):
        self.code = code

    def fsync(self, fd):
        import stat as kinds
        if kinds.S_ISREG(os.fstat(fd).st_mode):
            raise OSError(self.code, os.strerror(self.code))
        return os.fsync(fd)

    def __getattr__(self, name):
        return getattr(os, name)


@pytest.mark.parametrize("code, copied", [
    pytest.param(errno.EINVAL, True, id="EINVAL: the file system cannot sync, the copy stands"),
    pytest.param(errno.ENOTSUP, True, id="ENOTSUP: likewise"),
    pytest.param(errno.EIO, False, id="EIO: the copy fails, the earlier copy stays"),
    pytest.param(errno.ENOSPC, False, id="ENOSPC found late: likewise"),
])
def test_a_copy_is_only_put_in_place_once_synced(folder, today, out, monkeypatch, code, copied):
    make(folder / "in", ["report.txt"], content=b"new ")
    make(folder / "out", ["report 2024-03-09.txt"], content=b"earlier ")
    monkeypatch.setattr(gu, "os", SyncFailing(code))
    if copied:
        gu.copy_and_rename_file("in", "out", "report", ".txt")
    else:
        with pytest.raises(OSError) as raised:
            gu.copy_and_rename_file("in", "out", "report", ".txt")
        assert raised.value.errno == code
    assert os.listdir(folder / "out") == ["report 2024-03-09.txt"]
    assert (folder / "out" / "report 2024-03-09.txt").read_bytes() == \
        (b"new report.txt" if copied else b"earlier report 2024-03-09.txt")
