"""populate_email_template, read_html_template, save_html_file, create_temp_html_file."""
import contextlib
import errno
import io
import json
import os
import shutil
import stat
import subprocess
import tempfile

import pytest

import kestrelflow.generic_utility as gu
from helpers import outcome

NOBODY = 65534
as_root = pytest.mark.skipif(os.geteuid() != 0, reason="needs to act for another user")


def mode(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


@pytest.mark.parametrize("template, data, filled", [
    ("<p>{{name}}</p><p>{{name}}</p>", {"name": "أحمد"}, "<p>أحمد</p><p>أحمد</p>"),
    ("<p>{{a}}|{{b}}|{{c}}|{{d}}</p>", {"a": None, "b": "", "c": 0, "d": False}, "<p>|||</p>"),
    ("{{known}} {{unknown}} {{ known }}", {"known": "k"}, "k {{unknown}} {{ known }}"),
    ("{{first}}", {"first": "{{second}}", "second": "2"}, "2"),
    ("{{second}}", {"first": "1", "second": "{{first}}"}, "{{first}}"),
    ("{{1}} {{2.5}} {{None}}", {1: "one", 2.5: "x", None: "n"}, "one x n"),
])
def test_populate(template, data, filled):
    assert gu.populate_email_template(template, data) == filled


class Mutating:
    def __init__(self, data):
        self.data = data

    def __format__(self, format_spec):
        self.data["added"] = "x"
        return "k"


@pytest.mark.parametrize("data, error", [
    (None, AttributeError),
    ({"n": 5}, TypeError),
    ("not a dict", AttributeError),
])
def test_populate_errors(data, error):
    with pytest.raises(error):
        gu.populate_email_template("{{n}}", data)


def test_populate_dict_changed_during_loop():
    data = {}
    data[Mutating(data)] = "v"
    data["other"] = "w"
    with pytest.raises(RuntimeError):
        gu.populate_email_template("{{k}}", data)


def test_read_template(folder):
    (folder / "قالب.html").write_bytes("<p>مرحبا</p>\r\n<p>hi</p>\n".encode("utf-8"))
    assert gu.read_html_template("قالب.html") == "<p>مرحبا</p>\n<p>hi</p>\n"
    with pytest.raises(FileNotFoundError):
        gu.read_html_template("missing.html")
    (folder / "latin1.html").write_bytes(b"caf\xe9")
    with pytest.raises(UnicodeDecodeError):
        gu.read_html_template(folder / "latin1.html")


@pytest.mark.parametrize("given", ["out.html", "./out.html", "{folder}/out.html", "ملف.html"])
def test_save_new_file(folder, given, out):
    given = given.format(folder=folder)
    assert gu.save_html_file("<p>تم\n</p>", given) is None
    assert (folder / os.path.basename(given)).read_bytes() == "<p>تم\n</p>".encode("utf-8")
    assert mode(folder / os.path.basename(given)) == 0o644
    assert out() == [f"File saved successfully at: {given}"]
    assert sorted(os.listdir(folder)) == [os.path.basename(given)]


def test_save_replaces_and_keeps_mode(folder, out):
    target = folder / "page.html"
    target.write_text("old content that is longer")
    os.chmod(target, 0o640)
    gu.save_html_file("new", "page.html")
    gu.save_html_file("newer", "page.html")
    assert target.read_text() == "newer" and mode(target) == 0o640
    assert out() == ["File saved successfully at: page.html"] * 2
    assert os.listdir(folder) == ["page.html"]


def test_save_through_a_symlink_writes_the_linked_file(folder):
    (folder / "real.html").write_text("old")
    os.symlink("real.html", folder / "link.html")
    gu.save_html_file("new", "link.html")
    assert os.path.islink(folder / "link.html")
    assert (folder / "real.html").read_text() == "new"


class TestTargetsWrittenInPlace:
    """What is not a plain file of the caller's with one name stays what it is."""

    def test_device(self, folder, out):
        try:
            os.mknod("null", stat.S_IFCHR | 0o666, os.makedev(1, 3))
        except PermissionError:
            pytest.skip("no device nodes here")
        gu.save_html_file("<p>page</p>", "null")
        assert stat.S_ISCHR(os.lstat("null").st_mode)
        assert out() == ["File saved successfully at: null"]

    def test_fifo_with_a_waiting_reader(self, folder):
        os.mkfifo("pipe")
        reader = subprocess.Popen(["cat", str(folder / "pipe")], stdout=subprocess.PIPE)
        try:
            gu.save_html_file("<p>streamed</p>", "pipe")
            received, _ = reader.communicate(timeout=10)
        finally:
            if reader.poll() is None:
                reader.kill()
                reader.communicate()
        assert received == "<p>streamed</p>".encode("utf-8")
        assert stat.S_ISFIFO(os.lstat("pipe").st_mode)

    def test_hard_linked_file_keeps_its_other_name(self, folder):
        (folder / "a.html").write_text("old")
        os.link(folder / "a.html", folder / "b.html")
        gu.save_html_file("new", "a.html")
        assert (folder / "b.html").read_text() == "new"
        assert os.stat("a.html").st_ino == os.stat("b.html").st_ino

    @as_root
    def test_file_of_another_user_keeps_its_owner(self, folder):
        target = folder / "page.html"
        target.write_text("old")
        os.chown(target, NOBODY, NOBODY)
        gu.save_html_file("new", "page.html")
        assert (os.stat(target).st_uid, os.stat(target).st_gid) == (NOBODY, NOBODY)
        assert target.read_text() == "new"

    def test_symlink_loop_raises_as_open_does(self, folder, out):
        os.symlink("b.html", "a.html")
        os.symlink("a.html", "b.html")
        with pytest.raises(OSError) as raised:
            gu.save_html_file("x", "a.html")
        assert raised.value.errno == errno.ELOOP
        assert (type(raised.value), str(raised.value)) == outcome(open, "a.html", "w")
        assert out() == []
        assert os.path.islink("a.html") and os.path.islink("b.html")

    @pytest.mark.parametrize("existing", [False, True], ids=["new", "replaced"])
    def test_bytes_path(self, folder, out, existing):
        if existing:
            (folder / "page.html").write_text("old")
        gu.save_html_file("<p>بايت</p>", b"page.html")
        assert (folder / "page.html").read_text(encoding="utf-8") == "<p>بايت</p>"
        assert out() == ["File saved successfully at: b'page.html'"]
        assert os.listdir(folder) == ["page.html"]

    def test_file_descriptor(self, folder, out):
        descriptor = os.open("page.html", os.O_WRONLY | os.O_CREAT, 0o644)
        gu.save_html_file("<p>fd</p>", descriptor)
        assert (folder / "page.html").read_text() == "<p>fd</p>"
        assert out() == [f"File saved successfully at: {descriptor}"]


def as_nobody(action, cwd):
    """Runs action() in a child process that has entered cwd and then given up
    root for uid and gid 65534: its outcome ("done" or the error) and the lines
    it printed.  Entering the folder first keeps the outcome independent of
    whether the folders above it (the temporary folder, a home) let others
    through."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:  # the child
        try:
            os.close(read_end)
            lines = io.StringIO()
            with contextlib.redirect_stdout(lines):
                try:
                    os.chdir(cwd)
                    os.setgroups([])
                    os.setgid(NOBODY)
                    os.setuid(NOBODY)
                    action()
                    result = "done"
                except Exception as error:
                    result = "%s: %s" % (type(error).__name__, error)
            os.write(write_end, json.dumps([result, lines.getvalue().splitlines()]).encode())
        finally:
            os._exit(0)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as reader:
        report = reader.read()
    os.waitpid(pid, 0)
    return json.loads(report)


@as_root
def test_own_file_in_a_folder_the_caller_cannot_write():
    base = tempfile.mkdtemp()
    try:
        os.chmod(base, 0o755)
        locked = os.path.join(base, "locked")
        os.mkdir(locked)
        target = os.path.join(locked, "page.html")
        with open(target, "w") as old:
            old.write("old")
        os.chown(target, NOBODY, NOBODY)
        os.chmod(target, 0o644)
        os.chmod(locked, 0o555)
        assert as_nobody(lambda: gu.save_html_file("new", "page.html"), locked) == [
            "done", ["File saved successfully at: page.html"]]
        with open(target) as saved:
            assert saved.read() == "new"
        assert os.listdir(locked) == ["page.html"]
    finally:
        shutil.rmtree(base)


def expected_error(content):
    """The error writing this content to a text file raises."""
    with tempfile.TemporaryFile("w", encoding="utf-8") as scratch:
        try:
            scratch.write(content)
        except Exception as error:
            return type(error), str(error)


@pytest.mark.parametrize("content", [42, None, b"bytes", "lone \ud800 surrogate"])
def test_failed_save_leaves_the_old_file(folder, content, out):
    target = folder / "page.html"
    target.write_text("keep me")
    kind, message = expected_error(content)
    with pytest.raises(kind) as raised:
        gu.save_html_file(content, "page.html")
    assert str(raised.value) == message
    assert target.read_text() == "keep me"
    assert os.listdir(folder) == ["page.html"]
    assert out() == []


@pytest.mark.parametrize("setup, error", [
    (lambda f: None, FileNotFoundError),
    (lambda f: (f / "missing").mkdir() or (f / "missing" / "x.html").mkdir(), IsADirectoryError),
], ids=["no folder", "a folder in the way"])
def test_save_path_errors_name_the_path(folder, setup, error):
    setup(folder)
    with pytest.raises(error) as raised:
        gu.save_html_file("x", "missing/x.html")
    assert raised.value.filename == "missing/x.html"


@pytest.fixture
def temp_dir(tmp_path, monkeypatch):
    where = tmp_path / "tmp"
    where.mkdir()
    monkeypatch.setattr(tempfile, "tempdir", str(where))
    return where


def test_temp_file(temp_dir):
    name = gu.create_temp_html_file("<p>مؤقت</p>\n")
    assert name.endswith(".html") and os.path.dirname(name) == str(temp_dir)
    with open(name, "rb") as written:
        assert written.read() == "<p>مؤقت</p>\n".encode("utf-8")
    assert mode(name) == 0o600
    second = gu.create_temp_html_file("")
    assert second != name and os.path.getsize(second) == 0


@pytest.mark.parametrize("content", [7, "bad \udfff"])
def test_failed_temp_file_leaves_nothing(temp_dir, content):
    kind, message = expected_error(content)
    with pytest.raises(kind) as raised:
        gu.create_temp_html_file(content)
    assert str(raised.value) == message
    assert os.listdir(temp_dir) == []
