# SPDX-License-Identifier: MIT
"""Exceptions raised by the corvexlink package.

Every failure of a library call raises :class:`CorvexLinkError` or one of its subclasses,
carrying the library's error number (``.number``) and message (``.message``).
"""

from __future__ import annotations

import builtins
from typing import Optional


def __getattr__(name: str) -> int:
    """The library's error numbers under their header names without the prefix
    (``errors.NO_ANSWER`` is CORVEXLINK_ERR_NO_ANSWER) and the reasons of a failed open
    (``errors.OPEN_IN_USE`` is CORVEXLINK_OPEN_IN_USE), read from the library itself."""
    if not name.startswith("_"):
        from . import _native

        try:
            known = _native.constants()
        except CorvexLinkError as error:  # no library: as any other missing name
            raise AttributeError(f"{__name__}.{name}: {error}") from None
        for full in ("CORVEXLINK_ERR_" + name, "CORVEXLINK_" + name if name.startswith("OPEN_") else ""):
            if full in known:
                return known[full]
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


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
    """A line could not be opened (error 36).

    ``device`` is the device the name led to (``"COM1"`` leads to ``/dev/ttyS0`` or to
    what ``ports.conf`` gives it), ``reason`` what the system said ("no such device",
    "permission denied (add the user to the dialout group, or give the adapter a udev
    rule)", "in use by another program", "not a serial device"...) and ``reason_code``
    the library's code for it, one of ``corvexlink.errors.OPEN_NO_DEVICE``,
    ``OPEN_PERMISSION_DENIED``, ``OPEN_IN_USE``, ``OPEN_REFUSED``, ``OPEN_TIMED_OUT``,
    ``OPEN_MALFORMED_NAME``, ``OPEN_NOT_SERIAL``, ``OPEN_OTHER``. All three come from the
    library's result of the open. ``message`` is the library's text before the device,
    and ``str()`` shows all of it."""

    def __init__(
        self,
        message: str,
        number: Optional[int] = None,
        device: Optional[str] = None,
        reason: Optional[str] = None,
        reason_code: Optional[int] = None,
    ) -> None:
        super().__init__(message, number)
        self.device: Optional[str] = device
        self.reason: Optional[str] = reason
        self.reason_code: Optional[int] = reason_code
        if reason:
            self.args = (f"{self.args[0]}: {device}: {reason}" if device else f"{self.args[0]}: {reason}",)


class PortNotOpenError(CorvexLinkError):
    """A command was given to a link that is not open: never opened or closed (error 25),
    closed by another thread during the call (37), or whose reopening failed (35)."""


class LineLostError(CorvexLinkError):
    """The link's device went away (an adapter unplugged, a network line dropped, error
    28): every command fails at once until :meth:`corvexlink.Link.reopen` succeeds. Other
    links go on."""


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


def _number(name: str) -> int:
    from . import _native

    return _native.constant("ERR_" + name)


def error_for(number: int, message: str, call: str) -> CorvexLinkError:
    """The exception for a failed call, from the library's error number and message."""
    if not message or message in _ARGUMENT_MESSAGES:
        # These checks leave the number of an earlier failure in place.
        return ArgumentError(message or f"{call} refused its arguments")
    kinds = [
        (("COMMAND_REJECTED", "USER_IO_REFUSED"), ArgumentError),
        (("NO_PORT", "PORT_NOT_OPEN", "LINE_CLOSED"), PortNotOpenError),
        (("LINE_LOST",), LineLostError),
        (("OPEN_FAILED",), PortError),
        (("NO_ANSWER", "FIFO_WAIT_EXPIRED"), TimeoutError),
        (("FIFO_FULL",), FifoFullError),
        (("MOTOR_RUNNING", "RUNNING_DIRECTION"), MotorRunningError),
        (("LIMIT_SWITCH",), LimitSwitchError),
    ]
    for names, kind in kinds:
        if number in [_number(name) for name in names]:
            return kind(message, number)
    if _number("OUT_OF_RANGE") <= number <= _number("CANNOT_EXECUTE"):
        return StationError(message, number)
    return CorvexLinkError(message, number)
