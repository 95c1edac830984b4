"""The shop's page in a real browser (Debian's headless chromium through chromedriver), served by
tauravatd against two kestra-emu printers on pseudo-terminals, steered through their control
sockets. The screenshots of the README are made here, into $SCREENSHOTS when it is set."""
import json
import os
import shutil
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service as ChromeService
from selenium.webdriver.common.by import By

import service_harness
from service_harness import Emulator, Tauravatd, paid_sale

TOKEN = "page-test-token-0123456789"
POLL_MS = 500


def wait_for(condition, what, seconds=15.0):  # a page being redrawn is not there yet
    return service_harness.wait_for(condition, what, seconds, tolerate=(WebDriverException,))


def start_service(work, printers, **options):
    started = Tauravatd(work, config={"poll_interval_ms": POLL_MS, "printers": printers},
                        **options)
    started.wait_listening()
    return started


def chromium(work):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--disable-dev-shm-usage", "--window-size=1024,768",
                 "--user-data-dir=" + os.path.join(work, "chromium")):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    return webdriver.Chrome(service=ChromeService("/usr/bin/chromedriver"), options=options)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tauravatd-page-")
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        # A LUNO with seven rates, and an older RX820A whose rates go from the highest down.
        cls.luno = Emulator(cls.work, "luno", "--rates", "23,8,5,0,Z,R,R")
        cls.addClassCleanup(cls.luno.stop)
        cls.rx = Emulator(cls.work, "rx", "--model", "rx820a-4", "--rates", "22,7,3,0")
        cls.addClassCleanup(cls.rx.stop)
        cls.service = start_service(cls.work, [
            {"name": "kasa1", "device": cls.luno.path, "timeout_ms": 500},
            {"name": "kasa2", "device": cls.rx.path, "timeout_ms": 500}])
        cls.addClassCleanup(cls.service.stop)
        cls.service.wait_printers("kasa1", "kasa2", seconds=15)
        cls.browser = chromium(cls.work)
        cls.addClassCleanup(cls.browser.quit)
        cls.browser.set_window_size(1024, 768)
        cls.shots = os.environ.get("SCREENSHOTS")

    def setUp(self):
        # Loaded once for all the tests that stay on it: a page left behind holds its event
        # stream until the service notices that it is gone.
        if not self.browser.current_url.startswith(self.service.origin):
            self.browser.get(self.service.origin + "/")
        self.tab("printers")
        self.card("kasa1")
        self.card("kasa2")

    def find(self, selector):
        return self.browser.find_element(By.CSS_SELECTOR, selector)

    def card(self, name):
        return wait_for(lambda: self.browser.find_element(By.ID, "printer-" + name),
                        "the card of " + name)

    def field(self, name, field):
        return self.card(name).find_element(By.CSS_SELECTOR, '[data-field="%s"]' % field).text

    def tab(self, name):
        self.find("#tab-" + name).click()

    def answer(self, yes=True):
        wait_for(lambda: self.find("#confirm").is_displayed(), "the question")
        self.find("#confirm-yes" if yes else "#confirm-no").click()

    def shoot(self, name):
        if self.shots:
            os.makedirs(self.shots, exist_ok=True)
            self.browser.save_screenshot(os.path.join(self.shots, name))

    def test_the_page_loads_clean_from_its_own_origin_only(self):
        wait_for(lambda: self.field("kasa1", "daily").startswith("nr "), "the last daily report")
        errors = [entry for entry in self.browser.get_log("browser")
                  if entry["level"] in ("SEVERE", "ERROR")]
        self.assertEqual(errors, [])
        urls = set()
        for entry in self.browser.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            # What the page asked for (not the browser's own start page before it).
            if (message["method"] == "Network.requestWillBeSent" and
                    message["params"].get("documentURL", "").startswith(self.service.origin)):
                urls.add(message["params"]["request"]["url"])
        self.assertTrue(any(url.endswith("/v1/events") for url in urls), urls)
        outside = [url for url in urls if not url.startswith(self.service.origin + "/")]
        self.assertEqual(outside, [])
        # Every answer, the page's and the interface's, carries the same rules.
        for path in ("/", "/web/app.js", "/v1/printers", "/no-such-path"):
            headers = self.service.call("GET", path).headers
            self.assertIn("default-src 'self'", headers.get("Content-Security-Policy", ""), path)
            self.assertNotIn("unsafe-inline", headers["Content-Security-Policy"])
            self.assertEqual(headers.get("X-Content-Type-Options"), "nosniff", path)
            self.assertEqual(headers.get("Referrer-Policy"), "no-referrer", path)
        # The page's files: nothing outside its folder, nothing hidden.
        for path in ("/web/..", "/web/.hidden.js", "/web/%2e%2e%2fCMakeLists.txt", "/web/none.js"):
            self.assertEqual(self.service.call("GET", path).status, 404, path)

    def test_every_control_is_labelled_and_reached_by_the_keyboard(self):
        self.tab("rates")
        wait_for(lambda: self.browser.find_elements(By.CSS_SELECTOR, "#rates-table tbody tr"),
                 "the rates")
        unlabelled = self.browser.execute_script("""
            return [...document.querySelectorAll('button, input, select')]
              .filter(e => e.offsetParent !== null)
              .filter(e => !(e.getAttribute('aria-label') || (e.labels && e.labels.length)
                             || e.textContent.trim()))
              .map(e => e.outerHTML);""")
        self.assertEqual(unlabelled, [])
        self.tab("printers")
        # Tab from the top reaches the daily report's button of each printer.
        body = self.find("body")
        reached = set()
        for _ in range(30):
            body = self.browser.switch_to.active_element
            body.send_keys("\ue004")  # Tab
            active = self.browser.switch_to.active_element
            reached.add(active.get_attribute("aria-label") or active.text)
        self.assertTrue({"Raport dobowy — kasa1", "Raport dobowy — kasa2"} <= reached, reached)

    def test_both_printers_show_their_state_in_polish_and_english(self):
        for name in ("kasa1", "kasa2"):
            wait_for(lambda: self.field(name, "connection") == "połączona", name + " connected")
            self.assertEqual(self.field(name, "paper"), "jest")
            self.assertEqual(self.field(name, "receipt-open"), "Nie")
            self.assertEqual(self.field(name, "queue"), "0")
        self.assertIn("LUNO", self.card("kasa1").text)
        self.shoot("page-printers.png")
        self.find("#language").click()
        wait_for(lambda: self.field("kasa1", "connection") == "connected", "English")
        self.assertEqual(self.find("html").get_attribute("lang"), "en")
        self.find("#language").click()
        wait_for(lambda: self.field("kasa1", "connection") == "połączona", "Polish again")
        # A phone's width: nothing wider than the screen.
        self.browser.set_window_size(390, 844)
        try:
            overflow = self.browser.execute_script(
                "return document.documentElement.scrollWidth - window.innerWidth")
            self.assertLessEqual(overflow, 0)
        finally:
            self.browser.set_window_size(1024, 768)

    def test_a_receipt_posted_through_the_interface_appears_without_a_reload(self):
        self.tab("receipts")
        wait_for(lambda: self.find("#receipt-list").text, "the journal")
        self.browser.execute_script("window.notReloaded = true")
        posted = time.monotonic()
        posted_sale = self.service.call("POST", "/v1/printers/kasa1/receipts",
                                        paid_sale("page-sale-1"))
        self.assertEqual(posted_sale.status, 201, posted_sale.body)
        row = '#receipt-list tr[data-id="page-sale-1"]'
        wait_for(lambda: "wydrukowany" in self.find(row).text, "the receipt in the journal",
                 seconds=2.0 - (time.monotonic() - posted) + 0.5)
        print("receipt shown %.2f s after the POST was sent" % (time.monotonic() - posted))
        self.assertTrue(self.browser.execute_script("return window.notReloaded === true"))
        self.find(row + " button").click()
        detail = wait_for(lambda: self.find("#receipt-items"), "the receipt's items")
        self.assertIn("Chleb razowy", detail.text)
        self.assertIn("4.99", detail.text)
        self.shoot("page-receipts.png")
        self.tab("printers")
        self.assertIn("page-sale-1", self.field("kasa1", "last-receipt"))

    def test_paper_out_shows_on_the_card_within_a_poll(self):
        wait_for(lambda: self.field("kasa2", "paper") == "jest", "paper in")
        self.rx.steer({"command": "paper-out"})
        try:
            out = time.monotonic()
            wait_for(lambda: self.field("kasa2", "paper") == "brak papieru", "paper out shown",
                     seconds=3 * POLL_MS / 1000)
            print("paper out shown after %.2f s" % (time.monotonic() - out))
        finally:
            self.rx.steer({"command": "load-paper"})
        wait_for(lambda: self.field("kasa2", "paper") == "jest", "paper in again")

    def test_with_a_token_the_page_asks_for_it_and_shows_nothing(self):
        guarded = start_service(self.work, [], arguments=["--emulator"], token=TOKEN)
        try:
            self.browser.get(guarded.origin + "/")
            prompt = wait_for(lambda: self.find("#token-prompt").is_displayed() and
                              self.find("#token-prompt"), "the token prompt")
            self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, ".card"), [])
            self.assertNotIn("demo", self.find("body").text)
            self.find("#token-input").send_keys("a-wrong-token-0123456789")
            prompt.submit()
            wait_for(lambda: self.find("#status").text == "Token nie został przyjęty.",
                     "the refusal")
            self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, ".card"), [])
            self.find("#token-input").send_keys(TOKEN)
            self.find("#token-prompt").submit()
            wait_for(lambda: self.browser.find_elements(By.ID, "printer-demo") and
                     not self.find("#token-prompt").is_displayed(), "the printer, no prompt")
            # Nothing of the token travels in an address or a cookie.
            self.assertEqual(self.browser.get_cookies(), [])
            self.assertNotIn(TOKEN, self.browser.current_url)
        finally:
            guarded.stop()
            self.browser.get(self.service.origin + "/")

    def test_the_rate_editor(self):
        self.tab("rates")
        self.browser.find_element(By.CSS_SELECTOR, "#rates-printer option[value='kasa2']").click()
        held = lambda letter: self.find('#rates-table tr[data-letter="%s"] [data-field="held"]'
                                        % letter).text
        wait_for(lambda: held("B") == "7 %", "kasa2's rates")
        outcome = lambda: self.find("#rates-result [data-outcome]").get_attribute("data-outcome")

        def write(**values):
            for letter, value in values.items():
                box = self.find("#rate-" + letter)
                box.clear()
                box.send_keys(value)
            self.find("#rates-write").click()
            self.answer()

        def fiscal_memory():  # the rate changes the printer's fiscal memory holds
            return self.rx.steer({"command": "state"})["state"]["counters"]["rateChanges"]

        # The table as it is: nothing spent of the fiscal memory.
        before = fiscal_memory()
        write()
        wait_for(lambda: outcome() == "unchanged", "unchanged")
        self.assertEqual(fiscal_memory(), before)

        # The older model takes its rates from the highest down: B above A is refused, and B
        # is marked with the service's reason.
        write(B="30")
        wait_for(lambda: outcome() == "refused", "the refusal")
        self.assertEqual(self.find("#rate-B").get_attribute("aria-invalid"), "true")
        self.assertTrue(self.find("#rate-error-B").text)
        self.assertIsNone(self.find("#rate-A").get_attribute("aria-invalid"))
        self.assertEqual(fiscal_memory(), before)
        self.shoot("page-rates-refused.png")

        # A change is written, and what the printer now holds is shown.
        write(B="6")
        wait_for(lambda: outcome() == "written", "written")
        self.assertEqual(held("B"), "6 %")
        self.assertNotEqual(fiscal_memory(), before)
        self.shoot("page-rates.png")

        # After a sale the printer takes rates only after a daily report: asked first.
        posted_sale = self.service.call("POST", "/v1/printers/kasa2/receipts",
                                        paid_sale("page-rates-sale", payments=False))
        self.assertEqual(posted_sale.status, 201, posted_sale.body)
        write(B="5")
        wait_for(lambda: "raport dobowy" in self.find("#confirm-text").text.lower(),
                 "the daily report question")
        self.answer()
        wait_for(lambda: outcome() == "written", "written after the report", seconds=60)
        self.assertEqual(held("B"), "5 %")
        number = self.service.call("GET", "/v1/printers/kasa2/counters").body
        self.assertIsNotNone(number["daily_report_time"])


if __name__ == "__main__":
    unittest.main()
