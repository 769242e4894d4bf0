#!/usr/bin/env python3
"""Checks tests/fixtures/plugins/expected-wine.tsv against the expectations
declared in tools/fixtures/ and writes tests/fixtures/plugins/expected-overrides.tsv.

For the fixture DLLs, Wine must agree with the expectation everywhere except
on the rows declared as differing (those go to the overrides file with the
Windows behaviour). Every malformed file goes to the overrides file, since
Wine's result on broken input says nothing about Windows; where Wine crashed
or disagreed, the note says so.

Exit status 1 when an undeclared difference is found (the overrides file is
still written).
"""

import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.normpath(os.path.join(here, "..", ".."))
plugins = os.path.join(root, "tests", "fixtures", "plugins")


def rows_from(command):
    output = subprocess.run([sys.executable] + command, check=True, capture_output=True, text=True).stdout
    return [line.split("\t") for line in output.splitlines() if line]


def matches(expected, actual):
    return all(e == "*" or e == a for e, a in zip(expected, actual))


def main():
    wine = {}
    with open(os.path.join(plugins, "expected-wine.tsv"), encoding="ascii") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            wine[fields[0]] = fields[1:]

    fixtures = rows_from([os.path.join(root, "tools", "fixtures", "fixtures.py"), "expected"])
    malformed = rows_from([os.path.join(root, "tools", "fixtures", "make-malformed.py"), "--expected"])

    failures = 0
    overrides = []

    for path, name, version, vendor, error, note in fixtures:
        expected = [name, version, vendor, error]
        actual = wine.get(path)
        if actual is None:
            print("compare: MISSING  %s: no Wine row" % path)
            failures += 1
        elif note:
            if "*" not in expected and matches(expected, actual):
                print("compare: note?    %s: Wine agrees with the Windows row although a difference is "
                      "declared" % path)
            else:
                print("compare: declared %s: Wine %s, Windows %s" % (path, actual, expected))
            overrides.append([path] + expected + ["Wine differs: " + note])
        elif not matches(expected, actual):
            print("compare: DIFFERS  %s:\n  expected %s\n  Wine     %s" % (path, expected, actual))
            failures += 1

    for path, name, version, vendor, error, note in malformed:
        expected = [name, version, vendor, error]
        actual = wine.get(path)
        if actual is None:
            note += "; Wine's version.dll crashes on this file"
            print("compare: malformed %s: Wine crashed" % path)
        elif not matches(expected, actual):
            note += "; Wine gives %s" % " / ".join('"%s"' % field for field in actual)
            print("compare: malformed %s: Wine %s, required %s" % (path, actual, expected))
        overrides.append([path] + expected + [note])

    with open(os.path.join(plugins, "expected-overrides.tsv"), "w", encoding="ascii") as f:
        f.write("# Rows that replace those of expected-wine.tsv (same path): the behaviour required of the\n"
                "# reader where Wine is known to differ from Windows, or where the file is malformed.\n"
                "# Columns: path, Name, Version, Vendor, Error, note. A field \"*\" is not checked.\n"
                "# Text is escaped as in expected-wine.tsv. Written by tools/winref/compare.py.\n")
        for row in overrides:
            assert all("\t" not in field and "\n" not in field for field in row)
            f.write("\t".join(row) + "\n")

    print("compare: %d fixture rows, %d malformed rows, %d overrides, %d undeclared differences" % (
        len(fixtures), len(malformed), len(overrides), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
