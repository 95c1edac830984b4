"""The pytest fixture `kestra_emulator`: a running kestra-emu for each test that asks.

Registered with pytest by the installed package (entry point pytest11); without the
installation, `pytest -p tauravat.pytest_plugin`. The options of the emulator come from
the marker, e.g. a programmed LUNO:

    @pytest.mark.kestra_emulator("--model", "luno", "--rates", "23,8,5")
    def test_paper_out_during_the_receipt(kestra_emulator, monkeypatch):
        monkeypatch.setenv("TAURAVAT_COM7", kestra_emulator.path)
        ...
        kestra_emulator.paper_out()

The fixture hands a tauravat.emulator.Emulator and stops it after the test. The program is
--kestra-emu, else $KESTRA_EMU, else kestra-emu on PATH. With --kestra-line=rfc2217 (or
socket), or $TAURAVAT_TEST_LINE, the same tests reach the printer through ser2net.
"""

import os
from typing import Iterator

import pytest

from .emulator import Emulator


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.getgroup("tauravat").addoption(
        "--kestra-emu", metavar="PATH", default=None,
        help="the kestra-emu program for the kestra_emulator fixture")
    parser.getgroup("tauravat").addoption(
        "--kestra-line", choices=("pty", "rfc2217", "socket"), default=None,
        help="how the driver reaches the emulator: its pseudo-terminal (the default), or "
             "ser2net in front of it with RFC 2217 or raw TCP; also $TAURAVAT_TEST_LINE")


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers", "kestra_emulator(*options): kestra-emu options for the kestra_emulator fixture")


@pytest.fixture
def kestra_emulator(request: pytest.FixtureRequest) -> Iterator[Emulator]:
    """A running kestra-emu (tauravat.emulator.Emulator); its `path` is the device."""
    marker = request.node.get_closest_marker("kestra_emulator")
    options = marker.args if marker else ()
    line = request.config.getoption("--kestra-line") or os.environ.get("TAURAVAT_TEST_LINE")
    emulator = Emulator(*options, program=request.config.getoption("--kestra-emu"),
                        line=None if line in (None, "", "pty") else line)
    yield emulator
    emulator.close()
