"""`kestrelflow check` on a large job file and on hostile ones.

    python bench/bench_check.py [--repeats R]

(a) A job of 30,000 steps (2.6 MB; the four actions in turn, the reads with
    an expectation): the whole command, as a process of its own, on
    libyaml's parser (the default) and on PyYAML's own parser (the fallback
    where PyYAML was built without libyaml).  Beside them, for scale, a
    process that only loads the file with PyYAML's CSafeLoader and checks
    nothing.  Goal: the command at most 5 s.
(b) Hostile files, each refused with one line and status 2: an alias bomb
    (nine levels of nine aliases, 342 bytes), 20,000 levels of nesting,
    300,000 steps (16.5 MB), and 50,001 tiny steps (under the size limit, so
    that the step limit refuses it).  Goal: each within seconds.

The sides take turns within each repeat; figures are min-median-max seconds
over the repeats, with the load average (bench/timing.py).
"""
import argparse
import os
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from timing import interleaved, load_note, spread  # noqa: E402

HEAD = "name: big-job\nservice: Land search\nweb_app: Demo portal\nsleep_time: 0.5\nsteps:\n"
KINDS = [
    "  - {name: Open %d, action: get_url, values: ['https://portal.example/']}\n",
    "  - {name: Plot %d, action: input, xpaths: [\"//input[@id='plot']\"], values: [PLT-0042]}\n",
    "  - {name: Search %d, action: click, xpaths: [\"//button[@id='go']\"], texts: [Search]}\n",
    "  - {name: Read %d, action: Scrap_data, xpaths: [\"//p[@id='app']\"], expect: {contains: APP}}\n",
]
BOMB = 'a: &a ["lol","lol","lol","lol","lol","lol","lol","lol","lol"]\n' + "".join(
    "%s: &%s [%s]\n" % (b, b, ",".join(["*" + a] * 9)) for a, b in zip("abcdefgh", "bcdefghi"))
STEP = "  - {name: Press, action: click, xpaths: ['//button']}\n"

FALLBACK = ("import sys, yaml\nfrom kestrelflow.cli import jobs, main\njobs.PARSER = yaml.SafeLoader\n"
            "sys.exit(main(['check'] + sys.argv[1:]))")
LOAD_ONLY = "import sys, yaml\nyaml.load(open(sys.argv[1], 'rb'), Loader=yaml.CSafeLoader)"


def big_job(steps=30000):
    return HEAD + "".join(KINDS[n % len(KINDS)] % n for n in range(steps))


def hostile_jobs():
    head = HEAD.replace("sleep_time: 0.5\nsteps:\n", "")
    return {
        "alias bomb (%d bytes)" % len(BOMB): head + BOMB + "steps:\n" + STEP,
        "20,000 levels of nesting": head + "steps:\n  - {name: a, action: click, xpaths: %s}\n" % (
            "[" * 20000 + "]" * 20000),
        "300,000 steps": head + "steps:\n" + STEP * 300000,
        "50,001 tiny steps": head + "steps:\n" + "- 0\n" * 50001,
    }


def run(args, expect_status):
    done = subprocess.run([sys.executable, *args], capture_output=True, text=True)
    lines = (done.stdout + done.stderr).splitlines()
    if done.returncode != expect_status or len(lines) != 1:
        raise SystemExit("unexpected: status %d, %d lines: %s" % (done.returncode, len(lines), lines[:3]))


def main():
    options = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    options.add_argument("--repeats", type=int, default=5)
    options = options.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        folder = Path(folder)
        big = folder / "big.yaml"
        big.write_text(big_job(), encoding="utf-8")
        print("(a) %s: 30,000 steps, %.2f MB" % (big.name, big.stat().st_size / 1e6))
        sides = {
            "kestrelflow check (libyaml)": lambda: run(["-m", "kestrelflow", "check", str(big)], 0),
            "kestrelflow check (pure-Python parser)": lambda: run(["-c", FALLBACK, str(big)], 0),
            "CSafeLoader load only, no checks": lambda: run(["-c", LOAD_ONLY + "\nprint('loaded')", str(big)], 0),
        }
        times, loads = interleaved(sides, repeats=options.repeats)
        for name, seconds in times.items():
            print("  %-40s %s s" % (name, spread(seconds)))
        print("  %s" % load_note(loads))

        print("(b) hostile files, each refused with one line, status 2")
        sides = {}
        for name, text in hostile_jobs().items():
            path = folder / ("%d.yaml" % len(sides))
            path.write_text(text, encoding="utf-8")
            sides[name] = (lambda path=path: run(["-m", "kestrelflow", "check", str(path)], 2))
        times, loads = interleaved(sides, repeats=options.repeats)
        for name, seconds in times.items():
            print("  %-40s %s s" % (name, spread(seconds)))
        print("  %s" % load_note(loads))


if __name__ == "__main__":
    main()
