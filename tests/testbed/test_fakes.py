"""The recording fake driver answers as the real browser does on the same page,
and logs what is asked of it in order."""
import pytest
from PIL import Image
from selenium.common.exceptions import (NoAlertPresentException, NoSuchElementException,
                                        TimeoutException)
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import WebDriverWait

from fakes import FakeDriver, FakeElement

FIELD = "//input[@id='name']"
HIDDEN = "//div[@id='hidden']"


def fake_form():
    """testbed_form.html, scripted."""
    rows = [FakeElement("A B", name="row", elements={"./td[2]": FakeElement("B")}),
            FakeElement("C D", name="row", elements={"./td[2]": FakeElement("D")})]
    return FakeDriver({"//tr": rows,
                       FIELD: FakeElement(name="field", attributes={"value": "old"}),
                       HIDDEN: FakeElement("", displayed=False)})


@pytest.fixture(params=["browser", "fake"])
def form(request, pages):
    if request.param == "fake":
        return fake_form()
    driver = request.getfixturevalue("driver")
    driver.get(pages.url("testbed_form.html"))
    return driver


def raise_alert(form, text):
    if isinstance(form, FakeDriver):
        form.alert = text
    else:
        form.execute_script("var text = arguments[0]; setTimeout(function () { alert(text); }, 0)",
                            text)
        WebDriverWait(form, 2).until(EC.alert_is_present())


def test_lookups_rows_and_their_cells(form):
    rows = form.find_elements(By.XPATH, "//tr")
    assert [row.find_element(By.XPATH, "./td[2]").text for row in rows] == ["B", "D"]
    assert form.find_element(By.XPATH, "//tr").text == "A B"
    assert form.find_elements(By.XPATH, "//nowhere") == []
    with pytest.raises(NoSuchElementException):
        form.find_element(By.XPATH, "//nowhere")


def test_waits_see_what_is_displayed(form):
    field = WebDriverWait(form, 0.3).until(EC.element_to_be_clickable((By.XPATH, FIELD)))
    assert field.get_attribute("value") == "old"
    with pytest.raises(TimeoutException):
        WebDriverWait(form, 0.3).until(EC.element_to_be_clickable((By.XPATH, HIDDEN)))


def test_typing_after_clearing(form):
    field = form.find_element(By.XPATH, FIELD)
    field.send_keys("-x")
    assert field.get_attribute("value") == "old-x"
    field.clear()
    field.send_keys("new", "er")
    assert field.get_attribute("value") == "newer"


def test_alert_is_accepted_once(form):
    with pytest.raises(NoAlertPresentException):
        form.switch_to.alert
    raise_alert(form, "Proceed?")
    alert = form.switch_to.alert
    assert alert.text == "Proceed?"
    alert.accept()
    with pytest.raises(NoAlertPresentException):
        form.switch_to.alert


def test_address_and_screenshot(form, pages, tmp_path):
    url = pages.url("basic.html")
    form.get(url)
    assert form.current_url == url
    path = str(tmp_path / "shot.png")
    assert form.save_screenshot(path) is True
    with Image.open(path) as image:
        assert image.format == "PNG"


# ---- the fake alone ------------------------------------------------------------

@pytest.mark.parametrize("answer, seen", [
    (FakeElement("one"), "one"),
    ([FakeElement("first"), FakeElement("second")], "first"),
    ([], NoSuchElementException),
    (lambda by, value: FakeElement(by + " " + value), "xpath //a"),
    (KeyboardInterrupt, KeyboardInterrupt),
    (ValueError("broken"), ValueError),
], ids=["element", "list", "empty list", "function", "exception class", "exception"])
def test_scripted_answers(answer, seen):
    driver = FakeDriver({"//a": answer})
    if isinstance(seen, str):
        assert driver.find_element(By.XPATH, "//a").text == seen
    else:
        with pytest.raises(seen):
            driver.find_element(By.XPATH, "//a")


def test_calls_of_the_driver_and_its_elements_share_one_log():
    driver = fake_form()
    driver.get("http://portal/")
    field = driver.find_element(By.XPATH, FIELD)
    field.clear()
    field.send_keys("abc")
    driver.execute_script("return 1", field)
    driver.refresh()
    assert driver.calls == [
        ("get", ("http://portal/",), {}),
        ("find_element", ("xpath", FIELD), {}),
        ("field.clear", (), {}),
        ("field.send_keys", ("abc",), {}),
        ("execute_script", ("return 1", field), {}),
        ("refresh", (), {}),
    ]
    assert field.calls == [("clear", (), {}), ("send_keys", ("abc",), {})]
