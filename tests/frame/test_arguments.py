"""Argument binding: Python's rules for positional-or-keyword parameters."""

import pytest

import kestrelflow.generic_utility as gu
from fakes import FakeDriver


@pytest.mark.parametrize("call,message", [
    (lambda: gu.Chrome_Driver_info(1, 2, 3),
     "Chrome_Driver_info() takes at most 2 positional arguments (3 given)"),
    (lambda: gu.extract_text(),
     "extract_text() takes at least 2 positional arguments (0 given)"),
    (lambda: gu.extract_text(None, [], 1, 2, 3, 4),
     "extract_text() takes at most 5 positional arguments (6 given)"),
    (lambda: gu.get_shadow_root(None),
     "get_shadow_root() takes exactly 2 positional arguments (1 given)"),
    (lambda: gu.page_is_completed(),
     "page_is_completed() takes exactly 1 positional argument (0 given)"),
    (lambda: gu.page_is_completed(1, 2),
     "page_is_completed() takes exactly 1 positional argument (2 given)"),
    (lambda: gu.set_zoom(zoom_level=3),
     "set_zoom() takes at least 1 positional argument (1 given)"),
    (lambda: gu.set_zoom(None, zoom=3),
     "set_zoom() got an unexpected keyword argument 'zoom'"),
    (lambda: gu.set_zoom(None, driver=None),
     "set_zoom() got multiple values for argument 'driver'"),
    (lambda: gu.authenticate_gmail(1),
     "authenticate_gmail() takes no arguments (1 given)"),
    (lambda: gu.move_mouse_to_second_screen(x=1),
     "move_mouse_to_second_screen() takes no keyword arguments"),
])
def test_argument_errors_do_not_run_the_body(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_positional_keyword_and_default_binding():
    driver = FakeDriver()
    gu.set_zoom(driver)
    gu.set_zoom(driver, 100)
    gu.set_zoom(zoom_level="85", driver=driver)
    gu.set_zoom(*(driver,), **{"zoom_level": 1.5})
    assert driver.scripts == [
        "document.body.style.zoom='70%'",
        "document.body.style.zoom='100%'",
        "document.body.style.zoom='85%'",
        "document.body.style.zoom='1.5%'",
    ]


def test_keyword_names_need_not_be_interned():
    driver = FakeDriver()
    name = "".join(["zoom", "_level"])
    gu.set_zoom(driver, **{name: 10})
    assert driver.scripts == ["document.body.style.zoom='10%'"]


def test_exception_leaving_a_routine_names_it_in_the_traceback():
    with pytest.raises(ValueError) as info:
        gu.set_zoom(FakeDriver(script_answer=ValueError("no page")))
    entries = [(e.name, e.path) for e in info.traceback]
    assert ("kestrelflow.generic_utility.set_zoom", "kestrelflow/generic_utility") in entries
    # The routine's entry sits between the caller and the failing Python frame.
    names = [e.name for e in info.traceback]
    assert names.index("kestrelflow.generic_utility.set_zoom") < names.index("execute_script")

