#!/usr/bin/env python3
"""Checks the layers of the update service's sources.

Every file under the source root sits in a folder that is one layer. A file
may include files of its own folder and of folders in lower layers, never of
a higher layer or of another folder in the same layer, so the folders never
include each other in a circle.

    layering.py [source root]    (default: ../src beside this script)

Exits 0 when the layering holds, 1 with one line per fault otherwise.
"""

import os
import re
import sys

# Higher numbers sit higher; a folder may include only lower numbers.
LAYERS = {
    "cli": 5,
    "http": 4,
    "domain": 3,
    "store": 2,
    "mail": 2,
    "base": 1,
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
SOURCE_ENDINGS = (".h", ".hpp", ".cpp", ".cc")


def folder_of(path):
    """The first path component, or None for a file at the root."""
    parts = path.replace("\\", "/").split("/")
    return parts[0] if len(parts) > 1 else None


def find_cycle(edges):
    """A list of folders forming a circle in the include graph, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for target in sorted(edges.get(node, ())):
            if state.get(target) == "open":
                return stack[stack.index(target):] + [target]
            if target not in state:
                found = visit(target)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(here, "..", "src"))
    faults = []
    edges = {}
    seen_files = 0

    for directory, _, names in os.walk(root):
        for name in sorted(names):
            if not name.endswith(SOURCE_ENDINGS):
                continue
            seen_files += 1
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, root)
            source = folder_of(relative)

            if source is None or source not in LAYERS:
                faults.append(f"{relative}: not in a known layer folder")
                continue

            with open(path, encoding="utf-8") as handle:
                text = handle.read()

            for included in INCLUDE.findall(text):
                target = folder_of(included)
                if target is None:
                    if not os.path.exists(os.path.join(directory, included)):
                        faults.append(f"{relative}: includes \"{included}\" without its folder")
                    continue
                if not os.path.isdir(os.path.join(root, target)):
                    continue  # outside the service, such as xmlrefs/
                if target == source:
                    continue
                edges.setdefault(source, set()).add(target)
                if target not in LAYERS:
                    faults.append(f"{relative}: includes \"{included}\" from an unknown folder")
                elif LAYERS[target] >= LAYERS[source]:
                    faults.append(f"{relative}: {source} (layer {LAYERS[source]}) includes "
                                  f"\"{included}\" from {target} (layer {LAYERS[target]})")

    if seen_files == 0:
        faults.append(f"{root}: no sources found")

    cycle = find_cycle(edges)
    if cycle:
        faults.append("folders include each other in a circle: " + " -> ".join(cycle))

    for fault in faults:
        print(fault)
    if not faults:
        print(f"layering holds over {seen_files} files")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
