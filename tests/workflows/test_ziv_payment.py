"""Paying an application's fees in the fake ZIV application."""
import ipaddress

import pytest

import kestrelflow.generic_utility as gu
from kestrelflow.demo.fake_portal import FakePortal, PortTaken, server

from helpers import held_port
from workflows.timeline import ZIV_PASSWORD, ZIV_USER, X

ROW = "/html/body/form/div[1]/div/div[2]/main/div[2]/div/div/div/div[3]/div[2]/div[2]/div/div/div/div[1]/table/tbody/tr[%d]/td[1]/h3/a"
HYPHENS = "-" * 87


@pytest.fixture
def ziv(devu, monkeypatch):
    monkeypatch.setenv("KESTRELFLOW_ZIV_USER", ZIV_USER)
    monkeypatch.setenv("KESTRELFLOW_ZIV_PASSWORD", ZIV_PASSWORD)
    monkeypatch.delenv("KESTRELFLOW_ZIV_HOST", raising=False)
    return devu


def opening(n):
    return [HYPHENS, "Clicking payment button at XPath: " + ROW % n, "New XPaths after popup: set()"]


def test_each_fee_is_paid_or_passed_by(ziv, portal, timeline):
    assert gu.ZIV_payment(ziv, "2025000123") is None
    assert timeline.lines() == [
        "Found element at XPath: " + ROW % 1,
        "Found element at XPath: " + ROW % 2,
        "Found element at XPath: " + ROW % 3,
        "No element found at index 4. Ending loop.",
        # an open fee: the method control is in the dialog's second frame
        *opening(1),
        "Found 2 iframe(s) after popup opened.",
        "Switched to iframe 1.", "Target element not found in iframe 1:",
        "Switched to iframe 2.", "Target element found in iframe!",
        "Payment Successful, clicking on back...",
        # a fee paid before
        *opening(2),
        "Found 2 iframe(s) after popup opened.",
        "Switched to iframe 1.", "Target element not found in iframe 1:",
        "Switched to iframe 2.", "Target element found in iframe!",
        "Already paid, clicking on back...",
        # a dialog without its payment form: nothing is printed for the outcome
        *opening(3),
        "Found 0 iframe(s) after popup opened.",
        "Target element not found in any iframe.",
        "Finished processing all payment buttons.",
    ]
    assert timeline.sleeps() == [3, 2, 0.4, 0.4, 3, 3, 2, 0.4, 0.4, 3, 1, 1, 2, 0.4, 0.4, 3, 3]
    assert portal.details("login") == [{"user": ZIV_USER, "accepted": True}]
    assert portal.details("search") == ["2025000123"]
    assert portal.details("open payment") == [{"application": "2025000123", "fee": n} for n in (1, 2, 3)]
    assert portal.details("payment method") == [{"fee": 1, "method": "نقدي"}, {"fee": 2, "method": "نقدي"}]
    assert portal.details("paid") == [{"application": "2025000123", "fee": 1, "method": "نقدي"}]
    assert portal.details("back") == [{"fee": 1}, {"fee": 2}, {"fee": 3}]
    assert [fee["state"] for fee in portal.data["fees"]["2025000123"]] == ["paid", "paid", "noframe"]


def test_calls_of_one_payment(ziv, portal, timeline):
    portal.data["fees"]["2025000123"] = portal.data["fees"]["2025000123"][:1]
    gu.ZIV_payment(ziv, "2025000123")
    typed = {"max_attempts": 3, "timeout": 10, "scroll": False, "input_delay": 2}
    click = {"max_retries": 4, "timeout": 5, "scroll": True}
    in_dialog = {"max_retries": 4, "timeout": 5, "scroll": False}
    notice = {"max_retries": 2, "retry_delay": 0.5}
    assert timeline.calls() == [
        ("input_data_by_all_option", (X(1), [""], [ZIV_USER], "test"), typed),
        ("input_data_by_all_option", (X(1), [""], [ZIV_PASSWORD], "test"), typed),
        ("clicking_on_element_by_all_option", (X(4), ["Login", "login", "LOGIN"]), click),
        ("clicking_on_element_by_all_option", ([], ["التحصيل العام ZIV"]), click),
        ("clicking_on_element_by_all_option", ([], ["الصندوق (دفع المعاملات)"]), click),
        ("input_data_by_all_option", (X(2), [""], "2025000123", "test"), typed),
        ("clicking_on_element_by_all_option", (X(3), ["بحث "]), click),
        ("clicking_on_element_by_all_option", (X(1), [""]), click),
        ("get_all_xpaths", (), {}),
        ("get_all_xpaths", (), {}),
        ("clicking_on_element_by_all_option", ([], ["نقدي"]), in_dialog),
        ("clicking_on_element_by_all_option", ([], ["دفع"]), in_dialog),
        ("extract_text", (X(1),), notice),
        ("extract_text", (X(2),), notice),
        ("clicking_on_element_by_all_option", (X(2), ["رجوع"]), {"max_retries": 4, "timeout": 2, "scroll": True}),
    ]


def test_no_fees_ends_after_the_discovery(ziv, portal, timeline):
    gu.ZIV_payment(ziv, "2025000456")
    assert timeline.lines() == ["No element found at index 1. Ending loop.",
                                "Finished processing all payment buttons."]
    assert portal.details("search") == ["2025000456"]


def test_host_comes_from_the_environment(ziv, portal, monkeypatch):
    monkeypatch.setenv("KESTRELFLOW_ZIV_HOST", "cashier.ziv.test")
    portal.data["fees"]["2025000123"] = []
    gu.ZIV_payment(ziv, "2025000123")
    assert ziv.current_url.startswith("http://cashier.ziv.test:7001/")
    assert portal.details("login") == [{"user": ZIV_USER, "accepted": True}]


@pytest.mark.parametrize("user, password, missing", [
    (None, ZIV_PASSWORD, "KESTRELFLOW_ZIV_USER"),
    (ZIV_USER, None, "KESTRELFLOW_ZIV_PASSWORD"),
    (None, "", "KESTRELFLOW_ZIV_USER, KESTRELFLOW_ZIV_PASSWORD"),
])
def test_missing_account_opens_nothing(ziv, portal, timeline, monkeypatch, user, password, missing):
    for name, value in (("KESTRELFLOW_ZIV_USER", user), ("KESTRELFLOW_ZIV_PASSWORD", password)):
        if value is None:
            monkeypatch.delenv(name)
        else:
            monkeypatch.setenv(name, value)
    assert gu.ZIV_payment(ziv, "2025000123") is None
    assert timeline == [("print", "❌ ZIV payment not started: set the environment variable(s) %s." % missing)]
    assert ziv.current_url == "about:blank"
    assert portal.events == []


def test_refused_login_goes_on_regardless(ziv, portal, timeline, monkeypatch):
    monkeypatch.setenv("KESTRELFLOW_ZIV_PASSWORD", "wrong")
    gu.ZIV_payment(ziv, "2025000123")
    assert portal.details("login") == [{"user": ZIV_USER, "accepted": False}]
    assert portal.details("search") == []
    assert timeline.lines() == ["No element found at index 1. Ending loop.",
                                "Finished processing all payment buttons."]


def test_ctrl_c_during_the_discovery_stops_the_payment(ziv, portal, monkeypatch):
    real_find = ziv.find_element

    def find_element(by, value):
        if value == ROW % 2:
            raise KeyboardInterrupt
        return real_find(by, value)
    monkeypatch.setattr(ziv, "find_element", find_element)
    with pytest.raises(KeyboardInterrupt):
        gu.ZIV_payment(ziv, "2025000123")
    assert portal.details("open payment") == []


def test_portals_side_by_side_each_have_their_own_address(fake_portal):
    with held_port("127.0.0.1", 7001), FakePortal() as second:
        assert second.ziv_port == fake_portal.ziv_port == 7001
        assert len({second.address, fake_portal.address, "127.0.0.1"}) == 3
        assert ipaddress.ip_address(second.address) in ipaddress.ip_network("127.0.0.0/8")
        assert second.ziv_url(host=second.address) == "http://%s:7001/ords/f?p=100" % second.address
        assert second.browser_arguments()[0] == "--host-resolver-rules=MAP * " + second.address


def test_taken_port_on_a_given_address_is_reported(fake_portal):
    with pytest.raises(PortTaken) as taken:
        FakePortal(address=fake_portal.address)
    assert str(taken.value) == (
        "ZIV cannot listen on %s:7001: the port is taken by another program" % fake_portal.address)


def test_without_the_loopback_range_the_portal_falls_back_to_127_0_0_1(monkeypatch):
    # an address that is not this machine's: the bind fails as it does where
    # only 127.0.0.1 is routed
    monkeypatch.setattr(server, "private_loopback_address", lambda: "192.0.2.1")
    with held_port("127.0.0.1", 7001):
        with pytest.raises(PortTaken) as taken:
            FakePortal()
    assert str(taken.value) == "ZIV cannot listen on 127.0.0.1:7001: the port is taken by another program"


def snapshots_whose_difference_orders_differ():
    """Two XPath snapshots for which set(after) - set(before) prints in another
    order than the after-set with the before-set removed in place."""
    for size in range(20, 200):
        after = ["//*[@id='x%d']" % n for n in range(size)]
        before = after[: size - 6]
        kept = set(after)
        kept.difference_update(set(before))
        if str(set(after) - set(before)) != str(kept):
            return before, after
    raise AssertionError("no snapshots found")


def test_new_xpaths_print_as_the_set_difference(ziv, portal, timeline, monkeypatch):
    portal.data["fees"]["2025000123"] = portal.data["fees"]["2025000123"][:1]
    before, after = snapshots_whose_difference_orders_differ()
    snapshots = iter([before, after])
    monkeypatch.setattr(gu, "get_all_xpaths", lambda driver: next(snapshots))
    gu.ZIV_payment(ziv, "2025000123")
    assert "New XPaths after popup: %s" % (set(after) - set(before)) in timeline.lines()
