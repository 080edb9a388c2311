"""Timing shared by the benchmarks.

Every side of a comparison is timed the same way: the sides take turns within
each repeat (the order rotates from repeat to repeat, so that no side always
runs first), and each figure is reported as min-median-max over the repeats,
with the one-minute load average seen while it was measured.  The machine may
be shared: a load above the number of cores makes the figures of that line
unreliable, which the scripts say next to them.
"""
import os
import statistics
import time
import timeit

DASH = "\u2013"


def load():
    """The one-minute load average."""
    return os.getloadavg()[0]


def cores():
    return os.cpu_count() or 1


def _rotated(names, repeats, measure):
    """Calls measure(name) for every name once per repeat, starting each repeat
    one name further on; returns (times, loads): name -> the measures, and
    the load averages seen during the repeats."""
    times = {name: [] for name in names}
    loads = [load()]
    for repeat in range(repeats):
        shift = repeat % len(names)
        for name in names[shift:] + names[:shift]:
            times[name].append(measure(name))
        loads.append(load())
    return times, loads


def interleaved(sides, repeats=5, prepare=None):
    """Times each callable of `sides` (name -> fn) once per repeat, in turn.

    `prepare(name)` (optional) returns the arguments of one call; it runs
    outside the timed part.  Returns (times, loads): name -> list of seconds,
    and the load averages seen during the repeats.
    """
    def measure(name):
        args = prepare(name) if prepare else ()
        start = time.perf_counter()
        sides[name](*args)
        return time.perf_counter() - start

    return _rotated(list(sides), repeats, measure)


def interleaved_statements(statements, number, repeats=7):
    """Like interleaved() for tiny statements: name -> (statement, globals),
    each repeat timing `number` executions; returns seconds per execution."""
    timers = {name: timeit.Timer(stmt, globals=env) for name, (stmt, env) in statements.items()}
    return _rotated(list(timers), repeats, lambda name: timers[name].timeit(number) / number)


def spread(values, scale=1.0, digits=2):
    """min-median-max of the values times `scale`."""
    low, mid, high = min(values), statistics.median(values), max(values)
    return DASH.join(f"{v * scale:.{digits}f}" for v in (low, mid, high))


def ratios(numerator, denominator):
    """The per-repeat ratios of two interleaved series (same repeat, same load)."""
    return [a / b for a, b in zip(numerator, denominator)]


def load_note(loads):
    """The load seen, and whether it makes the line unreliable."""
    low, high = min(loads), max(loads)
    note = f"load {low:.1f}{DASH}{high:.1f}"
    if high > cores():
        note += " (above the cores: unreliable)"
    return note
