"""python -m kestrelflow.demo [output folder]"""
import sys

from kestrelflow.demo import main

if __name__ == "__main__":  # not when a spawned process imports the main module again
    if len(sys.argv) > 2 or sys.argv[1:] in (["-h"], ["--help"]):
        print(__doc__)
        sys.exit(2 if len(sys.argv) > 2 else 0)
    sys.exit(main(*sys.argv[1:]))
