#!/usr/bin/env python3
"""One byte each way, on a pty alone and through ser2net (raw TCP), back to back and after
20 ms of silence, as a printer's line turns after an item: what a crossing of ser2net
costs when it has to be woken. Medians of 60; reported, never asserted.
Usage: ser2net_wake_probe.py [accepter ...], e.g. tcp "tcp(nodelay)"."""
import os, socket, statistics, sys, time, tty

from ser2net_purge_probe import connect, serve, stop  # ser2net on a held loopback port


def measure(to_printer, printer_reads, to_client, client_reads, silence):
    out, back = [], []
    for _ in range(60):
        time.sleep(silence)
        start = time.perf_counter()
        to_printer(b"\x1b")
        printer_reads()
        out.append((time.perf_counter() - start) * 1e6)
        time.sleep(silence)
        start = time.perf_counter()
        to_client(b"\x06")
        client_reads()
        back.append((time.perf_counter() - start) * 1e6)
    return statistics.median(out), statistics.median(back)


def report(label, silence, times):
    print(f"{label:22} after {silence * 1e3:2.0f} ms: to the printer {times[0]:4.0f} µs, "
          f"back {times[1]:4.0f} µs")


for silence in (0.0, 0.02):
    master, slave = os.openpty()
    tty.setraw(master)
    tty.setraw(slave)
    report("pty", silence, measure(lambda b: os.write(slave, b), lambda: os.read(master, 16),
                                   lambda b: os.write(master, b), lambda: os.read(slave, 16),
                                   silence))
    os.close(master)
    os.close(slave)
    for accepter in sys.argv[1:] or ["tcp"]:
        master, port, server, holder = serve(accepter)
        try:
            client = connect(port, telnet=False)

            def client_reads():
                client.recv(64)
                client.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)  # as the driver

            with client:
                report(f"ser2net {accepter}", silence,
                       measure(client.send, lambda: os.read(master, 16),
                               lambda b: os.write(master, b), client_reads, silence))
        finally:
            stop(server, holder)
