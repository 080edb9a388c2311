"""Session factories and page zoom."""
import pytest
from selenium.webdriver.firefox.options import Options as RealFirefoxOptions

import kestrelflow.generic_utility as gu
from testbed import LocalChromeDriverManager, open_chrome, local_chrome_options_class

FIXED = ["--disable-notifications", "--disable-infobars", "--disable-extensions"]


class Recorder:
    """Records constructor and method calls in one shared log."""

    def __init__(self, log, name, result=None):
        self.log, self.name, self.result = log, name, result

    def __call__(self, *args, **kwargs):
        self.log.append((self.name, args, kwargs))
        return self.result

    def __getattr__(self, attr):
        return Recorder(self.log, self.name + "." + attr, self.result)


class FakeOptions:
    def __init__(self):
        self.arguments = []

    def add_argument(self, switch):
        self.arguments.append(switch)


@pytest.fixture
def fake_chrome(monkeypatch):
    log = []

    class Manager:
        def install(self):
            log.append(("install",))
            return "/drivers/chromedriver"

    monkeypatch.setattr(gu, "ChromeOptions", FakeOptions)
    monkeypatch.setattr(gu, "ChromeDriverManager", Manager)
    monkeypatch.setattr(gu, "ChromeService", lambda path: ("service", path))
    monkeypatch.setattr(gu, "webdriver", Recorder(log, "webdriver", "driver"))
    return log


def test_real_headless_chromium_with_both_flags(pages):
    built = []
    base = local_chrome_options_class(gu.ChromeOptions)

    class Recording(base):
        def __init__(self):
            super().__init__()
            built.append(self)

    installs = LocalChromeDriverManager.installs
    saved = gu.ChromeOptions
    gu.ChromeOptions = Recording
    try:
        driver = open_chrome(headless=True, maximize=True)
    finally:
        gu.ChromeOptions = saved
    try:
        assert isinstance(driver, gu.webdriver.Chrome)
        assert LocalChromeDriverManager.installs == installs + 1
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
    install, (name, args, call_kwargs) = fake_chrome
    assert install == ("install",)
    assert name == "webdriver.Chrome" and args == ()
    assert call_kwargs["service"] == ("service", "/drivers/chromedriver")
    assert call_kwargs["options"].arguments == switches


def test_chrome_errors_propagate(fake_chrome, monkeypatch):
    class Offline:
        def install(self):
            raise ConnectionError("offline")

    monkeypatch.setattr(gu, "ChromeDriverManager", Offline)
    with pytest.raises(ConnectionError):
        gu.Chrome_Driver_info()


@pytest.fixture
def fake_firefox(monkeypatch):
    log = []

    class Driver:
        def maximize_window(self):
            log.append(("maximize_window",))

    class Gecko:
        def install(self):
            log.append(("install",))
            return "/drivers/geckodriver"

    def firefox(**kwargs):
        log.append(("Firefox", kwargs))
        return Driver()

    class Webdriver:
        Firefox = staticmethod(firefox)

    monkeypatch.setattr(gu, "webdriver", Webdriver)
    monkeypatch.setattr(gu, "GeckoDriverManager", Gecko)
    return log


def test_firefox_auto_mode(fake_firefox):
    gu.FireFox_Driver_info(headless=True)
    assert fake_firefox[0] == ("install",)
    name, kwargs = fake_firefox[1]
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
    assert len(fake_firefox) == 2  # no maximize


@pytest.mark.parametrize("mode", ["manual", "MANUAL", "Manual"])
def test_firefox_manual_mode(fake_firefox, mode):
    gu.FireFox_Driver_info(True, False, False, mode, "/opt/ff/firefox", "/opt/ff/geckodriver")
    _, kwargs = fake_firefox[0]
    assert kwargs["options"].binary_location == "/opt/ff/firefox"
    assert kwargs["options"].page_load_strategy == "normal"  # untouched default
    assert kwargs["options"].arguments == []
    assert kwargs["service"].path == "/opt/ff/geckodriver"
    assert fake_firefox[1] == ("maximize_window",)


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
    seen = []

    class Webdriver:
        @staticmethod
        def Edge(**kwargs):
            seen.append(kwargs)
            return "edge"

    monkeypatch.setattr(gu, "webdriver", Webdriver)
    assert gu.Edge_Driver_info(maximize=True, headless=True) == "edge"
    assert list(seen[0]) == ["options"]
    assert seen[0]["options"].arguments == FIXED + ["--headless=new", "--start-maximized"]


def test_zoom_of_a_real_page(driver, pages):
    driver.get(pages.url("basic.html"))
    zoom = lambda: driver.execute_script("return document.body.style.zoom")
    assert gu.set_zoom(driver) is None
    assert zoom() == "70%"
    gu.set_zoom(driver, 100)
    assert zoom() == "100%"
    gu.set_zoom(driver, zoom_level="85")
    assert zoom() == "85%"
