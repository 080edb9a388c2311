"""Fixtures of the file tests: a working folder with a known umask."""
import os

import pytest


@pytest.fixture
def folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    old = os.umask(0o022)
    yield tmp_path
    os.umask(old)
