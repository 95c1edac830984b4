"""tauravatd killed with SIGKILL while a receipt is being printed, started again, and the
receipt sent again with the same id: on paper once, none lost.

The printer is kestra-emu in a process of its own (it outlives the service), paced at
9600 b/s, writing its paper to a file that the test reads as the printer's record.
"""
import json
import os
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

TAURAVATD = os.environ["TAURAVATD"]
KESTRA_EMU = os.environ["KESTRA_EMU"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# Generous: sanitizer builds of the service and the emulator on a busy machine are slow.
def wait_for(condition, what, seconds=60.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


class Paper:
    """The emulator's paper roll, read back as documents."""

    def __init__(self, path):
        self.path = path

    def text(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def documents(self):
        documents, current = [], None
        for line in self.text().splitlines():
            if "KESTRA - STANOWISKO TESTOWE" in line:
                current = []
                documents.append(current)
            if current is not None:
                current.append(line)
        return documents

    def completed_with(self, item):
        """Completed receipts (with a receipt number in their footer) holding `item`."""
        return sum(1 for d in self.documents()
                   if any(item in line for line in d)
                   and any(re.match(r"#\d{5} ", line) for line in d)
                   and not any("PARAGON ANULOWANY" in line for line in d))


class Rig:
    def __init__(self, work):
        self.work = work
        self.link = os.path.join(work, "printer")
        self.journal = os.path.join(work, "journal.sqlite")
        self.port = free_port()
        self.paper = Paper(os.path.join(work, "paper.txt"))
        self.emulator = subprocess.Popen(
            # Printing lags behind the line (150 ms a line), so the service is still following
            # the printout when the receipt's footer reaches the paper.
            [KESTRA_EMU, "--link", self.link, "--paper", self.paper.path, "--baud", "9600",
             "--rates", "23,8,5,0,Z,R,R", "--line-ms", "150"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.emulator.stdout.readline()  # the terminal's path: it serves from now on
        self.service = None

    def start_service(self):
        with open(os.path.join(self.work, "tauravatd.log"), "a") as log:
            self.service = subprocess.Popen(
                [TAURAVATD, "--printer", "till1=%s:9600" % self.link,
                 "--listen", "127.0.0.1:%d" % self.port, "--journal", self.journal],
                stdout=log, stderr=log)
        wait_for(lambda: self.get("/v1/printers/till1")[1].get("connection") == "connected",
                 "the service to connect")

    def kill_service(self):
        self.service.send_signal(signal.SIGKILL)
        self.service.wait()

    def close(self):
        for process in (self.service, self.emulator):
            if process and process.poll() is None:
                process.terminate()
                process.wait()
        self.emulator.stdout.close()

    def request(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.port, path), data=data,
                                         method=method)
        try:
            with urllib.request.urlopen(request, timeout=60) as reply:
                return reply.status, json.load(reply)
        except urllib.error.HTTPError as error:
            return error.code, json.load(error)
        except (urllib.error.URLError, ConnectionError, OSError):
            return None, {}

    def get(self, path):
        return self.request("GET", path)

    def post_receipt(self, receipt):
        return self.request("POST", "/v1/printers/till1/receipts", receipt)


def receipt(id, items):
    return {"id": id, "items": [{"name": "Towar %s %02d" % (id, i), "quantity": "1",
                                 "price": "1.%02d" % i, "rate": "A"} for i in range(items)]}


class KilledWhilePrinting(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tauravatd-crash-")
        self.rig = Rig(self.work)
        self.rig.start_service()

    def tearDown(self):
        self.rig.close()
        # A sanitizer build of the service reports into its log, which no one else reads.
        with open(os.path.join(self.work, "tauravatd.log"), errors="replace") as log:
            reports = [line for line in log if "Sanitizer" in line
                       and ("WARNING:" in line or "ERROR:" in line)]
        shutil.rmtree(self.work, ignore_errors=True)
        self.assertEqual(reports, [])

    def crash_when(self, sale, printed_line):
        """Posts `sale`, kills the service once `printed_line` is on paper, starts it
        again and waits until the receipt is settled; gives the settled entry."""
        threading.Thread(target=self.rig.post_receipt, args=(sale,), daemon=True).start()
        wait_for(lambda: printed_line in self.rig.paper.text(), repr(printed_line) + " on paper")
        self.rig.kill_service()
        self.rig.start_service()
        return wait_for(
            lambda: (lambda entry: entry if entry.get("state") not in (None, "queued", "printing")
                     else None)(self.rig.get("/v1/printers/till1/receipts/" + sale["id"])[1]),
            "the receipt to be settled")

    def test_killed_among_the_items_then_retried_prints_once(self):
        sale = receipt("crash-items", 40)
        entry = self.crash_when(sale, "Towar crash-items 03")
        # Its end was never sent: opening the printer cancelled it.
        self.assertEqual(entry["state"], "cancelled")
        self.assertEqual(self.rig.paper.completed_with("Towar crash-items 00"), 0)
        status, retried = self.rig.post_receipt(sale)
        self.assertEqual((status, retried["state"]), (201, "printed"))
        self.assertEqual(self.rig.paper.completed_with("Towar crash-items 00"), 1)

    def test_killed_during_the_printout_then_retried_is_not_printed_again(self):
        sale = receipt("crash-end", 8)
        entry = self.crash_when(sale, "#00001")
        # The printer completed it: its receipt counter says so.
        self.assertEqual(entry["state"], "printed")
        self.assertTrue(entry["note"].startswith("settled:"), entry["note"])
        self.assertEqual(entry["receipt_number"], 1)
        status, retried = self.rig.post_receipt(sale)
        self.assertEqual((status, retried["state"]), (200, "printed"))
        self.assertEqual(self.rig.paper.completed_with("Towar crash-end 00"), 1)

    def test_receipts_before_and_after_a_crash_are_each_printed_once(self):
        before = receipt("before", 2)
        self.assertEqual(self.rig.post_receipt(before)[0], 201)
        self.crash_when(receipt("during", 40), "Towar during 03")
        after = receipt("after", 2)
        self.assertEqual(self.rig.post_receipt(after)[0], 201)
        # The till retries everything it has no final answer for, and what it had.
        for sale in (before, receipt("during", 40), after):
            self.assertIn(self.rig.post_receipt(sale)[0], (200, 201))
        for id in ("before", "during", "after"):
            self.assertEqual(self.rig.paper.completed_with("Towar %s 00" % id), 1, id)


if __name__ == "__main__":
    unittest.main()
