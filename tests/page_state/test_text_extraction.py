"""Reading element texts with retries, and the XPath of every element."""
import pytest

from fakes import FakeDriver

GREETING = "//p[@id='greeting']"
MISSING = "//p[@id='nowhere']"


@pytest.fixture
def text_page(open_page):
    return open_page("evidence_text.html")


def test_present_element_returns_its_text_at_once(gu, text_page, clock, out):
    assert gu.extract_text(text_page, [GREETING], waittime=1) == "Hello evidence"
    assert out() == ["Successfully extracted text from XPath " + GREETING]
    assert clock.sleeps == []


@pytest.mark.parametrize("xpath", ["//span[@id='blank']", "//div[@id='hidden']"])
def test_element_without_visible_text_gives_empty_string_not_false(gu, text_page, clock, out, xpath):
    result = gu.extract_text(text_page, [xpath], waittime=1)
    assert result == "" and result is not False
    assert out() == ["Successfully extracted text from XPath " + xpath]


def test_missing_xpath_is_retried_then_the_next_one_is_read(gu, text_page, clock, out):
    result = gu.extract_text(text_page, [MISSING, GREETING], max_retries=2, retry_delay=5,
                             waittime=0.1)
    assert result == "Hello evidence"
    assert out() == [
        "Attempt 1: Error extracting text for XPath " + MISSING + " -",
        "Retrying XPath " + MISSING + " in 5 seconds...",
        "Attempt 2: Error extracting text for XPath " + MISSING + " -",
        "Failed to extract text for XPath " + MISSING + " after 2 attempts.",
        "Successfully extracted text from XPath " + GREETING,
    ]
    assert clock.sleeps == [5]


def test_every_xpath_missing_returns_false_after_default_retries(gu, text_page, clock, out):
    assert gu.extract_text(text_page, [MISSING], waittime=0.1) is False
    assert out() == [
        "Attempt 1: Error extracting text for XPath " + MISSING + " -",
        "Retrying XPath " + MISSING + " in 1 seconds...",
        "Attempt 2: Error extracting text for XPath " + MISSING + " -",
        "Retrying XPath " + MISSING + " in 1 seconds...",
        "Attempt 3: Error extracting text for XPath " + MISSING + " -",
        "Failed to extract text for XPath " + MISSING + " after 3 attempts.",
        "All XPaths failed after max retries.",
    ]
    assert clock.sleeps == [1, 1]


def test_no_attempts_and_no_xpaths_look_nothing_up(gu, clock, out):
    driver = FakeDriver()
    assert gu.extract_text(driver, [GREETING, MISSING], max_retries=0) is False
    assert gu.extract_text(driver, []) is False
    assert out() == ["All XPaths failed after max retries."] * 2
    assert driver.calls == [] and clock.sleeps == []
    with pytest.raises(TypeError):
        gu.extract_text(driver, 5)


def test_xpaths_of_a_known_document(gu, driver, pages):
    driver.get(pages.url("evidence_tree.html"))
    assert gu.get_all_xpaths(driver) == [
        "/html", "/html/head", "/html/head/meta", "/html/head/title", "/html/body",
        "/html/body/div", "/html/body/div/span", "/html/body/div/span[2]",
        "/html/body/div[2]", "/html/body/div[2]/p",
        "/html/body/div[3]", "/html/body/div[3]/ul", "/html/body/div[3]/ul/li",
        "/html/body/div[3]/ul/li[2]",
    ]


def test_element_path_script_text_is_exact(gu):
    lines = [
        (8, "let elements = document.querySelectorAll('*');"),
        (8, "let paths = [];"),
        (8, "elements.forEach((el) => {"),
        (12, "let path = '';"),
        (12, "for (; el && el.nodeType === 1; el = el.parentNode) {"),
        (16, "let index = 0;"),
        (16, "for (let sibling = el.previousSibling; sibling; sibling = sibling.previousSibling) {"),
        (20, "if (sibling.nodeType === 1 && sibling.tagName === el.tagName) {"),
        (24, "index++;"),
        (20, "}"),
        (16, "}"),
        (16, "let tagName = el.tagName.toLowerCase();"),
        (16, "path = '/' + tagName + (index ? '[' + (index + 1) + ']' : '') + path;"),
        (12, "}"),
        (12, "paths.push(path);"),
        (8, "});"),
        (8, "return paths;"),
    ]
    script = "\n" + "\n".join(" " * n + line for n, line in lines) + "\n    "
    driver = FakeDriver(script_answer=["/html"])
    assert gu.get_all_xpaths(driver) == ["/html"]
    assert driver.calls == [("execute_script", (script,), {})]
