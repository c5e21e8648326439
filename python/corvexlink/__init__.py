# SPDX-License-Identifier: MIT
"""corvexlink: KX4417 stepper controllers on Corvex-B boards, from Python.

A thin layer over the CorvexLink shared library through ctypes::

    import corvexlink

    with corvexlink.open("/dev/ttyUSB0", 9600) as link:    # or "COM1", "rfc2217://host:4001"
        print(link.scan())          # [0, 1, 2, 3]
        link.init()
        motor = link.motor(0, steps_per_unit=40.0, unit="mm")
        motor.move_by(12.5)         # 500 steps
        motor.wait_until_stopped(timeout=10)
        print(motor.position, motor.status)     # 12.5 READY|DIR

Every link is a line of its own: several are open at once, on different devices, each with
its own errors, stops and trace.
:mod:`corvexlink.aio` is the same for asyncio, :mod:`corvexlink.units` says how values in
a unit become steps, :mod:`corvexlink.testing` runs the simulator for tests, and
:func:`enable_logging` shows the library's debug lines and every frame through logging.
:func:`ports` lists the serial devices of the machine with the COM numbers that open them.
Every failure raises :class:`CorvexLinkError` (with ``.number`` and ``.message``) or a
subclass.

The library is the file named by the environment variable ``CORVEXLINK_LIBRARY`` when it is
set, else the copy inside the package (the wheel carries one), else the one the package was
installed with, else the system's ``libCorvexLink.so.2``; :func:`library_path` tells which.
"""

import importlib as _importlib

from .errors import (
    ArgumentError,
    CorvexLinkError,
    FifoFullError,
    LimitSwitchError,
    LineLostError,
    MotorRunningError,
    PortError,
    PortNotOpenError,
    StationError,
    TimeoutError,
)
from ._native import library_path
from .board import Board
from .link import Link, open
from .motor import Motor
from .logs import disable_logging, enable_logging
from .ports import SerialPort, port_device, ports
from .status import Status
from .trace import TraceEvent, add_trace_handler, remove_trace_handler

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
    "LineLostError",
    "Link",
    "Motor",
    "MotorRunningError",
    "PortError",
    "PortNotOpenError",
    "SerialPort",
    "StationError",
    "Status",
    "TimeoutError",
    "TraceEvent",
    "add_trace_handler",
    "disable_logging",
    "enable_logging",
    "library_path",
    "open",
    "port_device",
    "ports",
    "remove_trace_handler",
]

_SUBMODULES = ("aio", "testing")


def __getattr__(name: str):
    """The submodules that ``import corvexlink`` does not load (corvexlink.aio,
    corvexlink.testing), loaded on first use."""
    if name in _SUBMODULES:
        return _importlib.import_module(f"{__name__}.{name}")
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
