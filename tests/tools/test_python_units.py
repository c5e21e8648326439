# SPDX-License-Identifier: MIT
"""Motors in a unit of their own (link.motor(a, steps_per_unit=..., unit=...)) against
kx4417-sim: the frames the conversions send, what reads back, the rounding rule and the
values refused before anything is sent."""

import math
from decimal import Decimal
from fractions import Fraction

import pytest

import corvexlink
from corvexlink.units import Scale


def test_moves_and_reads_round_trip_in_millimetres(link, simulator):
    mm = link.motor(0, steps_per_unit=40.0, unit="mm")
    assert mm.unit == "mm" and repr(mm) == "Motor(0, steps_per_unit=40.0, unit='mm')"
    mm.set_speed(slew=100, first=5, accel=50)
    mm.move_by(12.5)
    mm.wait_until_stopped(timeout=30)
    assert mm.position == 12.5 and isinstance(mm.position, float)
    mm.move_to(-0.025)
    mm.wait_until_stopped(timeout=30)
    assert mm.position == -0.025
    mm.position = 3
    assert mm.position == 3.0
    mm.set_jog_speed(2.5)
    # The same station through the step interface sees the steps.
    assert link.motor(0).position == 120
    frames = simulator.frames(until="_0Y100\r")
    assert frames[:5] == ["_0R4000\r", "_0F200\r", "_0S2\r", "_0N500\r", "_0=\r"]
    assert "_0T-1\r" in frames and "_0A120\r" in frames


def test_fractions_of_a_step_round_to_the_nearest_half_away_from_zero():
    scale = Scale(40.0, "mm")

    def steps(value):
        return scale.to_steps("distance", value, -8388607, 8388607)

    assert [steps(v) for v in (0.0125, -0.0125, 0.0124, -0.0124, 0.01, 0.0375, -0.0375)] == [1, -1, 0, 0, 0, 2, -2]
    # The value as written, not its nearest binary number: 0.0375 is 1.5 steps exactly.
    assert steps(Decimal("0.0375")) == 2 and steps(Fraction(3, 80)) == 2 and steps(Fraction(1, 81)) == 0
    assert steps(0.1) == 4 and steps(-209715.175) == -8388607 and steps(3) == 120
    assert scale.from_steps(1) == 0.025 and scale.from_steps(-8388607) == -209715.175
    # Degrees at 200 steps a turn: 1.8 degrees a step, a ratio given exactly.
    degrees = Scale(Fraction(200, 360), "deg")
    assert degrees.to_steps("angle", 90, -8388607, 8388607) == 50
    assert degrees.to_steps("angle", 0.9, -8388607, 8388607) == 1  # half a step
    assert degrees.from_steps(50) == 90.0


def test_speeds_and_accelerations_at_the_station_limits(link, simulator):
    mm = link.motor(1, steps_per_unit=40, unit="mm")
    mm.set_speed(slew=0.4, first=212.5, accel=0)  # 16 and 8500 steps/s
    mm.set_speed(slew=0.3875)  # 15.5 steps/s rounds up to the minimum
    mm.set_speed(accel=6375)  # 255 counts of 1000 steps/s^2
    mm.set_jog_speed(0)  # the slew rate
    mm.set_jog_speed(255.975)  # 10239 steps/s
    assert mm.fixed_speed(15) == 14.975  # asked 600 steps/s, runs at 599
    refused = [
        lambda: mm.set_speed(slew=0.3874),  # 15.496: below 16 after rounding
        lambda: mm.set_speed(first=212.5125),  # 8500.5 rounds to 8501
        lambda: mm.set_speed(accel=6387.5),  # 255.5 rounds to 256
        lambda: mm.set_speed(accel=-12.5),
        lambda: mm.set_jog_speed(255.9875),
        lambda: mm.set_jog_speed(-0.0125),
        lambda: mm.fixed_speed(0.3),
    ]
    for call in refused:
        with pytest.raises(corvexlink.ArgumentError):
            call()
    frames = simulator.frames(until="_1Y10239\r")
    assert frames == ["_1R16\r", "_1F8500\r", "_1S0\r", "_1R16\r", "_1S255\r", "_1Y0\r", "_1Y10239\r"]


def test_out_of_range_and_non_numbers_are_refused_before_the_line(link, simulator):
    mm = link.motor(2, steps_per_unit=40.0, unit="mm")
    for bad in (math.nan, math.inf, -math.inf, "1", None, True, Decimal("NaN"), 209715.2, -209715.2, 1e300):
        for call in (mm.move_by, mm.move_to, lambda v: setattr(mm, "position", v)):
            with pytest.raises(corvexlink.ArgumentError):
                call(bad)
    # One bad value among several speeds sends none of them.
    with pytest.raises(corvexlink.ArgumentError) as caught:
        mm.set_speed(slew=100, first=0.1)
    assert "first rate must be from 0.4 to 212.5 mm/s" in caught.value.message
    with pytest.raises(corvexlink.ArgumentError) as caught:
        mm.move_by(209715.2)
    assert "distance must be from -209715 to 209715 mm" in caught.value.message
    assert link.check(2)
    assert simulator.frames(until="_2\r") == ["_2\r"]


def test_scales_that_cannot_be_used_and_the_step_interface_unchanged(link):
    for steps_per_unit in (0, -40, math.nan, math.inf, "40", True):
        with pytest.raises(corvexlink.ArgumentError):
            link.motor(0, steps_per_unit=steps_per_unit, unit="mm")
    for unit in ("", "  ", 5):
        with pytest.raises(corvexlink.ArgumentError):
            link.motor(0, steps_per_unit=40, unit=unit)
    with pytest.raises(corvexlink.ArgumentError, match="needs steps_per_unit"):
        link.motor(0, unit="mm")
    assert link.motor(0, steps_per_unit=40).unit == "units"

    steps = link.motor(3)
    assert steps.unit == "steps" and repr(steps) == "Motor(3)"
    for bad in (1.5, 2.0, Fraction(1, 2)):
        with pytest.raises(corvexlink.ArgumentError):
            steps.move_by(bad)
    with pytest.raises(corvexlink.ArgumentError):
        steps.set_speed(accel=1.0)
    steps.move_by(7)
    steps.wait_until_stopped(timeout=30)
    assert steps.position == 7 and isinstance(steps.position, int)
