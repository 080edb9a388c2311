"""Recording stand-ins for the failure paths a real browser will not produce on demand.

FakeDriver is a scripted WebDriver: lookups are answered per locator value
(an XPath, mostly), scripts by one answer, and every call made on it or on
the elements it hands out is logged in order in `driver.calls` as
(name, args, kwargs).  Recorder stands in for any other object or routine.

An answer is a value to return, an exception (class or instance) to raise,
or a function, called with the call's arguments, whose result is the answer.
"""
import types
from collections import namedtuple

from selenium.common.exceptions import NoAlertPresentException, NoSuchElementException

Call = namedtuple("Call", "name args kwargs")

_FUNCTIONS = (types.FunctionType, types.MethodType, types.BuiltinFunctionType)


def respond(answer, *args, **kwargs):
    if isinstance(answer, _FUNCTIONS):
        answer = answer(*args, **kwargs)
    if isinstance(answer, BaseException) or (
            isinstance(answer, type) and issubclass(answer, BaseException)):
        raise answer
    return answer


class Recorder:
    """Stands in for a routine, an object or a namespace.  A call on it, or
    on any attribute path below it, is logged in `calls` (shared by the whole
    tree) under its dotted name and answered by `answer`.  With `wraps`, the
    attributes are the wrapped object's own: plain values as they are, and
    calls logged, then passed through."""

    _NOTHING = object()

    def __init__(self, name="", answer=None, *, calls=None, wraps=_NOTHING):
        self.name, self.answer, self.wraps = name, answer, wraps
        self.calls = [] if calls is None else calls

    def __call__(self, *args, **kwargs):
        self.calls.append(Call(self.name, args, kwargs))
        if self.wraps is not Recorder._NOTHING:
            return self.wraps(*args, **kwargs)
        return respond(self.answer, *args, **kwargs)

    def __getattr__(self, attr):
        if attr.startswith("__"):
            raise AttributeError(attr)
        name = self.name + "." + attr if self.name else attr
        if self.wraps is Recorder._NOTHING:
            return Recorder(name, self.answer, calls=self.calls)
        value = getattr(self.wraps, attr)
        if not callable(value):
            return value
        return Recorder(name, calls=self.calls, wraps=value)


class _Lookups:
    """find_element / find_elements answered from a table of locator values."""

    def _init_lookups(self, elements, missing):
        self.elements = dict(elements or {})
        self.missing = missing

    def _answer(self, many, by, value):
        self._record("find_elements" if many else "find_element", (by, value), {})
        if value in self.elements:
            answer = respond(self.elements[value], by, value)
        elif self.missing is not None:
            answer = respond(self.missing, by, value)
        else:
            answer = None
        if answer is None:
            answer = []
        elif not isinstance(answer, (list, tuple)):
            answer = [answer]
        answer = list(answer)
        for element in answer:
            if isinstance(element, FakeElement):
                element._adopt(self._log_owner())
        if many:
            return answer
        if not answer:
            raise NoSuchElementException("no element at %s %r" % (by, value))
        return answer[0]

    def find_element(self, by="id", value=None):
        return self._answer(False, by, value)

    def find_elements(self, by="id", value=None):
        return self._answer(True, by, value)


class FakeElement(_Lookups):
    """An element of a scripted page.  `click`, `send_keys` and `clear` may be
    given answers (an exception makes the call fail); typing adds to the
    element's value and clearing empties it.  `elements` answers lookups
    below the element (the cells of a row)."""

    def __init__(self, text="", *, name="element", displayed=True, enabled=True, attributes=None,
                 elements=None, missing=None, click=None, send_keys=None, clear=None):
        self.text, self.name = text, name
        self.displayed, self.enabled = displayed, enabled
        self.attributes = dict(attributes or {})
        self.value = self.attributes.pop("value", "")
        self.answers = {"click": click, "send_keys": send_keys, "clear": clear}
        self.calls = []
        self.driver = None
        self._init_lookups(elements, missing)

    def _adopt(self, driver):
        if self.driver is None:
            self.driver = driver

    def _log_owner(self):
        return self.driver

    def _record(self, method, args, kwargs):
        self.calls.append(Call(method, args, kwargs))
        if self.driver is not None:
            self.driver.calls.append(Call(self.name + "." + method, args, kwargs))

    def click(self):
        self._record("click", (), {})
        return respond(self.answers["click"])

    def send_keys(self, *keys):
        self._record("send_keys", keys, {})
        respond(self.answers["send_keys"], *keys)
        for key in keys:
            self.value += "".join(map(str, key)) if isinstance(key, (list, tuple)) else str(key)

    def clear(self):
        self._record("clear", (), {})
        respond(self.answers["clear"])
        self.value = ""

    def is_displayed(self):
        self._record("is_displayed", (), {})
        return self.displayed

    def is_enabled(self):
        self._record("is_enabled", (), {})
        return self.enabled

    def get_attribute(self, name):
        self._record("get_attribute", (name,), {})
        if name == "value":
            return self.value
        return self.attributes.get(name)

    def __repr__(self):
        return "<FakeElement %s %r>" % (self.name, self.text)


class _Alert:
    def __init__(self, driver, text):
        self.driver, self.text = driver, text

    def accept(self):
        self.driver._record("switch_to.alert.accept", (), {})
        self.driver.alert = None

    def dismiss(self):
        self.driver._record("switch_to.alert.dismiss", (), {})
        self.driver.alert = None


class _SwitchTo:
    def __init__(self, driver):
        self.driver = driver

    @property
    def alert(self):
        if self.driver.alert is None:
            raise NoAlertPresentException("no such alert")
        return _Alert(self.driver, self.driver.alert)


class FakeDriver(_Lookups):
    """A scripted browser.

    elements      {locator value: answer} for find_element(s); an answer that
                  is a list serves find_elements, and its first element
                  find_element (an empty one raises NoSuchElementException)
    missing       the answer for values not in the table; by default none
                  is found, as in a browser
    script_answer the answer of every execute_script(script, *args)
    current_url   the page's address, or an answer (an exception to fail)
    alert         the text of a pending alert, None for none
    """

    def __init__(self, elements=None, *, missing=None, script_answer=None,
                 current_url="about:blank", alert=None):
        self.calls = []
        self.script_answer = script_answer
        self.url = current_url
        self.alert = alert
        self.switch_to = _SwitchTo(self)
        self._init_lookups(elements, missing)

    def _log_owner(self):
        return self

    def _record(self, method, args, kwargs):
        self.calls.append(Call(method, args, kwargs))

    @property
    def scripts(self):
        """The scripts run so far, in order."""
        return [call.args[0] for call in self.calls if call.name == "execute_script"]

    @property
    def current_url(self):
        return respond(self.url)

    def execute_script(self, script, *args):
        self._record("execute_script", (script, *args), {})
        return respond(self.script_answer, script, *args)

    def get(self, url):
        self._record("get", (url,), {})
        self.url = url

    def refresh(self):
        self._record("refresh", (), {})

    def save_screenshot(self, filename):
        """Writes a 1x1 PNG where the browser would write the page's picture."""
        self._record("save_screenshot", (filename,), {})
        from PIL import Image
        Image.new("RGB", (1, 1)).save(filename, "PNG")
        return True


class FakeTime:
    """Stands in for the module's `time`: a sleep takes no time.

    record  keep every sleep's argument in `sleeps` (off for loops of
            thousands of calls, where the list would grow)
    tick    when given, time(), monotonic() and perf_counter() advance by
            this many seconds at every look instead of reading the clock
    strict  a negative sleep raises ValueError, as time.sleep does

    Every other name is the real module's.
    """

    def __init__(self, *, record=True, tick=None, strict=False):
        import time as real
        self._real = real
        self.sleeps = []
        self._record, self._tick, self._strict = record, tick, strict
        self._now = 1.7e9

    def sleep(self, seconds):
        if self._strict and seconds < 0:
            raise ValueError("sleep length must be non-negative")
        if self._record:
            self.sleeps.append(seconds)

    def _look(self):
        self._now += self._tick
        return self._now

    def __getattr__(self, name):
        if self._tick is not None and name in ("time", "monotonic", "perf_counter"):
            return self._look
        return getattr(self._real, name)

