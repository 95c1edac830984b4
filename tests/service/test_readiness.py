"""tauravatd under systemd's Type=notify: READY=1 on $NOTIFY_SOCKET once every printer has had
its first attempt to open (one answering, one missing), STOPPING=1 on SIGTERM. The test stands
in for systemd with a datagram socket of its own."""
import os
import pathlib
import shutil
import signal
import socket
import tempfile
import unittest

from service_harness import Emulator, Tauravatd


class Readiness(unittest.TestCase):
    def test_ready_once_every_printer_was_tried_and_stopping_on_sigterm(self):
        work = pathlib.Path(tempfile.mkdtemp(prefix="tauravatd-notify-"))
        self.addCleanup(shutil.rmtree, work, True)
        # The emulator answers slowly, so that its first open takes a while.
        emulator = Emulator(work, "till1", "--line-ms", "1", "--fault", "any:delay:0:1",
                            "--fault-delay-ms", "700")
        self.addCleanup(emulator.stop)
        manager = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.addCleanup(manager.close)
        manager.bind(str(work / "notify"))
        manager.settimeout(60)  # generous: sanitizer builds on a busy machine

        service = Tauravatd(work, ["--printer", f"till1={emulator.path}:9600",
                                   "--printer", f"till2={work / 'no-such-port'}:9600",
                                   "--journal", work / "journal.sqlite"],
                            env=dict(os.environ, NOTIFY_SOCKET=str(work / "notify")))
        self.addCleanup(service.stop)
        self.assertEqual(manager.recv(4096), b"READY=1")
        listed = service.call("GET", "/v1/printers", timeout=30).body
        printers = listed["printers"] if isinstance(listed, dict) else listed
        self.assertEqual(sorted((p["name"], p["connection"]) for p in printers),
                         [("till1", "connected"), ("till2", "offline")])

        service.process.send_signal(signal.SIGTERM)
        self.assertEqual(manager.recv(4096), b"STOPPING=1")
        self.assertEqual(service.process.wait(timeout=60), 0)


if __name__ == "__main__":
    unittest.main()
