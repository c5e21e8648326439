# SPDX-License-Identifier: MIT
"""The library's debug lines and the frames on the line, through Python's logging.

Nothing is logged, and nothing printed, until :func:`enable_logging` is called; then

- ``corvexlink`` receives the library's debug lines (time-outs and repeats, write
  failures, a lost line, a ``ports.conf`` line it cannot read...) at DEBUG; a line about
  one link ends with `` [line <device>]``;
- ``corvexlink.frames`` receives every frame sent and every answer taken up, repeats and
  time-outs, on every link, at DEBUG, as one :class:`TraceEvent` each (the record's
  ``event`` attribute, whose ``line`` names the link)::

    import logging, corvexlink
    logging.basicConfig(level=logging.DEBUG)
    corvexlink.enable_logging()
    # DEBUG:corvexlink.frames:sent '_0P\\r'
    # DEBUG:corvexlink.frames:received '1234\\r\\n>' after 11.9 ms

While logging is enabled, the library's lines go to logging alone: ``CORVEXLINK_DEBUG=1``
no longer writes them to stderr.
"""

from __future__ import annotations

import atexit
import ctypes
import logging
import os
import sys
import threading
from typing import Optional

from . import _native, trace
from .trace import frames_logger  # noqa: F401 - the frames' logger, also known here

logger = logging.getLogger("corvexlink")
logger.addHandler(logging.NullHandler())

_lock = threading.Lock()
_logging = False  # between enable_logging() and disable_logging()
_debug_callback: Optional[ctypes._CFuncPtr] = None  # kept alive while the library holds it


def _text(raw: bytes) -> str:
    """Bytes of the library as text; any byte that is not UTF-8 as \\xNN."""
    return raw.decode("utf-8", "backslashreplace")


def _debug_line(line: Optional[bytes], _context: Optional[int]) -> None:
    # Called by the library on the thread that wrote the line. Takes none of this module's
    # locks: removing the handler (under _lock) waits for the deliveries of other threads.
    text = _text(line or b"").rstrip("\n")
    if _logging:
        logger.debug("%s", text)
    elif os.environ.get("CORVEXLINK_DEBUG") == "1":  # what the library would do without us
        sys.stderr.write(text + "\n")


def _update() -> None:
    """Hands the library our handler while logging is enabled, else its default. Called
    under _lock."""
    global _debug_callback
    wanted = _logging
    if wanted and _debug_callback is None:
        _debug_callback = _native.DEBUG_HANDLER(_debug_line)
        _native.library().CorvexLinkSetDebugHandler(_debug_callback, None)
    elif not wanted and _debug_callback is not None:
        _native.library().CorvexLinkSetDebugHandler(None, None)
        _debug_callback = None


def enable_logging(frames: bool = True) -> None:
    """Sends the library's debug lines to the logger ``corvexlink`` and, with `frames`, the
    frames on the line to ``corvexlink.frames``, both at DEBUG. Configure logging as usual
    to see them (``logging.basicConfig(level=logging.DEBUG)``)."""
    global _logging
    with _lock:
        _logging = True
        _update()
    trace.log_frames(frames)


def disable_logging() -> None:
    """Undoes :func:`enable_logging`: the debug lines go back to the library's default
    (stderr when ``CORVEXLINK_DEBUG=1``), the frames are no longer logged."""
    global _logging
    trace.log_frames(False)
    with _lock:
        _logging = False
        _update()


def logging_enabled() -> bool:
    """True between :func:`enable_logging` and :func:`disable_logging`."""
    return _logging


@atexit.register
def _forget_handlers() -> None:
    # The library may write a line while it unloads, after the interpreter is gone.
    global _logging
    with _lock:
        _logging = False
        if _debug_callback is not None:
            _update()
