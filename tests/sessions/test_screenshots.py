"""Screenshots through WebDriver and through the screen grabber, and the pointer."""
import os
import subprocess
import sys
import time
import types

import pytest
from PIL import Image

from helpers import child_env

STAMP = "20240102_030405"
FIXED = (2024, 1, 2, 3, 4, 5, 1, 2, -1)

# The grabber factory is called by its long-standing name.
pytestmark = pytest.mark.filterwarnings("ignore:mss.mss is deprecated:DeprecationWarning")


@pytest.fixture
def stamp(clock):
    """A fixed local time for file names; records the formats asked for."""
    clock.formats = []

    def strftime(fmt, *when):
        clock.formats.append(fmt)
        return time.strftime(fmt, FIXED)

    clock.strftime = strftime
    return STAMP


class RecordingGrabber:
    """Wraps a grabber as its context manager and records how it is left."""

    def __init__(self, inner, swallow=False):
        self.inner = inner
        self.swallow = swallow
        self.exits = []
        self.handled = []

    def __enter__(self):
        return self.inner.__enter__()

    def __exit__(self, *info):
        self.exits.append(info)
        self.handled.append(sys.exc_info()[1])
        self.inner.__exit__(*info)
        return self.swallow


def use_grabber(monkeypatch, gu, grabber):
    monkeypatch.setattr(gu, "mss", types.SimpleNamespace(mss=lambda: grabber))


def png_size(path):
    with Image.open(path) as image:
        assert image.format == "PNG"
        return image.size


def test_webdriver_screenshot_lands_in_the_service_folder(gu, driver, pages, tmp_path, stamp, clock, out):
    driver.get(pages.url("basic.html"))
    base = str(tmp_path / "shots")
    result = gu.capture_screenshot(base, service_name="Land Search", step_name="open the form",
                                   use_webdriver=True, driver=driver)
    path = os.path.join(base + "/Land Search", "open_the_form_" + STAMP + ".png")
    assert result is None
    assert out() == ["save_path======> " + path,
                     "Capturing screenshot using Selenium WebDriver...",
                     "Screenshot saved to " + path]
    assert os.listdir(base + "/Land Search") == [os.path.basename(path)]
    assert png_size(path)[0] > 0
    assert clock.formats == ["%Y%m%d_%H%M%S"]


def test_webdriver_without_driver_raises_after_making_the_folder(gu, tmp_path, stamp, out):
    with pytest.raises(ValueError) as raised:
        gu.capture_screenshot(str(tmp_path), 0, "svc", "step", True)
    assert str(raised.value) == "WebDriver instance must be provided when use_webdriver=True."
    assert out() == ["save_path======> " + os.path.join(str(tmp_path) + "/svc", "step_" + STAMP + ".png")]
    assert os.listdir(tmp_path / "svc") == []


def test_first_screen_is_grabbed_and_the_grabber_closed(gu, monkeypatch, tmp_path, stamp, out):
    grabber = RecordingGrabber(gu.mss.mss())
    use_grabber(monkeypatch, gu, grabber)
    base = str(tmp_path)
    assert gu.capture_screenshot(base, 1, "svc", "grab screen") is None
    path = os.path.join(base + "/svc", "grab_screen_" + STAMP + ".png")
    assert out() == ["save_path======> " + path,
                     "Capturing screenshot of screen 1...",
                     "Screenshot saved to " + path]
    assert png_size(path) == (1920, 1080)
    assert grabber.exits == [(None, None, None)]


def test_defaults_grab_all_screens_into_screenshots_default_service(gu, monkeypatch, tmp_path, stamp, out):
    monkeypatch.chdir(tmp_path)
    assert gu.capture_screenshot() is None
    path = os.path.join("Screenshots/default_service", "default_step_" + STAMP + ".png")
    assert out()[1:] == ["Capturing screenshot of screen 0...", "Screenshot saved to " + path]
    assert png_size(path) == (1920, 1080)


def test_a_screen_that_does_not_exist_captures_nothing(gu, monkeypatch, tmp_path, stamp, out):
    grabber = RecordingGrabber(gu.mss.mss())
    use_grabber(monkeypatch, gu, grabber)
    assert gu.capture_screenshot(str(tmp_path), screen_number=2) is None
    assert out()[1:] == ["Screen number 2 does not exist. Total screens detected: 1"]
    assert os.listdir(tmp_path / "default_service") == []
    assert grabber.exits == [(None, None, None)]


def test_a_failing_save_leaves_the_grabber_like_a_with_statement(gu, monkeypatch, tmp_path, stamp, out):
    grabber = RecordingGrabber(gu.mss.mss())
    use_grabber(monkeypatch, gu, grabber)
    real_image = gu.Image

    class Unsaveable:
        """Pictures whose save fails part-way, as on a vanished disk."""
        @staticmethod
        def frombytes(*args):
            image = real_image.frombytes(*args)

            def save(path, *rest):
                with open(path, "wb") as out:
                    out.write(b"\x89PNG")
                raise FileNotFoundError(2, "No such file or directory", path)
            image.save = save
            return image

    monkeypatch.setattr(gu, "Image", Unsaveable)
    with pytest.raises(FileNotFoundError) as raised:
        gu.capture_screenshot(str(tmp_path), 1, "svc", "step")
    (kind, value, trace), = grabber.exits
    assert kind is FileNotFoundError and value is raised.value and trace is not None
    assert grabber.handled == [raised.value]
    assert os.listdir(tmp_path / "svc") == []


def test_a_true_exit_result_swallows_the_error(gu, monkeypatch, tmp_path, stamp, out):
    class BrokenGrabber:
        monitors = [{}, {}]

        def __enter__(self):
            return self

        def __exit__(self, *info):
            return None

        def grab(self, monitor):
            raise RuntimeError("grab failed")

    grabber = RecordingGrabber(BrokenGrabber(), swallow=True)
    use_grabber(monkeypatch, gu, grabber)
    assert gu.capture_screenshot(str(tmp_path), 1) is None
    assert out()[1:] == ["Capturing screenshot of screen 1..."]
    (kind, value, _), = grabber.exits
    assert kind is RuntimeError and str(value) == "grab failed"


def test_pointer_is_parked_left_of_the_1920x1080_screen(gu, out):
    import pyautogui
    assert pyautogui.size() == (1920, 1080)
    assert gu.move_mouse_to_second_screen() is None
    assert out() == ["Mouse moved to position on second screen at (-1080, 540)"]
    assert pyautogui.position() == (0, 540)


@pytest.mark.parametrize("webdriver", [True, False], ids=["webdriver", "grabber"])
def test_shots_within_one_second_never_overwrite(gu, tmp_path, stamp, out, webdriver):
    from fakes import FakeDriver
    folder = tmp_path / "svc"
    folder.mkdir()
    (folder / ("step_a_" + STAMP + "_2.png")).write_bytes(b"kept")
    for _ in range(3):
        gu.capture_screenshot(str(tmp_path), 1, "svc", "step a", webdriver,
                              FakeDriver() if webdriver else None)
    names = ["step_a_" + STAMP + ".png", "step_a_" + STAMP + "_3.png", "step_a_" + STAMP + "_4.png"]
    paths = [os.path.join(str(tmp_path) + "/svc", name) for name in names]
    lines = out()
    assert [line for line in lines if line.startswith("save_path")] == \
        ["save_path======> " + path for path in paths]
    assert [line for line in lines if line.startswith("Screenshot saved")] == \
        ["Screenshot saved to " + path for path in paths]
    assert sorted(os.listdir(folder)) == sorted(names + ["step_a_" + STAMP + "_2.png"])
    assert (folder / ("step_a_" + STAMP + "_2.png")).read_bytes() == b"kept"
    assert all(png_size(path) for path in paths)


def shot_call(request, webdriver):
    """capture_screenshot through the real browser or through the grabber."""
    driver = request.getfixturevalue("driver") if webdriver else None
    if driver is not None:
        driver.get(request.getfixturevalue("pages").url("basic.html"))
    return lambda base, step: request.getfixturevalue("gu").capture_screenshot(
        base, 1, "svc", step, webdriver, driver)


@pytest.mark.parametrize("webdriver", [True, False], ids=["webdriver", "grabber"])
def test_a_name_that_cannot_be_written_raises_and_is_not_reported_saved(request, tmp_path, stamp,
                                                                        out, webdriver):
    capture = shot_call(request, webdriver)
    path = os.path.join(str(tmp_path) + "/svc", "step_a/b_" + STAMP + ".png")
    with pytest.raises(FileNotFoundError) as raised:
        capture(str(tmp_path), "step a/b")
    assert raised.value.filename == path
    lines = out()
    assert lines[0] == "save_path======> " + path
    assert not any(line.startswith("Screenshot saved") for line in lines)
    assert os.listdir(tmp_path / "svc") == []


@pytest.mark.parametrize("webdriver", [True, False], ids=["webdriver", "grabber"])
def test_a_link_at_the_name_is_passed_over_not_written_through(request, tmp_path, stamp, out,
                                                               webdriver):
    capture = shot_call(request, webdriver)
    folder = tmp_path / "svc"
    folder.mkdir()
    elsewhere = tmp_path / "elsewhere.png"
    os.symlink(elsewhere, folder / ("step_" + STAMP + ".png"))
    capture(str(tmp_path), "step")
    path = os.path.join(str(tmp_path) + "/svc", "step_" + STAMP + "_2.png")
    assert out()[-1] == "Screenshot saved to " + path
    assert png_size(path)[0] > 0
    assert not elsewhere.exists()
    assert sorted(os.listdir(folder)) == ["step_" + STAMP + ".png", "step_" + STAMP + "_2.png"]


def test_a_shot_taken_under_the_name_meanwhile_is_kept(gu, tmp_path, stamp, out):
    from fakes import FakeDriver
    path = os.path.join(str(tmp_path) + "/svc", "step_" + STAMP + ".png")

    class Racing(FakeDriver):
        """Another run saves its shot under the same name while this one writes."""
        def save_screenshot(self, filename):
            with open(path, "wb") as other:
                other.write(b"the other run's shot")
            return super().save_screenshot(filename)

    with pytest.raises(FileExistsError):
        gu.capture_screenshot(str(tmp_path), 1, "svc", "step", True, Racing())
    assert not any(line.startswith("Screenshot saved") for line in out())
    assert os.listdir(tmp_path / "svc") == [os.path.basename(path)]
    assert open(path, "rb").read() == b"the other run's shot"


# A child process with a file size limit of 100 bytes: every picture's write
# fails part-way with EFBIG (SIGXFSZ ignored), as on a full disk.  The browser
# is started before the limit is set.
SIZE_LIMITED = r"""
import os, resource, signal, sys
import kestrelflow.generic_utility as gu
base, url = sys.argv[1], sys.argv[2]
driver = None
if url:
    from kestrelflow.local_browser import open_chrome
    driver = open_chrome(headless=True)
try:
    if driver:
        driver.get(url)
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
    resource.setrlimit(resource.RLIMIT_FSIZE, (100, hard))
    try:
        gu.capture_screenshot(base, 1, "svc", "step", driver is not None, driver)
    except OSError as error:
        print("raised", type(error).__name__)
    resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
finally:
    if driver:
        driver.quit()
"""


@pytest.mark.parametrize("webdriver", [True, False], ids=["webdriver", "grabber"])
def test_a_full_disk_leaves_no_picture_and_raises(pages, tmp_path, webdriver):
    url = pages.url("basic.html") if webdriver else ""
    done = subprocess.run([sys.executable, "-c", SIZE_LIMITED, str(tmp_path), url],
                          capture_output=True, text=True, timeout=1800, env=child_env())
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0].startswith("save_path======> ") and lines[-1] == "raised OSError"
    assert not any(line.startswith("Screenshot saved") for line in lines)
    assert os.listdir(tmp_path / "svc") == []


class NoHardLinks:
    """The module's os on a file system without hard links (as FAT)."""

    def link(self, *args, **kwargs):
        raise PermissionError(1, "Operation not permitted")

    def __getattr__(self, name):
        return getattr(os, name)


def test_without_hard_links_shots_still_never_overwrite(gu, monkeypatch, tmp_path, stamp, out):
    from fakes import FakeDriver
    monkeypatch.setattr(gu, "os", NoHardLinks())
    for _ in range(2):
        gu.capture_screenshot(str(tmp_path), 1, "svc", "step", True, FakeDriver())
    names = ["step_" + STAMP + ".png", "step_" + STAMP + "_2.png"]
    assert [line for line in out() if line.startswith("Screenshot saved")] == \
        ["Screenshot saved to " + os.path.join(str(tmp_path) + "/svc", name) for name in names]
    assert sorted(os.listdir(tmp_path / "svc")) == names
    assert all(png_size(tmp_path / "svc" / name) == (1, 1) for name in names)
