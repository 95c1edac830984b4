"""The servers of the service's suites: kestra-emu printers and tauravatd, each started here on
loopback, stopped by its pid, every wait bounded."""
import http.client
import json
import os
import pathlib
import re
import signal
import socket
import subprocess
import time
from collections import namedtuple

HEADER = "KESTRA - STANOWISKO TESTOWE"


def wait_for(condition, what, seconds=30.0, tolerate=()):
    """The condition's first true value within `seconds`; an exception in `tolerate` counts as
    not yet."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            value = condition()
        except tolerate:
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.02)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stop(process, sig=signal.SIGTERM, seconds=20):
    if process is not None and process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def sale(id, items=1):
    return {"id": id, "items": [{"name": "Towar %s %02d" % (id, i), "quantity": "1",
                                 "price": "1.%02d" % (i + 1), "rate": "A"} for i in range(items)]}


def paid_sale(id, price="4.99", name="Chleb razowy", payments=True, **more):
    """One item paid in cash (the older models print no payments)."""
    body = dict({"id": id, "items": [{"name": name, "quantity": "1", "unit": "szt",
                                      "price": price, "rate": "A"}]}, **more)
    if payments:
        body["payments"] = [{"name": "Gotówka", "amount": "5.00"}]
    return body


def sanitizer_reports(*logs):
    """What a sanitizer build reported into the logs, which no one else reads."""
    return [line for log in logs if log.exists()
            for line in log.read_text(errors="replace").splitlines()
            if "Sanitizer" in line and ("WARNING:" in line or "ERROR:" in line)]


class Emulator:
    """kestra-emu on a pseudo-terminal (`path`), its paper in a file, steered through its
    control socket."""

    def __init__(self, work, name, *arguments):
        self.name = name
        self.paper = pathlib.Path(work, name + ".paper")
        self.control = os.path.join(work, name + ".control")
        self.process = subprocess.Popen(
            [os.environ["KESTRA_EMU"], "--paper", str(self.paper), "--control", self.control,
             *map(str, arguments)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.path = self.process.stdout.readline().strip()  # it serves from now on

    def steer(self, command):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(10)
            s.connect(self.control)
            s.sendall((json.dumps(command) + "\n").encode())
            reply = json.loads(s.makefile(encoding="utf-8").readline())
        assert reply["ok"], reply
        return reply

    def state(self):
        return self.steer({"command": "state"})["state"]

    def text(self):
        return self.paper.read_text(encoding="utf-8", errors="replace") \
            if self.paper.exists() else ""

    def printed(self, id):
        """Completed receipts on paper whose first item is that of sale(id)."""
        item = "Towar %s 00" % id
        return sum(1 for document in self.text().split(HEADER)[1:]
                   if item in document and re.search(r"^#\d{5} ", document, re.M)
                   and "PARAGON ANULOWANY" not in document)

    def stop(self):
        stop(self.process)
        self.process.stdout.close()


Reply = namedtuple("Reply", "status body headers text")  # status 0: no answer


class Tauravatd:
    """tauravatd on a loopback port of its own, from a `config` written for it or from its
    command line, its output added to a log in `work`; started again on the same port."""

    def __init__(self, work, arguments=(), config=None, token=None, log=None, env=None,
                 start=True):
        self.port = free_port()
        self.token = token
        self.log = pathlib.Path(work, log or "tauravatd-%d.log" % self.port)
        self.env = env
        if config is None:
            arguments = ["--listen", "127.0.0.1:%d" % self.port, *arguments]
        else:
            config = dict({"listen": "127.0.0.1:%d" % self.port,
                           "journal": os.path.join(work, "journal-%d.sqlite" % self.port)},
                          **config, **({"token": token} if token else {}))
            path = pathlib.Path(work, "config-%d.json" % self.port)
            path.write_text(json.dumps(config))
            arguments = ["--config", path, *arguments]
        self.command = [os.environ["TAURAVATD"], *map(str, arguments)]
        self.process = None
        if start:
            self.start()

    @property
    def origin(self):
        return "http://127.0.0.1:%d" % self.port

    def start(self):
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(self.command, stdout=log, stderr=log, env=self.env)

    def stop(self, sig=signal.SIGTERM):
        stop(self.process, sig)

    def kill(self):
        self.stop(signal.SIGKILL)

    def call(self, method, path, body=None, headers=None, timeout=60):
        """The answer as it came, its body parsed when it is JSON."""
        sent = dict(headers or {})
        if self.token:
            sent.setdefault("Authorization", "Bearer " + self.token)
        if isinstance(body, (dict, list)):
            body = json.dumps(body, ensure_ascii=False)
        if isinstance(body, str):
            body = body.encode("utf-8")
        if body is not None:
            sent.setdefault("Content-Type", "application/json")
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            connection.request(method, path, body=body, headers=sent)
            reply = connection.getresponse()
            text = reply.read().decode("utf-8")
        except OSError:
            return Reply(0, None, http.client.HTTPMessage(), "")
        finally:
            connection.close()
        parsed = json.loads(text) if reply.headers.get("Content-Type", "").startswith(
            "application/json") else None
        return Reply(reply.status, parsed, reply.headers, text)

    def printer(self, name):
        """The printer's state; {} while the service does not answer."""
        return self.call("GET", "/v1/printers/" + name).body or {}

    def wait_listening(self, seconds=30):
        wait_for(lambda: self.call("GET", "/v1/health").status == 200, "tauravatd to answer",
                 seconds)

    def wait_printers(self, *names, seconds=30):
        for name in names:
            wait_for(lambda: self.printer(name).get("connection") == "connected",
                     name + " to connect", seconds)
