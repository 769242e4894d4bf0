#!/usr/bin/python3
"""Abuse measurements of the stand-in update service on loopback.

Starts the service binary on a free port with a temporary database and
measures, each step bounded in time and requests:

  disk      the database size (file + WAL) added by one upload of N plug-ins
  timing    median reply times of "registerpost" and "forgotpassword" for
            existing and for unknown addresses (enumeration by timing)
  mail      100 throw-away sign-ups and 5 reset requests for each, from one
            address: how many messages are written
  lockout   an attacker (from 127.0.0.2) sends many wrong passwords at once
            for a victim's address; then the victim (from 127.0.0.1) logs in

Usage: service_abuse.py BINARY [disk|timing|mail|lockout ...] [-- extra serve options]

Environment: PLUGINS (100000) and DISK_STYLE (short, or long for longer
texts) for disk, ROUNDS (50) for timing, ACCOUNTS (100) for mail, ATTEMPTS
(200) for lockout. The timing step needs the per-address limits of sign-ups
and reset requests off (-- --max-sign-ups-per-address 0 ...).
"""

import concurrent.futures
import http.client
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

PASSWORD = "Passw0rd!-abuse"


def start(binary, work, extra):
    db = os.path.join(work, "abuse.db")
    out = open(os.path.join(work, "stdout"), "w+")
    err = open(os.path.join(work, "stderr"), "w")
    process = subprocess.Popen([binary, "serve", "--listen", "127.0.0.1:0", "--db", db,
                                "--outbox", os.path.join(work, "outbox"), "--quiet"] + extra,
                               stdout=out, stderr=err)
    deadline = time.time() + 10
    while time.time() < deadline:
        out.seek(0)
        line = out.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)", line)
        if match:
            return process, int(match.group(1)), db
        if process.poll() is not None:
            break
        time.sleep(0.05)
    process.kill()
    raise SystemExit("the service did not start: " + open(os.path.join(work, "stderr")).read())


def post(port, path, fields, source="127.0.0.1", body=None, content_type=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=120, source_address=(source, 0))
    data = body if body is not None else urllib.parse.urlencode(fields).encode()
    started = time.perf_counter()
    connection.request("POST", path, data, {"Content-Type": content_type or "application/x-www-form-urlencoded"})
    reply = connection.getresponse().read().decode("utf-8", "replace")
    elapsed = (time.perf_counter() - started) * 1000.0
    connection.close()
    return reply, elapsed


def account(port, fields, source="127.0.0.1"):
    return post(port, "/authentication/index.php", fields, source)


def sign_up(port, email, source="127.0.0.1"):
    return account(port, {"registerpost": "true", "email": email, "password": PASSWORD, "firstname": "A",
                          "lastname": "B", "isdeveloper": "0"}, source)


def tag(reply):
    match = re.search(r"<(Errors|Success|Profile|UpdateList)\b", reply)
    return match.group(1) if match else "?"


def title(reply):
    match = re.search(r'(?:ErrorTitle|SuccessTitle)="([^"]*)"', reply)
    return match.group(1) if match else tag(reply)


def size_of(db):
    return sum(os.path.getsize(db + suffix) for suffix in ("", "-wal") if os.path.exists(db + suffix))


def measure_disk(port, db, plugins):
    sign_up(port, "disk@example.com")
    lines = ['<?xml version="1.0" encoding="UTF-8"?>\r\n<MachineProfile MachineName="Disk-PC" Platform="Win" '
             'PlatformString="Windows 10" CPUVendor="GenuineIntel" CPUSpeed="2394" Supports64Bit="1" RAM="16384" '
             'HasSSE1="1" HasSSE2="1" HasMMX="1" Has3DNow="0" DisplayLanguage="en" UserLanguage="en" Region="US" '
             'Time="8 Dec 2026 2:05:01pm">\r\n']
    long = os.environ.get("DISK_STYLE") == "long"
    for p in range(plugins):
        if long:
            # Longer texts, as installed plug-ins have them: deep shared
            # folders, long vendor names, an error text on some.
            vendor = "Harbor Creative Audio Technologies GmbH &amp; Co. KG %d" % (p % 200)
            lines.append('  <Plugin Name="%s Vintage Channel Strip Collection %d" Version="%d.%d.%d" Vendor="%s" '
                         'Path="C:\\Program Files\\Common Files\\VST3\\%s\\Channel Strips\\Vintage '
                         'Channel Strip Collection %d.vst3" Format="VST3" Error="%s"/>\r\n'
                         % (vendor, p, p % 7, p % 13, p % 31, vendor, vendor, p,
                            "The plug-in could not be loaded: a library it needs is missing" if p % 10 == 0 else ""))
        else:
            lines.append('  <Plugin Name="Load Plugin %d" Version="1.%d" Vendor="Load Vendor %d" '
                         'Path="C:\\Program Files\\VSTPlugins\\load-%d.dll" Format="VST" Error=""/>\r\n'
                         % (p, p % 97, p % 50, p))
    lines.append("</MachineProfile>\r\n")
    document = "".join(lines).encode()
    boundary = "abuse0b0undary"
    body = (("--%s\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\ndisk@example.com\r\n"
             "--%s\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n%s\r\n"
             "--%s\r\nContent-Disposition: form-data; name=\"userfile\"; filename=\"Disk-PC_PluginList.xml\"\r\n"
             "Content-Type: text/xml\r\n\r\n") % (boundary, boundary, PASSWORD, boundary)).encode() \
        + document + ("\r\n--%s--\r\n" % boundary).encode()
    before = size_of(db)
    reply, elapsed = post(port, "/scan/index.php", None, body=body,
                          content_type="multipart/form-data; boundary=" + boundary)
    after = size_of(db)
    print("disk: one upload of %d plug-ins (%.1f MiB of XML): %s in %.0f ms; database grew by %.1f MiB "
          "(file %.1f MiB, WAL %.1f MiB)" % (plugins, len(document) / 1048576.0, tag(reply), elapsed,
                                               (after - before) / 1048576.0, os.path.getsize(db) / 1048576.0,
                                               (os.path.getsize(db + "-wal") if os.path.exists(db + "-wal") else 0)
                                               / 1048576.0))
    # A second scan of the same machine replaces the first.
    post(port, "/scan/index.php", None, body=body, content_type="multipart/form-data; boundary=" + boundary)
    print("disk: after the same machine is scanned again: %.1f MiB in all" % (size_of(db) / 1048576.0))


def measure_timing(port, rounds):
    # Each round uses an account of its own, so the per-account cap on
    # reset codes never cuts a mail short.
    for i in range(rounds):
        sign_up(port, "known-%d@example.com" % i)
    samples = {"registerpost existing": [], "registerpost new": [], "forgotpassword existing": [],
               "forgotpassword unknown": []}
    for i in range(rounds):
        # Interleaved, and in turns first or second, so that drift and the
        # request before affect both paths alike.
        pairs = [[("registerpost existing", lambda: sign_up(port, "known-%d@example.com" % i)),
                  ("registerpost new", lambda: sign_up(port, "new-%d@example.com" % i))],
                 [("forgotpassword existing",
                   lambda: account(port, {"forgotpassword": "true", "email": "known-%d@example.com" % i})),
                  ("forgotpassword unknown",
                   lambda: account(port, {"forgotpassword": "true", "email": "nobody-%d@example.com" % i}))]]
        for pair in pairs:
            for name, request in (pair if i % 2 == 0 else reversed(pair)):
                samples[name].append(request()[1])
    for name, values in samples.items():
        print("timing: %-24s median %7.2f ms  (n=%d, min %.2f, max %.2f)"
              % (name, statistics.median(values), len(values), min(values), max(values)))


def measure_mail(port, outbox, accounts):
    started = time.perf_counter()
    signed = sum(tag(sign_up(port, "throwaway-%d@example.com" % a)[0]) == "Success" for a in range(accounts))
    asked = 0
    for a in range(accounts):
        for _ in range(5):
            asked += tag(account(port, {"forgotpassword": "true", "email": "throwaway-%d@example.com" % a})[0]) == "Success"
    elapsed = time.perf_counter() - started
    time.sleep(1.0)   # mail may be written just after the reply
    files = [os.path.join(outbox, f) for f in os.listdir(outbox) if f.endswith(".eml")] if os.path.isdir(outbox) else []
    texts = [open(f, encoding="utf-8", errors="replace").read() for f in files]
    confirmations = sum("\nSubject: Confirm your Cobaltline e-mail address" in t for t in texts)
    print("mail: %d sign-ups and %d reset requests from one address in %.1f s: %d accounts made, %d requests "
          "answered Success, %d messages written (%d reset codes, %d confirmation links)"
          % (accounts, accounts * 5, elapsed, signed, asked, len(texts), len(texts) - confirmations, confirmations))


def measure_lockout(port, attempts):
    sign_up(port, "victim@example.com")
    wrong = {"viewprofile": "true", "email": "victim@example.com", "password": "Wrong-passw0rd"}
    with concurrent.futures.ThreadPoolExecutor(max_workers=50) as pool:
        titles = list(pool.map(lambda _: title(account(port, wrong, "127.0.0.2")[0]), range(attempts)))
    counted = {t: titles.count(t) for t in sorted(set(titles))}
    print("lockout: %d parallel wrong passwords from 127.0.0.2: %s" % (attempts, counted))
    right = {"viewprofile": "true", "email": "victim@example.com", "password": PASSWORD}
    print("lockout: the victim from 127.0.0.1 with the right password: %s" % title(account(port, right)[0]))
    print("lockout: the attacker from 127.0.0.2 with the right password: %s"
          % title(account(port, right, "127.0.0.2")[0]))


def main():
    args = sys.argv[1:]
    extra = []
    if "--" in args:
        extra = args[args.index("--") + 1:]
        args = args[:args.index("--")]
    binary, steps = args[0], args[1:] or ["disk", "timing", "mail", "lockout"]
    for step in steps:
        work = tempfile.mkdtemp(prefix="cobaltline-abuse.")
        process, port, db = start(binary, work, extra)
        try:
            if step == "disk":
                measure_disk(port, db, int(os.environ.get("PLUGINS", "100000")))
            elif step == "timing":
                measure_timing(port, int(os.environ.get("ROUNDS", "50")))
            elif step == "mail":
                measure_mail(port, os.path.join(work, "outbox"), int(os.environ.get("ACCOUNTS", "100")))
            elif step == "lockout":
                measure_lockout(port, int(os.environ.get("ATTEMPTS", "200")))
        finally:
            process.terminate()
            process.wait(timeout=30)
            if step == "disk":
                # On a clean stop the write-ahead log is folded into the file.
                print("disk: the database file once the service has stopped: %.1f MiB" % (size_of(db) / 1048576.0))
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
