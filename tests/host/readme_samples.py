#!/usr/bin/env python3
"""The README's samples against what the tool prints today.

A sample is a fenced block that follows a marker comment, which Markdown
shows to nobody:

    <!-- sample: check examples/crude/crude.toml -->   dcs-host's output
    <!-- file: examples/unit/unit.mrx -->              a file's text

The block holds the output, or the file, line for line, with two marks of
elision and no others: a line that is only "..." (or "…") stands for any
number of lines, and a line that ends in " ..." (or " …") for any end of
that line. A first line "$ dcs-host ARGS" shows the command and must be the
marker's. Commands run in the source folder, with standard output not a
terminal (so a table's width is 100 columns).

Usage: readme_samples.py DCS_HOST SOURCE_DIR
"""
import os
import re
import subprocess
import sys

ELLIPSES = ("...", "\u2026")


def matches(sample, actual):
    """Whether the sample lines match the actual lines, and if not, where."""
    # memo[i][j]: sample[i:] matches actual[j:]
    memo = {}

    def go(i, j):
        key = (i, j)
        if key in memo:
            return memo[key]
        if i == len(sample):
            result = j == len(actual)
        elif sample[i].strip() in ELLIPSES:
            result = any(go(i + 1, k) for k in range(j, len(actual) + 1))
        elif j == len(actual):
            result = False
        else:
            line = sample[i]
            cut = next((e for e in ELLIPSES if line.endswith(" " + e)), None)
            if cut is not None:
                ok = actual[j].startswith(line[: -len(cut)].rstrip())
            else:
                ok = actual[j] == line
            result = ok and go(i + 1, j + 1)
        memo[key] = result
        return result

    sys.setrecursionlimit(100000)
    if go(0, 0):
        return None
    # The first sample line that no line of the output matches, for the message.
    for line in sample:
        if line.strip() in ELLIPSES:
            continue
        cut = next((e for e in ELLIPSES if line.endswith(" " + e)), None)
        probe = line[: -len(cut)].rstrip() if cut else line
        if not any((a.startswith(probe) if cut else a == probe) for a in actual):
            return "no line of the output is: " + line
    return "every line is there, but not in this order or with lines between them that the sample does not mark"


def main():
    host, source = os.path.abspath(sys.argv[1]), sys.argv[2]
    readme = open(os.path.join(source, "README.md"), encoding="utf-8").read().split("\n")
    failures = 0
    samples = 0
    i = 0
    while i < len(readme):
        marker = re.match(r"<!-- (sample|file): (.*?) -->$", readme[i])
        i += 1
        if not marker:
            continue
        while i < len(readme) and not readme[i].startswith("```"):
            i += 1
        start = i + 1
        end = start
        while end < len(readme) and not readme[end].startswith("```"):
            end += 1
        block = readme[start:end]
        i = end + 1
        samples += 1
        kind, what = marker.groups()
        where = "README.md:%d (%s: %s)" % (start, kind, what)
        if kind == "file":
            with open(os.path.join(source, what), encoding="utf-8", newline="") as f:
                actual = f.read().split("\n")
            if actual and actual[-1] == "":
                actual.pop()
        else:
            if block and block[0].startswith("$ "):
                if block[0] != "$ dcs-host " + what:
                    print("FAIL: %s: the sample shows %r" % (where, block[0]))
                    failures += 1
                block = block[1:]
            run = subprocess.run([host] + what.split(), cwd=source, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, env=dict(os.environ, COLUMNS="100"))
            actual = run.stdout.decode("utf-8", "replace").split("\n")
            if actual and actual[-1] == "":
                actual.pop()
        problem = matches(block, actual)
        if problem:
            print("FAIL: %s: %s" % (where, problem))
            failures += 1
    if samples == 0:
        print("FAIL: README.md marks no sample")
        failures += 1
    if failures:
        print("%d of %d sample(s) differ from what the tool prints" % (failures, samples))
        return 1
    print("all %d samples of the README match the tool" % samples)
    return 0


if __name__ == "__main__":
    sys.exit(main())
