#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Finds the stations, initialises them, moves each motor and plays a short FIFO profile.

    ./scan_and_move.py /dev/ttyUSB0   # or COM1 (the default), rfc2217://host:4001
    ./scan_and_move.py --simulate     # without hardware: kx4417-sim (on PATH) plays stations 0-3
"""

import contextlib
import sys

import corvexlink
from corvexlink.testing import Simulator


def main() -> int:
    simulate = "--simulate" in sys.argv[1:]
    named = [arg for arg in sys.argv[1:] if not arg.startswith("--")]
    try:
        with Simulator("0-3") if simulate else contextlib.nullcontext() as simulator, corvexlink.open(
            simulator.device if simulator else (named[0] if named else "COM1"), 9600
        ) as link:
            stations = link.init()
            print("stations:", stations)
            for address in stations:
                motor = link.motor(address)
                motor.set_speed(slew=2000, first=200, accel=50)
                motor.move_by(1000 * (address + 1))
            for address in stations:
                motor = link.motor(address)
                status = motor.wait_until_stopped(timeout=30)
                print(f"motor {address}: position {motor.position}, status {status}")
            if stations:
                # The same station in millimetres, for a drive of 40 steps per mm.
                slide = link.motor(stations[0], steps_per_unit=40.0, unit="mm")
                slide.move_by(-12.5)
                slide.wait_until_stopped(timeout=30)
                print(f"motor {slide.address}: {slide.position} {slide.unit}")
            if stations:
                motor = link.motor(stations[0])
                motor.fifo_reset()
                motor.configure_mode(33, fifo=True)  # the FIFO plays while it is filled
                motor.queue_profile([(200, 2, 500), (1200, 0, 1000), (1200, -2, 500)])
                motor.wait_until_stopped(timeout=30)
                motor.configure_mode(33)
                print(f"after the profile: position {motor.position}")
    except corvexlink.CorvexLinkError as error:
        print(f"error {error.number}: {error.message}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
