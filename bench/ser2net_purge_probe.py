#!/usr/bin/env python3
"""What an RFC 2217 input purge adds to a turn of the line through ser2net: the time from
the client's first send to the sequence's first byte (ESC) reaching the pty, and to the
printer's one-byte answer coming back after the server's answer to the purge. Raw TCP
(no purge), the purge sent on its own before ESC, and the purge in ESC's segment.
Medians of many turns; reported, never asserted. Usage: ser2net_purge_probe.py [turns]"""
import os, pty, select, socket, statistics, subprocess, sys, tempfile, time, tty

IAC, SB, SE, WILL, DO = 255, 250, 240, 251, 253
PURGE = bytes([IAC, SB, 44, 12, 1, IAC, SE])
ANSWER = bytes([IAC, SB, 44, 112, 1, IAC, SE])


def serve_device(accepter, device):
    """ser2net in front of `device`: its port and process, and the socket holding the port."""
    holder = socket.socket()
    holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    holder.bind(("127.0.0.1", 0))  # held, so nobody else takes the port meanwhile
    port = holder.getsockname()[1]
    folder = tempfile.mkdtemp()
    with open(f"{folder}/ser2net.yaml", "w") as config:
        config.write(f"connection: &c\n  accepter: {accepter},127.0.0.1,{port}\n"
                     f"  connector: serialdev,{device},9600e81,local\n"
                     f"  options:\n    chardelay: false\n")
    server = subprocess.Popen(["/usr/sbin/ser2net", "-n", "-c", f"{folder}/ser2net.yaml"],
                              stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    return port, server, holder


def serve(accepter):
    """ser2net in front of a new pty, whose other end (master) plays the printer."""
    master, slave = pty.openpty()
    tty.setraw(slave)
    return (master,) + serve_device(accepter, os.ttyname(slave))


def connect(port, telnet):
    client = socket.create_connection(("127.0.0.1", port), timeout=5)
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    if telnet:
        client.send(bytes([IAC, WILL, 44, IAC, WILL, 0, IAC, DO, 0]))
    time.sleep(0.3)
    client.setblocking(False)
    try:
        client.recv(4096)  # the server's negotiation
    except BlockingIOError:
        pass
    client.settimeout(5)
    return client


def stop(server, holder):
    server.terminate()
    server.wait()
    holder.close()


def turn(mode, client, master):
    start = time.perf_counter()
    if mode == "apart":
        client.send(PURGE)
        client.send(b"\x1b")
    elif mode == "together":
        client.send(PURGE + b"\x1b")
    else:
        client.send(b"\x1b")
    os.read(master, 16)
    first = time.perf_counter() - start
    os.write(master, b"\x06")
    want = b"\x06" if mode == "raw" else ANSWER + b"\x06"
    got = b""
    while not got.endswith(want):
        select.select([client], [], [], 1)
        got += client.recv(64)
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
    return first, time.perf_counter() - start


def probe(turns):
    # Both servers at once and the modes in turn, so that the machine's load falls alike.
    raw = serve("tcp")
    telnet = serve("telnet(rfc2217),tcp")
    try:
        clients = {"raw": (connect(raw[1], False), raw[0])}
        clients["apart"] = clients["together"] = (connect(telnet[1], True), telnet[0])
        times = {mode: ([], []) for mode in clients}
        for i in range(turns * 3):
            mode = ("raw", "apart", "together")[i % 3]
            time.sleep(0.002)
            first, whole = turn(mode, *clients[mode])
            times[mode][0].append(first)
            times[mode][1].append(whole)
        return {m: (statistics.median(a) * 1e6, statistics.median(b) * 1e6)
                for m, (a, b) in times.items()}
    finally:
        for server in (raw, telnet):
            stop(*server[2:])


if __name__ == "__main__":
    turns = int(sys.argv[1]) if len(sys.argv) > 1 else 400
    print(f"load average {os.getloadavg()[0]:.2f}, {turns} turns each, interleaved")
    for mode, (first, whole) in probe(turns).items():
        print(f"{mode:9} ESC at the pty after {first:6.0f} us, the answer back after {whole:6.0f} us")
