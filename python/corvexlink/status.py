# SPDX-License-Identifier: MIT
"""The status register of a station as an enum.IntFlag."""

from __future__ import annotations

import enum
from typing import List


class Status(enum.IntFlag):
    """Bits of the status register, as ``Motor.status`` returns them.

    ``str()`` (and ``print``, and an f-string without a format) shows the names of the set
    bits as the station documents them, lowest first: ``RUNING|READY|DIR``; a register
    with no bit set shows ``0``. It is an int too: ``status & Status.RUNING``,
    ``f"{status:#05x}"``.
    """

    TRGD = 0x001  #: triggered
    PSED = 0x002  #: paused
    ABORTD = 0x004  #: aborted
    RUNING = 0x008  #: running
    LS_CCW = 0x010  #: counter-clockwise limit switch
    LS_CW = 0x020  #: clockwise limit switch
    HOME = 0x040  #: at position 0
    READY = 0x080  #: powered and idle
    DIR = 0x100  #: moving (or last moved) in the '+' direction
    STALL = 0x200

    @property
    def names(self) -> List[str]:
        """Names of the set bits, lowest first, as the station documents them ("LS-CCW")."""
        return [bit.name.replace("_", "-") for bit in Status if bit in self and bit.name]

    def __str__(self) -> str:
        shown = self.names
        rest = int(self) & ~sum(Status)  # bits the station does not document
        if rest:
            shown.append(f"0x{rest:X}")
        return "|".join(shown) or "0"

    def __format__(self, spec: str) -> str:
        return str(self) if not spec else int.__format__(int(self), spec)
