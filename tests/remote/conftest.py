"""A remote WebDriver session replaces the local browser for every test in
this folder (see grid.py)."""
from remote.grid import browser, node  # noqa: F401
