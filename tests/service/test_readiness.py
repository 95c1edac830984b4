"""tauravatd under systemd's Type=notify: READY=1 on $NOTIFY_SOCKET once every printer has had
its first attempt to open (one answering, one missing), STOPPING=1 on SIGTERM. The test stands
in for systemd with a datagram socket of its own."""
import json
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import tempfile
import unittest
import urllib.request


class Readiness(unittest.TestCase):
    def setUp(self):
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="tauravatd-notify-"))
        self.addCleanup(shutil.rmtree, self.work, True)
        self.processes = []
        self.addCleanup(self.stop_all)

    def stop_all(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            process.wait()
            if process.stdout:
                process.stdout.close()

    def start(self, *command, **options):
        process = subprocess.Popen([str(c) for c in command], **options)
        self.processes.append(process)
        return process

    def test_ready_once_every_printer_was_tried_and_stopping_on_sigterm(self):
        link = self.work / "printer"
        # The emulator answers slowly, so that its first open takes a while.
        emulator = self.start(os.environ["KESTRA_EMU"], "--link", link, "--line-ms", "1",
                              "--fault", "any:delay:0:1", "--fault-delay-ms", "700",
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        emulator.stdout.readline()  # it serves from now on
        manager = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.addCleanup(manager.close)
        manager.bind(str(self.work / "notify"))
        manager.settimeout(60)  # generous: sanitizer builds on a busy machine
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]

        service = self.start(
            os.environ["TAURAVATD"], "--printer", f"till1={link}:9600",
            "--printer", f"till2={self.work / 'no-such-port'}:9600",
            "--listen", f"127.0.0.1:{port}", "--journal", self.work / "journal.sqlite",
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=dict(os.environ, NOTIFY_SOCKET=str(self.work / "notify")))
        self.assertEqual(manager.recv(4096), b"READY=1")
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/v1/printers", timeout=30) as reply:
            listed = json.load(reply)
        printers = listed["printers"] if isinstance(listed, dict) else listed
        self.assertEqual(sorted((p["name"], p["connection"]) for p in printers),
                         [("till1", "connected"), ("till2", "offline")])

        service.send_signal(signal.SIGTERM)
        self.assertEqual(manager.recv(4096), b"STOPPING=1")
        self.assertEqual(service.wait(timeout=60), 0)


if __name__ == "__main__":
    unittest.main()
