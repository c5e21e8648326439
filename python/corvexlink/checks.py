# SPDX-License-Identifier: MIT
"""Argument checks made before anything is sent, so a refused value raises ArgumentError
and leaves the line alone.

The ranges are the library's: the constants of its header (``CORVEXLINK_RATE_MAX`` and the
rest), read from the library at run time through :func:`limit`, so the package holds no copy
of them. What the header does not name (the rate lists, the step modes, the channels beside
the inputs) is listed here.
"""

from __future__ import annotations

from typing import Iterable, Tuple, Union

from . import _native
from .errors import ArgumentError

# Rates a line opens at, and rates the stations can be moved to (ZelmarChangeBaudRate).
LINE_RATES = (300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)
STATION_RATES = (9600, 19200, 38400, 57600, 115200)
STEP_MODES = (36, 34, 33, 8)
MODE_ENCODER = 0x10
MODE_FIFO_PROFILE = 0x40
MODE_HOME = 0x80
STATIONS_PER_BOARD = 4
USER_IO_PORTS = 3  # ports 1..3 of a board: controllers 4k+1..4k+3
ADC_REFERENCES = 3  # channels after the inputs that read the references
WORD_MAX = 0xFFFF  # outputs, I/O and SPI configurations, SPI words
COMMAND_TEXT_MAX = 62  # characters of a raw command text, its CR not counted
SEGMENT_BYTES = 9  # FIFO room of one profile segment: first rate 3, slope 2, relative move 4

Segment = Tuple[int, int, int]


def limit(name: str) -> int:
    """The header's constant CORVEXLINK_<name> (``limit("RATE_MAX")`` is 8500)."""
    return _native.constant(name)


def check_range(name: str, value: object, low: int, high: int) -> int:
    """`value` when it is a whole number from `low` to `high`, else ArgumentError."""
    if not isinstance(value, int) or isinstance(value, bool) or not low <= value <= high:
        raise ArgumentError(f"{name} must be a whole number from {low} to {high}, not {value!r}")
    return value


def within(name: str, value: object, low: str, high: str) -> int:
    """check_range with the range given by the names of the header's constants."""
    return check_range(name, value, limit(low), limit(high))


def count(name: str, value: object) -> int:
    """A position, move or counter: 24 bits, sign and magnitude."""
    return check_range(name, value, -limit("COUNT_MAX"), limit("COUNT_MAX"))


def address(value: object) -> int:
    """One station address."""
    return within("address", value, "ADDRESS_MIN", "ADDRESS_MAX")


def address_list(addresses: Union[int, str, Iterable[int]], allow_all: bool = True) -> bytes:
    """An address text: one address, several, or "ALL"."""
    if isinstance(addresses, str):
        if allow_all and addresses.upper() == "ALL":
            return b"ALL"
        low, high = limit("ADDRESS_MIN"), limit("ADDRESS_MAX")
        choices = f'numbers {low}-{high} or "all"' if allow_all else f"numbers {low}-{high}"
        raise ArgumentError(f"addresses must be {choices}, not {addresses!r}")
    if isinstance(addresses, int):
        return _native.encode(str(address(addresses)))
    listed = [address(a) for a in addresses]
    if not listed:
        raise ArgumentError("an empty address list")
    return _native.encode(",".join(str(a) for a in listed))


def jog_direction(direction: str) -> int:
    """The library's direction flag for "cw" (1) or "ccw" (0)."""
    if direction not in ("cw", "ccw"):
        raise ArgumentError(f"direction must be 'cw' or 'ccw', not {direction!r}")
    return 1 if direction == "cw" else 0


def line_rate(baud: object) -> int:
    if isinstance(baud, bool) or not isinstance(baud, int) or baud not in LINE_RATES:
        raise ArgumentError(f"baud rate must be one of {LINE_RATES}, not {baud!r}")
    return baud


def station_rate(rate: object) -> int:
    if isinstance(rate, bool) or not isinstance(rate, int) or rate not in STATION_RATES:
        raise ArgumentError(f"baud rate must be one of {STATION_RATES}, not {rate!r}")
    return rate


def segments(listed: Iterable[Segment]) -> list:
    """Profile segments of (first rate, slope, steps), every one checked."""
    return [
        (
            within("first rate", first, "RATE_MIN", "FIXED_SPEED_MAX"),
            within("slope", slope, "FIFO_SLOPE_MIN", "FIFO_SLOPE_MAX"),
            count("steps", steps),
        )
        for first, slope, steps in listed
    ]


def port_number(port: object) -> int:
    """The n of a COM<n> name: 1 or more."""
    if not isinstance(port, int) or isinstance(port, bool) or port < 1:
        raise ArgumentError(f"port must be a whole number from 1, not {port!r}")
    return port
