#!/usr/bin/python3
"""Attacks on the stand-in update service, on loopback only, each bounded in
size and time. Every scenario starts a fresh service (so that its peak RSS,
VmHWM, belongs to that scenario alone), runs, and prints one line of figures.

    bench/service_attacks.py --binary BUILD/cobaltline-service [--only NAME ...]

Scenarios:
  chunked-1g       one chunked POST of up to 1 GiB to the scan path
  chunked-1g-x4    four of them at once
  put-1g           a PUT without a length, up to 1 GiB
  header-flood     6,000,000 header lines (286 MiB) at most
  slow-clients     50 clients dripping bytes (25 in the headers, 25 in a body)
                   while legitimate requests are timed
  huge-token       an authenticated upload with a 127 MB element name; CPU time
  huge-token-x8    eight of them at once
"""

import argparse
import http.client
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

HOST = "127.0.0.1"
PASSWORD = "Passw0rd!"


def vm_value(pid, key):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1]) // 1024  # MiB
    return 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks


class Service:
    def __init__(self, binary, extra):
        self.folder = tempfile.mkdtemp(prefix="cobaltline-attack.")
        self.process = subprocess.Popen(
            [binary, "serve", "--listen", f"{HOST}:0", "--db", f"{self.folder}/a.db",
             "--outbox", f"{self.folder}/outbox", "--argon2", "fast", "--quiet"] + extra,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        self.port = int(line.rsplit(":", 1)[1])

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
        subprocess.run(["rm", "-rf", self.folder], check=False)

    @property
    def pid(self):
        return self.process.pid


def connect(port):
    s = socket.create_connection((HOST, port), timeout=30)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
    return s


def status_of(s, wait=5.0):
    s.settimeout(wait)
    data = b""
    try:
        while b"\r\n" not in data:
            more = s.recv(4096)
            if not more:
                break
            data += more
    except OSError:
        pass
    return data.split(b"\r\n", 1)[0].decode(errors="replace") or "(closed without a reply)"


def send_until_refused(port, head, piece_maker, limit_bytes, seconds):
    """Sends head, then pieces until limit_bytes, the deadline, or the server closes."""
    s = connect(port)
    s.sendall(head)
    sent = 0
    deadline = time.monotonic() + seconds
    try:
        while sent < limit_bytes and time.monotonic() < deadline:
            piece = piece_maker()
            s.sendall(piece)
            sent += len(piece)
    except OSError:
        pass
    reply = status_of(s)
    s.close()
    return sent, reply


def legit_get(port, timeout=10.0):
    started = time.monotonic()
    try:
        c = http.client.HTTPConnection(HOST, port, timeout=timeout)
        c.request("GET", "/checkconnect/index.html")
        ok = c.getresponse().status == 200
        c.close()
    except OSError:
        ok = False
    return ok, time.monotonic() - started


def register(port, email):
    body = (f"registerpost=true&email={email}&password=Passw0rd%21&firstname=A&lastname=B&isdeveloper=0")
    c = http.client.HTTPConnection(HOST, port, timeout=30)
    c.request("POST", "/authentication/index.php", body,
              {"Content-Type": "application/x-www-form-urlencoded"})
    reply = c.getresponse().read()
    c.close()
    return b"Success" in reply


MIB = 1 << 20
ONE_MIB_CHUNK = b"100000\r\n" + b"a" * MIB + b"\r\n"


def chunked_head(path="/scan/index.php"):
    return (f"POST {path} HTTP/1.1\r\nHost: {HOST}\r\nContent-Type: multipart/form-data; boundary=b\r\n"
            "Transfer-Encoding: chunked\r\n\r\n").encode()


def scenario_chunked(service, parallel):
    results = []

    def one():
        results.append(send_until_refused(service.port, chunked_head(), lambda: ONE_MIB_CHUNK, 1 << 30, 60))

    threads = [threading.Thread(target=one) for _ in range(parallel)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return "; ".join(f"sent {sent // MIB} MiB, reply {reply!r}" for sent, reply in results)


def scenario_put(service):
    head = f"PUT /scan/index.php HTTP/1.1\r\nHost: {HOST}\r\n\r\n".encode()
    sent, reply = send_until_refused(service.port, head, lambda: b"a" * MIB, 1 << 30, 60)
    return f"sent {sent // MIB} MiB, reply {reply!r}"


def scenario_header_flood(service):
    head = f"GET /checkconnect/index.html HTTP/1.1\r\nHost: {HOST}\r\n".encode()
    lines = b"".join(b"X-Flood-%07d: %s\r\n" % (i, b"v" * 30) for i in range(20000))
    per_piece = 20000
    total_lines = 6_000_000
    sent, reply = send_until_refused(service.port, head, lambda: lines,
                                     len(lines) * (total_lines // per_piece), 120)
    return f"sent {sent // MIB} MiB of header lines, reply {reply!r}"


def scenario_slow(service, slow_count=50, seconds=30):
    sockets = []
    for i in range(slow_count):
        s = connect(service.port)
        if i % 2 == 0:
            s.sendall(b"GET /checkconnect/index.html HTTP/1.1\r\nHost: x\r\n")
        else:
            s.sendall(b"POST /authentication/index.php HTTP/1.1\r\nHost: x\r\n"
                      b"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 60000\r\n\r\nview")
        sockets.append(s)

    stop = threading.Event()

    def drip():
        while not stop.wait(1.0):
            for s in sockets:
                try:
                    s.send(b"a")
                except OSError:
                    pass

    dripper = threading.Thread(target=drip)
    dripper.start()

    latencies = []
    answered = 0
    asked = 0
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        ok, took = legit_get(service.port)
        asked += 1
        if ok:
            answered += 1
            latencies.append(took)
        time.sleep(0.5)

    stop.set()
    dripper.join()
    still_open = 0
    for s in sockets:
        s.setblocking(False)
        try:
            still_open += 0 if s.recv(1 << 16) == b"" else 0
        except BlockingIOError:
            still_open += 1
        except OSError:
            pass
        s.close()

    latencies.sort()
    median = latencies[len(latencies) // 2] * 1000 if latencies else 0
    worst = latencies[-1] * 1000 if latencies else 0
    return (f"{slow_count} slow clients for {seconds} s: {answered} of {asked} legitimate requests answered, "
            f"median {median:.1f} ms, worst {worst:.1f} ms; slow connections still open at the end: {still_open}")


def token_upload(port, email, password, token_bytes):
    head_parts = (f"--b0\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\n{email}\r\n"
                  f"--b0\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n{password}\r\n"
                  "--b0\r\nContent-Disposition: form-data; name=\"userfile\"; filename=\"S_PluginList.xml\"\r\n"
                  "Content-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?><MachineProfile MachineName=\"S\"><").encode()
    tail = b"/></MachineProfile>\r\n--b0--\r\n"
    length = len(head_parts) + token_bytes + len(tail)
    s = connect(port)
    s.sendall((f"POST /scan/index.php HTTP/1.1\r\nHost: {HOST}\r\nContent-Type: multipart/form-data; boundary=b0\r\n"
               f"Content-Length: {length}\r\n\r\n").encode() + head_parts)
    piece = b"n" * MIB
    left = token_bytes
    try:
        while left > 0:
            s.sendall(piece[:min(left, MIB)])
            left -= min(left, MIB)
        s.sendall(tail)
    except OSError:
        pass
    s.settimeout(120)
    data = b""
    try:
        while True:
            more = s.recv(65536)
            if not more:
                break
            data += more
    except OSError:
        pass
    s.close()
    status = data.split(b"\r\n", 1)[0].decode(errors="replace")
    text = data.split(b"\r\n\r\n", 1)[-1][:160].decode(errors="replace")
    return status, text


def scenario_token(service, parallel):
    emails = [f"t{i}@example.com" for i in range(parallel)]
    for email in emails:
        register(service.port, email)
    before = cpu_seconds(service.pid)
    started = time.monotonic()
    results = []

    def one(email):
        results.append(token_upload(service.port, email, PASSWORD, 127_000_000))

    threads = [threading.Thread(target=one, args=(e,)) for e in emails]
    for t in threads:
        t.start()

    # The service must still answer others meanwhile.
    probe_ok, probe_took = legit_get(service.port, timeout=60)
    for t in threads:
        t.join()
    wall = time.monotonic() - started
    cpu = cpu_seconds(service.pid) - before
    wrong_status, _ = token_upload(service.port, emails[0], "Wrong-passw0rd", 127_000_000)
    summary = "; ".join(sorted({f"{status} {text[:90]!r}" for status, text in results}))
    return (f"{parallel} upload(s) of a 127 MB element name: service CPU {cpu:.2f} s, wall {wall:.1f} s, "
            f"replies {summary}; a page asked meanwhile: {'answered' if probe_ok else 'NOT answered'} "
            f"in {probe_took * 1000:.0f} ms; with a wrong password: {wrong_status}")


SCENARIOS = {
    "chunked-1g": lambda s: scenario_chunked(s, 1),
    "chunked-1g-x4": lambda s: scenario_chunked(s, 4),
    "put-1g": scenario_put,
    "header-flood": scenario_header_flood,
    "slow-clients": scenario_slow,
    "huge-token": lambda s: scenario_token(s, 1),
    "huge-token-x8": lambda s: scenario_token(s, 8),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", required=True)
    parser.add_argument("--only", nargs="*", choices=sorted(SCENARIOS))
    parser.add_argument("--service-args", default="", help="extra serve options, space separated")
    args = parser.parse_args()

    failed = False
    for name in args.only or SCENARIOS:
        service = Service(args.binary, args.service_args.split())
        try:
            base = vm_value(service.pid, "VmRSS")
            figures = SCENARIOS[name](service)
            alive = service.process.poll() is None
            peak = vm_value(service.pid, "VmHWM") if alive else -1
            print(f"{name}: {figures}; service RSS at start {base} MiB, peak {peak} MiB"
                  f"{'' if alive else ' (THE SERVICE DIED)'}", flush=True)
            failed |= not alive
        finally:
            service.stop()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
