"""python -m kestrelflow: the kestrelflow command (run, check)."""
import sys

from kestrelflow.cli import main

if __name__ == "__main__":
    sys.exit(main())
