#!/usr/bin/env python3
"""What any client pays for ser2net, without the driver: replays a receipt's conversation
as the driver had it with a fresh kestra-emu, once on its pseudo-terminal and once
through ser2net (raw TCP), writing the computer's bytes one at a time and waiting for
each answer as the driver does. Rounds alternate; reported, never asserted.

Usage: ser2net_turn_floor.py KESTRA_EMU TRACE [rounds] [baud]
Record the trace with the bench, whose printer on the pty writes it, e.g.
  NET_BENCH_TRACE=/tmp/receipt.txt net_bench --benchmark_filter='baud:28800/path:1/'"""
import os, select, socket, statistics, subprocess, sys, time, tty

from ser2net_purge_probe import connect, serve_device, stop  # ser2net on a held port

# The bench's printer: a LUNO with its rates, printing in no time.
EMULATOR_ARGS = ["--model", "luno", "--rates", "23,8,R,5,Z,0,R", "--line-ms", "0"]


def load(path):
    """The conversation as runs: ('>', bytes written) and ('<', count read)."""
    runs = []
    for line in open(path):
        fields = line.split()
        if line.startswith("#") or len(fields) < 4 or fields[1] not in "<>":
            continue
        if runs and runs[-1][0] == fields[1]:
            runs[-1][1].append(int(fields[3], 16))
        else:
            runs.append((fields[1], [int(fields[3], 16)]))
    return runs


def replay(runs, send, receive):
    """Milliseconds from the first answer on (the connection's settling is not timed)."""
    start = None
    for direction, data in runs:
        if direction == ">":
            for byte in data:
                send(bytes([byte]))
        else:
            got = 0
            while got < len(data):
                got += len(receive(len(data) - got))
            start = start or time.perf_counter()
    return (time.perf_counter() - start) * 1e3


def emulator(path, baud):
    process = subprocess.Popen([path, "--baud", str(baud)] + EMULATOR_ARGS,
                               stdout=subprocess.PIPE, text=True)
    return process, process.stdout.readline().strip()


def on_pty(runs, path, baud):
    process, device = emulator(path, baud)
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    try:
        tty.setraw(fd)

        def receive(n):
            if not select.select([fd], [], [], 5)[0]:
                raise TimeoutError("the printer did not answer: not the bench's conversation?")
            return os.read(fd, n)

        return replay(runs, lambda b: os.write(fd, b), receive)
    finally:
        os.close(fd)
        process.terminate()
        process.wait()


def through_ser2net(runs, path, baud):
    process, device = emulator(path, baud)
    port, server, holder = serve_device("tcp", device)
    try:
        client = connect(port, telnet=False)

        def receive(n):
            data = client.recv(n)
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)  # as the driver
            return data

        with client:
            return replay(runs, client.send, receive)
    finally:
        stop(server, holder)
        process.terminate()
        process.wait()


def main():
    path, trace = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    baud = int(sys.argv[4]) if len(sys.argv) > 4 else 28800
    runs = load(trace)
    turns = sum(1 for direction, _ in runs if direction == "<")
    ratios, extras = [], []
    for _ in range(rounds):
        pty, net = on_pty(runs, path, baud), through_ser2net(runs, path, baud)
        ratios.append(net / pty)
        extras.append((net - pty) / turns * 1e3)
        print(f"pty {pty:7.0f} ms  ser2net {net:7.0f} ms  {net / pty:.3f} x  "
              f"{extras[-1]:5.0f} us a turn ({turns} turns)")
    print(f"median {statistics.median(ratios):.3f} x, {statistics.median(extras):.0f} us a turn")


main()
