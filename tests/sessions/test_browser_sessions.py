"""Session factories and page zoom."""
import pytest
from selenium.webdriver.firefox.options import Options as RealFirefoxOptions

import kestrelflow.generic_utility as gu
from fakes import Recorder
from kestrelflow.local_browser import local_chrome

FIXED = ["--disable-notifications", "--disable-infobars", "--disable-extensions"]


class FakeOptions:
    def __init__(self):
        self.arguments = []

    def add_argument(self, switch):
        self.arguments.append(switch)


@pytest.fixture
def fake_chrome(monkeypatch):
    log = []
    manager = Recorder("ChromeDriverManager()", "/drivers/chromedriver", calls=log)
    monkeypatch.setattr(gu, "ChromeOptions", FakeOptions)
    monkeypatch.setattr(gu, "ChromeDriverManager", Recorder("ChromeDriverManager", manager, calls=log))
    monkeypatch.setattr(gu, "ChromeService", lambda path: ("service", path))
    monkeypatch.setattr(gu, "webdriver", Recorder("webdriver", "driver", calls=log))
    return log


def test_real_headless_chromium_with_both_flags(pages):
    built, installs = [], []
    saved = gu.ChromeOptions, gu.ChromeDriverManager
    with local_chrome(gu):
        local_options, local_manager = gu.ChromeOptions, gu.ChromeDriverManager

        class Recording(local_options):
            def __init__(self):
                super().__init__()
                built.append(self)

        class Counting(local_manager):
            def install(self):
                installs.append(self)
                return super().install()

        gu.ChromeOptions, gu.ChromeDriverManager = Recording, Counting
        driver = gu.Chrome_Driver_info(headless=True, maximize=True)
    try:
        assert (gu.ChromeOptions, gu.ChromeDriverManager) == saved
        assert isinstance(driver, gu.webdriver.Chrome)
        assert len(installs) == 1
        # The factory's switches follow the machine's own, in the fixed order.
        assert built[0].arguments[-5:] == FIXED + ["--headless", "--start-maximized"]
        driver.get(pages.url("basic.html"))
        assert driver.title == "Basic page"
    finally:
        driver.quit()


@pytest.mark.parametrize("kwargs,switches", [
    ({}, FIXED),
    ({"headless": 1}, FIXED + ["--headless"]),
    ({"maximize": "yes"}, FIXED + ["--start-maximized"]),
    ({"maximize": 0, "headless": ""}, FIXED),
])
def test_chrome_switches_and_calls(fake_chrome, kwargs, switches):
    assert gu.Chrome_Driver_info(**kwargs) == "driver"
    made, install, (name, args, call_kwargs) = fake_chrome
    assert made == ("ChromeDriverManager", (), {})
    assert install == ("ChromeDriverManager().install", (), {})
    assert name == "webdriver.Chrome" and args == ()
    assert call_kwargs["service"] == ("service", "/drivers/chromedriver")
    assert call_kwargs["options"].arguments == switches


def test_chrome_errors_propagate(fake_chrome, monkeypatch):
    offline = Recorder("ChromeDriverManager()", ConnectionError("offline"))
    monkeypatch.setattr(gu, "ChromeDriverManager", Recorder("ChromeDriverManager", offline))
    with pytest.raises(ConnectionError):
        gu.Chrome_Driver_info()


@pytest.fixture
def fake_firefox(monkeypatch):
    log = []
    driver = Recorder("driver", calls=log)
    manager = Recorder("GeckoDriverManager()", "/drivers/geckodriver", calls=log)
    monkeypatch.setattr(gu, "webdriver", Recorder("webdriver", driver, calls=log))
    monkeypatch.setattr(gu, "GeckoDriverManager", Recorder("GeckoDriverManager", manager, calls=log))
    return log


def test_firefox_auto_mode(fake_firefox):
    gu.FireFox_Driver_info(headless=True)
    _, install, (name, args, kwargs) = fake_firefox  # and no maximize
    assert install == ("GeckoDriverManager().install", (), {})
    assert name == "webdriver.Firefox" and args == ()
    options, service = kwargs["options"], kwargs["service"]
    assert isinstance(options, RealFirefoxOptions)
    assert options.page_load_strategy == "eager"
    assert options.arguments == ["--headless"]
    ours = list(options.preferences.items())[-5:]  # after Selenium's own defaults
    assert ours == [
        ("dom.webnotifications.enabled", False),
        ("dom.push.enabled", False),
        ("dom.speechrecognition.enabled", False),
        ("dom.webspeech.synth.enabled", False),
        ("media.volume_scale", "0.0"),
    ]
    assert service.path == "/drivers/geckodriver"


@pytest.mark.parametrize("mode", ["manual", "MANUAL", "Manual"])
def test_firefox_manual_mode(fake_firefox, mode):
    gu.FireFox_Driver_info(True, False, False, mode, "/opt/ff/firefox", "/opt/ff/geckodriver")
    (_, _, kwargs), maximize = fake_firefox
    assert kwargs["options"].binary_location == "/opt/ff/firefox"
    assert kwargs["options"].page_load_strategy == "normal"  # untouched default
    assert kwargs["options"].arguments == []
    assert kwargs["service"].path == "/opt/ff/geckodriver"
    assert maximize == ("driver.maximize_window", (), {})


def test_firefox_mode_must_be_text(fake_firefox):
    with pytest.raises(AttributeError):
        gu.FireFox_Driver_info(mode=None)


def test_edge_without_a_driver_prints_one_line_and_returns_none(monkeypatch, out):
    monkeypatch.setenv("SE_OFFLINE", "true")
    assert gu.Edge_Driver_info(headless=True) is None
    # One print call: Selenium's message text itself ends in a line break.
    lines = [line for line in out() if line]
    assert len(lines) == 1 and lines[0].startswith("[Edge Driver Error] Message: ")


def test_edge_switches(monkeypatch):
    webdriver = Recorder("webdriver", "edge")
    monkeypatch.setattr(gu, "webdriver", webdriver)
    assert gu.Edge_Driver_info(maximize=True, headless=True) == "edge"
    [(name, args, kwargs)] = webdriver.calls
    assert name == "webdriver.Edge" and args == () and list(kwargs) == ["options"]
    assert kwargs["options"].arguments == FIXED + ["--headless=new", "--start-maximized"]


def test_zoom_of_a_real_page(driver, pages):
    driver.get(pages.url("basic.html"))
    zoom = lambda: driver.execute_script("return document.body.style.zoom")
    assert gu.set_zoom(driver) is None
    assert zoom() == "70%"
    gu.set_zoom(driver, 100)
    assert zoom() == "100%"
    gu.set_zoom(driver, zoom_level="85")
    assert zoom() == "85%"
