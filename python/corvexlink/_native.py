# SPDX-License-Identifier: MIT
"""Loading libCorvexLink.so.2: its functions declared from the library's own export table
(CorvexLinkGetExports) and its header's constants read from the library
(CorvexLinkGetConstants), so the package keeps no copy of either."""

from __future__ import annotations

import ctypes
import os
import threading
from typing import Dict, List, Optional

from .errors import CorvexLinkError

LIBRARY_NAME = "libCorvexLink.so.2"

# void (*)(const char *line, void *context): the library's debug lines.
DEBUG_HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)


class TraceEventStruct(ctypes.Structure):
    """CorvexLinkTraceEvent: one event of a line's frame trace."""

    _fields_ = [
        ("kind", ctypes.c_int),
        ("bytes", ctypes.POINTER(ctypes.c_ubyte)),
        ("length", ctypes.c_size_t),
        ("timestampNs", ctypes.c_uint64),
        ("sinceSentNs", ctypes.c_int64),
        ("line", ctypes.c_char_p),
    ]


# void (*)(const CorvexLinkTraceEvent *event, void *context): the frame trace.
TRACE_HANDLER = ctypes.CFUNCTYPE(None, ctypes.POINTER(TraceEventStruct), ctypes.c_void_p)

_load_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_library_path: Optional[str] = None
_constants: Dict[str, int] = {}
_structures: Dict[str, type] = {}
# Exports whose prototype names a type this package cannot pass: name -> the C text.
undeclared: Dict[str, str] = {}


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


def parse_constants(text: str) -> Dict[str, int]:
    """The "NAME=value" lines of CorvexLinkGetConstants as numbers ("(-1)" and "0x001" too)."""
    found = {}
    for line in text.splitlines():
        name, _, value = line.partition("=")
        try:
            found[name.strip()] = int(value.strip().strip("()"), 0)
        except ValueError:  # not a whole number: no range or code of this package's
            continue
    return found


def _make_structures(constants: Dict[str, int]) -> Dict[str, type]:
    """The structures of the header whose text fields are sized by its constants."""
    path = constants["CORVEXLINK_PORT_PATH_SIZE"]
    text = constants["CORVEXLINK_PORT_TEXT_SIZE"]

    class CorvexLinkResult(ctypes.Structure):
        _fields_ = [
            ("number", ctypes.c_int32),
            ("reason", ctypes.c_int32),
            ("message", ctypes.c_char * constants["CORVEXLINK_ERROR_MESSAGE_SIZE"]),
            ("device", ctypes.c_char * path),
            ("detail", ctypes.c_char * constants["CORVEXLINK_ERROR_MESSAGE_SIZE"]),
        ]

    class CorvexLinkPortInfo(ctypes.Structure):
        _fields_ = [
            ("device", ctypes.c_char * path),
            ("stableName", ctypes.c_char * path),
            ("driver", ctypes.c_char * text),
            ("manufacturer", ctypes.c_char * text),
            ("product", ctypes.c_char * text),
            ("serialNumber", ctypes.c_char * text),
            ("usb", ctypes.c_int32),
            ("vendorId", ctypes.c_int32),
            ("productId", ctypes.c_int32),
            ("port", ctypes.c_int32),
        ]

    return {"CorvexLinkResult": CorvexLinkResult, "CorvexLinkPortInfo": CorvexLinkPortInfo}


def _c_types(structures: Dict[str, type]) -> Dict[str, object]:
    """The C types of the export table (spaces normalised) and how ctypes passes them.
    Handlers and lines go as plain pointers, so that None removes a handler."""
    return {
        "void": None,
        "int": ctypes.c_int,
        "int32_t": ctypes.c_int32,
        "int32_t *": ctypes.POINTER(ctypes.c_int32),
        "const char *": ctypes.c_char_p,
        "char *": ctypes.c_char_p,
        "void *": ctypes.c_void_p,
        "CorvexLinkLine *": ctypes.c_void_p,
        "CorvexLinkLine **": ctypes.POINTER(ctypes.c_void_p),
        "CorvexLinkResult *": ctypes.POINTER(structures["CorvexLinkResult"]),
        "CorvexLinkPortInfo *": ctypes.POINTER(structures["CorvexLinkPortInfo"]),
        "CorvexLinkDebugHandler": ctypes.c_void_p,
        "CorvexLinkTraceHandler": ctypes.c_void_p,
    }


def _type_text(declaration: str) -> str:
    """The type of one C parameter declaration, in one spelling: "const char *address" ->
    "const char *", "CorvexLinkLine** line" -> "CorvexLinkLine **", "int" -> "int"."""
    tokens = declaration.replace("*", " * ").split()
    if len(tokens) > 1 and tokens[-1] != "*":
        tokens = tokens[:-1]  # the parameter's name
    words = [token for token in tokens if token != "*"]
    stars = len(tokens) - len(words)
    return " ".join(words) + (" " + "*" * stars if stars else "")


def declare(lib: ctypes.CDLL, table: str, types: Dict[str, object]) -> Dict[str, str]:
    """Gives every function of the export table ("since|type|name|(params)" a line) its
    argument and result types. Returns the functions left undeclared, with their prototype,
    because a type is unknown here (calling one of those raises instead of guessing)."""
    unknown = {}
    for row in table.splitlines():
        fields = row.split("|")
        if len(fields) != 4 or not fields[3]:  # a variable (Form2), or not a row
            continue
        _since, result, name, params = (field.strip() for field in fields)
        inner = params.strip()[1:-1].strip()
        pieces = [] if inner in ("", "void") else [_type_text(piece) for piece in inner.split(",")]
        wanted = [_type_text(result + " x")] + pieces
        if any(piece not in types for piece in wanted):
            unknown[name] = f"{result} {name}{params}"
            continue
        function = getattr(lib, name)
        function.restype = types[wanted[0]]
        function.argtypes = [types[piece] for piece in pieces]
    return unknown


def library() -> ctypes.CDLL:
    """The loaded library (loaded and declared on first use)."""
    global _library, _library_path
    if _library is not None:
        return _library
    with _load_lock:
        if _library is not None:
            return _library
        reasons = []
        for candidate in _candidates():
            try:
                loaded = ctypes.CDLL(candidate)
            except OSError as error:
                reasons.append(str(error))
                continue
            try:
                exports, constants = loaded.CorvexLinkGetExports, loaded.CorvexLinkGetConstants
            except AttributeError:
                reasons.append(f"{candidate}: a library older than 2.1.1 (no CorvexLinkGetExports)")
                continue
            exports.restype = constants.restype = ctypes.c_char_p
            exports.argtypes = constants.argtypes = []
            _constants.update(parse_constants(constants().decode("ascii")))
            _structures.update(_make_structures(_constants))
            undeclared.update(declare(loaded, exports().decode("ascii"), _c_types(_structures)))
            _library_path = candidate
            _library = loaded
            return loaded
    raise CorvexLinkError(
        "cannot load the CorvexLink library (set CORVEXLINK_LIBRARY to its path): " + "; ".join(reasons)
    )


def function(name: str):
    """The library's function `name`, declared from the export table."""
    lib = library()
    if name in undeclared:
        raise CorvexLinkError(f"{undeclared[name]}: this package cannot pass one of its types")
    return getattr(lib, name)


def constant(name: str) -> int:
    """The value of the header's constant CORVEXLINK_<name> (``constant("RATE_MAX")``)."""
    library()
    return _constants["CORVEXLINK_" + name]


def constants() -> Dict[str, int]:
    """Every constant of the header, by its full name."""
    library()
    return dict(_constants)


def structure(name: str) -> type:
    """The ctypes structure of the header's `name` (CorvexLinkResult, CorvexLinkPortInfo)."""
    library()
    return _structures[name]


def library_path() -> str:
    """The library this process uses, loading it first if need be: the path it was loaded
    from, or its bare name when the system's loader found it."""
    library()
    assert _library_path is not None
    return _library_path


def encode(text: str) -> bytes:
    """A text argument as the library reads it (8-bit)."""
    return text.encode("latin-1")
