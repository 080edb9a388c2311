"""The demo's portal day, run whole on the embedded fake portal in a real
headless Chromium, beside another program that holds 127.0.0.1:7001."""
import os
import re
from pathlib import Path

from kestrelflow.demo.fake_portal import server
from kestrelflow.demo.portal_day import run_portal_day

from helpers import held_port

STEPS = ["Open service", "Search by plot", "Read plot results", "Open application",
         "Read application details", "Pay fees in ZIV"]
ZIV_SETTINGS = ["KESTRELFLOW_ZIV_HOST", "KESTRELFLOW_ZIV_USER", "KESTRELFLOW_ZIV_PASSWORD"]


def test_a_whole_portal_day(gu, clock, tmp_path, capsys, monkeypatch):
    # The routines' pauses go to the fake clock; their waits for the pages stay real.
    for name in ZIV_SETTINGS:
        monkeypatch.delenv(name, raising=False)
    # an earlier run in the same second keeps its folder; this run gets a suffix
    monkeypatch.setattr("time.strftime", lambda fmt, *args: "20260102_030405")
    (tmp_path / "portal_day_20260102_030405").mkdir()
    with held_port("127.0.0.1", 7001):
        results = run_portal_day(gu, str(tmp_path))
    run = tmp_path / "portal_day_20260102_030405_2"

    out = capsys.readouterr().out.splitlines()
    assert out[0] == "Portal day: output in %s" % run
    summary = out[out.index("=== Portal day summary ==="):]
    assert summary[1].split() == ["Step", "Result", "Seconds", "Screenshot"]
    assert summary[-1] == "6 of 6 steps ok"
    rows = [re.fullmatch(r"(.+?) +(ok|failed) +(\d+\.\d) +(\S+)", line).groups()
            for line in summary[2:-1]]
    assert [(name, result) for name, result, _, _ in rows] == [(name, "ok") for name in STEPS]

    assert [r["step"] for r in results] == STEPS
    assert all(r["ok"] and r["error"] is None for r in results)
    for (_, _, seconds, shot), r in zip(rows, results):
        assert float(seconds) == round(r["seconds"], 1)
        assert shot == r["screenshot"]
        assert Path(shot).parent == run / "steps"
        assert Path(shot).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    # the service routine's own screen grabs land in the run folder too
    assert (run / "Screenshots" / "Land Ownership Certificate").is_dir()

    plots = results[2]["value"]
    assert plots["plot Number"].tolist() == ["C-17", "C-17"]
    assert plots["district"].tolist() == ["Al Bateen", "Al Bateen"]
    details = results[4]["value"]
    assert details.iloc[0][["Service", "Application Number", "On Behalf Of"]].tolist() == [
        "Land Ownership Certificate", "2025000123", "Mariam Saeed"]
    # the cashier screen took the one open fee, in cash
    assert results[5]["value"] == [{"application": "2025000123", "fee": 1, "method": "نقدي"}]
    # the demo account was for the run only
    assert not any(name in os.environ for name in ZIV_SETTINGS)


def test_where_only_127_0_0_1_is_routed_a_taken_port_is_one_line(gu, tmp_path, capsys, monkeypatch):
    # an address that is not this machine's: the bind fails as it does where
    # only 127.0.0.1 is routed
    monkeypatch.setattr(server, "private_loopback_address", lambda: "192.0.2.1")
    with held_port("127.0.0.1", 7001):
        results = run_portal_day(gu, str(tmp_path))
    reason = "ZIV cannot listen on 127.0.0.1:7001: the port is taken by another program"
    assert capsys.readouterr().out.splitlines()[1:] == ["Portal day not run: " + reason]
    assert [(r["step"], r["ok"], r["error"]) for r in results] == [("Start the fake portal", False, reason)]
