# SPDX-License-Identifier: MIT
"""Loading libCorvexLink.so.2 and declaring the C functions that this package calls."""

from __future__ import annotations

import ctypes
import os
import re
import threading
from typing import List, Optional, Tuple

from .errors import CorvexLinkError, error_for

LIBRARY_NAME = "libCorvexLink.so.2"

_c_int = ctypes.c_int
_c_int32 = ctypes.c_int32
_text = ctypes.c_char_p
_out = ctypes.POINTER(ctypes.c_int32)

# void (*)(const char *line, void *context): the library's debug lines.
DEBUG_HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)


class TraceEventStruct(ctypes.Structure):
    """CorvexLinkTraceEvent: one event of the library's frame trace."""

    _fields_ = [
        ("kind", ctypes.c_int),
        ("bytes", ctypes.POINTER(ctypes.c_ubyte)),
        ("length", ctypes.c_size_t),
        ("timestampNs", ctypes.c_uint64),
        ("sinceSentNs", ctypes.c_int64),
    ]


# void (*)(const CorvexLinkTraceEvent *event, void *context): the frame trace.
TRACE_HANDLER = ctypes.CFUNCTYPE(None, ctypes.POINTER(TraceEventStruct), ctypes.c_void_p)

# name: (argument types); every function returns int unless listed in _RESTYPES.
_PROTOTYPES = {
    # The handlers go as plain pointers, so that None removes them.
    "CorvexLinkSetDebugHandler": (ctypes.c_void_p, ctypes.c_void_p),
    "CorvexLinkSetTraceHandler": (ctypes.c_void_p, ctypes.c_void_p),
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

# A stop does not wait for call_lock while another thread's call is inside the library: the
# library sends it between that call's transactions and keeps its result and error state
# for the stopping thread. _gate counts both sides, so the thread that holds call_lock reads
# its error state only when no such stop is under way (see stop_first).
_gate = threading.Condition(threading.Lock())
_exports = 0  # calls of the call_lock holder inside the library (more than 1: nested)
_stops = 0  # stops sent beside them
_STOP_FRAME = re.compile(rb"_[0-9A-F]H\r")

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
    with call_lock:
        result, beside = invoke(name, *arguments)
        if result == -1:
            raise last_error(name, beside)
        return result


def invoke(name: str, *arguments: object) -> Tuple[int, bool]:
    """Calls `name` (the caller holds call_lock); returns its result and whether a stop of
    another thread was sent beside it (see last_error)."""
    lib = library()
    nested = _enter()
    try:
        result = getattr(lib, name)(*arguments)
    finally:
        beside = _leave(nested)
    return result, beside


def _enter() -> bool:
    """Marks a call of the call_lock holder as inside the library; True when nested."""
    global _exports
    with _gate:
        nested = _exports > 0
        while _stops and not nested:  # a stop still on its way finishes first
            _gate.wait()
        _exports += 1
        return nested


def _leave(nested: bool) -> bool:
    """Ends _enter, waiting for the stops sent beside the call; True when there were any."""
    global _exports
    with _gate:
        _exports -= 1
        beside = _stops > 0
        while _stops and not nested:
            _gate.wait()
        return beside


def stop_first(name: str, *arguments: object) -> int:
    """Calls the stop `name` without waiting for another thread's call to end: while one is
    inside the library, the stop is sent between its transactions. Otherwise as call()."""
    global _stops
    lib = library()
    if call_lock.acquire(blocking=False):
        try:
            return call(name, *arguments)
        finally:
            call_lock.release()
    with _gate:
        beside = _exports > 0
        if beside:
            _stops += 1
    if not beside:  # the holder is between two calls: a moment's wait
        return call(name, *arguments)
    try:
        result = getattr(lib, name)(*arguments)
        if result == -1:
            raise last_error(name)  # the stop's own error state, on this thread
        return result
    finally:
        with _gate:
            _stops -= 1
            _gate.notify_all()


def last_error(name: str, beside_a_stop: bool = False) -> CorvexLinkError:
    """The exception for the library's current error state after `name` failed.

    With `beside_a_stop`, a stop of another thread was sent beside the call. Had it reached
    the library just after the call ended, it ran as a call of its own and its state
    replaced the call's: the last frame then is the stop's, and the call's own reason is
    lost, which the exception says rather than report the stop's as the call's."""
    lib = library()
    if beside_a_stop and name != "MotorStop":
        latest = ctypes.create_string_buffer(256)
        lib.GetLastestCommand(latest)
        if _STOP_FRAME.fullmatch(latest.value):
            return CorvexLinkError(
                f"{name} failed; a stop from another thread ended just after it and its error state "
                "replaced the reason"
            )
    message = (lib.ZelmarGetErrorMessage() or b"").decode("latin-1")
    return error_for(lib.ZelmarGetNumberError(), message, name)


def encode(text: str) -> bytes:
    """A text argument as the library reads it (8-bit)."""
    return text.encode("latin-1")
