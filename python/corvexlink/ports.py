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

# Sizes of the text fields of CorvexLinkPortInfo (CorvexLink.h).
PORT_PATH_SIZE = 512
PORT_TEXT_SIZE = 384


class _PortInfo(ctypes.Structure):
    _fields_ = [
        ("device", ctypes.c_char * PORT_PATH_SIZE),
        ("stableName", ctypes.c_char * PORT_PATH_SIZE),
        ("driver", ctypes.c_char * PORT_TEXT_SIZE),
        ("manufacturer", ctypes.c_char * PORT_TEXT_SIZE),
        ("product", ctypes.c_char * PORT_TEXT_SIZE),
        ("serialNumber", ctypes.c_char * PORT_TEXT_SIZE),
        ("usb", ctypes.c_int32),
        ("vendorId", ctypes.c_int32),
        ("productId", ctypes.c_int32),
        ("port", ctypes.c_int32),
    ]


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


def _declare(lib: ctypes.CDLL) -> None:
    lib.PortList.argtypes = [ctypes.POINTER(_PortInfo), ctypes.c_int]
    lib.PortList.restype = ctypes.c_int
    lib.PortDevice.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
    lib.PortDevice.restype = ctypes.c_int


def ports() -> List[SerialPort]:
    """The serial devices of the machine, in natural order of their names.

    Opens no device and needs no open port."""
    lib = _native.library()
    _declare(lib)
    capacity = 0
    while True:
        array = (_PortInfo * max(capacity, 1))()
        count = lib.PortList(array, capacity)
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
    lib = _native.library()
    _declare(lib)
    buffer = ctypes.create_string_buffer(4096)
    if lib.PortDevice(port, buffer, len(buffer)) != 1:
        raise ArgumentError(f"no device for port {port}")
    return os.fsdecode(buffer.value)
