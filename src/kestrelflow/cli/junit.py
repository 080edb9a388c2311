"""One JUnit XML file for all jobs of a run: a testsuite per job (the job is
the classname), a testcase per step named after the step; "not done" and "no
action" are failures, "error" is an error, "skipped" is skipped.  A failure's
message is the step's reason; a failed case's evidence is named relative to
the JUnit file and attached ([[ATTACHMENT|path]] in its system-out)."""
import os
import xml.etree.ElementTree as ET
from pathlib import Path

from kestrelflow.cli.outputs import write_atomic


def _seconds(value):
    return "%.3f" % value if isinstance(value, (int, float)) else "0"


def _clean(text):
    """XML 1.0 has no place for most control characters."""
    return "".join(c for c in str(text) if c in "\t\n\r" or ord(c) >= 0x20)


def case_names(steps):
    """The test cases' names: the steps' own, so that inserting a step renames
    no later test in a CI server's history; a name met again is "Name (2)"."""
    seen, names = {}, []
    for step in steps:
        name = str(step.get("step", ""))
        seen[name] = seen.get(name, 0) + 1
        names.append(name if seen[name] == 1 else "%s (%d)" % (name, seen[name]))
    return names


def _evidence(result, step, folder, junit_folder):
    """(label, path relative to the JUnit file's folder, absolute path) of
    each piece of a step's evidence."""
    evidence = step.get("evidence") or {}
    job_folder = Path(folder) / str(result["job"])
    found = []
    for key in ("screenshot", "page_source"):
        if evidence.get(key):
            path = (job_folder / evidence[key]).resolve()
            found.append((key.replace("_", " "), os.path.relpath(path, junit_folder), str(path)))
    return found


def suite(result, folder=".", junit_folder="."):
    """The job's testsuite; `folder` holds the job folders, `junit_folder` the
    JUnit file (evidence paths are written relative to it)."""
    steps = result.get("step_results") or []
    element = ET.Element("testsuite", name=_clean(result["job"]))
    if result.get("reason"):
        props = ET.SubElement(element, "properties")
        ET.SubElement(props, "property", name="reason", value=_clean(result["reason"]))
    failures = errors = skipped = 0
    for step, name in zip(steps, case_names(steps)):
        case = ET.SubElement(element, "testcase", classname=_clean(result["job"]), name=_clean(name),
                             time=_seconds(step.get("seconds")))
        outcome = step.get("outcome")
        reason = step.get("reason") or step.get("error") or outcome or "unknown outcome"
        reason = str(reason).split("\n", 1)[0]
        evidence = _evidence(result, step, folder, junit_folder)
        detail = ["URL: %s" % step["url"]] if step.get("url") else []
        detail += ["%s: %s" % (label, relative) for label, relative, _ in evidence]
        if outcome == "done":
            continue
        if outcome == "skipped":
            skipped += 1
            ET.SubElement(case, "skipped", message=_clean(reason))
            continue
        if outcome == "error":
            errors += 1
            node = ET.SubElement(case, "error", message=_clean(reason), type="error")
            node.text = _clean("\n".join([str(step.get("error") or reason)] + detail))
        else:
            failures += 1
            node = ET.SubElement(case, "failure", message=_clean(reason),
                                 type=_clean(outcome or "unknown"))
            node.text = _clean("\n".join(["The step's outcome: %s: %s" % (outcome, reason)] + detail))
        if evidence:  # the attachment lines CI servers' JUnit readers pick up
            ET.SubElement(case, "system-out").text = _clean(
                "\n".join("[[ATTACHMENT|%s]]" % absolute for _, _, absolute in evidence))
    if result.get("reason") and not steps:
        errors += 1
        case = ET.SubElement(element, "testcase", classname=_clean(result["job"]), name="job", time="0")
        ET.SubElement(case, "error", message=_clean(result["reason"]), type="error").text = _clean(result["reason"])
    tests = len(element.findall("testcase"))
    element.set("tests", str(tests))
    element.set("failures", str(failures))
    element.set("errors", str(errors))
    element.set("skipped", str(skipped))
    element.set("time", _seconds(result.get("seconds")))
    if result.get("started"):
        element.set("timestamp", result["started"])
    return element, tests, failures, errors, skipped


def write_junit(results, path, folder=None):
    """Writes the run's JUnit file at `path`; `folder` holds the job folders
    (by default the JUnit file's own folder)."""
    path = Path(path)
    junit_folder = path.resolve().parent
    folder = Path(folder).resolve() if folder is not None else junit_folder
    root = ET.Element("testsuites", name="kestrelflow")
    totals = [0, 0, 0, 0]
    for result in results:
        element, *counts = suite(result, folder, junit_folder)
        root.append(element)
        for i, n in enumerate(counts):
            totals[i] += n
    root.set("tests", str(totals[0]))
    root.set("failures", str(totals[1]))
    root.set("errors", str(totals[2]))
    root.set("skipped", str(totals[3]))
    ET.indent(root)
    path.parent.mkdir(parents=True, exist_ok=True)
    write_atomic(path, ET.tostring(root, encoding="utf-8", xml_declaration=True))
    return path
