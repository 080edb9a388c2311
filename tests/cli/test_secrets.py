"""Values taken from environment variables appear in no output as they are:
each is written as ${NAME}, whatever the file and its mode."""
import json
import secrets

import pytest

from cli.commands import kestrelflow, read_run, write_job
from helpers import child_env

TOKEN = "tk-" + secrets.token_hex(8)
USER = "user-" + secrets.token_hex(6)
STEPS = [
    {"name": "Open page", "action": "get_url", "values": ["${KF_PAGES}cli_sign_in.html?token=${KF_TOKEN}"]},
    {"name": "Enter user", "action": "input", "xpaths": ["//input[@id='user']"], "values": ["${KF_USER}"]},
    {"name": "Sign in", "action": "click", "xpaths": ["//button[@id='sign-in']"], "texts": ["Sign in"]},
    {"name": "Read greeting", "action": "Scrap_data", "xpaths": ["//p[@id='greeting']"]},
    {"name": "Read balance", "action": "Scrap_data", "xpaths": ["//p[@id='balance']"]},  # not there: evidence
]


@pytest.fixture(scope="module")
def masked(pages, tmp_path_factory):
    folder = tmp_path_factory.mktemp("masked")
    out = folder / "out"
    done = kestrelflow("run", write_job(folder, "masked", STEPS, sleep_time=0), "--out", out, "--headless",
                       env=child_env(KF_PAGES=pages.base_url, KF_TOKEN=TOKEN, KF_USER=USER), timeout=300)
    return done, out


def test_no_output_holds_a_value_from_the_environment(masked):
    done, out = masked
    assert done.returncode == 1, done.stderr
    files = {p.relative_to(out).as_posix(): p.read_bytes() for p in out.rglob("*") if p.is_file()}
    page_sources = [name for name in files if name.startswith("masked/failures/") and name.endswith(".html")]
    assert {"masked/run.json", "masked/report.html", "masked/output.log", "junit.xml"} <= set(files)
    assert page_sources
    leaks = {name for name, data in files.items() for secret in (TOKEN, USER) if secret.encode() in data}
    assert leaks == set()
    assert TOKEN not in done.stdout + done.stderr and USER not in done.stdout + done.stderr
    # Where the values were, their names are.
    run = read_run(out, "masked")
    assert run["step_results"][0]["url"].endswith("cli_sign_in.html?token=${KF_TOKEN}")
    assert run["data_extracted"][0]["value"].startswith("Signed in as ${KF_USER} with")
    assert b"${KF_USER}" in files["masked/output.log"] and b"${KF_USER}" in files[page_sources[0]]
    assert b"token=${KF_TOKEN}" in files["junit.xml"]
    assert b"token=${KF_TOKEN}" in files["masked/report.html"]


@pytest.mark.parametrize("value", ["a&b<c>\"d' e/f?g", "\u0623\u062d\u0645\u062f 1"])
def test_a_value_is_masked_in_each_of_its_written_forms(value):
    from urllib.parse import quote
    from html import escape
    from kestrelflow.cli.outputs import Masker
    masker = Masker({"PW": value})
    texts = ["x=" + value, "u?x=" + quote(value, safe=""), "<p>%s</p>" % escape(value, quote=False),
             "['%s']" % value.replace("'", "\\'"), json.dumps({"v": value}, ensure_ascii=False)]
    for text in texts:
        assert value not in masker.text(text) and "${PW}" in masker.text(text)
    assert masker.bytes(("x=" + value).encode()) == b"x=${PW}"
    assert masker.value({"a": [value, 1, None]}) == {"a": ["${PW}", 1, None]}
