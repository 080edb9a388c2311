"""A step's result as run.json holds it and JUnit, the report and the
progress lines read it: the module's own entry of run_steps' step_results
(step, action, outcome, reason, seconds, error, url, title) with the
evidence the runner took, or one the runner makes itself for a step that
never ran or whose process ended without a result.  Every such result is
made here, so that it has one shape."""

DONE, NOT_DONE, NO_ACTION, ERROR, SKIPPED = "done", "not done", "no action", "error", "skipped"
OUTCOMES = (DONE, NOT_DONE, NO_ACTION, ERROR, SKIPPED)


def step_result(step, action, outcome, reason=None, seconds=0.0, error=None, url="", evidence=None):
    """A step's result made by the runner."""
    return {"step": step, "action": action, "outcome": outcome, "reason": reason, "seconds": seconds,
            "error": error, "url": url, "evidence": evidence}


def failed(step, action, why, seconds=0.0):
    """The step under way when its run ended for `why`."""
    return step_result(step, action, ERROR, reason=why, seconds=seconds, error=why)


def not_run(step, action, why):
    """A step that never ran, because of `why`."""
    return step_result(step, action, SKIPPED, reason="not run: %s" % why)
