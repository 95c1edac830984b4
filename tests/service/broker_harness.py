"""A real broker, emulated printers and tauravatd agents on loopback, for the broker suite and
its benchmark: each started here, stopped by its pid, every wait bounded."""
import getpass
import json
import os
import pathlib
import re
import signal
import socket
import subprocess
import threading
import time
import urllib.request
import uuid

import paho.mqtt.client as mqtt
from paho.mqtt.packettypes import PacketTypes
from paho.mqtt.properties import Properties

MOSQUITTO = os.environ.get("MOSQUITTO", "/usr/sbin/mosquitto")
HEADER = "KESTRA - STANOWISKO TESTOWE"


def wait_for(condition, what, seconds=30.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def sale(id, items=1):
    return {"id": id, "items": [{"name": "Towar %s %02d" % (id, i), "quantity": "1",
                                 "price": "1.%02d" % (i + 1), "rate": "A"} for i in range(items)]}


def stop(process, sig=signal.SIGTERM, seconds=20):
    if process is not None and process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Broker:
    """mosquitto with persistence saved on every change, in a folder of the test's."""

    def __init__(self, folder, extra="", port=None):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.port = port or free_port()
        self.config = self.folder / "mosquitto.conf"
        self.config.write_text(
            "per_listener_settings false\n"
            "persistence true\npersistence_location %s/\nautosave_interval 1\n"
            "autosave_on_changes true\nuser %s\nlog_dest file %s\nlog_type all\n%s"
            % (self.folder, getpass.getuser(), self.folder / "mosquitto.log",
               extra or "listener %d 127.0.0.1\nallow_anonymous true\n" % self.port))
        self.process = None

    def start(self):
        self.process = subprocess.Popen([MOSQUITTO, "-c", str(self.config)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(self._listening, "the broker to listen", 15)

    def _listening(self):
        if self.process.poll() is not None:
            raise AssertionError("mosquitto ended: " + self.log()[-2000:])
        try:
            socket.create_connection(("127.0.0.1", self.port), 0.5).close()
            return True
        except OSError:
            return False

    def kill(self):
        stop(self.process, signal.SIGKILL)

    def stop(self):
        stop(self.process)

    def log(self):
        path = self.folder / "mosquitto.log"
        return path.read_text(errors="replace") if path.exists() else ""


class Printer:
    """kestra-emu on a pseudo-terminal, its paper in a file."""

    def __init__(self, folder, name, extra=()):
        if "--rates" not in extra:  # rate A in use, for the receipts of sale()
            extra = ["--rates", "23,8,5,0,Z,R,R", *extra]
        self.name = name
        self.link = pathlib.Path(folder, name + ".tty")
        self.paper = pathlib.Path(folder, name + ".paper")
        self.control_path = pathlib.Path(folder, name + ".control")
        self.process = subprocess.Popen(
            [os.environ["KESTRA_EMU"], "--link", str(self.link), "--paper", str(self.paper),
             "--control", str(self.control_path), *extra],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.process.stdout.readline()  # the terminal's path: it serves from now on

    def close(self):
        stop(self.process)
        self.process.stdout.close()

    def text(self):
        return self.paper.read_text(encoding="utf-8", errors="replace") if self.paper.exists() else ""

    def printed(self, id):
        """Completed receipts on paper whose first item names `id`."""
        item = "Towar %s 00" % id
        return sum(1 for document in self.text().split(HEADER)[1:]
                   if item in document and re.search(r"^#\d{5} ", document, re.M)
                   and "PARAGON ANULOWANY" not in document)

    def control(self, command):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(10)
            s.connect(str(self.control_path))
            s.sendall((json.dumps(command) + "\n").encode())
            return json.loads(s.makefile(encoding="utf-8").readline())


class Agent:
    """tauravatd for one site, its printers given, on the broker."""

    def __init__(self, folder, site, printers, broker_args):
        self.folder = pathlib.Path(folder)
        self.site = site
        self.printers = printers
        self.broker_args = broker_args
        self.port = free_port()
        self.log = self.folder / ("tauravatd-%s.log" % site)
        self.journal = self.folder / ("journal-%s.sqlite" % site)
        self.process = None

    def connections(self):
        """How many times this agent's runs have reached the broker."""
        return self.log.read_text(errors="replace").count("connected to the broker") \
            if self.log.exists() else 0

    def start(self, wait=True):
        self.connections_before = self.connections()
        arguments = [os.environ["TAURAVATD"], "--listen", "127.0.0.1:%d" % self.port,
                     "--journal", str(self.journal), "--site", self.site, *self.broker_args]
        for printer in self.printers:
            arguments += ["--printer", "%s=%s" % (printer.name, printer.link)]
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(arguments, stdout=log, stderr=log)
        if wait:
            for printer in self.printers:
                wait_for(lambda: self.http(printer.name).get("connection") == "connected",
                         "%s/%s to connect" % (self.site, printer.name))
            self.wait_connected()

    def wait_connected(self, seconds=30):
        wait_for(lambda: self.connections() > self.connections_before,
                 "%s to reach the broker" % self.site, seconds)

    def http(self, printer, path=""):
        try:
            with urllib.request.urlopen("http://127.0.0.1:%d/v1/printers/%s%s"
                                        % (self.port, printer, path), timeout=10) as reply:
                return json.load(reply)
        except OSError:
            return {}

    def kill(self):
        stop(self.process, signal.SIGKILL)

    def stop(self):
        stop(self.process)


class Sender:
    """The chain's side: publishes receipts with ids and sends each again with the same id
    until its final outcome has come, as the contract asks of a sender. Its session is kept,
    so outcomes published while it or the broker was away still reach it."""

    FINAL = {"printed", "cancelled", "failed", "unknown", "rejected"}

    def __init__(self, port, site, client_id=None, user=None, password=None, tls_ca=None,
                 subscribe=("+/outcomes", "+/answers"), host="127.0.0.1"):
        self.site = site
        self.lock = threading.Condition()
        self.messages = []  # (topic, payload dict, properties)
        self.client = mqtt.Client(client_id=client_id or "sender-" + uuid.uuid4().hex[:8],
                                  protocol=mqtt.MQTTv5)
        if user:
            self.client.username_pw_set(user, password)
        if tls_ca:
            self.client.tls_set(ca_certs=tls_ca)
        self.client.on_message = self._message
        self.client.on_connect = self._connected
        self.client.on_subscribe = lambda client, userdata, mid, *rest: self.granted.append(mid)
        self.subscriptions = ["tauravat/v1/%s/%s" % (site, leaf) for leaf in subscribe]
        self.granted = []
        self.connected = threading.Event()
        properties = Properties(PacketTypes.CONNECT)
        properties.SessionExpiryInterval = 3600
        self.client.reconnect_delay_set(0.2, 2)
        self.client.connect(host, port, keepalive=10, clean_start=False,
                            properties=properties)
        self.client.loop_start()
        wait_for(self.connected.is_set, "the sender to connect", 15)
        wait_for(lambda: len(self.granted) >= len(self.subscriptions), "the subscriptions", 15)

    def _connected(self, client, userdata, flags, rc, properties=None):
        if rc == 0:
            for topic in self.subscriptions:
                client.subscribe(topic, qos=1)
            self.connected.set()

    def _message(self, client, userdata, message):
        try:
            payload = json.loads(message.payload)
        except ValueError:
            payload = {"raw": message.payload}
        with self.lock:
            self.messages.append((message.topic, payload, message.properties))
            self.lock.notify_all()

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()

    def publish(self, printer, body, leaf="receipts", properties=None):
        payload = body if isinstance(body, (bytes, str)) else json.dumps(body)
        return self.client.publish("tauravat/v1/%s/%s/%s" % (self.site, printer, leaf), payload,
                                   qos=1, properties=properties)

    def outcomes(self, printer=None, leaf="outcomes"):
        with self.lock:
            return [payload for topic, payload, _ in self.messages
                    if topic.endswith("/" + leaf)
                    and (printer is None or topic.split("/")[3] == printer)]

    def final(self, id, printer=None):
        for outcome in self.outcomes(printer):
            if outcome.get("id") == id and outcome.get("state") in self.FINAL:
                return outcome
        return None

    def send_all(self, printer, bodies, seconds=120, retry=20.0):
        """Publishes each body, and again by id every `retry` s while it has no final
        outcome; the final outcome of each id."""
        deadline = time.monotonic() + seconds
        sent = {}
        for body in bodies:
            self.publish(printer, body)
            sent[body["id"]] = time.monotonic()
        by_id = {body["id"]: body for body in bodies}
        while time.monotonic() < deadline:
            missing = [id for id in by_id if self.final(id, printer) is None]
            if not missing:
                return {id: self.final(id, printer) for id in by_id}
            for id in missing:
                if time.monotonic() - sent[id] > retry:
                    self.publish(printer, by_id[id])
                    sent[id] = time.monotonic()
            with self.lock:
                self.lock.wait(0.2)
        raise AssertionError("no outcome for %s" % [id for id in by_id if not self.final(id, printer)])
