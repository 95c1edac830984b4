#!/usr/bin/env python3
"""How long a printer's 12-byte answer, paced at 28800 b/s on a pty, takes to reach a TCP
client through ser2net: with the server's accepter as given, and with the client
acknowledging every receipt at once (TCP_QUICKACK, as the driver does). Reported, never
asserted. Usage: ser2net_answer_probe.py [accepter ...], e.g. tcp "tcp(nodelay)"."""
import os, socket, sys, time

from ser2net_purge_probe import connect, serve, stop  # ser2net on a held loopback port


def probe(accepter, quick, rounds=40):
    master, port, server, holder = serve(accepter)
    try:
        client = connect(port, telnet=False)
        times = []
        for _ in range(rounds):
            client.send(b"\x1b")  # the computer speaks first
            os.read(master, 16)
            start = time.perf_counter()
            for i in range(12):
                os.write(master, b"\x06")
                while time.perf_counter() < start + (i + 1) * 382e-6:
                    pass
            got = 0
            while got < 12:
                got += len(client.recv(64))
                if quick:
                    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
            times.append((time.perf_counter() - start) * 1e3)
        times.sort()
        return times[len(times) // 2], times[-1]
    finally:
        stop(server, holder)


for accepter in sys.argv[1:] or ["tcp", "tcp(nodelay)", "telnet(rfc2217),tcp"]:
    for quick in (False, True):
        median, worst = probe(accepter, quick)
        print(f"{accepter:28} client quick ACK {'on ' if quick else 'off'}: "
              f"median {median:5.1f} ms, worst {worst:5.1f} ms (wire time 4.6 ms)")
