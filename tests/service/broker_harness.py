"""A real broker, emulated printers and tauravatd agents on loopback, for the broker suite and
its benchmark: each started here, stopped by its pid, every wait bounded."""
import getpass
import json
import os
import pathlib
import signal
import socket
import subprocess
import threading
import time
import uuid

import paho.mqtt.client as mqtt
from paho.mqtt.packettypes import PacketTypes
from paho.mqtt.properties import Properties

from service_harness import Emulator, Tauravatd, free_port, stop, wait_for
from service_harness import sale  # noqa: F401 (the benchmark's)

MOSQUITTO = os.environ.get("MOSQUITTO", "/usr/sbin/mosquitto")


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


class Printer(Emulator):
    """kestra-emu whose rate A is in use, for the receipts of sale()."""

    def __init__(self, folder, name, extra=()):
        super().__init__(folder, name, *([] if "--rates" in extra else
                                         ["--rates", "23,8,5,0,Z,R,R"]), *extra)

    close = Emulator.stop


class Agent(Tauravatd):
    """tauravatd for one site, its printers given, on the broker."""

    def __init__(self, folder, site, printers, broker_args):
        self.site = site
        self.printers = printers
        arguments = ["--journal", pathlib.Path(folder, "journal-%s.sqlite" % site),
                     "--site", site, *broker_args]
        for printer in printers:
            arguments += ["--printer", "%s=%s" % (printer.name, printer.path)]
        super().__init__(folder, arguments, log="tauravatd-%s.log" % site, start=False)

    def connections(self):
        """How many times this agent's runs have reached the broker."""
        return self.log.read_text(errors="replace").count("connected to the broker") \
            if self.log.exists() else 0

    def start(self, wait=True):
        self.connections_before = self.connections()
        super().start()
        if wait:
            self.wait_printers(*(printer.name for printer in self.printers))
            self.wait_connected()

    def wait_connected(self, seconds=30):
        wait_for(lambda: self.connections() > self.connections_before,
                 "%s to reach the broker" % self.site, seconds)


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
