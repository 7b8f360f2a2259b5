#!/usr/bin/env python3
"""The soak: a long mixed load against one qorsv, checking that it stays correct and bounded.

    soak.py --build BUILD_DIR [--requests N] [--connections C] [--plot FILE.png]

Starts BUILD_DIR/run/qorsv from a throw-away copy of the program directory on free 127.0.0.1
ports, with a site of static files (1 KiB and 100 KiB), a hello page, an SQL page, a form page
and an upload page. BUILD_DIR/bench/soak_load then sends N requests (default 1,000,000) over C
concurrent connections (default 50), mixed over those documents, a missing one (404) and
multipart uploads, and checks every answer's status and body. Meanwhile the server's resident
memory, threads and open descriptors are sampled every 5 s and printed as a table; the plot goes
to FILE.png (default BUILD_DIR/bench/soak.png).

It passes when
  - no answer was wrong;
  - resident memory never exceeded 128 MB (the kernel's high-water mark VmHWM), and 30 s after
    the load it is within 16 MB of the figure at rest, before the load;
  - the threads and descriptors return to their resting counts within a minute: the spare
    temporary files and kept SQLite connections that the load made, which stay within their
    bounds (MAX_SPARE_FILES, MAX_KEPT_SQL_CONNECTIONS) while they are used, are let go once idle;
  - temp/ holds nothing but spare files;
  - the day's log holds exactly one "requestinfo.requested:" line per request sent, and every
    connection thread's request lines in the order it wrote them.
Exit status 0 when it passed, 1 when it did not. The server is stopped by its PID at the end.
"""

import argparse
import os
import random
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

RSS_BOUND_MB = 128
AFTER_LOAD_SLACK_MB = 16
AFTER_LOAD_SECONDS = 30
RETURN_WITHIN_SECONDS = 60
SAMPLE_SECONDS = 5
WARM_UP_TOKENS = 10**9  # tokens of the warm-up requests, apart from the load's
# The descriptors the server keeps on purpose, at most: spare temporary files
# (transport/temp_files.cpp) and idle SQLite connections (scripthost/sql_connection_pool.h).
MAX_SPARE_FILES = 128
MAX_KEPT_SQL_CONNECTIONS = 32

CONFIG_XML = ('<?xml version="1.0" encoding="iso-8859-1"?>\r\n<Configuration>\r\n'
              '  <ListenPort>{port}</ListenPort>\r\n  <ConsolePort>{console}</ConsolePort>\r\n'
              '</Configuration>\r\n')


def crlf(text):
    return text.strip("\n").replace("\n", "\r\n") + "\r\n"


PAGES = {
    "hello.html": crlf("""
<%qor%>onload
begin
  echo('Hello, ' + htmlencode(getparam('name')) + '!');
end.
</%qor%>
"""),
    "rows.html": crlf("""
<%qor%>onload
var
  db: LongWord;
  i: Integer;
begin
  db := sql_getnewhandle('soak.db');
  try
    sql_gettable(db, 'select id, name from items order by id');
    for i := 1 to sql_getrowcount(db) do
    begin
      echo(inttostr(sql_FieldAsInteger(db, 'id')) + ' ' + sql_FieldAsString(db, 'name') + ';');
      sql_Next(db);
    end;
  finally
    sql_destroy(db);
  end;
end.
</%qor%>
"""),
    "form.html": crlf("""
<%qor%>onload
begin
  echo(getparam('a') + ',' + getparam('b'));
end.
</%qor%>
"""),
    # Reads the upload back, answers with what it found, and deletes it.
    "upload.html": crlf("""
<%qor%>onload
var
  value, path, line: string;
  at, h: Integer;
begin
  value := getparam('file');
  at := pos('@', value);
  path := copy(value, 1, at - 1);
  h := assign_textfile(path);
  reset_textfile(h);
  line := readln_textfile(h);
  closefile_textfile(h);
  echo(getparam('note') + '|' + copy(value, at + 1, 1000) + '|' + copy(line, 1, 64) + '|' +
    copy(line, length(line) - 63, 64) + '|');
  if DeleteFile(path) then echo('deleted');
end.
</%qor%>
"""),
}

ROWS = [(i, "item %02d" % i) for i in range(1, 21)]
# A page block's output comes back followed by the page's line break and its own.
BLOCK_END = "\r\n\r\n"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def exchange(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as client:
        client.sendall(request)
        answer = b""
        while True:
            piece = client.recv(65536)
            if not piece:
                return answer
            answer += piece


class Site:
    """The program directory copy with the soak's documents and the expected answers."""

    def __init__(self, build):
        self.root = tempfile.mkdtemp(prefix="qorsv_soak_")
        self.dir = os.path.join(self.root, "qorsv")
        shutil.copytree(os.path.join(build, "run"), self.dir, symlinks=True)
        self.expected = os.path.join(self.root, "expected")
        os.makedirs(self.expected)
        self.port, console = free_port(), free_port()
        self.write("config/config.xml", CONFIG_XML.format(port=self.port, console=console))
        self.write("config/hosts.dat", "*\r\n($root)webpage/default/\r\n")
        rng = random.Random(7)
        letters = bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(1024))
        binary = bytes(rng.getrandbits(8) for _ in range(100 * 1024)).replace(b"@", b"A")
        self.write("webpage/default/s1k.txt", letters)
        self.write("webpage/default/s100k.bin", binary)
        for name, text in PAGES.items():
            self.write("webpage/default/" + name, text)
        with sqlite3.connect(os.path.join(self.dir, "scriptdata", "soak.db")) as db:
            db.execute("create table items (id integer primary key, name text)")
            db.executemany("insert into items values (?, ?)", ROWS)
        self.expect("static1k", letters)
        self.expect("static100k", binary)
        self.expect("hello", "Hello, @@!" + BLOCK_END)
        self.expect("sql", "".join("%d %s;" % row for row in ROWS) + BLOCK_END)
        self.expect("form", "@@,two words!" + BLOCK_END)
        self.expect("upload", "@@" + BLOCK_END)

    def write(self, relative, content):
        path = os.path.join(self.dir, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content if isinstance(content, bytes) else content.encode("latin-1"))

    def expect(self, kind, content):
        with open(os.path.join(self.expected, kind + ".txt"), "wb") as out:
            out.write(content if isinstance(content, bytes) else content.encode("latin-1"))

    def learn_not_found_page(self):
        """The 404 page names the local path: one probe gives its frame, checked here."""
        answer = exchange(self.port, b"GET /missing-PROBE.html HTTP/1.1\r\nHost: soak.test\r\n\r\n")
        _, _, body = answer.partition(b"\r\n\r\n")
        local = os.path.join(self.dir, "webpage/default/missing-PROBE.html").encode()
        if not answer.startswith(b"HTTP/1.1 404 ") or not body.endswith(b"File : ?" + local + b"? "):
            raise RuntimeError("unexpected 404 answer: %r" % answer[:300])
        self.expect("notfound", body.replace(b"PROBE", b"@@"))

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class Server:
    def __init__(self, site):
        self.site = site
        self.output = open(os.path.join(site.root, "qorsv.out"), "wb")
        self.process = subprocess.Popen([os.path.join(site.dir, "qorsv")], cwd=site.dir,
                                        stdout=self.output, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("qorsv ended at start")
            try:
                with socket.create_connection(("127.0.0.1", site.port), timeout=1):
                    return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("qorsv did not listen on port %d" % site.port)

    def status(self):
        """(resident MB, peak resident MB, threads, open descriptors)"""
        fields = {}
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                name, _, value = line.partition(":")
                fields[name] = value.split()
        fds = len(os.listdir("/proc/%d/fd" % self.process.pid))
        return (int(fields["VmRSS"][0]) / 1024, int(fields["VmHWM"][0]) / 1024,
                int(fields["Threads"][0]), fds)

    def stop(self):
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                os.kill(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.output.close()
        return self.process.returncode


class Sampler:
    """Samples the server every SAMPLE_SECONDS on a thread of its own; rows carry the phase."""

    def __init__(self, server, started):
        self.server, self.started = server, started
        self.rows = []
        self.phase = "load"
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def sample(self):
        rss, _, threads, fds = self.server.status()
        self.rows.append((time.monotonic() - self.started, self.phase, rss, threads, fds))
        return self.rows[-1]

    def run(self):
        while not self.stopped.wait(SAMPLE_SECONDS):
            self.sample()


def descriptors(pid, site):
    """Open descriptors by what they hold: the caches the server keeps on purpose (spare
    temporary files, kept SQLite connections, both of bounded number) and everything else."""
    spares = os.path.join(site.dir, "temp", ".qorspare")
    databases = os.path.join(site.dir, "scriptdata") + "/"
    counts = {"spare": 0, "sql": 0, "other": 0}
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        kind = ("spare" if target.startswith(spares) else
                "sql" if target.startswith(databases) else "other")
        counts[kind] += 1
    return counts


# The lines every request writes, in this order, each ending in " ID=" + its thread's id (with
# the client's address after it on header lines).
ENTRY_START = re.compile(rb"^\[ \d\d/\d\d/\d{4} - \d\d:\d\d:\d\d \] ")
REQUEST_KINDS = re.compile(rb"HEADER NAME |unparsed PARMS >> |requestinfo\.command:|"
                           rb"requestinfo\.requested:")
THREAD_ID = re.compile(rb"ID=(\d+)")
NEXT_STEP = {b"unparsed PARMS >> ": (0, 1), b"requestinfo.command:": (1, 2),
             b"requestinfo.requested:": (2, 0), b"HEADER NAME ": (0, 0)}


def log_entries(log_dir):
    """The log's entries in file order; an entry's text may hold line breaks (a form body, a
    script), so it runs up to the next time-stamped line. Read line by line: a million
    requests log about a gigabyte."""
    names = sorted(os.listdir(log_dir), key=lambda n: os.path.getmtime(os.path.join(log_dir, n)))
    entry = b""
    for name in names:
        with open(os.path.join(log_dir, name), "rb") as log:
            for line in log:
                if ENTRY_START.match(line) or line.startswith(b"Delta time :"):
                    if entry:
                        yield entry
                    entry = line
                else:
                    entry += line
    if entry:
        yield entry


def read_request_lines(log_dir):
    """(the "requestinfo.requested:" lines, the lines out of order): a thread's lines must come
    in the order it wrote them, header lines, "unparsed PARMS", "requestinfo.command",
    "requestinfo.requested", which a save that lost, repeated or reordered lines would break."""
    requested, out_of_order, step = 0, 0, {}
    for entry in log_entries(log_dir):
        start = ENTRY_START.match(entry)
        kind = REQUEST_KINDS.match(entry, start.end()) if start else None
        if not kind:
            continue
        threads = THREAD_ID.findall(entry)
        thread = threads[-1] if threads else b"?"
        expected, following = NEXT_STEP[kind.group(0)]
        if step.get(thread, 0) != expected:
            out_of_order += 1
        step[thread] = following
        requested += kind.group(0) == b"requestinfo.requested:"
    return requested, out_of_order + sum(1 for state in step.values() if state != 0)


def run_load(build, site, requests, connections, first_token):
    result = subprocess.run(
        [os.path.join(build, "bench", "soak_load"), str(site.port), str(requests),
         str(connections), site.expected, str(first_token)],
        capture_output=True, text=True)
    sys.stderr.write(result.stderr)
    figures, kinds = {}, []
    for line in result.stdout.splitlines():
        name, _, value = line.partition(" ")
        if name == "kind":
            kinds.append(value)
        else:
            figures[name] = value
    figures["kinds"] = ", ".join(kinds)
    return result.returncode, figures


def plot(rows, load_end, path):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as pyplot
    except ImportError:
        return plot_with_gnuplot(rows, load_end, path)
    times = [row[0] for row in rows]
    figure, memory = pyplot.subplots(figsize=(9, 4.5))
    memory.plot(times, [row[2] for row in rows], color="tab:blue", label="resident MB")
    memory.axhline(RSS_BOUND_MB, color="tab:red", linestyle="--", label="bound (128 MB)")
    memory.axvline(load_end, color="grey", linestyle=":", label="load ends")
    memory.set_xlabel("seconds")
    memory.set_ylabel("resident memory (MB)")
    memory.set_ylim(0, RSS_BOUND_MB * 1.1)
    counts = memory.twinx()
    counts.plot(times, [row[3] for row in rows], color="tab:green", label="threads")
    counts.plot(times, [row[4] for row in rows], color="tab:orange", label="descriptors")
    counts.set_ylabel("threads, descriptors")
    counts.set_ylim(bottom=0)
    lines = memory.get_legend_handles_labels()[0] + counts.get_legend_handles_labels()[0]
    labels = memory.get_legend_handles_labels()[1] + counts.get_legend_handles_labels()[1]
    memory.legend(lines, labels, loc="upper right", fontsize="small")
    memory.set_title("qorsv soak")
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    return path


def plot_with_gnuplot(rows, load_end, path):
    """The same plot where the Python running this has no matplotlib (say a pyenv build)."""
    if not shutil.which("gnuplot"):
        print("plot skipped: neither python3-matplotlib nor gnuplot is installed")
        return None
    with tempfile.NamedTemporaryFile("w", suffix=".dat", delete=False) as data:
        for row in rows:
            data.write("%.1f %.1f %d %d\n" % (row[0], row[2], row[3], row[4]))
    script = "\n".join([
        "set terminal png size 900,450",
        "set output '%s'" % path,
        "set title 'qorsv soak'",
        "set xlabel 'seconds'",
        "set ylabel 'resident memory (MB)'",
        "set y2label 'threads, descriptors'",
        "set yrange [0:%f]" % (RSS_BOUND_MB * 1.1),
        "set y2range [0:*]",
        "set ytics nomirror",
        "set y2tics",
        "set arrow from %f, graph 0 to %f, graph 1 nohead dashtype 3" % (load_end, load_end),
        "plot '%s' using 1:2 with lines title 'resident MB', %d with lines dashtype 2 "
        "title 'bound (128 MB)', '' using 1:3 axes x1y2 with lines title 'threads', "
        "'' using 1:4 axes x1y2 with lines title 'descriptors'" % (data.name, RSS_BOUND_MB),
    ])
    result = subprocess.run(["gnuplot"], input=script, text=True, capture_output=True)
    os.unlink(data.name)
    if result.returncode != 0:
        print("plot failed: " + result.stderr.strip())
        return None
    return path


def soak(args):
    failures = []
    site = Site(args.build)
    server = Server(site)
    try:
        time.sleep(1)
        rest_rss, _, rest_threads, rest_fds = server.status()
        rest_other = descriptors(server.process.pid, site)["other"]
        site.learn_not_found_page()
        sent = 1
        # One round of every kind first: what the first requests set up once is not load.
        status, figures = run_load(args.build, site, 100, 10, WARM_UP_TOKENS)
        sent += int(figures.get("sent", 0))
        if status != 0:
            failures.append("warm-up answers were wrong")

        started = time.monotonic()
        sampler = Sampler(server, started)
        sampler.sample()
        sampler.thread.start()
        status, figures = run_load(args.build, site, args.requests, args.connections, 0)
        load_end = time.monotonic() - started
        sent += int(figures.get("sent", 0))
        if status != 0:
            failures.append("%s of %s answers were wrong" % (figures.get("wrong", "?"),
                                                             figures.get("sent", "?")))
        sampler.phase = "after"

        after_load = started + load_end
        time.sleep(max(0.0, after_load + AFTER_LOAD_SECONDS - time.monotonic()))
        rss_after, peak, _, _ = server.status()
        while True:
            _, _, threads, fds = server.status()
            held = descriptors(server.process.pid, site)
            settled = threads <= rest_threads and fds <= rest_fds
            if settled or time.monotonic() > after_load + RETURN_WITHIN_SECONDS:
                break
            time.sleep(1)
        sampler.stopped.set()
        sampler.thread.join()
        sampler.sample()
        returned_after = time.monotonic() - after_load
        _, peak, threads, fds = server.status()

        leftovers = [name for name in os.listdir(os.path.join(site.dir, "temp"))
                     if not name.startswith(".qorspare")]
        server.stop()
        logged, out_of_order = read_request_lines(os.path.join(site.dir, "logs",
                                                               "http_server_log"))

        print("%8s  %-6s %10s %8s %12s" % ("seconds", "phase", "RSS MB", "threads",
                                           "descriptors"))
        for row in sampler.rows:
            print("%8.0f  %-6s %10.1f %8d %12d" % row)
        print()
        print("requests: %s in %s s (%s per second), %s wrong; by kind: %s" % (
            figures.get("sent"), figures.get("seconds"), figures.get("rate"),
            figures.get("wrong"), figures.get("kinds")))
        print("resident memory: %.1f MB at rest, peak %.1f MB (bound %d), %.1f MB %d s after the "
              "load (bound %.1f)" % (rest_rss, peak, RSS_BOUND_MB, rss_after, AFTER_LOAD_SECONDS,
                                     rest_rss + AFTER_LOAD_SLACK_MB))
        print("threads: %d at rest, %d after %.0f s; descriptors: %d at rest, %d after: %d spare "
              "temporary files, %d kept SQLite connection files, %d others (%d at rest)" % (
                  rest_threads, threads, returned_after, rest_fds, fds, held["spare"],
                  held["sql"], held["other"], rest_other))
        print("log: %d \"requestinfo.requested:\" lines for %d requests sent, %d lines out of "
              "their thread's order" % (logged, sent, out_of_order))

        if peak > RSS_BOUND_MB:
            failures.append("peak resident memory %.1f MB above %d MB" % (peak, RSS_BOUND_MB))
        if rss_after > rest_rss + AFTER_LOAD_SLACK_MB:
            failures.append("%.1f MB resident %d s after the load, more than %d MB above the "
                            "%.1f MB at rest" % (rss_after, AFTER_LOAD_SECONDS,
                                                 AFTER_LOAD_SLACK_MB, rest_rss))
        if threads > rest_threads:
            failures.append("%d threads a minute after the load, %d at rest" % (threads,
                                                                                rest_threads))
        if fds > rest_fds:
            failures.append("%d descriptors a minute after the load (%d spare files, %d kept "
                            "SQLite connections), %d at rest" % (fds, held["spare"], held["sql"],
                                                                 rest_fds))
        if held["spare"] > MAX_SPARE_FILES or held["sql"] > MAX_KEPT_SQL_CONNECTIONS:
            failures.append("%d spare files and %d kept SQLite connections held open, more than "
                            "their bounds (%d, %d)" % (held["spare"], held["sql"], MAX_SPARE_FILES,
                                                       MAX_KEPT_SQL_CONNECTIONS))
        if leftovers:
            failures.append("temp/ holds %d files besides the spares, such as %s" % (
                len(leftovers), leftovers[:3]))
        if out_of_order:
            failures.append("the log holds %d request lines out of their thread's order" %
                            out_of_order)
        if logged != sent:
            failures.append("the log holds %d \"requestinfo.requested:\" lines for %d "
                            "requests" % (logged, sent))
        path = plot(sampler.rows, load_end, args.plot)
        if path:
            print("plot: %s" % os.path.abspath(path))
    finally:
        server.stop()
        if not args.keep:
            site.remove()
        else:
            print("kept: %s" % site.root)

    for failure in failures:
        print("FAILED: " + failure)
    print("soak %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="a build directory holding run/ and bench/")
    parser.add_argument("--requests", type=int, default=1000000)
    parser.add_argument("--connections", type=int, default=50)
    parser.add_argument("--plot", help="where the PNG goes (default BUILD/bench/soak.png)")
    parser.add_argument("--keep", action="store_true", help="keep the program directory copy")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    if not args.plot:
        args.plot = os.path.join(args.build, "bench", "soak.png")
    return soak(args)


if __name__ == "__main__":
    sys.exit(main())
