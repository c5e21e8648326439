# SPDX-License-Identifier: MIT
"""The Pythonic surface: an open line (Link), its motors (Motor) and boards (Board)."""

from __future__ import annotations

import ctypes
import os
import time
import weakref
from typing import Iterable, List, Optional, Sequence, Tuple, Union

from . import _native
from ._native import call, encode
from .errors import NO_PORT, ArgumentError, PortError, PortNotOpenError, TimeoutError
from .logs import captured_lines
from .ports import port_device
from .status import Status
from .units import Number, Scale

LINE_RATES = (300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)
STATION_RATES = (9600, 19200, 38400, 57600, 115200)
STEP_MODES = (36, 34, 33, 8)
FIFO_PROFILE = 0x40
ADC_CHANNELS = 11
CONTROLLER_LIST_SIZE = 38
COMMAND_BUFFER_SIZE = 256
SEGMENT_BYTES = 9  # first rate 3, slope 2, relative move 4

Segment = Tuple[int, int, int]
COUNT_LIMIT = 8388607  # positions, moves and counters: 24 bits, sign and magnitude


def _check_range(name: str, value: int, low: int, high: int) -> int:
    if not isinstance(value, int) or isinstance(value, bool) or not low <= value <= high:
        raise ArgumentError(f"{name} must be a whole number from {low} to {high}, not {value!r}")
    return value


def _address(value: int) -> int:
    return _check_range("address", value, 0, 15)


def _address_list(addresses: Union[int, str, Iterable[int]], allow_all: bool = True) -> bytes:
    """An address text: one address, several, or "ALL"."""
    if isinstance(addresses, str):
        if allow_all and addresses.upper() == "ALL":
            return b"ALL"
        choices = 'numbers 0-15 or "all"' if allow_all else "numbers 0-15"
        raise ArgumentError(f"addresses must be {choices}, not {addresses!r}")
    if isinstance(addresses, int):
        return encode(str(_address(addresses)))
    listed = [_address(a) for a in addresses]
    if not listed:
        raise ArgumentError("an empty address list")
    return encode(",".join(str(a) for a in listed))


def _jog_direction(direction: str) -> int:
    """The library's direction flag for "cw" (1) or "ccw" (0)."""
    if direction not in ("cw", "ccw"):
        raise ArgumentError(f"direction must be 'cw' or 'ccw', not {direction!r}")
    return 1 if direction == "cw" else 0


# The library drives one line per process. This is the Link that has it open, held weakly:
# a Link that nothing refers to any more (no Link, Motor or Board) cannot send, so it no
# longer keeps another Link from opening. Read and written under _native.call_lock.
_line_holder: Optional["weakref.ReferenceType[Link]"] = None


def _open_link() -> Optional["Link"]:
    return _line_holder() if _line_holder is not None else None


class Motor:
    """One station (controller and motor) at an address 0 to 15 of an open link.

    Without a scale, positions and moves are whole steps, speeds steps/s and the
    acceleration the station's count (0-255). With one (``link.motor(0,
    steps_per_unit=40.0, unit="mm")``) they are in that unit, per second and per second
    squared, rounded to whole steps as :mod:`corvexlink.units` describes. The encoder
    count and FIFO profiles stay in the station's own numbers either way.
    """

    def __init__(
        self, link: "Link", address: int, steps_per_unit: Optional[Number] = None, unit: Optional[str] = None
    ) -> None:
        self.link = link  # every command goes through it, so it reaches only its own line
        self.address = _address(address)
        self.scale = Scale(steps_per_unit, unit)
        self._text = encode(str(self.address))

    def _call(self, name: str, *arguments: object) -> int:
        return self.link._call(name, self._text, *arguments)

    def _read(self, name: str, *arguments: object) -> int:
        return self.link._read(name, self._text, *arguments)

    def __repr__(self) -> str:
        if self.scale.scaled:
            return f"Motor({self.address}, steps_per_unit={self.scale.steps_per_unit!r}, unit={self.scale.unit!r})"
        return f"Motor({self.address})"

    @property
    def unit(self) -> str:
        """The unit of positions and moves: "steps" without a scale."""
        return self.scale.unit

    def _steps(self, name: str, value: Number) -> int:
        return self.scale.to_steps(name, value, -COUNT_LIMIT, COUNT_LIMIT)

    # Motion
    def move_by(self, distance: Number) -> None:
        """Starts a relative move by a signed distance (steps, or the motor's unit)."""
        self._call("MotorNumberStepRel", self._steps("distance", distance))

    def move_to(self, position: Number) -> None:
        """Starts a move to an absolute position (steps, or the motor's unit)."""
        self._call("MotorGoAbsPos", self._steps("position", position))

    def jog(self, direction: str = "cw") -> None:
        """Jogs clockwise ("cw") or counter-clockwise ("ccw") until stop()."""
        self._call("MotorJog", _jog_direction(direction))

    def stop(self) -> None:
        """Stops the motor at once. Called while another thread's call holds the line (a
        scan, say), the stop does not wait for its end: it is sent at the next boundary
        between that call's transactions."""
        self.link._stop(self._text)

    def repeat(self) -> None:
        """Repeats the last relative move."""
        self._call("MotorRepeat")

    def reset(self) -> None:
        """Soft reset: stops and brings every setting back to its power-on value."""
        self._call("MotorSoftReset")

    # Counters and status
    @property
    def position(self) -> Number:
        """The position counter, in steps or the motor's unit (settable: sets the counter,
        does not move)."""
        return self.scale.from_steps(self._read("MotorGetPosition"))

    @position.setter
    def position(self, value: Number) -> None:
        self._call("MotorSetPosition", self._steps("position", value))

    @property
    def encoder(self) -> int:
        """The encoder counter (settable)."""
        return self._read("EncoderGetPosition")

    @encoder.setter
    def encoder(self, value: int) -> None:
        self._call("EncoderSetPosition", _check_range("encoder count", value, -COUNT_LIMIT, COUNT_LIMIT))

    @property
    def status(self) -> Status:
        """The status register."""
        return Status(self._read("MotorGetStatusRegister"))

    @property
    def running(self) -> bool:
        """True while a move, jog, FIFO profile or program runs."""
        return Status.RUNING in self.status

    def wait_until_stopped(self, timeout: float = 60.0, poll: float = 0.05) -> Status:
        """Polls the status register until the motor has stopped; returns the last status.

        Raises corvexlink.TimeoutError when it is still running after `timeout` seconds.
        """
        deadline = time.monotonic() + timeout
        while True:
            status = self.status
            if Status.RUNING not in status:
                return status
            if time.monotonic() >= deadline:
                raise TimeoutError(f"motor {self.address} still running after {timeout} s")
            time.sleep(poll)

    # Settings
    def _speed_settings(
        self, slew: Optional[Number], first: Optional[Number], accel: Optional[Number]
    ) -> List[Tuple[str, int]]:
        """The calls that set the given speeds, every value checked first."""
        if slew is None and first is None and accel is None:
            raise ArgumentError("give at least one of slew, first, accel")
        calls = []
        if slew is not None:
            calls.append(("MotorSlewRate", self.scale.to_rate("slew rate", slew, 16, 8500)))
        if first is not None:
            calls.append(("MotorFirstRate", self.scale.to_rate("first rate", first, 16, 8500)))
        if accel is not None:
            calls.append(("MotorAccelDecel", self.scale.to_acceleration("acceleration", accel, 0, 255)))
        return calls

    def set_speed(
        self, slew: Optional[Number] = None, first: Optional[Number] = None, accel: Optional[Number] = None
    ) -> None:
        """Sets the slew rate and first rate (16-8500 steps/s, or the motor's unit per
        second) and the acceleration (the station's count 0-255, or the unit per second
        squared) given. Every value is checked before the first is sent."""
        for name, value in self._speed_settings(slew, first, accel):
            self._call(name, value)

    def fixed_speed(self, speed: Number) -> Number:
        """The speed the station really runs at when asked for `speed` (steps/s, or the
        motor's unit per second); sends nothing."""
        return self.scale.from_steps(Link.fixed_speed(self.scale.to_rate("speed", speed, 16, 10239)))

    def set_current(self, milliamps: int) -> None:
        """Sets the winding current, 50 to 2000 mA (kept for later init())."""
        self._call("MotorSetCurrent", _check_range("current", milliamps, 50, 2000))

    def set_jog_speed(self, speed: Number) -> None:
        """Sets the jog speed in steps/s, or the motor's unit per second (0: the slew rate)."""
        self._call("MotorChangeJogSpeed", self.scale.to_rate("jog speed", speed, 0, 10239))

    def set_direction(self, plus: bool) -> None:
        """Sets the direction of later moves: '+' (True) or '-'."""
        self._call("MotorDirection", 1 if plus else 0)

    def configure_mode(self, mode: int = 33, fifo: bool = False, encoder: bool = False, home: bool = False) -> None:
        """Sets the step mode (36, 34, 33, 8) with the FIFO profile, encoder and home-seek bits."""
        if mode not in STEP_MODES:
            raise ArgumentError(f"step mode must be one of {STEP_MODES}, not {mode!r}")
        value = mode | (FIFO_PROFILE if fifo else 0) | (0x10 if encoder else 0) | (0x80 if home else 0)
        self._call("MotorConfigureMode", value)

    def power(self, on: bool = True) -> None:
        """Switches the winding power on or off."""
        if on:
            self._call("MotorPowerON", 1)
        else:
            self._call("MotorPowerOFF")

    # FIFO
    def fifo_reset(self) -> None:
        """Empties the station's FIFO."""
        self._call("FIFOReset")

    @property
    def fifo_free(self) -> int:
        """Free room of the FIFO in bytes."""
        return self._read("FIFOGetRemainingBytes")

    @property
    def fifo_index(self) -> int:
        """Entries of the FIFO finished since its last reset (16 bits)."""
        return self._read("FIFOGetIndexCounter")

    def queue_profile(self, segments: Sequence[Segment], timeout: float = 60.0) -> int:
        """Queues segments of (first rate, slope, steps) in the FIFO, waiting for room
        whenever it is full; returns the free room left. Every segment is checked before
        the first is sent. The segments are in the station's numbers (steps/s, the speed
        change per step, steps), also for a motor with a scale.

        A profile kept in a file, as DemoCorvexLink's profile editor saves it and
        ``corvexctl profile`` plays it, is a CSV text with one segment a line in the same
        order, ``first rate,slope,steps``, as whole numbers (first rate 16 to 10239, slope
        -256 to 255, steps -8388607 to 8388607). Blank lines and lines starting with ``#``
        are skipped, a UTF-8 byte-order mark is ignored, and a first line of words (the
        editor writes ``Speed ,Acce., Step N.``) is a header:

        .. code-block:: text

            Speed ,Acce., Step N.
            200,2,300
            800,0,400
            800,-2,300

        Those programs refuse the whole file, naming the line, when any other line is not
        three such numbers."""
        checked = _check_segments(segments)
        room = 0
        for index, segment in enumerate(checked):
            deadline = time.monotonic() + timeout
            while self.fifo_free < SEGMENT_BYTES:
                if time.monotonic() >= deadline:
                    raise _fifo_full(self, index)
                time.sleep(FIFO_POLL)
            room = self._queue_segment(segment)
        return room

    def _queue_segment(self, segment: Segment) -> int:
        """Sends one checked segment; returns the free room left."""
        first, slope, steps = segment
        room = ctypes.c_int32(0)
        self._call("FIFOMotorFirstRate", first, ctypes.byref(room))
        self._call("FIFOMotorSlope", slope, ctypes.byref(room))
        self._call("FIFOMotorNumberStepRel", steps, ctypes.byref(room))
        return room.value


FIFO_POLL = 0.02  # seconds between two looks at the free room of a full FIFO


def _check_segments(segments: Sequence[Segment]) -> List[Segment]:
    return [
        (
            _check_range("first rate", first, 16, 10239),
            _check_range("slope", slope, -256, 255),
            _check_range("steps", steps, -COUNT_LIMIT, COUNT_LIMIT),
        )
        for first, slope, steps in segments
    ]


def _fifo_full(motor: Motor, queued: int) -> TimeoutError:
    return TimeoutError(f"the FIFO of motor {motor.address} stayed full; {queued} segments queued")


class Board:
    """One Corvex-B board: four stations 4k..4k+3. Its master (4k) has the analog inputs,
    its user-I/O controller (4k+1) the SPI bus; 4k+1..4k+3 carry the user I/O ports."""

    def __init__(self, link: "Link", index: int) -> None:
        self.link = link  # every command goes through it, so it reaches only its own line
        self.index = _check_range("board", index, 0, 3)
        self.master = 4 * self.index
        self.user_io = self.master + 1
        self._master_text = encode(str(self.master))
        self._user_io_text = encode(str(self.user_io))

    def __repr__(self) -> str:
        return f"Board({self.index})"

    def _port(self, port: int) -> bytes:
        return encode(str(self.master + _check_range("user I/O port", port, 1, 3)))

    # Digital user I/O
    def read_inputs(self, port: int = 1) -> int:
        """The user inputs of port 1, 2 or 3 (controller 4k+port)."""
        return self.link._read("ReadDigitalUserIO", self._port(port))

    def write_outputs(self, value: int, port: int = 1) -> None:
        """Writes the user outputs of port 1, 2 or 3."""
        self.link._call("WriteDigitalUserIO", self._port(port), _check_range("output value", value, 0, 0xFFFF))

    def configure_io(self, config: int, port: int = 1) -> None:
        """Configures the user I/O of port 1, 2 or 3."""
        self.link._call("ConfigureDigitalUserIO", self._port(port), _check_range("configuration", config, 0, 0xFFFF))

    # Analog inputs
    def adc(self, channel: int, bits: int = 12) -> int:
        """One analog channel (0-10; 11-13 the references) at 8, 10 or 12 bits."""
        if bits not in (8, 10, 12):
            raise ArgumentError(f"resolution must be 8, 10 or 12 bits, not {bits!r}")
        return self.link._read("GetADCchannel", self._master_text, bits, _check_range("channel", channel, 0, 13))

    def adc_all(self, bits: int = 12) -> List[int]:
        """All eleven analog channels at 10 or 12 bits."""
        if bits not in (10, 12):
            raise ArgumentError(f"all channels are read at 10 or 12 bits, not {bits!r}")
        values = (ctypes.c_int32 * ADC_CHANNELS)()
        self.link._call("ReadAllChannelsADC", self._master_text, bits, values)
        return list(values)

    # SPI bus of the user-I/O controller
    def spi_configure(self, config: int) -> None:
        """Configures the SPI of the board's user-I/O controller."""
        self.link._call("ConfigureSPI", self._user_io_text, _check_range("configuration", config, 0, 0xFFFF))

    def spi_read(self) -> int:
        """Reads the SPI bus."""
        return self.link._read("ReadSPI", self._user_io_text)

    def spi_write(self, value: int) -> None:
        """Writes a value on the SPI bus."""
        self.link._call("WriteSPI", self._user_io_text, _check_range("value", value, 0, 0xFFFF))


class Link:
    """The serial line to the stations, open between open() and close() (or in a with block).

    The library keeps one line per process, so one Link is open at a time: opening another
    raises PortError, and the Motors and Boards of a closed Link raise PortNotOpenError.
    """

    def __init__(self, port: int = 1, baud: int = 9600, device: Optional[str] = None) -> None:
        self.port = _check_range("port", port, 1, 255)
        if baud not in LINE_RATES:
            raise ArgumentError(f"baud rate must be one of {LINE_RATES}, not {baud!r}")
        self.baud = baud
        self.device = device

    def __repr__(self) -> str:
        return f"Link(port={self.port}, baud={self.baud}{', open' if self.is_open else ''})"

    def open(self) -> "Link":
        """Opens the port COM<port> at the Link's baud rate.

        The device is, first found first: the ``device`` given to the Link; the
        environment variable ``CORVEXLINK_COM<port>``; a ``COM<port> = path`` line of
        ``ports.conf`` in ``$XDG_CONFIG_HOME/corvexlink/`` (``~/.config/corvexlink/``
        when XDG_CONFIG_HOME is unset), then in ``/etc/corvexlink/``; else
        ``/dev/ttyS<port-1>``. The files are read at every open, and a line that cannot be
        read is named in the library's debug lines (see :func:`corvexlink.enable_logging`).
        :func:`corvexlink.port_device` tells which device a port opens, and
        :func:`corvexlink.ports` lists the machine's serial devices::

            # ~/.config/corvexlink/ports.conf
            COM1 = /dev/serial/by-id/usb-Acme_Wire_Line_Cable_A1B2C3-if00-port0

        Wherever a device path goes, a network name opens a line over TCP instead:
        ``rfc2217://HOST:PORT`` (a serial server speaking RFC 2217, such as Debian's
        ser2net: the rate and :meth:`change_baud` reach the far line) or ``tcp://HOST:PORT``
        (a raw byte stream: the server fixes the rate, and :meth:`change_baud` is refused).
        HOST is a name, an IPv4 address or an IPv6 address in brackets::

            corvexlink.open(device="rfc2217://lab-pi.local:4001")

        Raises PortError (36) when the device cannot be opened, and PortError without a
        number when another Link of this process is open: close that one first. Opening
        an open Link opens its port again.
        """
        global _line_holder
        with _native.call_lock:
            holder = _open_link()
            if holder is not None and holder is not self:
                raise PortError(
                    f"COM{holder.port} is open through another Link of this process; close it before opening "
                    f"COM{self.port} (one line per process)"
                )
            # The library closes an open port before it opens, so a failed reopen leaves none.
            _line_holder = None
            self._open_port()
            _line_holder = weakref.ref(self)
        return self

    def _open_port(self) -> None:
        if self.device is None:
            self._port_open()
            return
        # The library reads the variable when it opens; the process keeps its own value.
        variable = f"CORVEXLINK_COM{self.port}"
        saved = os.environ.get(variable)
        os.environ[variable] = self.device
        try:
            self._port_open()
        finally:
            if saved is None:
                del os.environ[variable]
            else:
                os.environ[variable] = saved

    def _port_open(self) -> None:
        """PortOpen; a failure raises PortError with the device and the system's reason,
        which the library names in a debug line of its own."""
        with captured_lines() as lines:
            try:
                call("PortOpen", self.port, self.baud)
            except PortError as error:
                device = self.device or port_device(self.port)
                said = f"CorvexLink: OpenCommPort --> COM{self.port}: "
                reasons = [line[len(said):] for line in lines if line.startswith(said)]
                reason = reasons[-1] if reasons else None
                if reason and reason.startswith(device + ": "):
                    reason = reason[len(device) + 2 :]
                raise PortError(error.message, error.number, device, reason) from None

    def close(self) -> None:
        """Closes the port; closing a closed link does nothing."""
        global _line_holder
        with _native.call_lock:
            if self.is_open:
                _line_holder = None
                call("PortClose")

    def __enter__(self) -> "Link":
        return self if self.is_open else self.open()

    def __exit__(self, *exc: object) -> None:
        self.close()

    @property
    def is_open(self) -> bool:
        """True between open() and close(); a failed open leaves the Link closed."""
        return _open_link() is self

    def _require_open(self) -> None:
        """Raises PortNotOpenError (25) unless this Link is open, so that it never sends on a
        line that another Link opened. Called under _native.call_lock."""
        if not self.is_open:
            raise PortNotOpenError(f"COM{self.port} is not open through this Link", NO_PORT)

    def _call(self, name: str, *arguments: object) -> int:
        """Calls the library on this Link's line."""
        with _native.call_lock:
            self._require_open()
            return call(name, *arguments)

    def _stop(self, address: bytes) -> None:
        """Stops a motor of this Link's line, without waiting for another thread's call."""
        if _native.call_lock.acquire(blocking=False):
            try:
                self._require_open()
            finally:
                _native.call_lock.release()
        elif not self.is_open:
            raise PortNotOpenError(f"COM{self.port} is not open through this Link", NO_PORT)
        _native.stop_first("MotorStop", address)

    def _read(self, name: str, *arguments: object) -> int:
        """Calls a library function that ends in a number to fill, and returns that number."""
        value = ctypes.c_int32(0)
        self._call(name, *arguments, ctypes.byref(value))
        return value.value

    # Stations
    def scan(self) -> List[int]:
        """Probes addresses 0 to 15 (about 0.2 s for each that is missing); returns those that answer."""
        buffer = ctypes.create_string_buffer(CONTROLLER_LIST_SIZE)
        self._call("GetConnectedControllers", buffer)
        return [int(piece) for piece in buffer.value.decode("ascii").split(",") if piece not in ("", "N")]

    def check(self, address: int) -> bool:
        """True when the station answers its probe, False when it stays silent."""
        try:
            self._call("CheckControllerAddress", encode(str(_address(address))))
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
    def stop_all(self, addresses: Optional[Iterable[int]] = None) -> None:
        """Stops the motors given, or every motor a scan finds."""
        for motor in self.motors(addresses):
            motor.stop()

    def jog(self, addresses: Union[str, Iterable[int]], direction: str = "cw") -> None:
        """Jogs several motors (a list or "all") in one command."""
        self._call("MotorJog", _address_list(addresses), _jog_direction(direction))

    def power(self, addresses: Union[str, Iterable[int]], on: bool = True) -> None:
        """Switches the winding power of several motors (a list or "all")."""
        if on:
            self._call("MotorPowerON", _address_list(addresses), 1)
        else:
            self._call("MotorPowerOFF", _address_list(addresses))

    def trigger(self, motors: Iterable[int], on: bool = True) -> None:
        """Switches the trigger lines of the listed motors in one command."""
        self._call("MotorTriggerON" if on else "MotorTriggerOFF", _address_list(motors, allow_all=False))

    def pause(self, motors: Iterable[int], on: bool = True) -> None:
        """Switches the pause lines of the listed motors in one command."""
        self._call("MotorPauseON" if on else "MotorPauseOFF", _address_list(motors, allow_all=False))

    def change_baud(self, rate: int) -> None:
        """Moves every station of the last scan and the line to `rate`."""
        if rate not in STATION_RATES:
            raise ArgumentError(f"baud rate must be one of {STATION_RATES}, not {rate!r}")
        self._call("ZelmarChangeBaudRate", rate)
        self.baud = rate

    # Raw commands
    def raw(self, text: str) -> int:
        """Sends one command text (no CR, at most 62 printable characters) and returns the
        number the answer held (the library keeps the last such number)."""
        if not 1 <= len(text) <= 62 or not all(" " <= c <= "~" for c in text):
            raise ArgumentError(f"a command text has 1 to 62 printable ASCII characters, not {text!r}")
        with _native.call_lock:
            self._require_open()
            result, beside = _native.invoke("WriteCommandtoKX4417", encode(text))
            if result != 1:  # -1 a failure, 2 a full FIFO (error 3)
                raise _native.last_error("WriteCommandtoKX4417", beside)
            return _native.library().ZelmarGetValue()

    @property
    def last_command(self) -> str:
        """The last frame sent, its CR included."""
        buffer = ctypes.create_string_buffer(COMMAND_BUFFER_SIZE)
        call("GetLastestCommand", buffer)
        return buffer.value.decode("latin-1")

    @staticmethod
    def fixed_speed(speed: int) -> int:
        """The speed in steps/s that a station really runs at for `speed`, 16 to 10239 (sends nothing)."""
        return _native.library().GetFixedSpeed(_check_range("speed", speed, 16, 10239))


def open(port: int = 1, baud: int = 9600, device: Optional[str] = None) -> Link:  # noqa: A001 - the package's verb
    """Opens a link (see :meth:`Link.open`): COM<port> at `baud`, through `device` when given,
    a device path or a network line (``rfc2217://HOST:PORT``, ``tcp://HOST:PORT``).

    Use it in a with block, so the port is closed again::

        with corvexlink.open(port=1, baud=9600) as link:
            print(link.scan())
    """
    return Link(port, baud, device).open()
