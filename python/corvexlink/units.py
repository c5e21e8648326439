# SPDX-License-Identifier: MIT
"""Positions, speeds and accelerations in a unit of the user's choice.

A motor made with a scale (``link.motor(0, steps_per_unit=40.0, unit="mm")``) takes and
gives its positions and moves in that unit, its speeds in the unit per second and its
acceleration in the unit per second squared. Every value given is turned into the
station's whole numbers by one rule:

1. the value as written (its shortest decimal form: 0.1 is one tenth, not the binary
   number nearest to it) times ``steps_per_unit``, computed exactly;
2. rounded to the nearest whole step (or step/s), a half away from zero, so a move and
   the same move backwards cover the same number of steps;
3. checked against the station's range *after* rounding; a value outside it (a speed
   below the station's minimum of 16 steps/s included) raises :class:`ArgumentError`
   naming the range in the unit, and nothing is sent.

So with 40 steps/mm, 0.0125 mm is half a step and moves 1 step; 0.01 mm moves none.
Fractions of a step are not carried over from one relative move to the next: a series of
``move_by`` calls can drift by up to half a step each, while ``move_to`` (absolute)
never drifts. Positions read back are the station's steps divided by ``steps_per_unit``
(a float). A ratio that has no short decimal form is best given exactly
(``steps_per_unit=Fraction(200, 360)`` for degrees at 200 steps a turn), so whole
degrees read back whole. Accelerations are counted by the station in steps of
:data:`ACCELERATION_STEP` steps/s²; the same rule rounds to a whole count (0 to 255).
A motor without a scale keeps the step interface: whole numbers only, nothing rounded.
"""

from __future__ import annotations

import math
import numbers
from decimal import Decimal
from fractions import Fraction
from typing import Optional, Union

from .errors import ArgumentError

#: steps/s² of one count of the station's acceleration setting (0 to 255).
ACCELERATION_STEP = 1000

Number = Union[int, float, Decimal, Fraction]


def _exact(value: object) -> Optional[Fraction]:
    """The value as an exact fraction (a float by its shortest decimal form); None for
    what is not a finite real number."""
    if isinstance(value, bool) or not isinstance(value, (numbers.Real, Decimal)):
        return None
    if isinstance(value, float):
        if not math.isfinite(value):
            return None
        return Fraction(repr(value))
    try:
        return Fraction(value)
    except (ValueError, OverflowError, TypeError):  # a Decimal NaN or infinity
        return None


def round_half_away(value: Fraction) -> int:
    """The nearest whole number; a half goes away from zero."""
    whole = math.floor(abs(value) + Fraction(1, 2))
    return whole if value >= 0 else -whole


def _show(value: Fraction) -> str:
    """A range end for a message: as short as it can be written."""
    return f"{float(value):g}"


class Scale:
    """How the numbers of one motor are given: in steps (``steps_per_unit`` None) or in a
    unit of which one is ``steps_per_unit`` steps."""

    def __init__(self, steps_per_unit: Optional[Number] = None, unit: Optional[str] = None) -> None:
        if steps_per_unit is None:
            if unit is not None:
                raise ArgumentError("a unit needs steps_per_unit")
            self.steps_per_unit: Optional[Number] = None
            self.unit = "steps"
            self._factor = Fraction(1)
            return
        factor = _exact(steps_per_unit)
        if factor is None or factor <= 0:
            raise ArgumentError(f"steps_per_unit must be a finite number above 0, not {steps_per_unit!r}")
        if unit is not None and (not isinstance(unit, str) or not unit.strip()):
            raise ArgumentError(f"unit must be a name such as 'mm', not {unit!r}")
        self.steps_per_unit = steps_per_unit
        self.unit = unit.strip() if unit else "units"
        self._factor = factor

    @property
    def scaled(self) -> bool:
        return self.steps_per_unit is not None

    def __repr__(self) -> str:
        return f"Scale({self.steps_per_unit!r}, {self.unit!r})" if self.scaled else "Scale()"

    def _whole(self, name: str, value: object, low: int, high: int, per: str, factor: Fraction) -> int:
        if not self.scaled:
            if not isinstance(value, int) or isinstance(value, bool) or not low <= value <= high:
                raise ArgumentError(f"{name} must be a whole number from {low} to {high}, not {value!r}")
            return value
        exact = _exact(value)
        steps = None if exact is None else round_half_away(exact * factor)
        if steps is None or not low <= steps <= high:
            raise ArgumentError(
                f"{name} must be from {_show(low / factor)} to {_show(high / factor)} {self.unit}{per} "
                f"({low} to {high} after rounding at {self.steps_per_unit} steps/{self.unit}), not {value!r}"
            )
        return steps

    def to_steps(self, name: str, value: object, low: int, high: int) -> int:
        """A position or distance in the unit as whole steps within low..high."""
        return self._whole(name, value, low, high, "", self._factor)

    def to_rate(self, name: str, value: object, low: int, high: int) -> int:
        """A speed in the unit per second as whole steps/s within low..high."""
        return self._whole(name, value, low, high, "/s", self._factor)

    def to_acceleration(self, name: str, value: object, low: int, high: int) -> int:
        """An acceleration in the unit per second squared as the station's count within
        low..high; without a scale the count itself."""
        factor = self._factor / ACCELERATION_STEP if self.scaled else self._factor
        return self._whole(name, value, low, high, "/s²", factor)

    def from_steps(self, steps: int) -> Number:
        """Steps (or steps/s) in the unit: the int itself without a scale, else a float."""
        if not self.scaled:
            return steps
        return float(Fraction(steps) / self._factor)
