"""Application details, the application number and the letter upload on an
opened application of the fake portal."""
import pytest

import kestrelflow.generic_utility as gu

from workflows.timeline import X, wait_for_id

COLUMNS = ["Service", "Application Number", "Application Start Date", "On Behalf Of",
           "Submit Date", "Current Inbox"]
READ = {"max_retries": 3, "retry_delay": 1, "waittime": 3}


def open_application(driver, portal, number):
    driver.get(portal.devu_url("/private#application/" + number))
    wait_for_id(driver, "upload-letter")
    return driver


@pytest.mark.parametrize("number, category, expected", [
    ("2025000123", "DEVU", ["Land Ownership Certificate", "2025000123", "2025-03-01 09:15:00",
                            "Mariam Saeed", "2025-03-02 11:40:12", "Land Registry Officer"]),
    # the category defaults to DEVU
    ("2025000123", None, ["Land Ownership Certificate", "2025000123", "2025-03-01 09:15:00",
                          "Mariam Saeed", "2025-03-02 11:40:12", "Land Registry Officer"]),
    ("2025000456", "Reservation", ["Plot Reservation", "2025000456", "2025-04-10 08:00:00",
                                   "Omar Khalil", "2025-04-11 10:05:30", "Reservations Desk"]),
    # an application with seven panels: its details are in the last one
    ("2025000321", "DEVU", ["Site Plan Issuance", "2025000321", "2025-07-07 10:10:10",
                            "Khalid Musa", "2025-07-08 08:08:08", "Planning Office"]),
    # Arabic labels: none of the six is found
    ("2025000789", "DEVU", [None] * 6),
    # a reservation read as a standard application: its summary has no labels
    ("2025000456", "DEVU", [None] * 6),
])
def test_details_panel_becomes_the_record(devu, portal, timeline, number, category, expected):
    open_application(devu, portal, number)
    frame = gu.Getting_Application_Detials(devu, *([category] if category else []))
    assert list(frame.columns) == COLUMNS
    assert frame.values.tolist() == [expected]
    assert timeline.calls() == [("extract_text", (X(2 if category == "Reservation" else 3),), READ)]


def test_page_without_details_gives_the_empty_frame(devu, portal, out):
    devu.get(portal.devu_url("/private#services"))
    frame = gu.Getting_Application_Detials(devu, "Reservation")
    assert frame.empty and list(frame.columns) == []
    lines = out()
    assert lines[-2:] == ["All XPaths failed after max retries.", "Failed to extract application details text."]


def test_unknown_category_fails_before_reading(devu, portal, timeline):
    with pytest.raises(ValueError, match="'reservation'"):
        gu.Getting_Application_Detials(devu, "reservation")
    assert timeline == []


# ---- the application number -----------------------------------------------------------

@pytest.mark.parametrize("enviroment, panels", [("DEVU", 1), ("Durezo_vuda", 2)])
def test_number_is_read_at_the_first_attempt(devu, portal, timeline, enviroment, panels):
    open_application(devu, portal, "2025000123")
    assert gu.scrape_application_number(devu, enviroment) == "2025000123"
    assert timeline == [
        ("print", "Attempt 1 of 3..."),
        ("extract_text", (X(panels),), READ),
        ("application_details_formatting", (timeline[2][1][0],), {}),
        ("print", "Application number found: 2025000123"),
    ]


def test_number_found_at_the_second_attempt(devu, portal, timeline, clock):
    open_application(devu, portal, "2025000999")  # its number panel is still empty
    real_sleep = clock.sleep

    def sleep(seconds):
        devu.execute_script("window.devu.setShownNumber('2025000999')")
        real_sleep(seconds)
    clock.sleep = sleep
    assert gu.scrape_application_number(devu, "DEVU", 3, 7) == "2025000999"
    assert timeline.lines() == [
        "Attempt 1 of 3...",
        "Application number is empty. Retrying...",
        "Attempt 2 of 3...",
        "Application number found: 2025000999",
    ]
    assert timeline.sleeps() == [7]


def test_no_number_after_every_attempt(devu, portal, timeline, out):
    devu.get(portal.devu_url("/private#services"))
    assert gu.scrape_application_number(devu, "DEVU", max_retries=2, retry_delay=0.5) is None
    assert timeline.lines() == [
        "Attempt 1 of 2...", "Application number is empty. Retrying...",
        "Attempt 2 of 2...", "Application number is empty. Retrying...",
        "Failed to retrieve application number after maximum retries.",
    ]
    assert timeline.sleeps() == [0.5, 0.5]
    assert "Failed to extract application details text." in out()


def test_no_attempts_prints_only_the_failure(devu, timeline):
    assert gu.scrape_application_number(devu, "DEVU", 0) is None
    assert timeline == [("print", "Failed to retrieve application number after maximum retries.")]


def test_unknown_environment_fails_after_its_attempt_line(devu, timeline):
    with pytest.raises(ValueError, match="'Durezo'"):
        gu.scrape_application_number(devu, "Durezo")
    assert timeline == [("print", "Attempt 1 of 3...")]


# ---- the letter upload ---------------------------------------------------------------------

class FakePointer:
    """Stands in for pyautogui: an unusual screen, recorded moves and keys."""

    class Size:
        width, height = 1366, 768

    def __init__(self):
        self.actions = []

    def size(self):
        return self.Size()

    def moveTo(self, x, y):
        self.actions.append(("moveTo", x, y))

    def write(self, text):
        self.actions.append(("write", text))

    def press(self, key):
        self.actions.append(("press", key))


@pytest.fixture
def pointer(monkeypatch):
    fake = FakePointer()
    monkeypatch.setattr(gu, "pyautogui", fake)
    return fake


UPLOAD = ["//button[@id='upload-letter']"]


@pytest.mark.parametrize("screen, point", [
    ("first", (341, 384)), ("FIRST", (341, 384)), ("Second", (1366 + 341, 384)),
])
def test_letter_path_is_typed_into_the_dialog(devu, portal, timeline, pointer, screen, point):
    open_application(devu, portal, "2025000123")
    path = r"C:\Letters\خطاب 1.pdf"
    assert gu.upload_official_letter(devu, UPLOAD, ["Upload official letter"], path, screen) is None
    which = "first" if screen.lower() == "first" else "second"
    assert timeline == [
        ("print", "Clicking on the upload button..."),
        ("clicking_on_element_by_all_option", (X(1), ["Upload official letter"]),
         {"max_retries": 4, "timeout": 5, "scroll": True}),
        ("sleep", 2),
        ("print", "Focusing on the %s screen." % which),
        ("sleep", 2),
        ("print", "Entering file path: " + path),
        ("sleep", 2),
        ("print", "File uploaded successfully: " + path),
    ]
    assert pointer.actions == [("moveTo", *point), ("write", path), ("press", "enter")]
    assert portal.details("upload clicked") == ["2025000123"]


def test_other_screen_raises_after_the_click(devu, portal, timeline, pointer):
    open_application(devu, portal, "2025000123")
    with pytest.raises(ValueError, match=r"^Invalid target_screen. Choose 'first' or 'second'.$"):
        gu.upload_official_letter(devu, UPLOAD, [""], "letter.pdf", "third")
    assert portal.details("upload clicked") == ["2025000123"]
    assert pointer.actions == []
    assert timeline.sleeps() == [2]
