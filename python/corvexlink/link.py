# SPDX-License-Identifier: MIT
"""Link: one serial line, opened by the name of its device, on a line of the library's own.

Every Link has a line object of the library to itself (CorvexLinkLineOpen), so any number
of them are open at once in one process, each with its own device, stations, errors, stops
and trace. A call's error is read on the thread that made the call, right after it: the
library keeps it for that thread and that line, so no lock of the package is needed.
"""

from __future__ import annotations

import ctypes
import os
import re
import threading
import weakref
from typing import Iterable, List, Optional, Union

from . import checks, trace
from ._native import encode, function, structure
from .board import Board
from .checks import limit
from .errors import ArgumentError, CorvexLinkError, PortError, PortNotOpenError, TimeoutError, error_for
from .motor import Motor, fixed_speed
from .trace import TraceHandler
from .units import Number

__all__ = ["Board", "Link", "Motor", "open"]

_PORT_NAME = re.compile(r"(?:COM)?([0-9]+)", re.IGNORECASE)


def _names(device: Union[str, int, "os.PathLike[str]", None], port: Optional[int]):
    """The device name a Link opens and the port number n of COM<n> it stands for, if any."""
    if port is not None:
        port = checks.port_number(port)
    if device is None:
        port = 1 if port is None else port
        return f"COM{port}", port
    if isinstance(device, int) and not isinstance(device, bool):
        if port is not None and port != device:
            raise ArgumentError(f"two port numbers given: {device} and {port}")
        number = checks.port_number(device)
        return f"COM{number}", number
    if isinstance(device, os.PathLike):
        device = os.fspath(device)
    if not isinstance(device, str) or not device:
        raise ArgumentError(
            f"a device is a name such as 'COM1', '/dev/ttyUSB0' or 'rfc2217://host:4001', not {device!r}"
        )
    named = _PORT_NAME.fullmatch(device)
    if port is None and named:
        port = int(named.group(1))
    return device, port


def _open_line(device: str, baud: int) -> int:
    """Opens a line of the library; raises PortError from the library's result."""
    result = structure("CorvexLinkResult")()
    line = ctypes.c_void_p()
    if function("CorvexLinkLineOpen")(os.fsencode(device), baud, ctypes.byref(line), ctypes.byref(result)) != 1:
        raise _open_failure(result)
    return line.value


def _open_failure(result) -> PortError:
    """PortError from a CorvexLinkResult: its number, device, reason (text and code), and
    what failed: the message without the device and reason that end it."""
    device = os.fsdecode(result.device) or None
    text = result.message.decode("utf-8", "backslashreplace")
    reason = result.detail.decode("utf-8", "backslashreplace") or None
    ending = f": {device}: {reason}" if device is not None else f": {reason}"
    head = text[: -len(ending)] if reason is not None and text.endswith(ending) else text
    return PortError(head, result.number, device, reason, result.reason)


def _close_line(handle: int) -> None:
    """Closes a line; also run when a Link that was never closed is collected."""
    trace.detach(handle)
    function("CorvexLinkLineClose")(handle)


class Link:
    """A serial line to the stations, open between open() and close() (or in a with block).

    `device` names the line as the library does: ``"COM3"`` or ``3`` (the port's device:
    ``ports.conf``, else ``/dev/ttyS2``), a device path (``"/dev/ttyUSB0"``,
    ``"/dev/serial/by-id/..."``), or a network line (``"rfc2217://HOST:PORT"``,
    ``"tcp://HOST:PORT"``). ``port=n`` is the older spelling of ``"COM<n>"``. Each Link
    has a line of its own: several are open at once, on different devices, and calls on
    one never wait for another. Motors and boards send through their Link.
    """

    def __init__(
        self, device: Union[str, int, "os.PathLike[str]", None] = None, baud: int = 9600, *, port: Optional[int] = None
    ) -> None:
        self.device, self.port = _names(device, port)
        self.baud = checks.line_rate(baud)
        self._handle: Optional[int] = None  # the library's line while open
        self._closer: Optional[weakref.finalize] = None
        self._opening = threading.Lock()  # open and close; calls never take it
        self._trace_handlers: List[TraceHandler] = []
        self._traced = False

    def __repr__(self) -> str:
        return f"Link({self.device!r}, baud={self.baud}{', open' if self.is_open else ''})"

    def open(self) -> "Link":
        """Opens the line at the Link's baud rate; opening an open Link opens its device
        again (see :meth:`reopen`).

        ``COM<n>`` (or ``port=n``) is the device that the environment variable
        ``CORVEXLINK_COM<n>`` names when it is set, else a ``COM<n> = path`` line of
        ``ports.conf`` in ``$XDG_CONFIG_HOME/corvexlink/`` (``~/.config/corvexlink/``
        when XDG_CONFIG_HOME is unset), then in ``/etc/corvexlink/``; else
        ``/dev/ttyS<n-1>``. The files are read at every open, and a line that cannot be
        read is named in the library's debug lines (see :func:`corvexlink.enable_logging`).
        :func:`corvexlink.port_device` tells which device a port opens, and
        :func:`corvexlink.ports` lists the machine's serial devices::

            # ~/.config/corvexlink/ports.conf
            COM1 = /dev/serial/by-id/usb-Acme_Wire_Line_Cable_A1B2C3-if00-port0

        A network name opens a line over TCP: ``rfc2217://HOST:PORT`` (a serial server
        speaking RFC 2217, such as Debian's ser2net: the rate and :meth:`change_baud` reach
        the far line) or ``tcp://HOST:PORT`` (a raw byte stream: the server fixes the rate,
        and :meth:`change_baud` is refused). HOST is a name, an IPv4 address or an IPv6
        address in brackets::

            corvexlink.open("rfc2217://lab-pi.local:4001")

        Raises PortError (36) with the device and the reason when the device cannot be
        opened: a device that another program or another Link holds is "in use".
        """
        with self._opening:
            if self._handle is None:
                handle = _open_line(self.device, self.baud)
                self._handle = handle
                self._closer = weakref.finalize(self, _close_line, handle)
                trace.attach(self)
            else:
                self._reopen(self._handle)
        return self

    def reopen(self) -> "Link":
        """Opens the device again, after the line was lost (an adapter unplugged and
        plugged in again, a network line dropped) or at any time, at the Link's rate. The
        stations found and the settings the library remembers stay, and so do the Link's
        motors and boards. Raises PortError when the device does not open; the Link then
        is not open until a later reopen succeeds."""
        return self.open()

    @staticmethod
    def _reopen(handle: int) -> None:
        result = structure("CorvexLinkResult")()
        if function("CorvexLinkLineReopen")(handle, ctypes.byref(result)) != 1:
            raise _open_failure(result)

    def close(self) -> None:
        """Closes the line; closing a closed link does nothing. Calls of other threads under
        way end after their current transaction and raise PortNotOpenError (37)."""
        with self._opening:
            closer, self._closer = self._closer, None
            self._handle = None
            if closer is not None:
                closer()

    def __enter__(self) -> "Link":
        return self if self.is_open else self.open()

    def __exit__(self, *exc: object) -> None:
        self.close()

    def _state(self) -> int:
        handle = self._handle
        return limit("LINE_INVALID") if handle is None else function("CorvexLinkLineGetState")(handle)

    @property
    def is_open(self) -> bool:
        """True between open() and close(), also while the line is lost; False after a
        failed open or reopen."""
        return self._state() in (limit("LINE_OPEN"), limit("LINE_LOST"))

    @property
    def lost(self) -> bool:
        """True when the device went away: every command raises LineLostError (28) until
        :meth:`reopen` succeeds."""
        return self._state() == limit("LINE_LOST")

    def _not_open(self) -> PortNotOpenError:
        from . import errors

        return PortNotOpenError(f"{self.device} is not open through this Link", errors.NO_PORT)

    def _call(self, name: str, *arguments: object) -> int:
        """Calls the line form of `name` (CorvexLinkLine<name>) on this Link's line and
        raises the matching CorvexLinkError when it fails (returns -1)."""
        handle = self._handle
        if handle is None:
            raise self._not_open()
        result = function("CorvexLinkLine" + name)(handle, *arguments)
        if result == -1:
            raise self._error(handle, name)
        return result

    @staticmethod
    def _error(handle: int, name: str) -> CorvexLinkError:
        """The calling thread's error state on the line, read right after its failed call."""
        number = function("CorvexLinkLineGetNumberError")(handle)
        message = (function("CorvexLinkLineGetErrorMessage")(handle) or b"").decode("latin-1")
        return error_for(number, message, name)

    def _read(self, name: str, *arguments: object) -> int:
        """Calls a library function that ends in a number to fill, and returns that number."""
        value = ctypes.c_int32(0)
        self._call(name, *arguments, ctypes.byref(value))
        return value.value

    # Stations
    def scan(self) -> List[int]:
        """Probes addresses 0 to 15 (about 0.2 s for each that is missing); returns those that
        answer. Raises PortNotOpenError on a link that is not open (where the library would
        find no station and forget the last scan's)."""
        if self._state() == limit("LINE_NOT_OPEN"):
            raise self._not_open()
        buffer = ctypes.create_string_buffer(limit("CONTROLLER_LIST_SIZE"))
        self._call("GetConnectedControllers", buffer)
        return _stations(buffer)

    @property
    def known_stations(self) -> List[int]:
        """The stations the last scan found, without probing again (empty before the first
        scan); read at once, also while another thread's call holds the line."""
        handle = self._handle
        buffer = ctypes.create_string_buffer(limit("CONTROLLER_LIST_SIZE"))
        if handle is None or function("CorvexLinkLineKnownControllers")(handle, buffer) != 1:
            raise self._not_open()
        return _stations(buffer)

    def check(self, address: int) -> bool:
        """True when the station answers its probe, False when it stays silent."""
        try:
            self._call("CheckControllerAddress", encode(str(checks.address(address))))
        except TimeoutError:
            return False
        return True

    def init(self) -> List[int]:
        """Scans, then resets every station found and gives it its defaults; returns the stations."""
        found = self.scan()
        self._call("MotorStationsInit")
        return found

    def motor(self, address: int, steps_per_unit: Optional[Number] = None, unit: Optional[str] = None) -> Motor:
        """The motor of the station at `address` (0-15); in steps, or with
        `steps_per_unit` in `unit` (see :mod:`corvexlink.units`)."""
        return Motor(self, address, steps_per_unit, unit)

    def motors(self, addresses: Optional[Iterable[int]] = None) -> List[Motor]:
        """Motors of the given addresses, or of every station a scan finds."""
        return [Motor(self, a) for a in (self.scan() if addresses is None else addresses)]

    def board(self, index: int) -> Board:
        """Board 0-3 (stations 4*index to 4*index+3)."""
        return Board(self, index)

    # Several stations at once
    def stop_all(self, addresses: Optional[Iterable[int]] = None) -> List[int]:
        """Stops the motors given, or every station the last scan found (without scanning
        again: :attr:`known_stations`). Each stop goes out at once, between the transactions
        of a call another thread runs on the line, and every station gets its stop even
        when an earlier one failed; the first failure is raised afterwards. Returns the
        addresses stopped."""
        listed = self.known_stations if addresses is None else [checks.address(a) for a in addresses]
        failed: Optional[CorvexLinkError] = None
        for address in listed:
            try:
                self._call("MotorStop", encode(str(address)))
            except CorvexLinkError as error:
                failed = failed or error
        if failed is not None:
            raise failed
        return listed

    def jog(self, addresses: Union[str, Iterable[int]], direction: str = "cw") -> None:
        """Jogs several motors (a list or "all") in one command."""
        self._call("MotorJog", checks.address_list(addresses), checks.jog_direction(direction))

    def power(self, addresses: Union[str, Iterable[int]], on: bool = True) -> None:
        """Switches the winding power of several motors (a list or "all")."""
        if on:
            self._call("MotorPowerON", checks.address_list(addresses), 1)
        else:
            self._call("MotorPowerOFF", checks.address_list(addresses))

    def trigger(self, motors: Iterable[int], on: bool = True) -> None:
        """Switches the trigger lines of the listed motors in one command."""
        self._call("MotorTriggerON" if on else "MotorTriggerOFF", checks.address_list(motors, allow_all=False))

    def pause(self, motors: Iterable[int], on: bool = True) -> None:
        """Switches the pause lines of the listed motors in one command."""
        self._call("MotorPauseON" if on else "MotorPauseOFF", checks.address_list(motors, allow_all=False))

    def change_baud(self, rate: int) -> None:
        """Moves every station of the last scan and the line to `rate`."""
        self._call("ChangeBaudRate", checks.station_rate(rate))
        self.baud = rate

    # Raw commands
    def raw(self, text: str) -> int:
        """Sends one command text (no CR, at most 62 printable characters) and returns the
        number the answer held (the library keeps the last such number)."""
        if not 1 <= len(text) <= checks.COMMAND_TEXT_MAX or not all(" " <= c <= "~" for c in text):
            raise ArgumentError(
                f"a command text has 1 to {checks.COMMAND_TEXT_MAX} printable ASCII characters, not {text!r}"
            )
        handle = self._handle
        if handle is None:
            raise self._not_open()
        if function("CorvexLinkLineWriteCommandtoKX4417")(handle, encode(text)) != 1:  # 2: a full FIFO (error 3)
            raise self._error(handle, "WriteCommandtoKX4417")
        return function("CorvexLinkLineGetValue")(handle)

    @property
    def last_command(self) -> str:
        """The last frame this thread sent on the line, its CR included."""
        buffer = ctypes.create_string_buffer(limit("COMMAND_BUFFER_SIZE"))
        self._call("GetLastestCommand", buffer)
        return buffer.value.decode("latin-1")

    # Trace
    def add_trace_handler(self, handler: TraceHandler) -> None:
        """Calls `handler` with every :class:`corvexlink.TraceEvent` of this link from now
        on, also across a close and a new open (see :mod:`corvexlink.trace`)."""
        trace.add_link_handler(self, handler)

    def remove_trace_handler(self, handler: TraceHandler) -> None:
        """Stops calling `handler` for this link; ValueError for one that was not added."""
        trace.remove_link_handler(self, handler)

    @staticmethod
    def fixed_speed(speed: int) -> int:
        """The speed in steps/s that a station really runs at for `speed`, 16 to 10239 (sends nothing)."""
        return fixed_speed(speed)


def _stations(buffer) -> List[int]:
    """The addresses of a station list ("0,1,N,3,N,...")."""
    return [int(piece) for piece in buffer.value.decode("ascii").split(",") if piece not in ("", "N")]


def open(  # noqa: A001 - the package's verb
    device: Union[str, int, "os.PathLike[str]", None] = None, baud: int = 9600, *, port: Optional[int] = None
) -> Link:
    """Opens a link (see :meth:`Link.open`) on `device` at `baud`: ``"COM1"`` (the
    default), ``"/dev/ttyUSB0"``, ``"rfc2217://HOST:PORT"``, ``"tcp://HOST:PORT"``.

    Use it in a with block, so the line is closed again::

        with corvexlink.open("/dev/ttyUSB0", 9600) as link:
            print(link.scan())

    Several links are open at once, each on its own device.
    """
    return Link(device, baud, port=port).open()
