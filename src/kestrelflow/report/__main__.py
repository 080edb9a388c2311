"""python -m kestrelflow.report JOB_FOLDER: writes JOB_FOLDER/report.html from
the run.json that `kestrelflow run` left there."""
import sys
from pathlib import Path

from kestrelflow.report import RUN, write_job_report

if len(sys.argv) != 2 or sys.argv[1] in ("-h", "--help"):
    print(__doc__)
    sys.exit(0 if sys.argv[1:] in (["-h"], ["--help"]) else 2)
folder = Path(sys.argv[1])
if not folder.is_dir():
    print("No such folder: %s" % folder, file=sys.stderr)
    sys.exit(1)
if not (folder / RUN).is_file():
    print("No %s in %s: it is written by `kestrelflow run`; after a run_steps call of "
          "your own, use kestrelflow.report.write_run_report" % (RUN, folder), file=sys.stderr)
    sys.exit(1)
print("Report written to", write_job_report(folder))
