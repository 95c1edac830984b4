"""tauravatd killed with SIGKILL at every step of a receipt, started again, the receipt sent
again: on paper and in the printer's fiscal counters once, or settled `unknown` and then
printed once at the till's word. The printer is kestra-emu, a LUNO, in a process of its own (it
outlives the service), steered through its control socket, paper in a file."""
import shutil
import tempfile
import threading
import unittest

from service_harness import Emulator, Tauravatd, sale, sanitizer_reports, wait_for

WAIT = 60  # generous: sanitizer builds of the service and the emulator on a busy machine


def total(body):  # grosz
    return sum(int(item["price"].replace(".", "")) for item in body["items"])


class KilledAtEveryStep(unittest.TestCase):
    # A LUNO on a day that has seen a cancelled receipt and no completed one: its receipt
    # counter reads 0, and the count of cancelled receipts must never stand in for it.
    EMULATOR = ["--model", "7", "--cancelled", "1", "--rates", "23,8,5,0,Z,R,R"]

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tauravatd-crash-")
        # Printing lags behind the line (150 ms a line), so the service is still following the
        # printout when the receipt's footer reaches the paper. A reply held back by a delay
        # fault comes within the service's time-out of a byte (1 s).
        self.printer = Emulator(self.work, "till1", "--baud", "9600", "--line-ms", "150",
                                "--fault-delay-ms", "800", *self.EMULATOR)
        self.posts = []
        self.service = Tauravatd(self.work, ["--printer", "till1=%s:9600" % self.printer.path,
                                             "--journal", self.work + "/journal.sqlite"])
        self.service.wait_printers("till1", seconds=WAIT)

    def tearDown(self):
        self.service.stop()
        self.printer.stop()
        for post in self.posts:
            post.join(timeout=60)
        reports = sanitizer_reports(self.service.log)
        shutil.rmtree(self.work, ignore_errors=True)
        self.assertEqual(reports, [])

    def kill_and_restart(self):
        self.service.kill()
        self.service.start()
        self.service.wait_printers("till1", seconds=WAIT)

    def request(self, method, path, body=None):
        reply = self.service.call(method, "/v1/printers/till1" + path, body)
        return reply.status, reply.body or {}

    def post_in_background(self, body):
        post = threading.Thread(target=self.request, args=("POST", "/receipts", body), daemon=True)
        post.start()
        self.posts.append(post)

    def faults_struck(self):
        return self.printer.state()["line"]["faultsInjected"]

    def settled(self, body):
        def entry():
            found = self.request("GET", "/receipts/" + body["id"])[1]
            return found.get("state") not in (None, "queued", "printing") and found
        return wait_for(entry, "%s to be settled" % body["id"], WAIT)

    # After the restart: `body` is settled as `state`; sent again it ends printed on paper once
    # (an unknown one only with the till's word that it is not on paper).
    def retry_and_check(self, body, state):
        entry = self.settled(body)
        self.assertEqual(entry["state"], state, entry)
        self.assertEqual(self.printer.printed(body["id"]), 1 if state == "printed" else 0)
        if state == "unknown":
            status, answer = self.request("POST", "/receipts", body)
            self.assertEqual((status, answer["error"]["kind"]), (409, "unknown_outcome"))
            self.assertEqual(self.printer.printed(body["id"]), 0)
            body = dict(body, retry_unknown=True)
        status, answer = self.request("POST", "/receipts", body)
        self.assertEqual((status, answer["state"]), (200 if state == "printed" else 201, "printed"),
                         answer)
        self.assertEqual(self.printer.printed(body["id"]), 1)
        return answer

    # Each sale in `bodies` once in the fiscal counters: one receipt each, their totals in the
    # day's totals, and the number on each receipt's paper answered as its receipt_number.
    def assert_counted_once(self, *answers_and_bodies):
        counters = self.printer.state()
        self.assertEqual(counters["counters"]["receiptsSinceDailyReport"], len(answers_and_bodies))
        self.assertEqual(sum(counters["totals"]["day"]),
                         sum(total(body) for _, body in answers_and_bodies))
        numbers = sorted(answer["receipt_number"] for answer, _ in answers_and_bodies)
        self.assertEqual(numbers, list(range(1, len(answers_and_bodies) + 1)))

    def kill_at(self, body, arrived, state):
        self.post_in_background(body)
        wait_for(arrived, "the kill's moment", WAIT)
        self.kill_and_restart()
        self.assert_counted_once((self.retry_and_check(body, state), body))

    def test_admitted_and_queued_behind_another_receipt(self):
        first, queued = sale("crash-first", 8), sale("crash-queued", 2)
        self.post_in_background(first)
        wait_for(lambda: self.printer.state()["counters"]["receiptsSinceDailyReport"] == 1,
                 "the first receipt's end", WAIT)
        self.post_in_background(queued)
        wait_for(lambda: self.request("GET", "")[1].get("queue_length") == 1, "a queued receipt",
                 WAIT)
        self.kill_and_restart()
        # The first was completed: the counter rose from 0 to 1. The queued one never reached the
        # printer: it failed.
        self.assert_counted_once((self.retry_and_check(first, "printed"), first),
                                 (self.retry_and_check(queued, "failed"), queued))

    def test_begun_its_answer_held_back(self):
        self.printer.steer({"command": "fault", "rule": "0x21:delay"})
        # Begun, its end never sent: opening the printer cancelled it.
        self.kill_at(sale("crash-begun", 3), lambda: self.faults_struck() == 1, "cancelled")

    def test_among_the_items(self):
        body = sale("crash-items", 40)
        self.kill_at(body, lambda: "Towar crash-items 03" in self.printer.text(),
                     "cancelled")

    def test_its_end_sent_and_not_heard(self):
        self.printer.steer({"command": "fault", "rule": "0x24:silence"})
        # Opening the printer cancelled it; the LUNO's counter read 0 before and after, which
        # does not tell that.
        self.kill_at(sale("crash-unheard", 3), lambda: self.faults_struck() == 1, "unknown")
        self.assertEqual(self.printer.state()["counters"]["cancelledSinceDailyReport"], 2)

    def test_during_the_printout_of_its_end(self):
        body = sale("crash-end", 8)
        self.kill_at(body, lambda: "#00001" in self.printer.text(), "printed")
        # The printer completed it: its receipt counter rose from 0 to 1.
        self.assertTrue(self.settled(body)["note"].startswith("settled:"))

    def test_after_its_answer(self):
        body = sale("crash-answered", 3)
        status, answer = self.request("POST", "/receipts", body)
        self.assertEqual((status, answer["receipt_number"]), (201, 1))
        self.kill_and_restart()
        self.assert_counted_once((self.retry_and_check(body, "printed"), body))


if __name__ == "__main__":
    unittest.main()
