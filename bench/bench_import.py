"""Import benchmark: the module against its collaborators alone.

    python bench/bench_import.py [--runs N]

Starts fresh interpreters, taking turns: one imports the module's
collaborators with the same statements, in the same order, as the module
does at import; the other imports kestrelflow.generic_utility (which imports
them and then builds its own namespace).  Both are started the same way and
find the same packages.  Prints the medians of the wall time and of the
interpreters' CPU time, and of the import statements alone timed inside the
interpreter, as min-median-max over the starts, with the ratio of each
pair of turns and the load; the goal is a median ratio of at most 1.05.  The
collaborators' import is both the statement the module stands for and the
best a plain script can do: there is no second baseline.
"""
import argparse
import os
import resource
import subprocess
import sys
import time

from kestrelflow.local_browser import local_display

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from timing import load, load_note, ratios, spread  # noqa: E402

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
        loads = [load()]
        sides = [("collaborators", COLLABORATORS), ("module", MODULE)]
        for n in range(args.runs):
            for side, code in sides if n % 2 == 0 else sides[::-1]:
                runs[side].append(one_start(code))
            loads.append(load())
    print(f"fresh interpreter importing, min{chr(0x2013)}median{chr(0x2013)}max of {args.runs} starts each, "
          "the sides taking turns")
    print("(wall and CPU time: interpreter start to exit; statements: the import")
    print(" statements alone, timed inside the interpreter; ratio = module / collaborators per turn)")
    for i, label in enumerate(("wall time", "CPU time", "statements")):
        alone = [r[i] for r in runs["collaborators"]]
        module = [r[i] for r in runs["module"]]
        print(f"{label:<12} collaborators {spread(alone, 1e3, 0)} ms  module {spread(module, 1e3, 0)} ms  "
              f"ratio {spread(ratios(module, alone), 1, 3)}  goal median <= 1.05  {load_note(loads)}")

if __name__ == "__main__":
    main()
