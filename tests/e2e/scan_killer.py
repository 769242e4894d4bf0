#!/usr/bin/env python3
"""Kills a scanning program with SIGKILL at a chosen point of its scan.

Usage: scan_killer.py PID DATA_FOLDER MACHINE TREE FOLDERS POINT

Watches the process and its data folder (every millisecond or so), and
kills the process once the scan reaches the point:

  walking     it has a folder of TREE open: the walk is under way
  replacing   a temporary file of the inventory is there (the inventory is
              being replaced after a scan folder)
  uploading   the inventory has been replaced after all FOLDERS scan folders,
              and the process has a connection open to the service on port
              8750 (the upload and its version check)

Prints "watching" once it watches, then one line saying where the kill
landed, and exits 0; exits 1 when the process ended, or 120 seconds went by,
before the point was reached.
"""

import os
import signal
import sys
import time

pid, data, machine, tree, folders, point = (int(sys.argv[1]), sys.argv[2], sys.argv[3],
                                            os.path.realpath(sys.argv[4]), int(sys.argv[5]), sys.argv[6])
inventory = os.path.join(data, machine + "_PluginList.xml")
update_list = os.path.join(data, machine + "_CobaltlineList.xml")
temporary_prefix = machine + "_PluginList_temp"
service_port = "%04X" % 8750


def inode(path):
    try:
        return os.stat(path).st_ino
    except OSError:
        return None


def open_paths():
    paths = []
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                paths.append(os.readlink("/proc/%d/fd/%s" % (pid, fd)))
            except OSError:
                pass
    except OSError:
        pass
    return paths


def walking():
    return any(p == tree or p.startswith(tree + "/") for p in open_paths())


def replacing():
    return any(name.startswith(temporary_prefix) for name in os.listdir(data))


def connected_to_service():
    sockets = {p[len("socket:["):-1] for p in open_paths() if p.startswith("socket:[")}
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                next(f)
                for line in f:
                    fields = line.split()
                    if fields[2].endswith(":" + service_port) and fields[9] in sockets:
                        return True
        except OSError:
            pass
    return False


last_inventory = inode(inventory)
replacements = 0
started = time.monotonic()
print("watching", flush=True)

while True:
    if time.monotonic() - started > 120:
        print("the scan did not reach the point %r within 120 s (%d replacements seen)" % (point, replacements))
        sys.exit(1)

    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        print("the program ended before the point %r (%d replacements seen)" % (point, replacements))
        sys.exit(1)

    now = inode(inventory)

    if now is not None and now != last_inventory:
        replacements += 1
        last_inventory = now

    if point == "walking":
        reached = walking()
    elif point == "replacing":
        reached = replacing()
    elif point == "uploading":
        reached = replacements >= folders and connected_to_service()
    else:
        sys.exit("unknown point: " + point)

    if reached:
        os.kill(pid, signal.SIGKILL)
        after = time.monotonic() - started
        temporary = sorted(n for n in os.listdir(data) if n.startswith(temporary_prefix))
        print("killed while %s, %.2f s after the watch began, after %d of %d inventory replacements%s"
              % (point, after, replacements, folders,
                 "; left behind: " + ", ".join(temporary) if temporary else ""))
        sys.exit(0)

    time.sleep(0.001)
