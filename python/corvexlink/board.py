# SPDX-License-Identifier: MIT
"""Board: one Corvex-B board of a link, with its user I/O, analog inputs and SPI bus."""

from __future__ import annotations

import ctypes
from typing import TYPE_CHECKING, List

from . import checks
from ._native import encode
from .checks import check_range, limit
from .errors import ArgumentError

if TYPE_CHECKING:
    from .link import Link


class Board:
    """One Corvex-B board: four stations 4k..4k+3. Its master (4k) has the analog inputs,
    its user-I/O controller (4k+1) the SPI bus; 4k+1..4k+3 carry the user I/O ports."""

    def __init__(self, link: "Link", index: int) -> None:
        self.link = link  # every command goes through it, so it reaches only its own line
        boards = (limit("ADDRESS_MAX") - limit("ADDRESS_MIN") + 1) // checks.STATIONS_PER_BOARD
        self.index = check_range("board", index, 0, boards - 1)
        self.master = limit("ADDRESS_MIN") + checks.STATIONS_PER_BOARD * self.index
        self.user_io = self.master + 1
        self._master_text = encode(str(self.master))
        self._user_io_text = encode(str(self.user_io))

    def __repr__(self) -> str:
        return f"Board({self.index})"

    def _port(self, port: int) -> bytes:
        return encode(str(self.master + check_range("user I/O port", port, 1, checks.USER_IO_PORTS)))

    # Digital user I/O
    def read_inputs(self, port: int = 1) -> int:
        """The user inputs of port 1, 2 or 3 (controller 4k+port)."""
        return self.link._read("ReadDigitalUserIO", self._port(port))

    def write_outputs(self, value: int, port: int = 1) -> None:
        """Writes the user outputs of port 1, 2 or 3."""
        self.link._call("WriteDigitalUserIO", self._port(port), check_range("output value", value, 0, checks.WORD_MAX))

    def configure_io(self, config: int, port: int = 1) -> None:
        """Configures the user I/O of port 1, 2 or 3."""
        self.link._call(
            "ConfigureDigitalUserIO", self._port(port), check_range("configuration", config, 0, checks.WORD_MAX)
        )

    # Analog inputs
    def adc(self, channel: int, bits: int = 12) -> int:
        """One analog channel (0-10; 11-13 the references) at 8, 10 or 12 bits."""
        resolutions = tuple(range(limit("ADC_RESOLUTION_MIN"), limit("ADC_RESOLUTION_MAX") + 1, 2))
        if bits not in resolutions:
            raise ArgumentError(f"resolution must be one of {resolutions} bits, not {bits!r}")
        last = limit("ADC_CHANNELS") + checks.ADC_REFERENCES - 1
        return self.link._read("GetADCchannel", self._master_text, bits, check_range("channel", channel, 0, last))

    def adc_all(self, bits: int = 12) -> List[int]:
        """All eleven analog channels at 10 or 12 bits."""
        resolutions = tuple(range(limit("ADC_RESOLUTION_MIN") + 2, limit("ADC_RESOLUTION_MAX") + 1, 2))
        if bits not in resolutions:
            raise ArgumentError(f"all channels are read at one of {resolutions} bits, not {bits!r}")
        values = (ctypes.c_int32 * limit("ADC_CHANNELS"))()
        self.link._call("ReadAllChannelsADC", self._master_text, bits, values)
        return list(values)

    # SPI bus of the user-I/O controller
    def spi_configure(self, config: int) -> None:
        """Configures the SPI of the board's user-I/O controller."""
        self.link._call("ConfigureSPI", self._user_io_text, check_range("configuration", config, 0, checks.WORD_MAX))

    def spi_read(self) -> int:
        """Reads the SPI bus."""
        return self.link._read("ReadSPI", self._user_io_text)

    def spi_write(self, value: int) -> None:
        """Writes a value on the SPI bus."""
        self.link._call("WriteSPI", self._user_io_text, check_range("value", value, 0, checks.WORD_MAX))
