# SPDX-License-Identifier: MIT
"""The copies the Python package keeps of the library's numbers and texts (it loads the
library without its header) agree with the public header and with the library itself."""

import ctypes
import os
import re

import corvexlink
from corvexlink import Status, errors
from corvexlink._native import library

HEADER = os.path.join(os.environ["CORVEXLINK_SOURCE_DIR"], "library/include/CorvexLink.h")


def _header() -> str:
    with open(HEADER, encoding="utf-8") as f:
        return f.read()


def _defines(prefix: str) -> dict:
    """name (without `prefix`) -> value of every `#define <prefix>NAME value` of the header."""
    found = {}
    for name, value in re.findall(r"^#define " + prefix + r"(\w+)\s+\(?(-?(?:0x)?[0-9A-Fa-f]+)\)?", _header(), re.M):
        found[name] = int(value, 0)
    return found


def test_error_numbers_match_the_header():
    header = _defines("CORVEXLINK_ERR_")
    assert len(header) >= 20, "the header parse found too few error constants"
    python = {name: getattr(errors, name) for name in header if hasattr(errors, name)}
    assert python == header, "errors.py lacks or differs from these header constants"


def test_status_bits_and_names_match_the_header():
    header = {name: value for name, value in _defines("CORVEXLINK_STATUS_").items() if name != "BIT_COUNT"}
    assert {bit.name: bit.value for bit in Status} == header
    array = re.search(r"CorvexLinkStatusBitName\(int bit\)\s*\{[^{]*\{([^}]*)\}", _header())
    assert array is not None, "CorvexLinkStatusBitName not found in the header"
    shown = re.findall(r'"([^"]+)"', array.group(1))
    assert len(shown) == _defines("CORVEXLINK_STATUS_")["BIT_COUNT"]
    # Status.names shows each bit under the header's name for it, and so does str().
    every = Status(sum(1 << i for i in range(len(shown))))
    assert every.names == shown and str(every) == "|".join(shown)


def test_a_status_prints_its_bit_names_and_stays_a_number():
    status = Status(0x188)
    assert str(status) == "RUNING|READY|DIR" and f"{status}" == "RUNING|READY|DIR"
    assert f"{status:#05x}" == "0x188" and status == 392 and status & Status.RUNING
    assert str(Status(0)) == "0" and str(Status(0x410)) == "LS-CCW|0x400"


def test_every_argument_check_of_the_library_is_an_argument_error():
    """Each check the library makes before sending is provoked through the C functions
    themselves (not the package's own checks), and its message is classified as such."""
    lib = library()
    out = ctypes.c_int32(0)
    refusals = {
        "MotorStop": lambda: lib.MotorStop(b"99"),
        "MotorGetPosition": lambda: lib.MotorGetPosition(b"ALL", ctypes.byref(out)),
        "MotorSetCurrent": lambda: lib.MotorSetCurrent(b"0", 10),
        "GetADCchannel": lambda: lib.GetADCchannel(b"0", 9, 0, ctypes.byref(out)),
        "FIFOMotorSlope": lambda: lib.FIFOMotorSlope(b"0", 300, ctypes.byref(out)),
        "MotorSlewRate": lambda: lib.MotorSlewRate(b"0", 5),
        "MotorFirstRate": lambda: lib.MotorFirstRate(b"0", 9000),
    }
    messages = set()
    for name, refuse in refusals.items():
        assert refuse() == -1, name
        message = lib.ZelmarGetErrorMessage().decode("latin-1")
        messages.add(message)
        error = errors.error_for(lib.ZelmarGetNumberError(), message, name)
        assert isinstance(error, corvexlink.ArgumentError), (name, message)
        assert error.message == message
    assert messages == set(errors._ARGUMENT_MESSAGES)
