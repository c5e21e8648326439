# SPDX-License-Identifier: MIT
"""corvexlink: KX4417 stepper controllers on Corvex-B boards, from Python.

A thin layer over the CorvexLink shared library (libCorvexLink.so.2, or the file named by
CORVEXLINK_LIBRARY) through ctypes::

    import corvexlink

    with corvexlink.open(port=1, baud=9600) as link:
        print(link.scan())          # [0, 1, 2, 3]
        link.init()
        motor = link.motor(0)
        motor.move_by(2000)
        motor.wait_until_stopped(timeout=10)
        print(motor.position, motor.status)

corvexlink.ports() lists the serial devices of the machine with the COM numbers that
open them. Every failure raises CorvexLinkError (with .number and .message) or a subclass.
"""

from .errors import (
    ArgumentError,
    CorvexLinkError,
    FifoFullError,
    LimitSwitchError,
    MotorRunningError,
    PortError,
    PortNotOpenError,
    StationError,
    TimeoutError,
)
from .link import Board, Link, Motor, open
from .ports import SerialPort, port_device, ports
from .status import Status

try:
    from ._install import VERSION as __version__  # written by the installation
except ImportError:  # run from the source tree, where no installation has written it
    __version__ = "0+unknown"

__all__ = [
    "ArgumentError",
    "Board",
    "CorvexLinkError",
    "FifoFullError",
    "LimitSwitchError",
    "Link",
    "Motor",
    "MotorRunningError",
    "PortError",
    "PortNotOpenError",
    "SerialPort",
    "StationError",
    "Status",
    "TimeoutError",
    "open",
    "port_device",
    "ports",
]
