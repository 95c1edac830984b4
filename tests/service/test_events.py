"""GET /v1/events over a real socket: what a stream says, its bound, and its end."""
import json
import shutil
import socket
import tempfile
import time
import unittest

from service_harness import Emulator, Tauravatd, paid_sale

STREAMS = 3


class Stream:
    """A raw HTTP/1.1 stream, read as it comes."""

    def __init__(self, port, token=None):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=10)
        auth = "Authorization: Bearer %s\r\n" % token if token else ""
        # As a browser asks: a compressed answer would be held back by its compressor.
        self.socket.sendall(("GET /v1/events HTTP/1.1\r\nHost: x\r\n"
                             "Accept-Encoding: gzip, deflate, br\r\n%s\r\n" % auth).encode())
        self.text = ""

    def read_until(self, what, seconds=5.0):
        deadline = time.monotonic() + seconds
        while what not in self.text:
            self.socket.settimeout(max(0.01, deadline - time.monotonic()))
            try:
                data = self.socket.recv(65536)
            except socket.timeout:
                raise AssertionError("no %r in %r" % (what, self.text[-500:]))
            if not data:
                raise AssertionError("closed before %r: %r" % (what, self.text[-500:]))
            self.text += data.decode("utf-8", "replace")  # an error may come compressed
        return self.text

    def read_more(self, seconds):
        """Whatever comes within the time, if anything."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.socket.settimeout(max(0.01, deadline - time.monotonic()))
            try:
                data = self.socket.recv(65536)
            except socket.timeout:
                return
            if not data:
                return
            self.text += data.decode("utf-8", "replace")

    def events(self, name):
        found = []
        for block in self.text.split("\n\n"):
            lines = [line.split("\r\n")[-1] for line in block.split("\n")]
            if "event: " + name in lines:
                found.append(json.loads(next(l for l in lines if l.startswith("data: "))[6:]))
        return found

    def close(self):
        self.socket.close()


class Events(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tauravatd-events-")
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        cls.printer = Emulator(cls.work, "luno", "--rates", "23,8,5,0,Z,R,R")
        cls.addClassCleanup(cls.printer.stop)

    def start(self, token=None):
        service = Tauravatd(self.work, config={"poll_interval_ms": 500, "printers": [
            {"name": "kasa1", "device": self.printer.path, "timeout_ms": 500}]}, token=token)
        self.addCleanup(service.stop)
        service.wait_printers("kasa1")
        return service

    def test_a_stream_gives_the_state_then_each_change_once(self):
        service = self.start()
        stream = Stream(service.port)
        self.addCleanup(stream.close)
        head = stream.read_until("event: printer")
        self.assertIn("text/event-stream", head.split("\r\n\r\n")[0])
        self.assertIn("Cache-Control: no-store", head)
        self.assertNotIn("Content-Encoding", head.split("\r\n\r\n")[0])
        stream.read_until('"connection":"connected"')
        posted = service.call("POST", "/v1/printers/kasa1/receipts", paid_sale("ev-1"))
        self.assertEqual(posted.status, 201)
        stream.read_until('"state":"printed"')
        states = [e["state"] for e in stream.events("receipt") if e["id"] == "ev-1"]
        self.assertEqual(states[-1], "printed")
        receipts = [e for e in stream.events("receipt") if e["id"] == "ev-1"]
        for earlier, later in zip(receipts, receipts[1:]):
            self.assertNotEqual(earlier, later)  # never the same form twice in a row
        entry = service.call("GET", "/v1/printers/kasa1/receipts/ev-1").body
        self.assertEqual(stream.events("receipt")[-1], entry)
        # The printer's own change (queue empty, receipt closed) may follow the entry's.
        deadline = time.monotonic() + 10
        while stream.events("printer")[-1] != service.printer("kasa1"):
            self.assertLess(time.monotonic(), deadline, "the printer's settled state")
            stream.read_more(0.2)
        # Polls that find nothing new send nothing: the printer's last form stays the last.
        printers = len(stream.events("printer"))
        stream.read_more(1.5)
        self.assertEqual(len(stream.events("printer")), printers)

    def test_streams_are_bounded_and_leave_health_its_threads(self):
        service = self.start()
        streams = [Stream(service.port) for _ in range(8)]
        for stream in streams:
            self.addCleanup(stream.close)
            stream.read_until("event: printer")
        extra = Stream(service.port)
        self.addCleanup(extra.close)
        self.assertIn("503", extra.read_until("\r\n").split("\r\n")[0])
        self.assertIn("Retry-After", extra.read_until("\r\n\r\n"))
        for _ in range(20):
            self.assertEqual(service.call("GET", "/v1/health").status, 200)
        streams[0].close()
        # The slot comes back once the service notices the client is gone.
        streams[1].socket.shutdown(socket.SHUT_RDWR)

    def test_a_token_guards_the_stream_and_a_stop_ends_it_cleanly(self):
        service = self.start(token="events-token-0123456789")
        refused = Stream(service.port)
        self.addCleanup(refused.close)
        self.assertIn("401", refused.read_until("\r\n").split("\r\n")[0])
        stream = Stream(service.port, token="events-token-0123456789")
        self.addCleanup(stream.close)
        stream.read_until("event: printer")
        stopped = time.monotonic()
        service.process.terminate()
        stream.read_until("0\r\n\r\n", seconds=10)  # the last chunk: a clean end
        self.assertEqual(service.process.wait(timeout=10), 0)
        print("service stopped %.2f s after the signal" % (time.monotonic() - stopped))


if __name__ == "__main__":
    unittest.main()
