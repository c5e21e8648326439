# SPDX-License-Identifier: MIT
"""The Python package takes the library's numbers from the library (its constants and its
export table) and keeps no copy of its limits; the few copies it keeps (the status bits,
the argument messages) agree with the public header and with the library itself."""

import ctypes
import glob
import io
import os
import re
import tokenize

import pytest

import corvexlink
from corvexlink import Status, _native, errors
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


def test_numbers_and_prototypes_come_from_the_library():
    header = _defines("CORVEXLINK_ERR_")
    assert len(header) >= 20, "the header parse found too few error constants"
    assert {name: getattr(errors, name) for name in header} == header
    assert errors.OPEN_IN_USE == _defines("CORVEXLINK_")["OPEN_IN_USE"]
    with pytest.raises(AttributeError):
        errors.NO_SUCH_NUMBER
    # Every export of the table is declared; none is left to ctypes' guesses.
    assert _native.undeclared == {}
    line_open = _native.function("CorvexLinkLineOpen")
    assert line_open.restype is ctypes.c_int and len(line_open.argtypes) == 4
    assert _native.function("CorvexLinkLineGetErrorMessage").restype is ctypes.c_char_p


LIMITS = ("ADDRESS_", "RATE_", "FIXED_SPEED_MAX", "ACCEL_", "CURRENT_", "COUNT_MAX", "FIFO_SLOPE_", "FIFO_CAPACITY",
          "ADC_RESOLUTION_", "ADC_CHANNELS")


def test_the_package_checks_the_ranges_of_the_librarys_constants(monkeypatch):
    """With the library's limits narrowed, each check follows them: a value just outside
    the narrowed range is refused before anything is sent, one at its edge passes the
    package's checks (and meets the line that is not open). A copy of a limit in the
    package would let the value outside through."""
    narrowed = {"ADDRESS_MAX": 7, "RATE_MIN": 20, "RATE_MAX": 8000, "FIXED_SPEED_MAX": 9000, "ACCEL_MAX": 200,
                "CURRENT_MIN": 100, "CURRENT_MAX": 1500, "COUNT_MAX": 1000, "FIFO_SLOPE_MIN": -100,
                "FIFO_SLOPE_MAX": 100, "ADC_CHANNELS": 5, "ADC_RESOLUTION_MAX": 10}
    library()
    for name, value in narrowed.items():
        monkeypatch.setitem(_native._constants, "CORVEXLINK_" + name, value)
    link = corvexlink.Link()  # never opened
    motor, board = link.motor(0), link.board(0)

    def position(value):
        motor.position = value

    checks = {  # a call: (its values at the edges, its values just outside)
        link.motor: ((7,), (8,)),
        lambda a: link.jog([a]): ((7,), (8,)),
        link.board: ((1,), (2,)),
        lambda v: motor.set_speed(slew=v): ((20, 8000), (19, 8001)),
        lambda v: motor.set_speed(first=v): ((20, 8000), (19, 8001)),
        lambda v: motor.set_speed(accel=v): ((200,), (201,)),
        motor.set_current: ((100, 1500), (99, 1501)),
        motor.move_by: ((-1000, 1000), (-1001, 1001)),
        motor.move_to: ((-1000, 1000), (-1001, 1001)),
        position: ((1000,), (1001,)),
        motor.set_jog_speed: ((9000,), (9001,)),
        corvexlink.Link.fixed_speed: ((20, 9000), (19, 9001)),
        lambda v: motor.queue_profile([(v, 0, 1)]): ((20, 9000), (19, 9001)),
        lambda v: motor.queue_profile([(100, v, 1)]): ((-100, 100), (-101, 101)),
        lambda v: motor.queue_profile([(100, 0, v)]): ((-1000, 1000), (-1001, 1001)),
        lambda channel: board.adc(channel, bits=10): ((7,), (8,)),  # five inputs and three references
        lambda bits: board.adc(0, bits=bits): ((8, 10), (12,)),
        lambda bits: board.adc_all(bits=bits): ((10,), (12,)),
    }
    for call, (edges, outside) in checks.items():
        for value in edges:
            try:
                call(value)
            except corvexlink.PortNotOpenError:
                pass
        for value in outside:
            with pytest.raises(corvexlink.ArgumentError):
                call(value)


def test_no_limit_of_the_header_is_copied_into_the_package():
    """The package's code writes none of the header's larger limits as a number (small
    numbers such as 15 or 16 serve other ends; the test above covers them)."""
    limits = {value for name, value in _native.constants().items()
              if name[len("CORVEXLINK_"):].startswith(LIMITS) and abs(value) > 16}
    assert {8500, 10239, 8388607, 2000, -256} <= limits
    copies = []
    for path in glob.glob(os.path.join(os.path.dirname(corvexlink.__file__), "*.py")):
        with open(path, encoding="utf-8") as f:
            tokens = list(tokenize.generate_tokens(io.StringIO(f.read()).readline))
        for before, token in zip([None] + tokens, tokens):
            if token.type == tokenize.NUMBER and token.string.isdigit():
                value = -int(token.string) if before is not None and before.string == "-" else int(token.string)
                if value in limits or int(token.string) in limits:
                    copies.append(f"{os.path.basename(path)}:{token.start[0]}: {token.line.strip()}")
    assert copies == []


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
