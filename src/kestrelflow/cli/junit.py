"""One JUnit XML file for all jobs of a run: a testsuite per job, a testcase
per step; "not done" and "no action" are failures, "error" is an error."""
import os
import xml.etree.ElementTree as ET
from pathlib import Path


def _seconds(value):
    return "%.3f" % value if isinstance(value, (int, float)) else "0"


def _clean(text):
    """XML 1.0 has no place for most control characters."""
    return "".join(c for c in str(text) if c in "\t\n\r" or ord(c) >= 0x20)


def suite(result):
    steps = result.get("step_results") or []
    element = ET.Element("testsuite", name=_clean(result["job"]))
    if result.get("reason"):
        props = ET.SubElement(element, "properties")
        ET.SubElement(props, "property", name="reason", value=_clean(result["reason"]))
    failures = errors = 0
    for number, step in enumerate(steps, 1):
        case = ET.SubElement(element, "testcase", classname=_clean(result["job"]),
                             name=_clean("%02d %s" % (number, step.get("step", ""))),
                             time=_seconds(step.get("seconds")))
        outcome = step.get("outcome")
        evidence = step.get("evidence") or {}
        detail = []
        if step.get("url"):
            detail.append("URL: %s" % step["url"])
        for key in ("screenshot", "page_source"):
            if evidence.get(key):
                detail.append("%s: %s" % (key.replace("_", " "), os.path.join(result["job"], evidence[key])))
        if outcome == "error":
            errors += 1
            text = step.get("error") or "error"
            node = ET.SubElement(case, "error", message=_clean(text.split("\n", 1)[0]), type="error")
            node.text = _clean("\n".join([text] + detail))
        elif outcome != "done":
            failures += 1
            node = ET.SubElement(case, "failure", message=_clean(outcome or "unknown outcome"),
                                 type=_clean(outcome or "unknown"))
            node.text = _clean("\n".join(["The step's outcome: %s" % outcome] + detail))
    if result.get("reason") and not steps:
        errors += 1
        case = ET.SubElement(element, "testcase", classname=_clean(result["job"]), name="job", time="0")
        ET.SubElement(case, "error", message=_clean(result["reason"]), type="error").text = _clean(result["reason"])
    tests = len(element.findall("testcase"))
    element.set("tests", str(tests))
    element.set("failures", str(failures))
    element.set("errors", str(errors))
    element.set("skipped", "0")
    element.set("time", _seconds(result.get("seconds")))
    if result.get("started"):
        element.set("timestamp", result["started"])
    return element, tests, failures, errors


def write_junit(results, path):
    root = ET.Element("testsuites", name="kestrelflow")
    totals = [0, 0, 0]
    for result in results:
        element, tests, failures, errors = suite(result)
        root.append(element)
        for i, n in enumerate((tests, failures, errors)):
            totals[i] += n
    root.set("tests", str(totals[0]))
    root.set("failures", str(totals[1]))
    root.set("errors", str(totals[2]))
    ET.indent(root)
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    partial = path.with_name(path.name + ".partial")
    ET.ElementTree(root).write(partial, encoding="utf-8", xml_declaration=True)
    os.replace(partial, path)
    return path
