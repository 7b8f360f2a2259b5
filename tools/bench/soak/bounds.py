#!/usr/bin/env python3
"""The bounds the soak's mix does not reach: large uploads, and the console's views at full load.

    bounds.py --build BUILD_DIR [--requests N] [--connections C]

Starts BUILD_DIR/run/qorsv as soak.py does (a throw-away program directory on free 127.0.0.1
ports), with the log display switch "showlog" on, and measures:

  uploads   one 50 MB multipart upload raises the peak resident memory by at most
            UPLOAD_COST_MB; ten at once keep it under RSS_BOUND_MB; every stored upload file
            holds exactly the bytes sent.
  showlog   N requests (default 200,000) of the soak's mix at C connections (default 50) while
            three console event streams are open: one read at once, one read slowly, one not
            read until the load is over. Resident memory stays under RSS_BOUND_MB and comes back
            to within AFTER_LOAD_SLACK_MB of its figure at rest 30 s after the load; a stream
            that fell behind is told so ("behind") and then gets the whole current state, so
            that each stream's view of the log ends as the server's. Meanwhile the day's log
            file grows in steps of about the buffer's hand-over size, well before the 10 s
            tick, and the tick still refreshes the traffic label.

The peak is the kernel's high-water mark (VmHWM), reset before each measurement. Exit status 0
when every bound held, 1 otherwise. The server is stopped by its PID at the end.
"""

import argparse
import json
import os
import random
import re
import socket
import sys
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402  (the soak's site, server and load)

RSS_BOUND_MB = soak.RSS_BOUND_MB
AFTER_LOAD_SLACK_MB = soak.AFTER_LOAD_SLACK_MB
AFTER_LOAD_SECONDS = soak.AFTER_LOAD_SECONDS
UPLOAD_MB = 50
UPLOAD_COUNT = 10
UPLOAD_COST_MB = 8  # "a few MB": the body goes to a file as it arrives
HAND_OVER_MB = 8  # the log buffer's hand-over size
VIEW_LINE_LIMIT = 5000
LOG_TICK_SECONDS = 10

KEEP_UPLOAD_PAGE = soak.crlf("""
<%qor%>onload
begin
  echo(getparam('note') + '|' + getparam('file'));
end.
</%qor%>
""")


class Peak:
    """The server's peak resident memory since the last reset: the kernel's VmHWM, which
    writing 5 to clear_refs resets; where that is not allowed, VmRSS sampled every 20 ms."""

    def __init__(self, server):
        self.server = server
        self.sampled = 0.0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.sample, daemon=True)
        self.thread.start()

    def sample(self):
        while not self.stop.wait(0.02):
            try:
                self.sampled = max(self.sampled, self.server.status()[0])
            except OSError:
                return

    def reset(self):
        try:
            with open("/proc/%d/clear_refs" % self.server.process.pid, "w") as refs:
                refs.write("5")
        except OSError:
            pass
        self.sampled = self.server.status()[0]

    def mb(self):
        return max(self.server.status()[1], self.sampled)


def settle(server, seconds=2.0):
    """Resident MB once the server has been idle a moment."""
    time.sleep(seconds)
    return server.status()[0]


def upload(port, note, content):
    """Posts one multipart upload; returns the page's answer body."""
    boundary = "----------------------------bounds" + note
    head = ("--%s\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n%s\r\n--%s\r\n"
            "Content-Disposition: form-data; name=\"file\"; filename=\"%s.bin\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n" % (boundary, note, boundary, note))
    tail = "\r\n--%s--\r\n" % boundary
    length = len(head) + len(content) + len(tail)
    request = ("POST /keep.html HTTP/1.1\r\nHost: bounds.test\r\nContent-Type: multipart/form-data;"
               " boundary=%s\r\nContent-Length: %d\r\n\r\n" % (boundary, length))
    with socket.create_connection(("127.0.0.1", port), timeout=120) as client:
        client.sendall(request.encode() + head.encode())
        view = memoryview(content)
        for at in range(0, len(content), 1 << 20):
            client.sendall(view[at:at + (1 << 20)])
        client.sendall(tail.encode())
        answer = b""
        while True:
            piece = client.recv(65536)
            if not piece:
                break
            answer += piece
    status, _, body = answer.partition(b"\r\n\r\n")
    if not status.startswith(b"HTTP/1.1 200 "):
        raise RuntimeError("upload %s answered %r" % (note, answer[:200]))
    return body.decode("latin-1")


def check_stored(answer, note, content):
    """What is wrong with the stored upload an answer names, or None."""
    match = re.match(r"(.*)\|(.*)@(.*):(\d+)\s*$", answer, re.S)
    if not match or match.group(1) != note or match.group(3) != note + ".bin":
        return "upload %s: unexpected answer %r" % (note, answer[:200])
    if int(match.group(4)) != len(content):
        return "upload %s: the page saw %s bytes of %d" % (note, match.group(4), len(content))
    with open(match.group(2), "rb") as stored:
        if stored.read() != content:
            return "upload %s: the stored file differs from the bytes sent" % note
    os.unlink(match.group(2))
    return None


def measure_uploads(site, server, peak, failures):
    rng = random.Random(13)
    contents = [rng.randbytes(UPLOAD_MB << 20) for _ in range(UPLOAD_COUNT)]
    # The first upload also sets up what any first page request sets up once.
    check = check_stored(upload(site.port, "warm", contents[0][:4096]), "warm", contents[0][:4096])
    if check:
        failures.append(check)

    rest = settle(server)
    peak.reset()
    check = check_stored(upload(site.port, "one", contents[0]), "one", contents[0])
    one_peak = peak.mb()
    if check:
        failures.append(check)
    print("one %d MB upload: %.1f MB resident before, peak %.1f MB (+%.1f MB, bound +%d)" % (
        UPLOAD_MB, rest, one_peak, one_peak - rest, UPLOAD_COST_MB))
    if one_peak - rest > UPLOAD_COST_MB:
        failures.append("one %d MB upload raised resident memory by %.1f MB" % (
            UPLOAD_MB, one_peak - rest))

    rest = settle(server)
    peak.reset()
    answers = [None] * UPLOAD_COUNT

    def send(i):
        try:
            answers[i] = upload(site.port, "u%d" % i, contents[i])
        except Exception as error:  # noqa: BLE001  (reported as a failure below)
            answers[i] = error

    threads = [threading.Thread(target=send, args=(i,)) for i in range(UPLOAD_COUNT)]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    seconds = time.monotonic() - started
    many_peak = peak.mb()
    for i, answer in enumerate(answers):
        check = (str(answer) if not isinstance(answer, str)
                 else check_stored(answer, "u%d" % i, contents[i]))
        if check:
            failures.append(check)
    print("%d concurrent %d MB uploads in %.1f s: %.1f MB resident before, peak %.1f MB "
          "(bound %d); stored files compared byte for byte" % (
              UPLOAD_COUNT, UPLOAD_MB, seconds, rest, many_peak, RSS_BOUND_MB))
    if many_peak > RSS_BOUND_MB:
        failures.append("%d concurrent uploads: peak resident memory %.1f MB" % (
            UPLOAD_COUNT, many_peak))


class EventStream:
    """One console page's event stream, read by a thread of its own at a chosen pace.

    mode "fast" reads as it comes; "slow" reads 64 KB every 50 ms (a fifth of what showlog
    at full load produces); "stalled" reads nothing until released. The page's view of Memo1 is kept as the page would keep it."""

    def __init__(self, console_port, token, mode):
        self.mode = mode
        self.memo1 = []
        self.label2 = []  # (seconds, text) of each change of the traffic label
        self.behind = 0
        self.full_after_behind = 0
        self.events = 0
        self.error = None
        self.release = threading.Event()
        self.done = threading.Event()
        self.lock = threading.Lock()
        self.client = socket.socket()
        if mode == "stalled":
            self.client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.client.connect(("127.0.0.1", console_port))
        self.client.sendall(("GET /api/events?sources=console&token=%s HTTP/1.1\r\n"
                             "Host: 127.0.0.1:%d\r\n\r\n" % (token, console_port)).encode())
        self.started = time.monotonic()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        pending = b""
        waiting_for_full = False
        try:
            head, _, pending = self.read_until(b"\r\n\r\n", b"")
            if b" 200 " not in head.split(b"\r\n")[0]:
                raise RuntimeError("event stream answered %r" % head[:200])
            while not self.done.is_set():
                if self.mode == "stalled" and not self.release.is_set():
                    self.release.wait(0.2)
                    continue
                frame, found, pending = self.read_until(b"\n\n", pending)
                if not found:
                    return
                for line in frame.split(b"\n"):
                    if not line.startswith(b"data: "):
                        continue
                    event = json.loads(line[6:])
                    with self.lock:
                        waiting_for_full = self.apply(event, waiting_for_full)
        except Exception as error:  # noqa: BLE001  (reported by the caller)
            if not self.done.is_set():
                self.error = error

    def read_until(self, separator, pending):
        while separator not in pending:
            size = 65536 if self.mode == "slow" else 1 << 20
            if self.mode == "slow":
                time.sleep(0.05)
            piece = self.client.recv(size)
            if not piece:
                return pending, False, b""
            pending += piece
        before, _, after = pending.partition(separator)
        return before, True, after

    def apply(self, event, waiting_for_full):
        self.events += 1
        kind = event.get("type")
        if kind == "behind":
            self.behind += 1
            return True
        if kind == "full":
            if waiting_for_full:
                self.full_after_behind += 1
            self.memo1 = list(event["state"]["Memo1"])
            self.note_label(event["state"].get("Label2"))
            return False
        if waiting_for_full:
            raise RuntimeError("a %r event came between the behind notice and the full state"
                               % kind)
        if kind == "fields":
            self.note_label(event["fields"].get("Label2"))
        elif kind == "view" and event["view"] == "Memo1":
            self.memo1 = list(event["lines"])
        elif kind == "append" and event["view"] == "Memo1":
            self.memo1.extend(event["lines"])
            del self.memo1[:-VIEW_LINE_LIMIT]
        return False

    def note_label(self, text):
        if text is not None and (not self.label2 or self.label2[-1][1] != text):
            self.label2.append((time.monotonic() - self.started, text))

    def close(self):
        self.done.set()
        self.release.set()
        try:
            self.client.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.client.close()
        self.thread.join(5)


def console_token(site):
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        with open(os.path.join(site.root, "qorsv.out"), "rb") as output:
            match = re.search(rb"Console: http://127\.0\.0\.1:(\d+)/\?token=(\w+)", output.read())
        if match:
            return int(match.group(1)), match.group(2).decode()
        time.sleep(0.1)
    raise RuntimeError("qorsv printed no console address")


class LogGrowth:
    """Samples the size of the day's log files every 100 ms: how often the log was appended."""

    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.sizes = []
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stop.wait(0.1):
            total = sum(os.path.getsize(os.path.join(self.log_dir, name))
                        for name in os.listdir(self.log_dir))
            if not self.sizes or self.sizes[-1][1] != total:
                self.sizes.append((time.monotonic(), total))

    def steps(self):
        """(seconds since the previous step, bytes) of each append."""
        return [(b[0] - a[0], b[1] - a[1]) for a, b in zip(self.sizes, self.sizes[1:])]


def measure_showlog(args, site, server, peak, failures):
    console_port, token = console_token(site)
    streams = {mode: EventStream(console_port, token, mode) for mode in ("fast", "slow", "stalled")}
    rest = settle(server, 3)
    peak.reset()
    growth = LogGrowth(os.path.join(site.dir, "logs", "http_server_log"))
    started = time.monotonic()
    status, figures = soak.run_load(args.build, site, args.requests, args.connections, 10**10)
    load_end = time.monotonic()
    load_peak = peak.mb()
    growth.stop.set()
    if status != 0:
        failures.append("showlog load: %s of %s answers were wrong" % (
            figures.get("wrong", "?"), figures.get("sent", "?")))
    streams["stalled"].release.set()
    time.sleep(max(0.0, load_end + AFTER_LOAD_SECONDS - time.monotonic()))
    after = server.status()[0]

    # Every stream, read to its end now, shows the log view as a page opened now would.
    now = EventStream(console_port, token, "fast")
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and not now.memo1:
        time.sleep(0.2)
    time.sleep(2)
    truth = now.memo1
    now.close()
    print("showlog at full load: %s requests in %s s with 3 event streams open; resident memory "
          "%.1f MB at rest, peak %.1f MB (bound %d), %.1f MB %d s after (bound %.1f)" % (
              figures.get("sent"), figures.get("seconds"), rest, load_peak, RSS_BOUND_MB, after,
              AFTER_LOAD_SECONDS, rest + AFTER_LOAD_SLACK_MB))
    if load_peak > RSS_BOUND_MB:
        failures.append("showlog: peak resident memory %.1f MB" % load_peak)
    if after > rest + AFTER_LOAD_SLACK_MB:
        failures.append("showlog: %.1f MB resident %d s after the load, %.1f at rest" % (
            after, AFTER_LOAD_SECONDS, rest))
    if len(truth) < 1000:
        failures.append("showlog: the log view holds only %d lines after the load" % len(truth))
    for mode, stream in streams.items():
        # A stream's backlog (its bounded queue and the socket's buffers) takes a moment to read.
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and stream.memo1 != truth and not stream.error:
            time.sleep(0.5)
        with stream.lock:
            shown = list(stream.memo1)
            print("  %-7s stream: %d events, behind %d times, %d whole states after a behind "
                  "notice, %d view lines, same as the server's: %s" % (
                      mode, stream.events, stream.behind, stream.full_after_behind, len(shown),
                      "yes" if shown == truth else "no"))
            if stream.error:
                failures.append("%s stream: %s" % (mode, stream.error))
            if stream.behind != stream.full_after_behind:
                failures.append("%s stream: %d behind notices, %d resynchronised" % (
                    mode, stream.behind, stream.full_after_behind))
            if shown != truth:
                failures.append("%s stream: its log view differs from the server's" % mode)
        if mode == "stalled" and stream.behind == 0:
            failures.append("the stalled stream was never told it fell behind")
        stream.close()

    steps = growth.steps()
    largest = max((size for _, size in steps), default=0)
    logged = sum(size for _, size in steps)
    print("  log file appended %d times during %.0f s of load, %.1f MB in all, largest append "
          "%.1f MB" % (len(steps), load_end - started, logged / 2**20, largest / 2**20))
    # Saved by the tick alone, ten seconds of this load would arrive in one append.
    if largest > 3 * (HAND_OVER_MB << 20):
        failures.append("the log received %.1f MB at once" % (largest / 2**20))
    labels = streams["fast"].label2
    print("  traffic label changes seen by the fast stream: %d" % len(labels))
    if (load_end - started) > 2 * LOG_TICK_SECONDS and len(labels) < 2:
        failures.append("the traffic label did not refresh during the load")


def bounds(args):
    failures = []
    site = soak.Site(args.build)
    site.write("config/config.xml", soak.CONFIG_XML.format(
        port=site.port, console=soak.free_port()).replace(
            "</Configuration>", "  <ShowLog>true</ShowLog>\r\n</Configuration>"))
    site.write("webpage/default/keep.html", KEEP_UPLOAD_PAGE)
    server = soak.Server(site)
    peak = Peak(server)
    try:
        site.learn_not_found_page()
        status, _ = soak.run_load(args.build, site, 100, 10, 10**9)
        if status != 0:
            failures.append("warm-up answers were wrong")
        measure_uploads(site, server, peak, failures)
        measure_showlog(args, site, server, peak, failures)
    finally:
        peak.stop.set()
        server.stop()
        if not args.keep:
            site.remove()
        else:
            print("kept: %s" % site.root)
    for failure in failures:
        print("FAILED: " + failure)
    print("bounds %s" % ("FAILED" if failures else "held"))
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="a build directory holding run/ and bench/")
    parser.add_argument("--requests", type=int, default=200000)
    parser.add_argument("--connections", type=int, default=50)
    parser.add_argument("--keep", action="store_true", help="keep the program directory copy")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    return bounds(args)


if __name__ == "__main__":
    sys.exit(main())
