"""Import benchmark: the module against its collaborators alone.

    python bench/bench_import.py [--runs N]

Starts fresh interpreters, taking turns: one imports the module's
collaborators with the same statements, in the same order, as the module
does at import; the other imports kestrelflow.generic_utility (which imports
them and then builds its own namespace).  Both are started the same way and
find the same packages.  Prints the medians of the wall time and of the
interpreters' CPU time, and of the import statements alone timed inside the
interpreter, and their ratios; the goal is at most 1.05.
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import time

from kestrelflow.local_browser import local_display

COLLABORATORS = """
import os
import time
import base64
import warnings
import tempfile
from datetime import datetime
from io import StringIO
import re
import pandas as pd
import numpy as np
import requests
from lxml import etree
from difflib import SequenceMatcher
from PIL import Image
import mss
import shutil
import pyautogui
from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.common.alert import Alert
from selenium.common.exceptions import TimeoutException
from selenium.common.exceptions import UnexpectedAlertPresentException
from selenium.common.exceptions import NoSuchElementException
from selenium.common.exceptions import ElementNotInteractableException
from selenium.common.exceptions import ElementClickInterceptedException
from selenium.webdriver.chrome.service import Service as ChromeService
from selenium.webdriver.chrome.options import Options as ChromeOptions
from webdriver_manager.chrome import ChromeDriverManager
from selenium.webdriver.firefox.service import Service as FirefoxService
from selenium.webdriver.firefox.options import Options as FirefoxOptions
from selenium.webdriver.edge.service import Service as EdgeService
from selenium.webdriver.edge.options import Options as EdgeOptions
from webdriver_manager.microsoft import EdgeChromiumDriverManager
from selenium.webdriver.common.action_chains import ActionChains
from google.oauth2.credentials import Credentials
from google_auth_oauthlib.flow import InstalledAppFlow
from googleapiclient.discovery import build
from googleapiclient.errors import HttpError
from webdriver_manager.firefox import GeckoDriverManager
import tkinter as tk
from tkinter import ttk
from tkinter import messagebox
"""

MODULE = "import kestrelflow.generic_utility"


TIMED = "import time as _clock\n_start = _clock.perf_counter()\n{}\nprint(_clock.perf_counter() - _start)"


def one_start(code):
    """Wall and CPU seconds of one fresh interpreter running `code` (start to
    exit), and the seconds of the import statements alone, timed inside."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run([sys.executable, "-c", TIMED.format(code)], check=True,
                          capture_output=True, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, float(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()
    with local_display():
        for code in (COLLABORATORS, MODULE):  # warm the file cache
            one_start(code)
        runs = {"collaborators": [], "module": []}
        sides = [("collaborators", COLLABORATORS), ("module", MODULE)]
        for n in range(args.runs):
            for side, code in sides if n % 2 == 0 else sides[::-1]:
                runs[side].append(one_start(code))
    print(f"fresh interpreter importing, median of {args.runs} starts each")
    print("(wall and CPU time: interpreter start to exit; statements: the import")
    print(" statements alone, timed inside the interpreter)")
    print(f"{'':<12} {'collaborators':>14} {'module':>10} {'ratio':>7}  goal")
    for i, label in enumerate(("wall time", "CPU time", "statements")):
        alone = statistics.median(r[i] for r in runs["collaborators"])
        module = statistics.median(r[i] for r in runs["module"])
        print(f"{label:<12} {alone * 1e3:>11.0f} ms {module * 1e3:>7.0f} ms {module / alone:>7.3f}"
              "  <= 1.05")


if __name__ == "__main__":
    main()
