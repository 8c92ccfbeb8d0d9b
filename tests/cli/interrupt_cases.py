#!/usr/bin/python3
"""Runs that a signal ends: `interrupt_cases.py ZELBO`.

Each row starts a run too long to end by itself, waits until its log has an intermediate
report (or, for the row "before the run", until it reads its targets file), sends its signals
and checks the exit status, the final report, the JSON record, the report page and that no
temporary file is left beside them.
"""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

FORKJOIN = """.stpn forkjoin
.place ready .preset {done} .poset {start} .mark
.place a  .preset {start} .poset {fa}
.place b  .preset {start} .poset {fb}
.place a2 .preset {fa} .poset {done}
.place b2 .preset {fb} .poset {done}
.delay ready .fix 1
.delay a  .uni 1 2
.delay b  .exp 0.5 1 1
.delay a2 .fix 0.5
.delay b2 .fix 0.5
.tse (start, done, 0)
"""
RUN = ["-seed", "3", "-ss", "2000000000", "-pp", "20000", "-log", "out.log", "-json", "run.json",
       "-report", "page.html"]
ALL_FILES = {"model.stpn", "out.log", "run.json", "page.html"}
STOPPED = -1  # stopped and continued: the signals come at once

# name, options before the run's, signals, exit status (negative: killed by that signal), files left
ROWS = [
    ("SIGINT", [], [signal.SIGINT], 130, ALL_FILES),
    ("SIGTERM, two samplers and two targets", ["-jobs", "2", "-tse", "start,done,0", "-tse", "fa,start,1"],
     [signal.SIGTERM], 143, ALL_FILES),
    ("SIGKILL", [], [signal.SIGKILL], -signal.SIGKILL, {"model.stpn", "out.log"}),
    ("a second signal", [], [STOPPED, signal.SIGINT, signal.SIGTERM], -signal.SIGTERM, {"model.stpn", "out.log"}),
    ("before the run", ["-targets", "targets"], [signal.SIGINT], 130, ALL_FILES | {"targets"}),
]


def wait_for_report(run, work, seconds=120):
    path = os.path.join(work, "out.log")
    deadline = time.monotonic() + seconds
    while not (os.path.exists(path) and "###Intermediate Report###" in open(path).read()):
        if run.poll() is not None or time.monotonic() > deadline:
            raise AssertionError(f"no intermediate report (status {run.poll()}): {run.stderr.read()}")
        time.sleep(0.05)


def start(work, options):
    """The run, with Ctrl-C as a terminal sends it (a background start would ignore it)."""
    return subprocess.Popen([ZELBO] + options + RUN + ["model.stpn"], cwd=work, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True,
                            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))


def send(run, signals):
    for s in signals:
        os.kill(run.pid, signal.SIGSTOP if s == STOPPED else s)
    if STOPPED in signals:
        os.kill(run.pid, signal.SIGCONT)


def interrupt(work, options, signals):
    if "-targets" in options:
        os.mkfifo(os.path.join(work, "targets"))
    run = start(work, options)
    try:
        if "-targets" not in options:
            wait_for_report(run, work)
            send(run, signals)
        else:
            # The run opens the targets file, a pipe, and reads it until it is closed.
            with open(os.path.join(work, "targets"), "w") as targets:
                send(run, signals)
                targets.write("start,done,0\n")
        _, err = run.communicate(timeout=120)
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()
    return run.returncode, err


def check_outputs(work, status, before_run, err):
    """What an interrupted run leaves: its final report, record and page."""
    log = open(os.path.join(work, "out.log")).read()
    record = json.load(open(os.path.join(work, "run.json")))
    assert record["status"] == "interrupted" and record["exit_status"] == status, record
    page = open(os.path.join(work, "page.html")).read()
    assert '"interrupted":true' in page, "the page does not show the interruption"
    if before_run:
        assert record["result"] is None and "FINAL REPORT" not in log, log
        assert "Error: Interrupted." in err, err
        return
    final = log[log.index("*** FINAL REPORT ***"):]
    samples = int(re.search(r"Number of valid iteration made: (\d+)", final).group(1))
    assert f"\n\tThe run was interrupted after {samples} samples.\n\n\t*** END OF FINAL REPORT ***\n" in final, final
    assert record["result"]["samples"] == samples and record["result"]["bound"] > 0, record
    if len(record["targets"]) > 1:
        assert "*** END OF FINAL REPORT ***\n\n\tEvery target:\n" in final, final


def main():
    failures = 0
    for name, options, signals, status, files in ROWS:
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "model.stpn"), "w") as model:
                model.write(FORKJOIN)
            try:
                returncode, err = interrupt(work, options, signals)
                assert returncode == status, f"status {returncode}, not {status}: {err}"
                left = set(os.listdir(work))
                assert left == files, f"the files left are {sorted(left)}"
                if status > 0:
                    check_outputs(work, status, "-targets" in options, err)
            except AssertionError as failure:
                print(f"FAIL {name}: {failure}")
                failures += 1
    sys.exit(1 if failures else 0)


ZELBO = os.path.abspath(sys.argv[1]) if len(sys.argv) == 2 else sys.exit(__doc__)
main()
