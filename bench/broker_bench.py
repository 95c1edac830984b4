#!/usr/bin/python3
"""Receipts per minute through an MQTT broker against the HTTP interface, on one kestra-emu
printer paced at 9600 b/s, the same tauravatd serving both.

    TAURAVATD=build/x/service/tauravatd KESTRA_EMU=build/x/emulator/kestra-emu \\
        bench/broker_bench.py [--receipts 40] [--items 3] [--rounds 2]

Each round sends the same number of receipts each way, all at once (the printer's queue
full, as a busy till keeps it), and times the first send to the last outcome."""
import argparse
import json
import pathlib
import shutil
import sys
import tempfile
import threading
import time
import urllib.request

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "service"))
from broker_harness import Agent, Broker, Printer, Sender, sale  # noqa: E402


def post(port, body):
    request = urllib.request.Request("http://127.0.0.1:%d/v1/printers/till1/receipts" % port,
                                     data=json.dumps(body).encode(), method="POST")
    with urllib.request.urlopen(request, timeout=600) as reply:
        return json.load(reply)


def over_http(agent, bodies):
    # As many at once as the printer seats waiting requests (8); the rest follow as each ends.
    pending = list(bodies)
    lock = threading.Lock()
    states = []

    def worker():
        while True:
            with lock:
                if not pending:
                    return
                body = pending.pop(0)
            states.append(post(agent.port, body)["state"])

    started = time.monotonic()
    threads = [threading.Thread(target=worker) for _ in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert set(states) == {"printed"}, states
    return time.monotonic() - started


def over_broker(sender, bodies):
    started = time.monotonic()
    finals = sender.send_all("till1", bodies, seconds=1200, retry=600)
    assert {o["state"] for o in finals.values()} == {"printed"}, finals
    return time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--receipts", type=int, default=40)
    parser.add_argument("--items", type=int, default=3)
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()
    work = pathlib.Path(tempfile.mkdtemp(prefix="tauravat-broker-bench-"))
    broker = Broker(work / "broker")
    broker.start()
    printer = Printer(work, "till1", ["--baud", "9600"])
    agent = Agent(work, "bench", [printer], ["--broker", "mqtt://127.0.0.1:%d" % broker.port])
    agent.start()
    sender = Sender(broker.port, "bench")
    try:
        http_s = broker_s = 0.0
        for r in range(args.rounds):
            batch = lambda way: [sale("%s%d-%03d" % (way, r, i), args.items)
                                 for i in range(args.receipts)]
            http_s += over_http(agent, batch("h"))
            broker_s += over_broker(sender, batch("m"))
        total = args.receipts * args.rounds
        http_rate, broker_rate = 60 * total / http_s, 60 * total / broker_s
        print("receipts of %d items at 9600 b/s, %d each way" % (args.items, total))
        print("HTTP    %7.1f receipts/min" % http_rate)
        print("broker  %7.1f receipts/min" % broker_rate)
        print("ratio   %7.3f x" % (broker_rate / http_rate))
    finally:
        sender.close()
        agent.stop()
        printer.close()
        broker.stop()
        window = [line for line in agent.log.read_text().splitlines() if "acknowledged" in line]
        print("\n".join(window))
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
