# SPDX-License-Identifier: MIT
"""The frame trace: every frame sent, every answer taken up, repeats and time-outs.

::

    def show(event: corvexlink.TraceEvent) -> None:
        print(event)                       # sent '_0P\\r'

    corvexlink.add_trace_handler(show)
    ...
    corvexlink.remove_trace_handler(show)

The events of a call reach the handler when the call has let go of the line, in the order
they happened, on the thread that made the call (an asyncio link's worker, say): a slow
handler delays that thread alone and no answer is lost. (The library's debug lines come at
once, so in a log they stand before the frames of the same call.) An exception the handler
raises is reported as Python reports exceptions it cannot raise (``sys.unraisablehook``,
printed to stderr by default) and changes nothing on the line. With no handler and no
frame logging the library is not asked to trace at all.
"""

from __future__ import annotations

import atexit
import ctypes
import threading
from dataclasses import dataclass
from typing import Callable, List, Optional

from . import _native

SENT = "sent"
RECEIVED = "received"
REPEAT = "repeat"
TIMEOUT = "timeout"
_KINDS = (SENT, RECEIVED, REPEAT, TIMEOUT)  # in the order of the library's numbers


def escape(data: bytes) -> str:
    """Bytes as readable text: printable ASCII as it is, CR and LF as \\r and \\n, any
    other byte as \\xNN (the simulator's transcript writes them the same way)."""
    out = []
    for byte in data:
        if byte == 0x0D:
            out.append("\\r")
        elif byte == 0x0A:
            out.append("\\n")
        elif 0x20 <= byte < 0x7F and byte != 0x5C:
            out.append(chr(byte))
        elif byte == 0x5C:
            out.append("\\\\")
        else:
            out.append(f"\\x{byte:02X}")
    return "".join(out)


@dataclass(frozen=True)
class TraceEvent:
    """One event of the frame trace."""

    kind: str
    """``"sent"`` (a frame written to the line), ``"received"`` (an answer taken up),
    ``"repeat"`` (a frame sent again after a silence) or ``"timeout"`` (no answer came)."""
    data: bytes
    """The frame (sent, repeat, timeout) or the raw answer (received)."""
    timestamp_ns: int
    """When it happened, in nanoseconds of the monotonic clock (``time.monotonic_ns()``)."""
    since_sent_ns: Optional[int]
    """For received and timeout: the time since the frame was sent; None otherwise."""

    @property
    def since_sent(self) -> Optional[float]:
        """``since_sent_ns`` in seconds."""
        return None if self.since_sent_ns is None else self.since_sent_ns / 1e9

    def __str__(self) -> str:
        text = f"{self.kind} '{escape(self.data)}'"
        if self.since_sent_ns is not None:
            text += f" after {self.since_sent_ns / 1e6:.1f} ms"
        return text


TraceHandler = Callable[[TraceEvent], None]

_lock = threading.Lock()
_handlers: List[TraceHandler] = []
_log_frames_on = False
_callback: Optional[ctypes._CFuncPtr] = None  # kept alive while the library holds it


def _event(raw: "_native.TraceEventStruct") -> TraceEvent:
    data = ctypes.string_at(raw.bytes, raw.length) if raw.length else b""
    kind = _KINDS[raw.kind] if 0 <= raw.kind < len(_KINDS) else f"kind {raw.kind}"
    since = raw.sinceSentNs if raw.sinceSentNs >= 0 else None
    return TraceEvent(kind, data, raw.timestampNs, since)


def _dispatch(pointer, _context) -> None:
    event = _event(pointer.contents)
    if _log_frames_on:
        from .logs import frames_logger

        if frames_logger.isEnabledFor(10):  # logging.DEBUG
            frames_logger.debug("%s", event, extra={"event": event})
    failed: Optional[BaseException] = None
    for handler in list(_handlers):
        try:
            handler(event)
        except Exception as error:  # the other handlers still see the event
            failed = failed or error
    if failed is not None:
        raise failed  # reported through sys.unraisablehook by ctypes


def _update() -> None:
    """Installs the library's handler while anything listens, and removes it otherwise.
    Called under _lock."""
    global _callback
    lib = _native.library()
    wanted = bool(_handlers) or _log_frames_on
    if wanted and _callback is None:
        _callback = _native.TRACE_HANDLER(_dispatch)
        lib.CorvexLinkSetTraceHandler(_callback, None)
    elif not wanted and _callback is not None:
        lib.CorvexLinkSetTraceHandler(None, None)
        _callback = None


def add_trace_handler(handler: TraceHandler) -> None:
    """Calls `handler` with every :class:`TraceEvent` from now on (a handler added twice
    is called twice)."""
    if not callable(handler):
        raise TypeError(f"a trace handler is called with each event; {handler!r} cannot be called")
    with _lock:
        _handlers.append(handler)
        _update()


def remove_trace_handler(handler: TraceHandler) -> None:
    """Stops calling `handler` (once for each time it was added); raises ValueError for a
    handler that was not added."""
    with _lock:
        _handlers.remove(handler)
        _update()


def _log_frames(on: bool) -> None:
    global _log_frames_on
    with _lock:
        _log_frames_on = on
        _update()


@atexit.register
def _forget_handler() -> None:
    # The library may still trace while it unloads, after the interpreter is gone.
    with _lock:
        _handlers.clear()
        global _log_frames_on
        _log_frames_on = False
        if _callback is not None:
            _update()
