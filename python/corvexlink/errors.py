# SPDX-License-Identifier: MIT
"""Exceptions raised by the corvexlink package.

Every failure of a library call raises :class:`CorvexLinkError` or one of its subclasses,
carrying the library's error number (``.number``) and message (``.message``).
"""

from __future__ import annotations

import builtins
from typing import Optional

# Error numbers of the library: the CORVEXLINK_ERR_<name> constants of CorvexLink.h under
# their names without the prefix. The package loads the library without its header, so it
# keeps this copy; a test compares it with the header.
NONE = 0
CLEARED = -1
UNKNOWN_CODE = -1
OUT_OF_RANGE = 1
SYNTAX = 2
FIFO_FULL = 3
SPI_NOT_CONFIGURED = 4
SPI_NOT_MASTER = 5
MOTOR_RUNNING = 6
LIMIT_SWITCH = 7
RUNNING_DIRECTION = 8
CANNOT_EXECUTE = 9
NO_PORT = 25
NO_ANSWER = 26
COMMAND_REJECTED = 27
LINE_LOST = 28
NO_VALUE = 29
BAUD_RATE_CHANGE = 30
PORT_NOT_OPEN = 35
OPEN_FAILED = 36
LINE_CLOSED = 37
INIT_FAILED = 50
USER_IO_REFUSED = 51
FIFO_WAIT_EXPIRED = 60


class CorvexLinkError(Exception):
    """A library call failed.

    ``number`` is the library's error number, or ``None`` for an argument that was
    refused before anything was sent (the library gives those no number of their own).
    """

    def __init__(self, message: str, number: Optional[int] = None) -> None:
        super().__init__(message if number is None else f"{message} (error {number})")
        self.number: Optional[int] = number
        self.message: str = message


class ArgumentError(CorvexLinkError, ValueError):
    """An argument out of range or an address that cannot be used; nothing was sent."""


class PortError(CorvexLinkError):
    """The port could not be opened (error 36), or another Link of this process is open
    (no number: the library drives one line per process).

    For a port that did not open, ``device`` is the device path the port led to and
    ``reason`` what the system said ("no such device", "permission denied (add the user to
    the dialout group, or give the adapter a udev rule)", "in use by another program",
    "not a serial device"...); ``message`` keeps the library's own text, and ``str()``
    shows all three."""

    def __init__(
        self, message: str, number: Optional[int] = None, device: Optional[str] = None, reason: Optional[str] = None
    ) -> None:
        super().__init__(message, number)
        self.device: Optional[str] = device
        self.reason: Optional[str] = reason
        if reason:
            self.args = (f"{self.args[0]}: {device}: {reason}" if device else f"{self.args[0]}: {reason}",)


class PortNotOpenError(CorvexLinkError):
    """A command was given while no port was open (errors 25 and 35)."""


class TimeoutError(CorvexLinkError, builtins.TimeoutError):  # noqa: A001 - mirrors the builtin
    """A station did not answer in time (error 26), a FIFO stayed full (error 60), or a
    wait of this package ran out."""


class StationError(CorvexLinkError):
    """A station answered with an error code 1 to 9 (``.number`` is the code)."""


class FifoFullError(StationError):
    """The station's FIFO was full (code 3)."""


class MotorRunningError(StationError):
    """The motor was running and could not take the command (codes 6 and 8)."""


class LimitSwitchError(StationError):
    """A limit switch has been reached (code 7)."""


_STATION_ERRORS = {
    FIFO_FULL: FifoFullError,
    MOTOR_RUNNING: MotorRunningError,
    LIMIT_SWITCH: LimitSwitchError,
    RUNNING_DIRECTION: MotorRunningError,
}

# Messages of the argument checks that the library makes before it sends anything. These
# checks change only the message (the number stays that of an earlier failure), so the
# message is what tells them apart; a test provokes each check and compares.
_ARGUMENT_MESSAGES = (
    "Wrong Address in list",
    "Broadcasting not allowed in this command",
    "Wrong Current Value need to be from 50(mA) to 2000 (mA)",
    "Wrong ADC Resolution",
    "Wrong Acceleration Value must be between 0 to 255, for TRAPEZOIDAL MODE",
    "Wrong Slew Rate Value must be between 16 to 8500",
    "Wrong First Rate Value must be between 16 to 8500",
)


def error_for(number: int, message: str, call: str) -> CorvexLinkError:
    """The exception for a failed call, from the library's error number and message."""
    if not message or message in _ARGUMENT_MESSAGES:
        # These checks leave the number of an earlier failure in place.
        return ArgumentError(message or f"{call} refused its arguments")
    if number in (COMMAND_REJECTED, USER_IO_REFUSED):
        return ArgumentError(message, number)
    if number in (NO_PORT, PORT_NOT_OPEN):
        return PortNotOpenError(message, number)
    if number == OPEN_FAILED:
        return PortError(message, number)
    if number in (NO_ANSWER, FIFO_WAIT_EXPIRED):
        return TimeoutError(message, number)
    if OUT_OF_RANGE <= number <= CANNOT_EXECUTE:
        return _STATION_ERRORS.get(number, StationError)(message, number)
    return CorvexLinkError(message, number)
