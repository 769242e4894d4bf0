#!/usr/bin/env python3
"""Prints, in apt's deb822 format, the source archives ("deb-src") of the
Debian archives this machine installs its packages from (with --binary,
the package archives themselves, "deb"): every "deb" entry
of the system's apt configuration (sources.list and sources.list.d, one-line
and deb822 files) for the given release, its -updates and its -security
suites, with the "main" component and the entry's keyring.

Usage: apt-source-lines.py [--binary] CODENAME     (e.g. bookworm)
"""

import glob
import os
import sys

APT = "/etc/apt"


def one_line_entries(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if len(words) < 3 or words[0] != "deb":
                continue
            options = {}
            if words[1].startswith("["):
                text = []
                while words and not words[0].endswith("]"):
                    text.append(words.pop(0))
                text.append(words.pop(0))
                for option in " ".join(text)[1:-1].split():
                    key, _, value = option.partition("=")
                    options[key.lower()] = value
                words.insert(0, "deb")
            if len(words) < 4:
                continue
            yield {"uris": [words[1]], "suites": [words[2]], "components": words[3:],
                   "signed-by": options.get("signed-by", "")}


def deb822_entries(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        stanzas = f.read().split("\n\n")
    for stanza in stanzas:
        fields, key = {}, None
        for line in stanza.splitlines():
            if line.startswith("#"):
                continue
            if line[:1] in (" ", "\t") and key:
                fields[key] += "\n" + line.strip()
                continue
            key, _, value = line.partition(":")
            key = key.strip().lower()
            fields[key] = value.strip()
        if "deb" not in fields.get("types", "").split() or fields.get("enabled", "yes").lower() == "no":
            continue
        yield {"uris": fields.get("uris", "").split(), "suites": fields.get("suites", "").split(),
               "components": fields.get("components", "").split(), "signed-by": fields.get("signed-by", "")}


def main():
    arguments = sys.argv[1:]
    kind = "deb-src"
    if arguments[:1] == ["--binary"]:
        kind = "deb"
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.exit(__doc__)
    codename = arguments[0]
    wanted = [codename, codename + "-updates", codename + "-security"]

    entries = []
    files = [os.path.join(APT, "sources.list")] + sorted(glob.glob(os.path.join(APT, "sources.list.d", "*.list")))
    for path in files:
        if os.path.isfile(path):
            entries += one_line_entries(path)
    for path in sorted(glob.glob(os.path.join(APT, "sources.list.d", "*.sources"))):
        entries += deb822_entries(path)

    seen = set()
    for entry in entries:
        if "main" not in entry["components"]:
            continue
        for uri in entry["uris"]:
            suites = [s for s in entry["suites"] if s in wanted and (uri, s) not in seen]
            if not suites:
                continue
            seen.update((uri, s) for s in suites)
            print("Types: " + kind)
            print("URIs: " + uri)
            print("Suites: " + " ".join(suites))
            print("Components: main")
            if entry["signed-by"] and "\n" not in entry["signed-by"]:
                print("Signed-By: " + entry["signed-by"])
            print()


if __name__ == "__main__":
    main()
