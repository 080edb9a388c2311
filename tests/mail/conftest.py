"""Fixtures of the mail tests: the machine's time zone and a working folder."""
import os
import time

import pytest


@pytest.fixture
def local_zone():
    """The machine's zone set to a half-hour zone four and a half hours east."""
    saved = os.environ.get("TZ")
    os.environ["TZ"] = "KFT-4:30"
    time.tzset()
    yield
    if saved is None:
        del os.environ["TZ"]
    else:
        os.environ["TZ"] = saved
    time.tzset()


@pytest.fixture
def workdir(tmp_path, monkeypatch):
    """A fresh working folder, with the usual umask 022."""
    monkeypatch.chdir(tmp_path)
    old = os.umask(0o022)
    yield tmp_path
    os.umask(old)
