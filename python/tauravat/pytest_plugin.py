"""The pytest fixture `kestra_emulator`: a running kestra-emu for each test that asks.

Registered with pytest by the installed package (entry point pytest11); without the
installation, `pytest -p tauravat.pytest_plugin`. The options of the emulator come from
the marker, e.g. a programmed LUNO:

    @pytest.mark.kestra_emulator("--model", "luno", "--rates", "23,8,5")
    def test_paper_out_during_the_receipt(kestra_emulator, monkeypatch):
        monkeypatch.setenv("TAURAVAT_COM7", kestra_emulator.path)
        ...
        kestra_emulator.paper_out()

The fixture hands a tauravat.emulator.Emulator and stops it after the test. Without a
marker the printer can sell at once: a LUNO with paper loaded and the rates 23, 8, 5, 0,
exempt (DEFAULT_OPTIONS); options that name no --rates get those rates too.
`kestra_emulator_factory` starts as many printers as a test needs, each with its own
options (the same defaults), and stops them all after it:

    def test_two_tills(kestra_emulator_factory):
        shop, pharmacy = kestra_emulator_factory(), kestra_emulator_factory("--model", "luno-f")

The program is --kestra-emu, else $KESTRA_EMU, else kestra-emu on PATH. With --kestra-line=rfc2217 (or
socket), or $TAURAVAT_TEST_LINE, the same tests reach the printer through ser2net.
"""

import os
from typing import Callable, Iterator, List, Sequence, Tuple

import pytest

from .emulator import Emulator

# A printer that can sell: rates A..E programmed (the emulator starts with paper loaded).
DEFAULT_OPTIONS = ("--rates", "23,8,5,0,Z,R,R")


def _with_defaults(options: Sequence[str]) -> Tuple[str, ...]:
    # A model keeps the rates it has places for; the others are not looked at.
    if "--rates" in options:
        return tuple(options)
    return DEFAULT_OPTIONS + tuple(options)


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


def _start(config: pytest.Config, options: Sequence[str]) -> Emulator:
    line = config.getoption("--kestra-line") or os.environ.get("TAURAVAT_TEST_LINE")
    return Emulator(*_with_defaults(options), program=config.getoption("--kestra-emu"),
                    line=None if line in (None, "", "pty") else line)


@pytest.fixture
def kestra_emulator(request: pytest.FixtureRequest) -> Iterator[Emulator]:
    """A running kestra-emu (tauravat.emulator.Emulator); its `path` is the device."""
    marker = request.node.get_closest_marker("kestra_emulator")
    emulator = _start(request.config, marker.args if marker else ())
    yield emulator
    emulator.close()


@pytest.fixture
def kestra_emulator_factory(
        request: pytest.FixtureRequest) -> Iterator[Callable[..., Emulator]]:
    """A function starting one more kestra-emu with the options given; every one it
    started is stopped after the test."""
    started: List[Emulator] = []

    def start(*options: str) -> Emulator:
        emulator = _start(request.config, options)
        started.append(emulator)
        return emulator

    yield start
    for emulator in reversed(started):
        emulator.close()
