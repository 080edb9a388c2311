"""python -m kestrelflow.report OUTPUT_FOLDER: writes OUTPUT_FOLDER/report.html."""
import sys
from pathlib import Path

from kestrelflow.report import write_report

if len(sys.argv) != 2 or sys.argv[1] in ("-h", "--help"):
    print(__doc__)
    sys.exit(0 if sys.argv[1:] in (["-h"], ["--help"]) else 2)
folder = Path(sys.argv[1])
if not folder.is_dir():
    print("No such folder: %s" % folder, file=sys.stderr)
    sys.exit(1)
print("Report written to", write_report(folder))
