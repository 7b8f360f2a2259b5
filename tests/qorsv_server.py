"""Starts the built qorsv from a throw-away copy of the program directory, for end-to-end tests.

The copy gets a config/config.xml with free ports for the web server and the console; the
server is stopped by its PID with SIGTERM (the console's close request) and waited for.
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

SANITIZER_REPORT = re.compile(
    r"runtime error:|ERROR: (Address|Leak|Thread|UndefinedBehavior)Sanitizer|WARNING: ThreadSanitizer")

CONFIG_XML = (
    '<?xml version="1.0" encoding="iso-8859-1"?>\r\n'
    "<Configuration>\r\n"
    "{keys}"
    "</Configuration>\r\n"
)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def run_dir():
    path = os.environ.get("QORSV_RUN_DIR")
    if not path or not os.path.isfile(os.path.join(path, "qorsv")):
        raise RuntimeError("QORSV_RUN_DIR must name the built program directory (build/run)")
    return path


class Server:
    """One qorsv process in its own program directory."""

    def __init__(self, extra_settings=None):
        self.dir = tempfile.mkdtemp(prefix="qorsv_e2e_")
        shutil.rmtree(self.dir)
        shutil.copytree(run_dir(), self.dir, symlinks=True)
        self.port = free_port()
        self.console_port = free_port()
        self.process = None
        settings = {"ListenPort": self.port, "ConsolePort": self.console_port}
        settings.update(extra_settings or {})
        self.write_settings(settings)

    def path(self, relative):
        return os.path.join(self.dir, relative)

    def write(self, relative, content):
        full = self.path(relative)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(content if isinstance(content, bytes) else content.encode("latin-1"))
        return full

    def read(self, relative):
        with open(self.path(relative), "rb") as source:
            return source.read()

    def write_settings(self, settings):
        keys = "".join(f"  <{name}>{value}</{name}>\r\n" for name, value in settings.items())
        self.write("config/config.xml", CONFIG_XML.format(keys=keys))

    def start(self, timeout=20):
        self.output = open(self.path("qorsv.out"), "wb")
        self.process = subprocess.Popen(
            [self.path("qorsv")], cwd=self.dir, stdout=self.output, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("qorsv ended at start: " + self.read("qorsv.out").decode())
            # The console line comes once start-up has read the host and MIME tables.
            if b"Console: " in self.read("qorsv.out"):
                try:
                    with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                        return self
                except OSError:
                    pass
            time.sleep(0.05)
        raise RuntimeError("qorsv did not listen on port %d" % self.port)

    def stop(self, timeout=20):
        """The close request: SIGTERM, then wait. Returns the exit status."""
        if self.process is None:
            return None
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                os.kill(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.output.close()
        status, self.process = self.process.returncode, None
        self.check_sanitizers()
        return status

    def check_sanitizers(self):
        """A sanitized build reports faults on standard error, often only as the program ends;
        such a report fails the test."""
        output = self.read("qorsv.out").decode("latin-1")
        match = SANITIZER_REPORT.search(output)
        if match:
            raise AssertionError("qorsv reported a fault:\n" + output[max(0, match.start() - 200):][:4000])

    def remove(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def exchange(self, request, half_close=False, timeout=10):
        """Sends raw request bytes and returns every byte until the server closes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as client:
            client.sendall(request if isinstance(request, bytes) else request.encode("latin-1"))
            if half_close:
                client.shutdown(socket.SHUT_WR)
            received = b""
            while True:
                piece = client.recv(65536)
                if not piece:
                    return received
                received += piece
