# SPDX-License-Identifier: MIT
"""The frame trace: every frame sent, every answer taken up, repeats and time-outs.

::

    def show(event: corvexlink.TraceEvent) -> None:
        print(event.line, event)           # /dev/ttyUSB0 sent '_0P\\r'

    corvexlink.add_trace_handler(show)     # the events of every link
    ...
    corvexlink.remove_trace_handler(show)

    link.add_trace_handler(show)           # the events of one link

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
import logging
import os
import threading
import weakref
from dataclasses import dataclass
from typing import TYPE_CHECKING, Callable, Dict, List, Optional

from . import _native

if TYPE_CHECKING:
    from .link import Link

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
    line: Optional[str] = None
    """The device of the link the event happened on, as the link was opened ("COM1",
    "/dev/ttyUSB0", "rfc2217://lab-pi.local:4001")."""

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

frames_logger = logging.getLogger("corvexlink.frames")

_lock = threading.Lock()
_handlers: List[TraceHandler] = []  # called with the events of every link
_log_frames_on = False
# The open links by the handle of their line, which is also the context their events come
# with. Read by the deliveries without the lock.
_links: Dict[int, "weakref.ReferenceType[Link]"] = {}
# The one C function every line is given. Made on first use and kept for the life of the
# process: a line may deliver an event on another thread up to the moment it is closed.
_callback: Optional[ctypes._CFuncPtr] = None


def _event(raw: "_native.TraceEventStruct") -> TraceEvent:
    data = ctypes.string_at(raw.bytes, raw.length) if raw.length else b""
    kind = _KINDS[raw.kind] if 0 <= raw.kind < len(_KINDS) else f"kind {raw.kind}"
    since = raw.sinceSentNs if raw.sinceSentNs >= 0 else None
    line = os.fsdecode(raw.line) if raw.line is not None else None
    return TraceEvent(kind, data, raw.timestampNs, since, line)


def _dispatch(pointer, context) -> None:
    # Called by the library on the thread that made the call; takes none of this module's
    # locks, since removing a handler waits for the deliveries of other threads.
    event = _event(pointer.contents)
    if _log_frames_on and frames_logger.isEnabledFor(logging.DEBUG):
        frames_logger.debug("%s", event, extra={"event": event})
    owner = _links.get(context or 0)
    link = owner() if owner is not None else None
    failed: Optional[BaseException] = None
    for handler in list(_handlers) + (list(link._trace_handlers) if link is not None else []):
        try:
            handler(event)
        except Exception as error:  # the other handlers still see the event
            failed = failed or error
    if failed is not None:
        raise failed  # reported through sys.unraisablehook by ctypes


def tracing(link: "Link") -> bool:
    """True while the library traces the line of `link` for this package."""
    return link._traced


def _apply(link: "Link") -> None:
    """Gives the link's line the package's handler while anything listens to it, and takes
    it back otherwise. Called under _lock."""
    global _callback
    handle = link._handle
    wanted = handle is not None and (bool(_handlers) or _log_frames_on or bool(link._trace_handlers))
    if handle is None or wanted == link._traced:
        return
    if wanted and _callback is None:
        _callback = _native.TRACE_HANDLER(_dispatch)
    _native.function("CorvexLinkLineSetTraceHandler")(handle, _callback if wanted else None, handle)
    link._traced = wanted


def _apply_all() -> None:
    for owner in list(_links.values()):
        link = owner()
        if link is not None:
            _apply(link)


def attach(link: "Link") -> None:
    """A link has opened: its events reach the handlers from now on."""
    with _lock:
        _links[link._handle] = weakref.ref(link)
        link._traced = False
        _apply(link)


def detach(handle: int) -> None:
    """The link of `handle` is about to close its line (which drops the line's handler).
    Takes no lock: a link collected on any thread, at any moment, closes its line here."""
    owner = _links.pop(handle, None)
    link = owner() if owner is not None else None
    if link is not None:
        link._traced = False


def add_trace_handler(handler: TraceHandler) -> None:
    """Calls `handler` with every :class:`TraceEvent` of every link from now on (a handler
    added twice is called twice). :meth:`corvexlink.Link.add_trace_handler` takes the
    events of one link."""
    _check(handler)
    with _lock:
        _handlers.append(handler)
        _apply_all()


def remove_trace_handler(handler: TraceHandler) -> None:
    """Stops calling `handler` (once for each time it was added); raises ValueError for a
    handler that was not added."""
    with _lock:
        _handlers.remove(handler)
        _apply_all()


def add_link_handler(link: "Link", handler: TraceHandler) -> None:
    _check(handler)
    with _lock:
        link._trace_handlers.append(handler)
        _apply(link)


def remove_link_handler(link: "Link", handler: TraceHandler) -> None:
    with _lock:
        link._trace_handlers.remove(handler)
        _apply(link)


def _check(handler: TraceHandler) -> None:
    if not callable(handler):
        raise TypeError(f"a trace handler is called with each event; {handler!r} cannot be called")


def log_frames(on: bool) -> None:
    """Sends every link's events to the logger ``corvexlink.frames`` at DEBUG, or stops."""
    global _log_frames_on
    with _lock:
        _log_frames_on = on
        _apply_all()


def frames_logged() -> bool:
    return _log_frames_on


@atexit.register
def _forget_handlers() -> None:
    # The library may still trace while it unloads, after the interpreter is gone.
    global _log_frames_on
    with _lock:
        _handlers.clear()
        _log_frames_on = False
        for owner in list(_links.values()):
            link = owner()
            if link is not None:
                link._trace_handlers.clear()
                _apply(link)
