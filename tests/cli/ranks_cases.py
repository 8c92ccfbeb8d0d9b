#!/usr/bin/python3
"""Runs over MPI ranks, on loopback: `mpirun -np R zelbo -jobs T ...` against `zelbo -jobs R*T ...`.

  ranks_cases.py MPIRUN ZELBO equivalence|failure|killed|interrupted

equivalence: every row of EQUAL gives the same exit status, standard output, standard error,
log file and JSON record (its processor and wall times aside) both ways; so does a rank that
runs in an empty directory, which it leaves empty. failure: a run that
ends fatally on a sampler of another rank, and a command line that ends before the run, give
the single process's message and status. killed: a rank killed mid-run ends the job with a
non-zero status in under 30 seconds. interrupted: SIGTERM to every rank ends the run as in one
process.
"""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

MODELS = {
    # A choice (done or retry) and exponential, uniform and fixed delays.
    "handshake.stpn": """.stpn handshake
.place idle  .preset {ackm} .poset {reqp} .mark
.place busy  .preset {reqp redo} .poset {done[0.9] retry[0.1]}
.place again .preset {retry} .poset {redo}
.place ready .preset {done} .poset {ackp}
.place latch .preset {reqp} .poset {ackp}
.place acked .preset {ackp} .poset {reqm}
.place rtz   .preset {reqm} .poset {ackm}
.delay idle  .exp 0.5 1 1
.delay busy  .uni 1 2
.delay again .fix 0.5
.delay ready .fix 0.2
.delay latch .uni 1 1
.delay acked .uni 0.1 0.2
.delay rtz   .fix 0.2
.tse (reqp ackp 0)
""",
    # Every sampler's first unfolding is discarded: notes written while drawing and after.
    "join.stpn": """.stpn join
.place p .preset {b} .poset {a} .mark
.place q .preset {b} .poset {b} .mark
.place r .preset {a} .poset {b}
.delay p .fix 1
.delay q .uni 20 1
.delay r .fix 5
.tse (a b 0)
""",
    # A .g net whose delays and target come from a second input file.
    "forkack.g": """.model forkack
.inputs req
.outputs a b ack
.graph
req+ a+ b+
a+ ack+
b+ ack+
ack+ req-
req- a- b-
a- ack-
b- ack-
ack- req+
.marking { <ack-,req+> }
.end
""",
    "latency.stpn": ".stpn latency\n.tse (req_p, ack_p, 0)\n.delay n_n_la_p_cack_p_r .exp 0 1 2\n",
    # One unfolding in a hundred takes the branch whose delay cannot be sampled.
    "rare.stpn": """.stpn rare
.place p .preset {b c} .poset {a[0.99] d[0.01]} .mark
.place q .preset {a} .poset {b}
.place r .preset {d} .poset {c}
.delay p .fix 1
.delay q .uni 0 10
.delay r .geo 0 1 1.5
.tse (a b 0)
""",
}

# ranks, threads, arguments after -jobs
EQUAL = [
    (2, 1, "-seed 5 -ss 3000 -pp 500 -log out.log -json run.json handshake.stpn"),
    (3, 2, "-seed 5 -a -pp 200 -json run.json handshake.stpn"),
    (3, 2, "-seed 7 -a -e% 1 -c 99 -pp 0 handshake.stpn"),
    (3, 2, "-seed 1 -ss 8 -v 2 -pp 2 join.stpn"),
    (2, 2, "-seed 1 -ss 300 -log out.log -ts 2 join.stpn"),
    (2, 2, "-seed 3 -ss 2000 -with latency.stpn -delay '.uni 1 1' -json run.json forkack.g"),
    (2, 2, "-seed 3 -a -ts 1 -tse 'req+,ack+,0' -tse 'a+,ack-,0,lb' -delay '.uni 1 1' -json run.json forkack.g"),
]
FAILING = [
    (2, 1, "-seed 2 -ss 100000 -pp 1 rare.stpn"),  # the 144th unfolding, drawn by rank 1, fails
    (3, 2, "-seed 4 -ss 100000 -pp 0 -json run.json rare.stpn"),
    (2, 1, "-seed 1 -ss 10 missing.stpn"),  # ends before the run
    (2, 1, "--version"),
]


# What Open MPI leaves unfreed is not a leak of zelbo's (a sanitized build only).
MPI_ENV = dict(os.environ, LSAN_OPTIONS="fast_unwind_on_malloc=0:print_suppressions=0:suppressions="
               + os.path.join(os.path.dirname(os.path.abspath(__file__)), "mpi_leaks.supp"))


def words(arguments):
    return [w.strip("'") for w in re.findall(r"'[^']*'|\S+", arguments)]


def run(command, work, env=None):
    for name in ("out.log", "run.json"):
        if os.path.exists(os.path.join(work, name)):
            os.remove(os.path.join(work, name))
    done = subprocess.run(command, cwd=work, capture_output=True, timeout=120, env=env)
    masked = lambda b: re.sub(rb"(CPU time used: )\S+ seconds", rb"\1* seconds", b)
    files = {}
    for name in ("out.log", "run.json"):
        path = os.path.join(work, name)
        if os.path.exists(path):
            files[name] = masked(open(path, "rb").read())
    if "run.json" in files:
        record = json.loads(files["run.json"])
        for key in ("cpu_seconds", "wall_seconds"):
            del record[key]
        files["run.json"] = record
    return done.returncode, masked(done.stdout), masked(done.stderr), files


def compare(mpirun, zelbo, rows, work):
    failures = 0
    for ranks, threads, arguments in rows:
        alone = run([zelbo, "-jobs", str(ranks * threads)] + words(arguments), work)
        spread = run(mpirun + ["-np", str(ranks), zelbo, "-jobs", str(threads)] + words(arguments), work, MPI_ENV)
        record = spread[3].get("run.json")
        if record is not None:
            ranked = record.pop("ranks", None)
            if ranked is None or (ranked["count"], ranked["threads"]) != (ranks, threads) or ranked["cpu_seconds"] <= 0:
                print(f"FAIL -np {ranks} -jobs {threads} {arguments}: the record's ranks are {ranked}")
                failures += 1
        for what, a, b in zip(("status", "stdout", "stderr", "files"), alone, spread):
            if a != b:
                print(f"FAIL -np {ranks} -jobs {threads} {arguments}: {what} differs from -jobs {ranks * threads}\n"
                      f"--- alone:\n{a}\n--- over ranks:\n{b}")
                failures += 1
    return failures


def elsewhere(mpirun, zelbo, work):
    """Rank 1 runs where none of the input files is: it draws on the bytes rank 0 sent, and
    writes nothing there."""
    arguments = ["-jobs", "2", "-seed", "3", "-ss", "500", "-log", "out.log", "-json", "run.json",
                 "-with", "latency.stpn", "forkack.g"]
    alone = run([zelbo, "-jobs", "4"] + arguments[2:], work)
    with tempfile.TemporaryDirectory() as empty:
        spread = run(mpirun + ["-np", "1", zelbo] + arguments + [":", "-np", "1", "-wdir", empty, zelbo] + arguments,
                     work, MPI_ENV)
        left = os.listdir(empty)
    spread[3]["run.json"].pop("ranks", None)
    if spread != alone or left:
        print(f"FAIL: a rank in an empty directory: {spread[:3]} against {alone[:3]}; it left {left}")
        return 1
    return 0


def killed(mpirun, zelbo, work):
    """Kills rank 1 once the run is under way; the job must end soon with a failure."""
    job = subprocess.Popen(mpirun + ["-np", "2", zelbo, "-seed", "1", "-ss", "2000000000", "-pp", "0", "handshake.stpn"],
                           cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=MPI_ENV)
    victim = None
    deadline = time.monotonic() + 60
    while victim is None and time.monotonic() < deadline:
        time.sleep(0.5)
        children = subprocess.run(["pgrep", "-P", str(job.pid)], capture_output=True, text=True).stdout.split()
        for pid in children:
            try:
                environment = open(f"/proc/{pid}/environ", "rb").read().split(b"\0")
            except OSError:
                continue
            if b"OMPI_COMM_WORLD_RANK=1" in environment:
                victim = int(pid)
    if victim is None:
        job.kill()
        print("FAIL: rank 1 was not found")
        return 1
    time.sleep(1)  # well into the run
    if job.poll() is not None:
        print(f"FAIL: the job ended before rank 1 was killed\n{job.stderr.read().decode(errors='replace')}")
        return 1
    os.kill(victim, signal.SIGKILL)
    killed_at = time.monotonic()
    try:
        _, err = job.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        job.kill()
        print("FAIL: the job went on for 30 seconds after rank 1 was killed")
        return 1
    if job.returncode == 0:
        print(f"FAIL: the job ended with status 0 after rank 1 was killed\n{err.decode(errors='replace')}")
        return 1
    print(f"status {job.returncode}, {time.monotonic() - killed_at:.1f} s after rank 1 was killed")
    return 0


def interrupted(mpirun, zelbo, work):
    job = subprocess.Popen(mpirun + ["-np", "2", zelbo, "-seed", "1", "-ss", "2000000000", "-pp", "100000", "-log",
                                     "out.log", "-json", "run.json", "handshake.stpn"], cwd=work, env=MPI_ENV)
    log, deadline = os.path.join(work, "out.log"), time.monotonic() + 60
    while "Intermediate" not in (open(log).read() if os.path.exists(log) else "") and time.monotonic() < deadline:
        time.sleep(0.2)
    ranks = subprocess.run(["pgrep", "-P", str(job.pid)], capture_output=True, text=True).stdout.split()
    for pid in ranks:
        os.kill(int(pid), signal.SIGTERM)
    try:
        job.wait(timeout=60)
    except subprocess.TimeoutExpired:
        job.kill()
    record = json.load(open(os.path.join(work, "run.json"))) if os.path.exists(os.path.join(work, "run.json")) else {}
    if (len(ranks), job.returncode, record.get("status")) != (2, 143, "interrupted"):
        print(f"FAIL: SIGTERM to the ranks {ranks}: status {job.returncode}, record {record}")
        return 1
    return 0


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    mpirun, zelbo, group = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    if os.geteuid() == 0:  # CI runs as root, which Open MPI refuses unless told
        for env in (os.environ, MPI_ENV):
            env.update(OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1")
    # Shared memory only (Open MPI's TCP transport is not needed on one machine, and takes its
    # own locks in both orders, which ThreadSanitizer reports), more ranks than cores, and no
    # notices of mpirun's own on a failing run.
    launcher = [mpirun, "--oversubscribe", "--mca", "btl", "self,vader"]
    with tempfile.TemporaryDirectory() as work:
        for name, text in MODELS.items():
            with open(os.path.join(work, name), "w") as f:
                f.write(text)
        if group == "equivalence":
            failures = compare(launcher + ["-q"], zelbo, EQUAL, work) + elsewhere(launcher + ["-q"], zelbo, work)
        elif group == "failure":
            failures = compare(launcher + ["-q"], zelbo, FAILING, work)
        elif group == "killed":
            failures = killed(launcher, zelbo, work)
        else:
            failures = interrupted(launcher + ["-q"], zelbo, work)
    sys.exit(1 if failures else 0)


main()
