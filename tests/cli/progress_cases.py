#!/usr/bin/python3
"""The progress line, with standard error on a pseudo-terminal:  progress_cases.py ZELBO

Each row runs twice, standard error on a terminal and in a file. On the terminal, a shown
line counts samples against the sample size with a rate; once the run ends, the terminal
shows what the file holds (processor times aside), which holds no trace of a line.
"""
import os
import pty
import re
import subprocess
import sys
import tempfile
import tty

MODELS = {"forkjoin.stpn": """.stpn forkjoin
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
""",
    # The second target's first unfolding is discarded after the first target's first sample:
    # its notes come while the line is shown, and end within a row.
    "join.stpn": """.stpn join
.place p .preset {b} .poset {a} .mark
.place q .preset {b} .poset {b} .mark
.place r .preset {a} .poset {b}
.delay p .fix 1
.delay q .uni 20 1
.delay r .fix 5
.tse (a b 0)
"""}

ROWS = [
    # options, whether the line shows
    (["-ss", "1000000", "-pp", "0", "forkjoin.stpn"], True),
    (["-ss", "1000000", "-pp", "0", "-log", "run.log", "forkjoin.stpn"], True),
    (["-ss", "20000", "-pp", "1000", "forkjoin.stpn"], False),  # intermediate reports on standard error
    (["-ss", "100", "-pp", "0", "-v", "2", "-log", "run.log", "forkjoin.stpn"], False),  # traces
    (["-ss", "1000000", "-pp", "0", "-tse", "b,b,1", "-tse", "a,b,0", "join.stpn"], True),
]

LINE = re.compile(rb"\r([^\r\n]*)\033\[K")  # a line shown, or erased (empty)


def screen(data):
    """The rows a terminal shows after `data`, written from the start of an empty row, with what
    the line uses: text, tabs, newlines, carriage returns, a row up, erasing the row's rest."""
    rows, row, column = [bytearray()], 0, 0
    for token in re.findall(rb"\033\[[AK]|[\s\S]", data):
        if token == b"\033[A":
            row = max(row - 1, 0)
        elif token == b"\033[K":
            del rows[row][column:]
        elif token == b"\r":
            column = 0
        elif token == b"\n":  # a terminal's output translation returns the carriage too
            row, column = row + 1, 0
            if row == len(rows):
                rows.append(bytearray())
        elif token == b"\t":
            column = (column // 8 + 1) * 8
        else:
            rows[row] = rows[row].ljust(column)
            rows[row][column:column + 1] = token
            column += 1
    return [bytes(r).rstrip() for r in rows]


def masked(text):
    return re.sub(rb"(CPU time used: )\S+ seconds", rb"\1* seconds", text)


def on_terminal(command, work):
    main, side = pty.openpty()
    tty.setraw(side)  # no newline translation: the bytes as written
    process = subprocess.Popen(command, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=side)
    os.close(side)
    out = b""
    while True:
        try:
            chunk = os.read(main, 1 << 16)
        except OSError:  # the other side is closed
            break
        if not chunk:
            break
        out += chunk
    os.close(main)
    return process.wait(), out


def in_file(command, work):
    with open(os.path.join(work, "stderr"), "w+b") as err:
        status = subprocess.run(command, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=err).returncode
        err.seek(0)
        return status, err.read()


def check(zelbo, options, shown, work):
    command = [zelbo, "-seed", "1", *options]
    status, terminal = on_terminal(command, work)
    file_status, file_text = in_file(command, work)
    failures = []
    lines = [m.group(1) for m in LINE.finditer(terminal)]
    if status != 0 or file_status != 0:
        failures.append(f"exit status {status} on the terminal, {file_status} in a file")
    if shown and not any(re.fullmatch(rb"\d+ of 1000000 samples, (\d+|-) samples/s, estimate [\d.]+", l) for l in lines):
        failures.append("no progress line")
    if not shown and lines:
        failures.append("a progress line without asking")
    if b"\033" in file_text or b"samples/s" in file_text:
        failures.append("progress text in a file")
    if screen(masked(terminal)) != screen(masked(file_text)):
        failures.append("the terminal shows other text than the file holds")
    return [f"{' '.join(options)}: {f}" for f in failures]


def main():
    zelbo = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for name, text in MODELS.items():
            with open(os.path.join(work, name), "w") as model:
                model.write(text)
        for options, shown in ROWS:
            failures += check(zelbo, options, shown, work)
    print("\n".join(failures) or "all rows pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
