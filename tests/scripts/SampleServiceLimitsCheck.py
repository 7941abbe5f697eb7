#!/usr/bin/env python3
"""The sample service stays bounded under hostile clients: connections that send their
request a line at a time do not keep others from being served and are cut off; a request
line of many megabytes is refused without the service's memory growing with it.

    SampleServiceLimitsCheck.py BIN_DIR
"""
import os
import re
import socket
import subprocess
import sys
import time

REQUEST = b"GET /cgi-bin/ds_mark.prl?PidBox=AB1234 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"
SLOW_CLIENTS = 16      # more than the library's own worker pool
SLOW_CUT_OFF = 5 + 3   # the service's request deadline, and room
HUGE_BYTES = 64 << 20  # the request line sent; the service may read a small part
MAX_GROWTH_KB = 32 << 10
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def peak_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"VmHWM:\s+(\d+)", status.read()).group(1))


def ask(port, timeout=3.0):
    """The status line of a plain request, or '' when none came within `timeout`."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.sendall(REQUEST)
            return s.makefile("rb").readline().decode("latin-1").strip()
    except OSError:
        return ""


def send_huge_request(port):
    """Sends up to HUGE_BYTES of request line; returns what came back, if anything."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=3) as s:
            chunk = b"GET /" + b"a" * (1 << 20)
            try:
                for _ in range(HUGE_BYTES >> 20):
                    s.sendall(chunk)
                    chunk = b"a" * (1 << 20)
            except OSError:
                pass  # the service stopped reading, or closed
            return s.recv(4096)
    except OSError:
        return b""


service = subprocess.Popen([os.path.join(sys.argv[1], "tervane-sample-service"), "--port", "0"],
                           stdout=subprocess.PIPE, text=True)
try:
    port = int(re.search(r"127\.0\.0\.1:(\d+)", service.stdout.readline()).group(1))
    check(ask(port).endswith("200 OK"), "the service does not answer a plain request")

    # Slow clients: one header line every 0.5 s, each on a connection of its own.
    slow = []
    try:
        for _ in range(SLOW_CLIENTS):
            slow.append(socket.create_connection(("127.0.0.1", port), timeout=2))
    except OSError as error:
        check(False, f"connection {len(slow) + 1} of the slow clients refused: {error}")
    started = time.monotonic()
    try:
        for s in slow:
            s.sendall(b"GET /cgi-bin/ds_mark.prl?PidBox=AB1234 HTTP/1.1\r\n")
        time.sleep(0.5)
        for s in slow:
            s.sendall(b"X-Slow: 1\r\n")
    except OSError:
        pass
    asked = time.monotonic()
    status = ask(port, timeout=2.0)
    check(status.endswith("200 OK"), f"slow clients keep a plain request from an answer ({status!r})")
    check(time.monotonic() - asked < 1.5, "a plain request waits behind the slow clients")
    open_slow = list(slow)
    while open_slow and time.monotonic() - started < SLOW_CUT_OFF:  # bounded by the cut-off
        for s in list(open_slow):
            try:
                s.sendall(b"X-Slow: 1\r\n")
            except OSError:
                open_slow.remove(s)
        time.sleep(0.5)
    check(not open_slow, f"{len(open_slow)} slow clients still connected after {SLOW_CUT_OFF} s")
    for s in slow:
        s.close()

    # A request line of many megabytes.
    before = peak_kb(service.pid)
    reply = send_huge_request(port)
    check(not reply.startswith(b"HTTP/1.1 200"), f"a huge request line was answered: {reply[:40]!r}")
    growth = peak_kb(service.pid) - before
    check(growth < MAX_GROWTH_KB, f"a huge request line grew the service by {growth} kB")
    check(ask(port).endswith("200 OK"), "the service does not answer after a huge request")
finally:
    service.kill()
    service.wait(timeout=10)

if failures:
    sys.exit(1)
print("sample service limits: all passed")
