"""populate_email_template, read_html_template, save_html_file, create_temp_html_file."""
import os
import stat
import tempfile

import pytest

import kestrelflow.generic_utility as gu


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
