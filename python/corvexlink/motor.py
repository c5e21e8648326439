# SPDX-License-Identifier: MIT
"""Motor: one station of a link, with its moves, counters, settings and FIFO profiles."""

from __future__ import annotations

import ctypes
import time
from typing import TYPE_CHECKING, List, Optional, Sequence, Tuple

from . import checks
from ._native import encode, function
from .checks import SEGMENT_BYTES, Segment, limit, within
from .errors import ArgumentError, TimeoutError
from .status import Status
from .units import Number, Scale

if TYPE_CHECKING:
    from .link import Link

FIFO_POLL = 0.02  # seconds between two looks at the free room of a full FIFO


def fixed_speed(speed: int) -> int:
    """The speed in steps/s that a station really runs at when asked for `speed` (sends
    nothing)."""
    return function("GetFixedSpeed")(within("speed", speed, "RATE_MIN", "FIXED_SPEED_MAX"))


def fifo_stayed_full(address: int, queued: int) -> TimeoutError:
    return TimeoutError(f"the FIFO of motor {address} stayed full; {queued} segments queued")


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
        self.address = checks.address(address)
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
        return self.scale.to_steps(name, value, -limit("COUNT_MAX"), limit("COUNT_MAX"))

    # Motion
    def move_by(self, distance: Number) -> None:
        """Starts a relative move by a signed distance (steps, or the motor's unit)."""
        self._call("MotorNumberStepRel", self._steps("distance", distance))

    def move_to(self, position: Number) -> None:
        """Starts a move to an absolute position (steps, or the motor's unit)."""
        self._call("MotorGoAbsPos", self._steps("position", position))

    def jog(self, direction: str = "cw") -> None:
        """Jogs clockwise ("cw") or counter-clockwise ("ccw") until stop()."""
        self._call("MotorJog", checks.jog_direction(direction))

    def stop(self) -> None:
        """Stops the motor at once. Called while another thread's call holds the link's line
        (a scan, say), the stop does not wait for its end: it is sent at the next boundary
        between that call's transactions. Other links are never waited for."""
        self._call("MotorStop")

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
        self._call("EncoderSetPosition", checks.count("encoder count", value))

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
        low, high = limit("RATE_MIN"), limit("RATE_MAX")
        calls = []
        if slew is not None:
            calls.append(("MotorSlewRate", self.scale.to_rate("slew rate", slew, low, high)))
        if first is not None:
            calls.append(("MotorFirstRate", self.scale.to_rate("first rate", first, low, high)))
        if accel is not None:
            accel_range = limit("ACCEL_MIN"), limit("ACCEL_MAX")
            calls.append(("MotorAccelDecel", self.scale.to_acceleration("acceleration", accel, *accel_range)))
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
        steps = self.scale.to_rate("speed", speed, limit("RATE_MIN"), limit("FIXED_SPEED_MAX"))
        return self.scale.from_steps(fixed_speed(steps))

    def set_current(self, milliamps: int) -> None:
        """Sets the winding current, 50 to 2000 mA (kept for later init())."""
        self._call("MotorSetCurrent", within("current", milliamps, "CURRENT_MIN", "CURRENT_MAX"))

    def set_jog_speed(self, speed: Number) -> None:
        """Sets the jog speed in steps/s, or the motor's unit per second (0: the slew rate)."""
        self._call("MotorChangeJogSpeed", self.scale.to_rate("jog speed", speed, 0, limit("FIXED_SPEED_MAX")))

    def set_direction(self, plus: bool) -> None:
        """Sets the direction of later moves: '+' (True) or '-'."""
        self._call("MotorDirection", 1 if plus else 0)

    def configure_mode(self, mode: int = 33, fifo: bool = False, encoder: bool = False, home: bool = False) -> None:
        """Sets the step mode (36, 34, 33, 8) with the FIFO profile, encoder and home-seek bits."""
        if mode not in checks.STEP_MODES:
            raise ArgumentError(f"step mode must be one of {checks.STEP_MODES}, not {mode!r}")
        value = mode | (checks.MODE_FIFO_PROFILE if fifo else 0)
        value |= (checks.MODE_ENCODER if encoder else 0) | (checks.MODE_HOME if home else 0)
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
        checked = checks.segments(segments)
        room = 0
        for index, segment in enumerate(checked):
            deadline = time.monotonic() + timeout
            while self.fifo_free < SEGMENT_BYTES:
                if time.monotonic() >= deadline:
                    raise fifo_stayed_full(self.address, index)
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
