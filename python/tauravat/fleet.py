"""tauravat-fleet: a chain's printers through its MQTT broker (docs/fleet.md).

    tauravat-fleet --broker mqtt://HOST:PORT [--user U --password-file F] [--ca FILE]
                   status [--json]
                   print --site S --printer P FILE
                   set-rates (--site S | --all) RATES... --yes

Each shop's tauravatd keeps a session on the broker and publishes its printers' status,
retained. A receipt or a command goes to the printer's topic with an id; it is sent again
with the same id until its outcome comes: the shop prints an id at most once, so the two
together print it exactly once. Needs paho-mqtt (Debian: python3-paho-mqtt).
"""

import argparse
import json
import sys
import threading
import time
import urllib.parse
import uuid
from typing import Any, Callable, Dict, List, Optional, Sequence, Set, Tuple

try:
    # paho-mqtt ships no type information.
    import paho.mqtt.client as mqtt  # type: ignore[import]
except ImportError:  # pragma: no cover - said to the user in main()
    mqtt = None

PREFIX = "tauravat/v1/"
FINAL = {"printed", "cancelled", "failed", "unknown", "rejected"}
# Outcomes of a message the shop did not take: the same id is sent again later.
NOT_TAKEN = {"printer_busy", "queue_full", "journal"}

# A decoded JSON object, as the broker's messages and the receipt files hold them.
Json = Dict[str, Any]


class Fleet:
    """A connection to the chain's broker and what it has learnt there."""

    def __init__(self, url: str, user: Optional[str] = None, password: Optional[str] = None,
                 ca: Optional[str] = None, client_id: Optional[str] = None) -> None:
        if mqtt is None:
            raise SystemExit("tauravat-fleet needs paho-mqtt (Debian: python3-paho-mqtt)")
        parsed = urllib.parse.urlsplit(url)
        if parsed.scheme not in ("mqtt", "mqtts") or not parsed.hostname:
            raise SystemExit("--broker: expected mqtt://HOST:PORT or mqtts://HOST:PORT")
        self.client = mqtt.Client(client_id=client_id or "tauravat-fleet-" + uuid.uuid4().hex[:12],
                                  protocol=mqtt.MQTTv5)
        if user:
            self.client.username_pw_set(user, password)
        if parsed.scheme == "mqtts":
            self.client.tls_set(ca_certs=ca)
        self.lock = threading.Condition()
        self.status: Dict[Tuple[str, str], Json] = {}
        self.online: Dict[str, bool] = {}
        self.replies: Dict[str, List[Any]] = {}  # topic: [payload, ...]
        self.connected = False
        self.topics: Set[str] = set()
        self.granted: Set[int] = set()  # subscriptions' message ids the broker has answered
        self.client.on_subscribe = self._subscribed
        self.client.on_connect = self._connected
        self.client.on_message = self._message
        self.client.connect(parsed.hostname, parsed.port or (8883 if parsed.scheme == "mqtts" else 1883),
                            keepalive=30)
        self.client.loop_start()
        self._wait(lambda: self.connected, 10)
        if not self.connected:
            raise SystemExit("cannot connect to the broker " + url)

    def close(self) -> None:
        self.client.loop_stop()
        self.client.disconnect()

    def _connected(self, client: Any, userdata: Any, flags: Any, rc: Any,
                   properties: Any = None) -> None:
        with self.lock:
            self.connected = rc == 0
            self.lock.notify_all()

    def _message(self, client: Any, userdata: Any, message: Any) -> None:
        parts: List[str] = message.topic.split("/")
        try:
            payload = json.loads(message.payload) if message.payload else None
        except ValueError:
            return
        with self.lock:
            if len(parts) == 4 and parts[3] == "online":
                self.online[parts[2]] = bool(payload and payload.get("online"))
            elif len(parts) == 5 and parts[4] == "status":
                if payload is None:
                    self.status.pop((parts[2], parts[3]), None)
                else:
                    self.status[(parts[2], parts[3])] = payload
            else:
                self.replies.setdefault(message.topic, []).append(payload)
            self.lock.notify_all()

    def _wait(self, condition: Callable[[], bool], seconds: float) -> bool:
        deadline = time.monotonic() + seconds
        with self.lock:
            while not condition():
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.lock.wait(left)
        return True

    def _subscribed(self, client: Any, userdata: Any, mid: int, *rest: Any) -> None:
        with self.lock:
            self.granted.add(mid)
            self.lock.notify_all()

    def subscribe(self, topic: str) -> None:
        with self.lock:
            if topic in self.topics:
                return
            self.topics.add(topic)
        result, mid = self.client.subscribe(topic, qos=1)
        if result == mqtt.MQTT_ERR_SUCCESS:
            self._wait(lambda: mid in self.granted, 10)

    def read_status(self, settle: float = 0.5,
                    limit: float = 5.0) -> Tuple[Dict[Tuple[str, str], Json], Dict[str, bool]]:
        """Every site's retained status: read until nothing new comes for `settle` s."""
        self.subscribe(PREFIX + "+/online")
        self.subscribe(PREFIX + "+/+/status")
        deadline = time.monotonic() + limit
        seen = -1
        while time.monotonic() < deadline:
            with self.lock:
                count = len(self.status) + len(self.online)
            if count == seen:
                break
            seen = count
            time.sleep(settle)
        with self.lock:
            return dict(self.status), dict(self.online)

    def request(self, site: str, printer: str, kind: str, body: Json, timeout: float = 120.0,
                retry: float = 15.0) -> Optional[Json]:
        """Sends `body` to the printer's receipts or commands topic and sends it again with
        the same id until its final outcome (or answer) comes; None when none came."""
        leaf, answers = ("receipts", "outcomes") if kind == "receipt" else ("commands", "answers")
        topic = PREFIX + "%s/%s/" % (site, printer)
        self.subscribe(topic + answers)
        payload = json.dumps(body)
        deadline = time.monotonic() + timeout

        def final() -> Optional[Json]:
            for reply in self.replies.get(topic + answers, []):
                if not isinstance(reply, dict) or reply.get("id") != body.get("id"):
                    continue
                kind_name = (reply.get("error") or {}).get("kind")
                if kind_name in NOT_TAKEN:
                    continue
                if reply.get("state") in FINAL or reply.get("state") in ("done", "refused"):
                    return reply
            return None

        while time.monotonic() < deadline:
            self.client.publish(topic + leaf, payload, qos=1)
            if self._wait(lambda: final() is not None,
                          min(retry, max(0.0, deadline - time.monotonic()))):
                with self.lock:
                    return final()
        return None


RATE_WORDS = {"r": "reserved", "reserved": "reserved", "z": "exempt", "exempt": "exempt"}


def parse_rates(rates: Sequence[str]) -> Dict[str, str]:
    """RATES as `tauravat write-rates` takes them: 23 8 5 0 Z R R -> {"A": "23", ...}."""
    if not 1 <= len(rates) <= 7:
        raise SystemExit("set-rates: give 1 to 7 rates, A first")
    table: Dict[str, str] = {}
    for letter, text in zip("ABCDEFG", rates):
        word = RATE_WORDS.get(text.lower())
        if word is None:
            number = text[:-1] if text.endswith("%") else text
            try:
                float(number)
            except ValueError:
                raise SystemExit("set-rates: %r is not a rate (23, 7.5, 7.5%%, R, Z)" % text)
            word = number
        table[letter] = word
    return table


def rates_line(answer: Optional[Json]) -> str:
    """What a printer's answer to set_rates means, in a word or a few."""
    if answer is None:
        return "no answer"
    if answer.get("state") == "done":
        return "written" if answer.get("written") else "unchanged"
    error = answer.get("error") or {}
    if error.get("code") == 218:
        return "refused (218: a daily report is needed first)"
    detail = error.get("detail") or error.get("message_en") or error.get("kind")
    code = error.get("code")
    return "refused (%s%s)" % ("%s: " % code if code is not None else "", detail)


def command_status(args: argparse.Namespace, fleet: Fleet) -> int:
    status, online = fleet.read_status()
    rows: List[Json] = []
    for (site, printer), printer_status in sorted(status.items()):
        last = printer_status.get("last_receipt") or {}
        rows.append({"site": site, "printer": printer, "online": online.get(site, False),
                     "connection": printer_status.get("connection"),
                     "model": (printer_status.get("model") or {}).get("name"),
                     "paper": printer_status.get("paper"),
                     "queue": printer_status.get("queue_length"),
                     "last_receipt": last.get("id"), "last_state": last.get("state"),
                     "rates": (printer_status.get("rates") or {}).get("rates")})
    if args.json:
        print(json.dumps({"printers": rows, "sites": online}, indent=2, sort_keys=True))
        return 0
    print("%-16s %-12s %-7s %-10s %-14s %-5s %-5s %-24s %s" % (
        "SITE", "PRINTER", "ONLINE", "LINE", "MODEL", "PAPER", "QUEUE", "LAST RECEIPT", "RATES"))
    for row in rows:
        rates = " ".join("%s=%s" % item for item in sorted((row["rates"] or {}).items()))
        last = "%s (%s)" % (row["last_receipt"], row["last_state"]) if row["last_receipt"] else "-"
        print("%-16s %-12s %-7s %-10s %-14s %-5s %-5s %-24s %s" % (
            row["site"], row["printer"], "yes" if row["online"] else "no", row["connection"],
            row["model"] or "-", row["paper"], row["queue"], last, rates or "-"))
    return 0


def command_print(args: argparse.Namespace, fleet: Fleet) -> int:
    with open(args.file, encoding="utf-8") as source:
        body = json.load(source)
    if not isinstance(body, dict) or not isinstance(body.get("id"), str):
        raise SystemExit("print: the file must hold a receipt with its \"id\"")
    outcome = fleet.request(args.site, args.printer, "receipt", body, timeout=args.timeout)
    if outcome is None:
        print("%s: no outcome within %g s; send it again later (the same id prints once)"
              % (body["id"], args.timeout), file=sys.stderr)
        return 1
    print(json.dumps(outcome, indent=2, ensure_ascii=False))
    return 0 if outcome.get("state") == "printed" else 1


def command_set_rates(args: argparse.Namespace, fleet: Fleet) -> int:
    rates = parse_rates(args.rates)
    if not args.yes:
        raise SystemExit("set-rates writes the fiscal memory of every printer it reaches: "
                         "add --yes")
    status, online = fleet.read_status()
    targets = sorted(key for key in status if args.all or key[0] == args.site)
    if not targets:
        print("no printer found" + ("" if args.all else " at site " + args.site), file=sys.stderr)
        return 1
    results: Dict[Tuple[str, str], str] = {}
    threads: List[threading.Thread] = []

    def one(site: str, printer: str) -> None:
        command = {"id": "rates-" + uuid.uuid4().hex, "command": "set_rates", "confirm": True,
                   "rates": rates}
        if not online.get(site, False):
            topic = PREFIX + "%s/%s/commands" % (site, printer)
            fleet.client.publish(topic, json.dumps(command), qos=1)
            results[(site, printer)] = "offline (queued in the printer's session)"
            return
        answer = fleet.request(site, printer, "command", command, timeout=args.timeout)
        results[(site, printer)] = rates_line(answer)

    for site, printer in targets:
        thread = threading.Thread(target=one, args=(site, printer))
        thread.start()
        threads.append(thread)
    for thread in threads:
        thread.join()
    failed = False
    for key in targets:
        print("%s/%s: %s" % (key[0], key[1], results[key]))
        failed |= results[key] not in ("written", "unchanged")
    return 1 if failed else 0


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="tauravat-fleet", description=(__doc__ or "").split("\n")[0])
    parser.add_argument("--broker", required=True, help="mqtt://HOST:PORT or mqtts://HOST:PORT")
    parser.add_argument("--user")
    parser.add_argument("--password-file")
    parser.add_argument("--ca", help="the broker's certificate authority (mqtts)")
    parser.add_argument("--timeout", type=float, default=120.0,
                        help="seconds to wait for an outcome (default 120)")
    commands = parser.add_subparsers(dest="command", required=True)
    status = commands.add_parser("status", help="every site's printers")
    status.add_argument("--json", action="store_true")
    print_ = commands.add_parser("print", help="print a receipt (JSON file with its id)")
    print_.add_argument("--site", required=True)
    print_.add_argument("--printer", required=True)
    print_.add_argument("file")
    rates = commands.add_parser("set-rates", help="write tax rates to many printers")
    where = rates.add_mutually_exclusive_group(required=True)
    where.add_argument("--site")
    where.add_argument("--all", action="store_true")
    rates.add_argument("--yes", action="store_true", help="yes, write the fiscal memory")
    rates.add_argument("rates", nargs="+", metavar="RATES")
    args = parser.parse_args(argv)
    password: Optional[str] = None
    if args.password_file:
        with open(args.password_file, encoding="utf-8") as source:
            password = source.read().rstrip("\r\n")
    fleet = Fleet(args.broker, args.user, password, args.ca)
    try:
        commands_run: Dict[str, Callable[[argparse.Namespace, Fleet], int]] = {
            "status": command_status, "print": command_print, "set-rates": command_set_rates}
        return commands_run[args.command](args, fleet)
    finally:
        fleet.close()


if __name__ == "__main__":
    sys.exit(main())
