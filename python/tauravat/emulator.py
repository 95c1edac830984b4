"""kestra-emu, the KESTRA printer emulator, as a process a test can steer while it runs.

    from tauravat.emulator import Emulator
    with Emulator("--rates", "23,8") as printer:
        os.environ["TAURAVAT_COM7"] = printer.path   # the driver's COM7 is the emulator
        ...
        printer.paper_out()                          # in the middle of a receipt
        printer.load_paper()
        assert printer.state()["counters"]["receiptNumber"] == 1
        print("\\n".join(printer.paper()))

Every option of kestra-emu may be given (see `kestra-emu --help`). The program is found
through the KESTRA_EMU environment variable (a path), then on PATH. The emulator is
steered through its control socket: one JSON command a line, one JSON reply a line.

With `line="rfc2217"` or `line="socket"` the printer stands behind a serial device server:
ser2net (`$SER2NET`, else /usr/sbin/ser2net) serves the pseudo-terminal on a loopback
port, and `path` is `rfc2217://127.0.0.1:PORT` or `socket://127.0.0.1:PORT`.
"""

import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
from types import TracebackType
from typing import IO, Any, Dict, List, Optional, Type, Union

__all__ = ["Emulator", "EmulatorError", "find_program"]


class EmulatorError(Exception):
    """The emulator did not start, went away, or refused a command (with its reason)."""


def find_program() -> str:
    """The kestra-emu program: $KESTRA_EMU, then PATH."""
    program = os.environ.get("KESTRA_EMU") or shutil.which("kestra-emu")
    if not program:
        raise EmulatorError("kestra-emu not found: set KESTRA_EMU or put it on PATH")
    return program


class Emulator:
    """A running kestra-emu with a client for its control socket.

    `path` is the device the driver opens (a pseudo-terminal). Commands return once the
    emulator has carried them out; they fall between the bytes on the line.
    """

    def __init__(self, *options: Union[str, int], program: Optional[str] = None,
                 timeout: float = 10, line: Optional[str] = None) -> None:
        if line not in (None, "rfc2217", "socket"):
            raise ValueError(f"line is None, 'rfc2217' or 'socket', not {line!r}")
        self._server: Optional[_Ser2net] = None
        self._dir = tempfile.mkdtemp(prefix="kestra-emu-")
        self.control_path = os.path.join(self._dir, "control.sock")
        self._socket: Optional[socket.socket] = None
        self._replies: Optional[IO[str]] = None
        self.output: List[str] = []  # what the program wrote after its first line (e.g. --paper -)
        try:
            self.process = subprocess.Popen(
                [program or find_program(), "--control", self.control_path, *map(str, options)],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, encoding="utf-8")
        except OSError as error:
            shutil.rmtree(self._dir, ignore_errors=True)
            raise EmulatorError(f"kestra-emu could not be started: {error}") from error
        self.path: str = _stream(self.process.stdout).readline().strip()
        if not self.path.startswith("/"):
            self.process.wait(timeout=timeout)
            reason = _stream(self.process.stderr).read().strip()
            self._cleanup()
            raise EmulatorError(f"kestra-emu did not start: {reason}")
        # Whatever else it writes is drained, so a full pipe never stops the emulator.
        threading.Thread(target=self._drain, daemon=True).start()
        self._socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._socket.settimeout(timeout)
        try:
            self._socket.connect(self.control_path)
        except OSError as error:
            self.close()
            raise EmulatorError(f"kestra-emu's control socket: {error}") from error
        self._replies = self._socket.makefile("r", encoding="utf-8")
        self.device = self.path  # the pseudo-terminal itself
        if line is not None:
            try:
                self._server = _Ser2net(self.device, line, self._dir, timeout)
            except EmulatorError:
                self.close()
                raise
            self.path = self._server.url

    def _drain(self) -> None:
        for line in _stream(self.process.stdout):
            self.output.append(line.rstrip("\n"))

    # ---- Commands ------------------------------------------------------------------

    def command(self, command: str, **arguments: Any) -> Dict[str, Any]:
        """Sends one control command; returns its reply (a dict) or raises EmulatorError."""
        if self._socket is None or self._replies is None:
            raise EmulatorError("the emulator is closed")
        request = json.dumps({"command": command, **arguments}) + "\n"
        try:
            self._socket.sendall(request.encode("utf-8"))
            line = self._replies.readline()
        except OSError as error:
            raise EmulatorError(f"kestra-emu does not answer: {error}") from error
        if not line:
            raise EmulatorError("kestra-emu went away")
        reply: Dict[str, Any] = json.loads(line)
        if not reply.get("ok"):
            raise EmulatorError(str(reply.get("error", line.strip())))
        return reply

    def load_paper(self) -> None:
        """Paper in again; a printout stopped for paper waits for the driver's resume."""
        self.command("load-paper")

    def paper_out(self, after: Optional[int] = None) -> None:
        """The paper runs out now, or after `after` more printed lines."""
        if after is None:
            self.command("paper-out")
        else:
            self.command("paper-out", after=after)

    def fault(self, command: Union[str, int, None], kind: Optional[str] = None, skip: int = 0,
              times: int = 1) -> None:
        """Injects a fault, as kestra-emu's --fault: fault("0x24:nak:0:1"), or
        fault(0x24, "nak", skip=0, times=1) with command None or "any" for every command.
        Kinds: nak, silence, wrong-byte, garbage, drop-byte, delay, cancel-receipt; SKIP
        counts the matching commands from now; TIMES -1 is every time."""
        if kind is None:
            rule = str(command)
        else:
            code = "any" if command in (None, "any") else f"0x{int(command or 0):02X}"
            rule = f"{code}:{kind}:{skip}:{times}"
        self.command("fault", rule=rule)

    def set_status(self, name: str, value: int) -> None:
        """Sets a status byte by its kestra-emu option name: "status94", "status95",
        "status96", "status9b", "status5f", "status50", "statusf3", "status5d", "lock",
        "byte5e" or "euro"."""
        self.command("set-status", name=name, value=value)

    def state(self) -> Dict[str, Any]:
        """The printer's state (the snapshot): model, rates, counters, totals, receipt,
        status bytes, printing, paper."""
        state: Dict[str, Any] = self.command("state")["state"]
        return state

    def paper(self) -> List[str]:
        """The lines printed so far (the most recent ones kept by the emulator)."""
        paper: List[str] = self.command("paper")["paper"]
        return paper

    # ---- Life ------------------------------------------------------------------------

    def close(self) -> None:
        """Stops the emulator and removes its files; harmless when already closed."""
        if self._server is not None:
            self._server.stop()
            self._server = None
        if self._replies is not None:
            self._replies.close()
            self._replies = None
        if self._socket is not None:
            self._socket.close()
            self._socket = None
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._cleanup()

    def _cleanup(self) -> None:
        for stream in (self.process.stdout, self.process.stderr):
            if stream is not None:
                try:
                    stream.close()
                except OSError:
                    pass
        shutil.rmtree(self._dir, ignore_errors=True)

    def __enter__(self) -> "Emulator":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<Emulator {self.path}>"


def _stream(stream: Optional[IO[str]]) -> IO[str]:
    # The process's pipes, which Popen opens as asked.
    assert stream is not None
    return stream


class _Ser2net:
    """ser2net serving `device` on a free loopback port, raw or with RFC 2217."""

    def __init__(self, device: str, line: str, directory: str, timeout: float) -> None:
        program = os.environ.get("SER2NET") or "/usr/sbin/ser2net"
        with socket.socket() as probe:  # a port free a moment ago
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        accepter = "telnet(rfc2217),tcp" if line == "rfc2217" else "tcp"
        config = os.path.join(directory, "ser2net.yaml")
        with open(config, "w", encoding="utf-8") as out:
            out.write(f"connection: &printer\n  accepter: {accepter},127.0.0.1,{port}\n"
                      f"  connector: serialdev,{device},9600e81,local\n"
                      "  options:\n    chardelay: false\n")
        self.url = f"{line}://127.0.0.1:{port}"
        try:
            self.process = subprocess.Popen(
                [program, "-n", "-c", config, "-P", os.path.join(directory, "ser2net.pid")],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except OSError as error:
            raise EmulatorError(f"ser2net could not be started: {error}") from error
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.process.poll() is None:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                time.sleep(0.05)  # the probe's connection ends before the driver's begins
                return
            except OSError:
                time.sleep(0.01)
        self.stop()
        raise EmulatorError(f"ser2net did not serve port {port}")

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
