"""kestra-emu as a subprocess for the tools' tests: started with options, its pty path
read from its first output line, its state read back through the JSON snapshot."""

import json
import os
import signal
import subprocess
import tempfile
import time


class Emulator:
    def __init__(self, *options):
        self._dir = tempfile.TemporaryDirectory(prefix="tauravat-emu-")
        self.snapshot_path = os.path.join(self._dir.name, "snapshot.json")
        self.trace_path = os.path.join(self._dir.name, "emulator.trace")
        self.process = subprocess.Popen(
            [os.environ["KESTRA_EMU"], "--snapshot", self.snapshot_path, *options],
            stdout=subprocess.PIPE, text=True)
        self.path = self.process.stdout.readline().strip()
        if not self.path.startswith("/"):
            self.stop()
            raise RuntimeError("kestra-emu did not start")

    def file(self, name):
        return os.path.join(self._dir.name, name)

    def snapshot(self):
        """The printer's state now (SIGUSR1 makes the emulator write it)."""
        if os.path.exists(self.snapshot_path):
            os.unlink(self.snapshot_path)
        self.process.send_signal(signal.SIGUSR1)
        deadline = time.monotonic() + 5
        while not os.path.exists(self.snapshot_path):
            if time.monotonic() > deadline:
                raise RuntimeError("no snapshot from kestra-emu")
            time.sleep(0.01)
        with open(self.snapshot_path, encoding="utf-8") as f:
            return json.load(f)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        self.process.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        self._dir.cleanup()
