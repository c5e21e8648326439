# SPDX-License-Identifier: MIT
"""The serial devices of the machine and the COM numbers that open them.

::

    for p in corvexlink.ports():
        print(p.port, p.device, p.stable_name, p.product)
    corvexlink.port_device(1)      # '/dev/serial/by-id/usb-...' or '/dev/ttyS0'
"""

from __future__ import annotations

import ctypes
import os
from dataclasses import dataclass
from typing import List, Optional

from . import _native
from .errors import ArgumentError

@dataclass(frozen=True)
class SerialPort:
    """One serial device. Texts the system does not know are ``""``; the USB fields are
    ``None`` for devices that are not USB adapters."""

    device: str
    stable_name: str
    driver: str
    port: Optional[int]  # n of the COM<n> that opens this device, None when none does
    usb: bool
    vendor_id: Optional[int]
    product_id: Optional[int]
    manufacturer: str
    product: str
    serial_number: str


def _text(raw: bytes) -> str:
    return raw.decode("utf-8", errors="replace")


def ports() -> List[SerialPort]:
    """The serial devices of the machine, in natural order of their names.

    Opens no device and needs no open port."""
    port_list = _native.function("PortList")
    info_type = _native.structure("CorvexLinkPortInfo")
    capacity = 0
    while True:
        array = (info_type * max(capacity, 1))()
        count = port_list(array, capacity)
        if count < 0:
            raise ArgumentError("PortList refused its arguments")
        if count <= capacity:
            break
        capacity = count + 4  # an adapter may be plugged in between two calls
    found = []
    for info in array[:count]:
        usb = info.usb != 0
        found.append(
            SerialPort(
                device=os.fsdecode(info.device),
                stable_name=os.fsdecode(info.stableName),
                driver=_text(info.driver),
                port=info.port if info.port > 0 else None,
                usb=usb,
                vendor_id=info.vendorId if usb else None,
                product_id=info.productId if usb else None,
                manufacturer=_text(info.manufacturer),
                product=_text(info.product),
                serial_number=_text(info.serialNumber),
            )
        )
    return found


def port_device(port: int) -> str:
    """The device path (or network name, such as ``rfc2217://HOST:PORT``) that COM<port>
    opens, from CORVEXLINK_COM<port>, ports.conf or the /dev/ttyS<port-1> fallback. Raises
    ArgumentError for a port below 1."""
    buffer = ctypes.create_string_buffer(_native.constant("PORT_PATH_SIZE"))
    if _native.function("PortDevice")(port, buffer, len(buffer)) != 1:
        raise ArgumentError(f"no device for port {port}")
    return os.fsdecode(buffer.value)
