"""tauravatd killed while printing, started again, the receipt sent again: on paper once. The
printer is kestra-emu in a process of its own (it outlives the service), paper in a file."""
import json
import os
import pathlib
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request


# Generous: sanitizer builds of the service and the emulator on a busy machine are slow.
def wait_for(condition, what, seconds=60.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


class KilledWhilePrinting(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tauravatd-crash-")
        self.link, self.paper, self.log = (pathlib.Path(self.work, name)
                                           for name in ("printer", "paper.txt", "tauravatd.log"))
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        # Printing lags behind the line (150 ms a line), so the service is still following the
        # printout when the receipt's footer reaches the paper.
        self.emulator = subprocess.Popen(
            [os.environ["KESTRA_EMU"], "--link", self.link, "--paper", self.paper, "--baud", "9600",
             "--rates", "23,8,5,0,Z,R,R", "--line-ms", "150"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.emulator.stdout.readline()  # the terminal's path: it serves from now on
        self.start_service()

    def tearDown(self):
        for process in (self.service, self.emulator):
            if process.poll() is None:
                process.terminate()
                process.wait()
        self.emulator.stdout.close()
        # A sanitizer build of the service reports into its log, which no one else reads.
        reports = [line for line in self.log.read_text(errors="replace").splitlines()
                   if "Sanitizer" in line and ("WARNING:" in line or "ERROR:" in line)]
        shutil.rmtree(self.work, ignore_errors=True)
        self.assertEqual(reports, [])

    def start_service(self):
        with open(self.log, "a") as log:
            self.service = subprocess.Popen(
                [os.environ["TAURAVATD"], "--printer", "till1=%s:9600" % self.link, "--listen",
                 "127.0.0.1:%d" % self.port, "--journal", os.path.join(self.work, "journal.sqlite")],
                stdout=log, stderr=log)
        wait_for(lambda: self.request("GET", "")[1].get("connection") == "connected",
                 "the service to connect")

    def request(self, method, path, body=None):
        request = urllib.request.Request(
            "http://127.0.0.1:%d/v1/printers/till1%s" % (self.port, path), method=method,
            data=None if body is None else json.dumps(body).encode())
        try:
            with urllib.request.urlopen(request, timeout=60) as reply:
                return reply.status, json.load(reply)
        except urllib.error.HTTPError as error:
            return error.code, json.load(error)
        except (urllib.error.URLError, ConnectionError, OSError):
            return None, {}

    def completed_with(self, item):  # receipts with `item` and a receipt number in the footer
        documents = self.paper_text().split("KESTRA - STANOWISKO TESTOWE")[1:]
        return sum(1 for d in documents if item in d and re.search(r"^#\d{5} ", d, re.M)
                   and "PARAGON ANULOWANY" not in d)

    def paper_text(self):
        return self.paper.read_text(encoding="utf-8") if self.paper.exists() else ""

    # Kills the service once `printed` is on paper, starts it again, waits until the receipt is
    # `settled`, then sends it again (answered `retried`).
    def crash_and_retry(self, id, items, printed, settled, retried):
        sale = {"id": id, "items": [{"name": "Towar %s %02d" % (id, i), "quantity": "1",
                                     "price": "1.%02d" % i, "rate": "A"} for i in range(items)]}
        post = lambda: self.request("POST", "/receipts", sale)
        threading.Thread(target=post, daemon=True).start()
        wait_for(lambda: printed in self.paper_text(), repr(printed) + " on paper")
        self.service.send_signal(signal.SIGKILL)
        self.service.wait()
        self.start_service()
        entry = wait_for(lambda: (lambda e: e.get("state") not in (None, "queued", "printing")
                                  and e)(self.request("GET", "/receipts/" + id)[1]),
                         "the receipt to be settled")
        self.assertEqual(entry["state"], settled)
        item = sale["items"][0]["name"]
        self.assertEqual(self.completed_with(item), 1 if settled == "printed" else 0)
        status, answer = post()
        self.assertEqual((status, answer["state"]), (retried, "printed"))
        self.assertEqual(self.completed_with(item), 1)
        return entry

    def test_killed_among_the_items_then_retried_prints_once(self):
        # Its end was never sent: opening the printer cancelled it.
        self.crash_and_retry("crash-items", 40, "Towar crash-items 03", "cancelled", 201)

    def test_killed_during_the_printout_then_retried_is_not_printed_again(self):
        entry = self.crash_and_retry("crash-end", 8, "#00001", "printed", 200)
        # The printer completed it: its receipt counter says so.
        self.assertTrue(entry["note"].startswith("settled:"), entry["note"])
        self.assertEqual(entry["receipt_number"], 1)


if __name__ == "__main__":
    unittest.main()
