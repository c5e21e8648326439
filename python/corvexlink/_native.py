# SPDX-License-Identifier: MIT
"""Loading libCorvexLink.so.2 and declaring the C functions that this package calls."""

from __future__ import annotations

import ctypes
import os
import threading
from typing import List, Optional

from .errors import CorvexLinkError, error_for

LIBRARY_NAME = "libCorvexLink.so.2"

_c_int = ctypes.c_int
_c_int32 = ctypes.c_int32
_text = ctypes.c_char_p
_out = ctypes.POINTER(ctypes.c_int32)

# void (*)(const char *line, void *context): the library's debug lines.
DEBUG_HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)


# name: (argument types); every function returns int unless listed in _RESTYPES.
_PROTOTYPES = {
    # The handlers go as plain pointers, so that None removes them.
    "CorvexLinkSetDebugHandler": (ctypes.c_void_p, ctypes.c_void_p),
    "PortOpen": (_c_int, _c_int),
    "PortClose": (),
    "ZelmarGetPort": (),
    "ZelmarGetBaudRate": (),
    "WriteCommandtoKX4417": (_text,),
    "ZelmarGetValue": (),
    "ZelmarGetNumberError": (),
    "ZelmarGetErrorMessage": (),
    "GetLastestCommand": (ctypes.c_char_p,),
    "ZelmarChangeBaudRate": (_c_int,),
    "MotorSetCurrent": (_text, _c_int),
    "MotorSpeed": (_text, _c_int, _c_int, _c_int),
    "MotorConfigureMode": (_text, _c_int),
    "GetMotorDirection": (_text,),
    "MotorDirection": (_text, _c_int),
    "MotorSlewRate": (_text, _c_int),
    "MotorFirstRate": (_text, _c_int),
    "MotorAccelDecel": (_text, _c_int),
    "MotorChangeJogSpeed": (_text, _c_int),
    "MotorNumberStepRel": (_text, _c_int32),
    "MotorGoAbsPos": (_text, _c_int32),
    "MotorJog": (_text, _c_int),
    "MotorRepeat": (_text,),
    "MotorStop": (_text,),
    "MotorSoftReset": (_text,),
    "MotorGetPosition": (_text, _out),
    "MotorSetPosition": (_text, _c_int32),
    "MotorGetStatusRegister": (_text, _out),
    "EncoderSetPosition": (_text, _c_int32),
    "EncoderGetPosition": (_text, _out),
    "MotorPowerON": (_text, _c_int),
    "MotorPowerOFF": (_text,),
    "GetFixedSpeed": (_c_int,),
    "GetConnectedControllers": (ctypes.c_char_p,),
    "CheckControllerAddress": (_text,),
    "MotorStationsInit": (),
    "MotorTriggerON": (_text,),
    "MotorTriggerOFF": (_text,),
    "MotorPauseON": (_text,),
    "MotorPauseOFF": (_text,),
    "ConfigureSPI": (_text, _c_int),
    "ReadSPI": (_text, _out),
    "WriteSPI": (_text, _c_int),
    "ReadDigitalUserIO": (_text, _out),
    "ConfigureDigitalUserIO": (_text, _c_int),
    "WriteDigitalUserIO": (_text, _c_int),
    "GetADCchannel": (_text, _c_int, _c_int, _out),
    "ReadAllChannelsADC": (_text, _c_int, _out),
    "FIFOReset": (_text,),
    "FIFOGetIndexCounter": (_text, _out),
    "FIFOGetRemainingBytes": (_text, _out),
    "FIFOMotorNumberStepRel": (_text, _c_int32, _out),
    "FIFOMotorGoAbsPos": (_text, _c_int32, _out),
    "FIFOMotorFirstRate": (_text, _c_int, _out),
    "FIFOMotorSlewRate": (_text, _c_int, _out),
    "FIFOMotorSlope": (_text, _c_int, _out),
    "FIFOMotorRepeat": (_text, _out),
    "FIFOMotorWait": (_text, _c_int, _out),
}
_RESTYPES = {"ZelmarGetErrorMessage": ctypes.c_char_p}

# The library serialises its own calls; this lock keeps a call and the reading of its
# error state together when several Python threads share the library.
call_lock = threading.RLock()

_library: Optional[ctypes.CDLL] = None
_library_path: Optional[str] = None


def _candidates() -> List[str]:
    """Where the library is looked for, in order: the file named by CORVEXLINK_LIBRARY
    (alone), else the copy a wheel bundles beside this file, else the one the package was
    installed with (a path written by the installation), else the system's."""
    named = os.environ.get("CORVEXLINK_LIBRARY")
    if named:
        return [named]
    here = os.path.dirname(os.path.abspath(__file__))
    candidates = []
    bundled = os.path.join(here, LIBRARY_NAME)
    if os.path.isfile(bundled):
        candidates.append(bundled)
    try:
        from ._install import LIBRARY_RELATIVE_PATH  # written by the installation
    except ImportError:
        LIBRARY_RELATIVE_PATH = None
    if LIBRARY_RELATIVE_PATH:
        candidates.append(os.path.normpath(os.path.join(here, LIBRARY_RELATIVE_PATH)))
    candidates.append(LIBRARY_NAME)
    return candidates


def library() -> ctypes.CDLL:
    """The loaded library (loaded on first use)."""
    global _library, _library_path
    if _library is not None:
        return _library
    with call_lock:
        if _library is not None:
            return _library
        reasons = []
        for candidate in _candidates():
            try:
                loaded = ctypes.CDLL(candidate)
            except OSError as error:
                reasons.append(str(error))
                continue
            for name, arguments in _PROTOTYPES.items():
                function = getattr(loaded, name)
                function.argtypes = list(arguments)
                function.restype = _RESTYPES.get(name, ctypes.c_int)
            _library_path = candidate
            _library = loaded
            return loaded
    raise CorvexLinkError(
        "cannot load the CorvexLink library (set CORVEXLINK_LIBRARY to its path): " + "; ".join(reasons)
    )


def library_path() -> str:
    """The library this process uses, loading it first if need be: the path it was loaded
    from, or its bare name when the system's loader found it."""
    library()
    assert _library_path is not None
    return _library_path


def call(name: str, *arguments: object) -> int:
    """Calls `name` and raises the matching CorvexLinkError when it returns -1."""
    lib = library()
    with call_lock:
        result = getattr(lib, name)(*arguments)
        if result == -1:
            raise last_error(name)
        return result


def last_error(name: str) -> CorvexLinkError:
    """The exception for the library's current error state after `name` failed."""
    lib = library()
    message = (lib.ZelmarGetErrorMessage() or b"").decode("latin-1")
    return error_for(lib.ZelmarGetNumberError(), message, name)


def encode(text: str) -> bytes:
    """A text argument as the library reads it (8-bit)."""
    return text.encode("latin-1")
