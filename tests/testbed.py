"""Opening the real browser of the test bed (shared by the fixtures and the tests)."""
import os
import shutil


def chromedriver_path():
    return shutil.which("chromedriver") or "/usr/bin/chromedriver"


class LocalChromeDriverManager:
    """Stands in for the driver manager: the distribution's chromedriver, no download."""
    installs = 0

    def install(self):
        LocalChromeDriverManager.installs += 1
        return chromedriver_path()


def local_chrome_options_class(base):
    class LocalChromeOptions(base):
        """Adds what Chromium needs to run as root in a container."""
        def __init__(self):
            super().__init__()
            for switch in ("--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,900"):
                self.add_argument(switch)
            for binary in ("/usr/bin/chromium", "/usr/bin/chromium-browser"):
                if os.path.exists(binary):
                    self.binary_location = binary
                    break
    return LocalChromeOptions


def open_chrome(**kwargs):
    """Opens headless Chromium through Chrome_Driver_info itself, with the
    module's driver manager and options class rebound for this machine."""
    import kestrelflow.generic_utility as gu
    saved = gu.ChromeDriverManager, gu.ChromeOptions
    gu.ChromeDriverManager = LocalChromeDriverManager
    gu.ChromeOptions = local_chrome_options_class(saved[1])
    try:
        return gu.Chrome_Driver_info(**kwargs)
    finally:
        gu.ChromeDriverManager, gu.ChromeOptions = saved


