#!/usr/bin/python3
"""Runs that signals end: `interrupt_cases.py ZELBO MODEL`. Each row starts a run too long to
end by itself, sends its signals once the log has an intermediate report (or while the run
reads its targets file, a pipe) and checks the status, the files left, the final report, the
record (whose figures must be those of a run of as many samples) and the report page."""
import json, os, re, shutil, signal, subprocess, sys, tempfile, time

RUN = ["-seed", "3", "-pp", "20000", "-log", "out.log", "-json", "run.json", "-report", "page.html"]
WRITTEN = {"model.stpn", "out.log", "run.json", "page.html"}
PAUSE = 0  # stops the run until every signal is sent: they come at once
ROWS = [  # name, options, signals, exit status (negative: killed by that signal), files left
    ("SIGINT", [], [signal.SIGINT], 130, WRITTEN),
    ("SIGTERM, two samplers, two targets", ["-jobs", "2", "-tse", "start,done,0", "-tse", "fa,start,1"],
     [signal.SIGTERM], 143, WRITTEN),
    ("SIGKILL", [], [signal.SIGKILL], -signal.SIGKILL, {"model.stpn", "out.log"}),
    ("two signals", [], [PAUSE, signal.SIGINT, signal.SIGTERM], -signal.SIGTERM, {"model.stpn", "out.log"}),
    ("before the run", ["-targets", "targets"], [signal.SIGINT], 130, WRITTEN | {"targets"}),
]


def zelbo(work, options, **kwargs):
    # Ctrl-C as a terminal sends it: a background start would ignore it.
    return subprocess.Popen([os.path.abspath(sys.argv[1])] + options + RUN + ["model.stpn"], cwd=work, stderr=subprocess.PIPE,
                            text=True, preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL), **kwargs)


def interrupt(work, options, signals):
    piped = "-targets" in options
    if piped:
        os.mkfifo(os.path.join(work, "targets"))
    run = zelbo(work, options + ["-ss", "2000000000"])
    try:
        targets = open(os.path.join(work, "targets"), "w") if piped else None  # once the run opens it
        deadline, log = time.monotonic() + 120, os.path.join(work, "out.log")
        while not piped and "Intermediate" not in (open(log).read() if os.path.exists(log) else ""):
            assert run.poll() is None and time.monotonic() < deadline, f"no report: {run.poll()}"
            time.sleep(0.05)
        for s in signals + ([signal.SIGCONT] if PAUSE in signals else []):
            os.kill(run.pid, s or signal.SIGSTOP)
        if piped:
            targets.write("start,done,0\n")
            targets.close()
        return run.wait(timeout=120), run.stderr.read()
    finally:
        run.kill()


def check(work, options, status, err):
    log, page = (open(os.path.join(work, name)).read() for name in ("out.log", "page.html"))
    record = json.load(open(os.path.join(work, "run.json")))
    assert (record["status"], record["exit_status"]) == ("interrupted", status), record
    assert '"interrupted":true' in page
    if "-targets" in options:
        assert record["result"] is None and "Error: Interrupted." in err, (record, err)
        return
    final = log[log.index("*** FINAL REPORT ***"):]
    n = record["result"]["samples"]
    assert f"\n\tThe run was interrupted after {n} samples.\n\n\t*** END OF FINAL REPORT ***\n" in final, final
    assert ("\n\t*** END OF FINAL REPORT ***\n\n\tEvery target:" in final) == ("-tse" in options), final
    zelbo(work, options + ["-ss", str(n)], stdout=subprocess.DEVNULL).wait(timeout=120)
    whole = json.load(open(os.path.join(work, "run.json")))
    assert record["targets"] == whole["targets"], (record["targets"], whole["targets"])


failures = 0
for name, options, signals, status, files in ROWS:
    with tempfile.TemporaryDirectory() as work:
        shutil.copy(sys.argv[2], os.path.join(work, "model.stpn"))
        try:
            returncode, err = interrupt(work, options, signals)
            assert returncode == status, f"status {returncode}, not {status}: {err}"
            assert set(os.listdir(work)) == files, f"files left: {sorted(os.listdir(work))}"
            if status > 0:
                check(work, options, status, err)
        except AssertionError as failure:
            print(f"FAIL {name}: {failure}")
            failures += 1
sys.exit(1 if failures else 0)
