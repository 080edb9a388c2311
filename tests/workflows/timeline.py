"""The order of what a workflow does: its calls of the module's routines,
its own pauses and its own printed lines."""

import threading

LOADING = "/html/body/div[3]/div[1]/div[2]/div[3]"

# The ZIV account of the fake portal in the tests.
ZIV_USER = "cashier.test"
ZIV_PASSWORD = "k"

# The module's routines a workflow calls, and the positions of their XPath-list arguments.
SPIED = {
    "clicking_on_element_by_all_option": (1,),
    "input_data_by_all_option": (1,),
    "wait_for_page_to_load": (),
    "capture_screenshot": (),
    "extract_text": (1,),
    "get_all_xpaths": (),
    "dismiss_alerts": (),
    "get_element_with_retries": (),
    "application_details_formatting": (),
    "enter_municipality": (1, 3, 4),
    "enter_plot_number": (1,),
    "enter_district_or_zone": (1, 3, 4),
    "enter_land_use": (1, 2, 4),
}


class X:
    """Stands for an XPath list of n entries in a timeline (the XPaths
    themselves are checked by what they find on the fake portal)."""

    def __init__(self, n):
        self.n = n

    def __eq__(self, other):
        return isinstance(other, X) and other.n == self.n

    def __repr__(self):
        return "X(%d)" % self.n


class Pause:
    """The seconds a pause passed to time.sleep, equal to a number of the same
    repr only: 2 and 2.0 differ, as they do to a clock that records them."""

    def __init__(self, seconds):
        self.seconds = seconds

    def __eq__(self, other):
        other = other.seconds if isinstance(other, Pause) else other
        return repr(self.seconds) == repr(other)

    def __repr__(self):
        return repr(self.seconds)


class Timeline(list):
    """What a workflow did, in order: ("sleep", Pause(s)), ("print", line) and
    (routine, args after the driver, kwargs) for the module routines it
    called.  The callees' own pauses and lines are left out."""

    def __init__(self, gu, clock, monkeypatch):
        super().__init__()
        self.depth = 0
        self.driver = None
        for name, xpath_positions in SPIED.items():
            monkeypatch.setattr(gu, name, self._spy(name, getattr(gu, name), xpath_positions))
        real_sleep = clock.sleep

        def sleep(seconds):
            if self.depth == 0:
                self.append(("sleep", Pause(seconds)))
            real_sleep(seconds)
        monkeypatch.setattr(clock, "sleep", sleep)

        import builtins
        real_print = builtins.print

        main = threading.main_thread()

        def print_(*args, sep=" ", **kwargs):
            if self.depth == 0 and kwargs.get("file") is None and threading.current_thread() is main:
                self.append(("print", sep.join(str(a) for a in args)))
            real_print(*args, sep=sep, **kwargs)
        monkeypatch.setattr(builtins, "print", print_)

    def _spy(self, name, real, xpath_positions):
        def spy(*args, **kwargs):
            shown = list(args)
            if shown and not isinstance(shown[0], (list, str, type(None))) and hasattr(shown[0], "find_element"):
                shown = shown[1:]
                offset = 1
            else:
                offset = 0
            for position in xpath_positions:
                index = position - offset
                if 0 <= index < len(shown) and isinstance(shown[index], list) and shown[index] not in ([""], []):
                    shown[index] = X(len(shown[index]))
            if self.depth == 0:
                self.append((name, tuple(shown), kwargs))
            self.depth += 1
            try:
                return real(*args, **kwargs)
            finally:
                self.depth -= 1
        return spy

    def calls(self):
        return [entry for entry in self if entry[0] not in ("sleep", "print")]

    def lines(self):
        return [entry[1] for entry in self if entry[0] == "print"]

    def sleeps(self):
        return [entry[1] for entry in self if entry[0] == "sleep"]


def wait_for_id(driver, element_id, timeout=10):
    """Waits until the element with the id is in the page: the fake portal
    routes by the URL fragment, and a new fragment is drawn by its script
    after get() has returned."""
    from selenium.webdriver.support.ui import WebDriverWait
    return WebDriverWait(driver, timeout, poll_frequency=0.05).until(
        lambda d: d.find_element("id", element_id))
