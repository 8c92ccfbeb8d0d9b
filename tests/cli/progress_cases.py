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

# The first unfolding is discarded, with notes. With the targets (b,b,1) and (a,b,0), the first
# target's first sample comes before the second's discard: its notes reach a line on show, and
# end within a row.
MODEL = """.stpn join
.place p .preset {b} .poset {a} .mark
.place q .preset {b} .poset {b} .mark
.place r .preset {a} .poset {b}
.delay p .fix 1
.delay q .uni 20 1
.delay r .fix 5
.tse (a b 0)
"""

ROWS = [
    # options, whether the line shows
    (["-ss", "1000000", "-pp", "0", "-tse", "b,b,1", "-tse", "a,b,0"], True),
    (["-ss", "1000000", "-pp", "0", "-log", "run.log"], True),
    (["-ss", "20000", "-pp", "1000"], False),  # intermediate reports on standard error
    (["-ss", "100", "-pp", "0", "-v", "2", "-log", "run.log"], False),  # traces
]

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
    while len(rows) > row + 1 and not rows[-1]:
        rows.pop()  # below the cursor, blank: what comes next writes over them
    return [bytes(r).rstrip() for r in rows]


def masked(text):
    return re.sub(rb"(CPU time used: )\S+ seconds", rb"\1* seconds", text)


def on_terminal(command, work):
    main, side = pty.openpty()
    tty.setraw(side)  # no newline translation: the bytes as written
    process = subprocess.Popen(command, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=side)
    os.close(side)
    out = chunk = b"-"
    while chunk:
        try:
            chunk = os.read(main, 1 << 16)
        except OSError:  # the other side is closed
            chunk = b""
        out += chunk
    os.close(main)
    return process.wait(), out[1:]


def check(zelbo, options, shown, work):
    command = [zelbo, "-seed", "1", *options, "join.stpn"]
    status, terminal = on_terminal(command, work)
    in_file = subprocess.run(command, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
    failures = []
    if status != 0 or in_file.returncode != 0:
        failures.append(f"exit status {status} on the terminal, {in_file.returncode} in a file")
    line = rb"\r\d+ of 1000000 samples, (\d+|-) samples/s, estimate [\d.]+\033\[K"
    if shown != bool(re.search(line, terminal)) or (not shown and b"\033" in terminal):
        failures.append("a progress line shown" if not shown else "no progress line")
    if b"\033" in in_file.stderr or b"samples/s" in in_file.stderr:
        failures.append("progress text in a file")
    if screen(masked(terminal)) != screen(masked(in_file.stderr)):
        failures.append("the terminal shows other text than the file holds")
    return [f"{' '.join(options)}: {f}" for f in failures]


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "join.stpn"), "w") as model:
            model.write(MODEL)
        for options, shown in ROWS:
            failures += check(sys.argv[1], options, shown, work)
    print("\n".join(failures) or "all rows pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
