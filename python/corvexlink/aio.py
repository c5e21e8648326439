# SPDX-License-Identifier: MIT
"""corvexlink for asyncio: the same Link, Motor and Board, with awaitable methods.

::

    import asyncio
    import corvexlink.aio

    async def main():
        async with corvexlink.aio.open("/dev/ttyUSB0") as link:
            print(await link.scan())                    # the event loop keeps running
            x = link.motor(0, steps_per_unit=40.0, unit="mm")
            await x.move_by(12.5)
            await x.wait_until_stopped(timeout=10)
            print(await x.position)                     # 12.5

    asyncio.run(main())

The classes have the names, arguments and results of the blocking ones; each method that
talks to the stations is a coroutine, and each reading property is awaitable
(``await motor.position``); setting a counter is ``await motor.set_position(v)``.

Every call of a link runs on that link's own worker thread, one call after the other in
the order they were made, so the event loop never blocks on the line and the stations see
the frames a blocking program would send. Waits (``wait_until_stopped``, the FIFO room of
``queue_profile``) poll from the event loop, so the worker is free between two polls and
several motors can be waited for at once::

    await asyncio.gather(m0.wait_until_stopped(), m1.wait_until_stopped())

**Cancelling** a wait (or ``asyncio.wait_for`` running out) ends the waiting and nothing
else: the motor keeps moving, and the link stays usable. Only ``stop()`` stops a motor. A
call that is cancelled before the worker took it up is not sent; one the worker has begun
runs to its end, and its result is dropped. A stop that was asked for is always sent,
even when the task that asked is cancelled.

**Stops go first.** ``stop()`` and ``stop_all()`` do not queue behind the worker: they are
sent from a thread of their own, at the next boundary between the transactions of whatever
runs on the line (a scan, an initialisation, a FIFO course), also when another thread or
task started it.

Each link has a line of its own, so several links work at once, from one event loop or
beside blocking links on other threads.
"""

from __future__ import annotations

import asyncio
import functools
import inspect
from concurrent.futures import ThreadPoolExecutor
from typing import Any, Awaitable, Callable, Iterable, List, Optional, Sequence, Tuple, TypeVar, Union  # noqa: F401 - Tuple, Union: the blocking methods' annotations, evaluated here

from . import board as _board
from . import checks
from . import link as _blocking
from . import motor as _motor
from .checks import SEGMENT_BYTES, Segment
from .errors import PortNotOpenError, TimeoutError
from .motor import FIFO_POLL, fifo_stayed_full
from .status import Status
from .units import Number

__all__ = ["Board", "Link", "Motor", "open"]

T = TypeVar("T")


def _on_worker(blocking: Callable[..., Any]) -> Callable[..., Awaitable[Any]]:
    """A coroutine method that runs `blocking` (a method of the wrapped object of the same
    name) on the link's worker thread; it keeps the blocking method's signature and text."""
    name = blocking.__name__

    async def method(self: Any, *args: Any, **kwargs: Any) -> Any:
        return await self._link._run(getattr(self._blocking, name), *args, **kwargs)

    method.__name__ = method.__qualname__ = name
    method.__doc__ = blocking.__doc__
    method.__signature__ = inspect.signature(blocking)  # type: ignore[attr-defined]
    method.__annotations__ = dict(blocking.__annotations__)
    return method


def _awaitable_property(blocking: property) -> property:
    """A property whose value is awaited: the blocking property's reading on the worker."""
    getter = blocking.fget
    assert getter is not None

    async def read(self: Any) -> Any:
        return await self._link._run(getter, self._blocking)

    def get(self: Any) -> Awaitable[Any]:
        return read(self)

    get.__doc__ = f"Awaitable: {getter.__doc__}"
    return property(get)


class Motor:
    """One station of an asyncio :class:`Link`: :class:`corvexlink.Motor` with awaitable
    methods and properties."""

    def __init__(self, link: "Link", blocking: _motor.Motor) -> None:
        self._link = link
        self._blocking = blocking
        self.link = link
        self.address = blocking.address
        self.scale = blocking.scale

    def __repr__(self) -> str:
        return "aio." + repr(self._blocking)

    @property
    def unit(self) -> str:
        """The unit of positions and moves: "steps" without a scale."""
        return self._blocking.unit

    move_by = _on_worker(_motor.Motor.move_by)
    move_to = _on_worker(_motor.Motor.move_to)
    jog = _on_worker(_motor.Motor.jog)
    repeat = _on_worker(_motor.Motor.repeat)
    reset = _on_worker(_motor.Motor.reset)
    set_speed = _on_worker(_motor.Motor.set_speed)
    set_current = _on_worker(_motor.Motor.set_current)
    set_jog_speed = _on_worker(_motor.Motor.set_jog_speed)
    set_direction = _on_worker(_motor.Motor.set_direction)
    configure_mode = _on_worker(_motor.Motor.configure_mode)
    power = _on_worker(_motor.Motor.power)
    fifo_reset = _on_worker(_motor.Motor.fifo_reset)

    position = _awaitable_property(_motor.Motor.position)
    encoder = _awaitable_property(_motor.Motor.encoder)
    status = _awaitable_property(_motor.Motor.status)
    running = _awaitable_property(_motor.Motor.running)
    fifo_free = _awaitable_property(_motor.Motor.fifo_free)
    fifo_index = _awaitable_property(_motor.Motor.fifo_index)

    def fixed_speed(self, speed: Number) -> Number:
        """The speed the station really runs at when asked for `speed`; sends nothing."""
        return self._blocking.fixed_speed(speed)

    async def set_position(self, value: Number) -> None:
        """Sets the position counter (steps, or the motor's unit); does not move."""
        await self._link._run(setattr, self._blocking, "position", value)

    async def set_encoder(self, value: int) -> None:
        """Sets the encoder counter."""
        await self._link._run(setattr, self._blocking, "encoder", value)

    async def stop(self) -> None:
        """Stops the motor at once. Sent from a thread of its own, so it does not wait for
        the calls queued on the link; sent even if the awaiting task is cancelled."""
        await self._link._stop(self._blocking.stop)

    async def wait_until_stopped(self, timeout: float = 60.0, poll: float = 0.05) -> Status:
        """Reads the status register every `poll` seconds until the motor has stopped;
        returns the last status. Raises corvexlink.TimeoutError after `timeout` seconds
        (the motor keeps running); cancelling the wait leaves the motor alone too."""
        loop = asyncio.get_running_loop()
        deadline = loop.time() + timeout
        while True:
            status = await self.status
            if Status.RUNING not in status:
                return status
            left = deadline - loop.time()
            if left <= 0:
                raise TimeoutError(f"motor {self.address} still running after {timeout} s")
            await asyncio.sleep(min(poll, left))

    async def queue_profile(self, segments: Sequence[Segment], timeout: float = 60.0) -> int:
        """Queues segments of (first rate, slope, steps) in the FIFO as
        :meth:`corvexlink.Motor.queue_profile` does, waiting for room from the event loop."""
        checked = checks.segments(segments)
        loop = asyncio.get_running_loop()
        room = 0
        for index, segment in enumerate(checked):
            deadline = loop.time() + timeout
            while await self.fifo_free < SEGMENT_BYTES:
                if loop.time() >= deadline:
                    raise fifo_stayed_full(self.address, index)
                await asyncio.sleep(FIFO_POLL)
            room = await self._link._run(self._blocking._queue_segment, segment)
        return room


class Board:
    """One Corvex-B board of an asyncio :class:`Link`: :class:`corvexlink.Board` with
    awaitable methods."""

    def __init__(self, link: "Link", blocking: _board.Board) -> None:
        self._link = link
        self._blocking = blocking
        self.link = link
        self.index = blocking.index
        self.master = blocking.master
        self.user_io = blocking.user_io

    def __repr__(self) -> str:
        return "aio." + repr(self._blocking)

    read_inputs = _on_worker(_board.Board.read_inputs)
    write_outputs = _on_worker(_board.Board.write_outputs)
    configure_io = _on_worker(_board.Board.configure_io)
    adc = _on_worker(_board.Board.adc)
    adc_all = _on_worker(_board.Board.adc_all)
    spi_configure = _on_worker(_board.Board.spi_configure)
    spi_read = _on_worker(_board.Board.spi_read)
    spi_write = _on_worker(_board.Board.spi_write)


class Link:
    """The serial line for asyncio: :class:`corvexlink.Link` whose calls run on a worker
    thread of its own (started by :meth:`open`, ended by :meth:`close`)."""

    def __init__(self, device: Union[str, int, None] = None, baud: int = 9600, *, port: Optional[int] = None) -> None:
        self._blocking = _blocking.Link(device, baud, port=port)
        self._link = self  # what the wrapped methods run through
        self._worker: Optional[ThreadPoolExecutor] = None
        self._stopper: Optional[ThreadPoolExecutor] = None

    def __repr__(self) -> str:
        return "aio." + repr(self._blocking)

    @property
    def device(self) -> str:
        """The device name the link opens ("COM1", "/dev/ttyUSB0", "rfc2217://...")."""
        return self._blocking.device

    @property
    def port(self) -> Optional[int]:
        """The port number n when the device is COM<n>, else None."""
        return self._blocking.port

    @property
    def baud(self) -> int:
        """The line rate."""
        return self._blocking.baud

    @property
    def is_open(self) -> bool:
        """True between open() and close()."""
        return self._blocking.is_open

    @property
    def lost(self) -> bool:
        """True when the device went away (see :attr:`corvexlink.Link.lost`)."""
        return self._blocking.lost

    @property
    def known_stations(self) -> List[int]:
        """The stations the last scan found, read at once without probing."""
        return self._blocking.known_stations

    @property
    def blocking(self) -> _blocking.Link:
        """The blocking Link underneath, for code that runs in a thread of its own."""
        return self._blocking

    def _not_open(self) -> PortNotOpenError:
        return self._blocking._not_open()

    async def _run(self, function: Callable[..., T], *args: Any, **kwargs: Any) -> T:
        if self._worker is None:
            raise self._not_open()
        loop = asyncio.get_running_loop()
        return await loop.run_in_executor(self._worker, functools.partial(function, *args, **kwargs))

    async def _stop(self, stop: Callable[[], T]) -> T:
        if self._worker is None:
            raise self._not_open()
        if self._stopper is None:
            self._stopper = ThreadPoolExecutor(1, thread_name_prefix=f"corvexlink-{self.device}-stop")
        sent = asyncio.get_running_loop().run_in_executor(self._stopper, stop)
        # Should the awaiting task be cancelled, the stop still goes out, and its failure
        # (no longer anyone's to raise) is not reported as a never-retrieved exception.
        sent.add_done_callback(lambda done: done.cancelled() or done.exception())
        return await asyncio.shield(sent)

    async def open(self) -> "Link":
        """Opens the port (see :meth:`corvexlink.Link.open`) and starts the worker."""
        if self._worker is None:
            self._worker = ThreadPoolExecutor(1, thread_name_prefix=f"corvexlink-{self.device}")
        try:
            await self._run(self._blocking.open)
        except asyncio.CancelledError:
            raise  # the open may still finish on the worker: close() closes what it opened
        except BaseException:
            if not self._blocking.is_open:
                self._shutdown()
            raise
        return self

    async def reopen(self) -> "Link":
        """Opens the device again after the line was lost (see
        :meth:`corvexlink.Link.reopen`), after the calls already queued."""
        await self._run(self._blocking.reopen)
        return self

    async def close(self) -> None:
        """Closes the port after the calls already queued; closing a closed link does nothing."""
        if self._worker is None:
            return
        try:
            await self._run(self._blocking.close)
        except asyncio.CancelledError:
            self._shutdown(wait=False)  # the close still runs, after what is queued before it
            raise
        except BaseException:
            self._shutdown()
            raise
        self._shutdown()

    def _shutdown(self, wait: bool = True) -> None:
        # After its last call (the close or the failed open) the worker's thread ends at
        # once. A stop still on its way finishes on its own thread.
        if self._worker is not None:
            self._worker.shutdown(wait=wait)
        if self._stopper is not None:
            self._stopper.shutdown(wait=False)
        self._worker = self._stopper = None

    async def __aenter__(self) -> "Link":
        return self if self.is_open else await self.open()

    async def __aexit__(self, *exc: object) -> None:
        await self.close()

    def motor(self, address: int, steps_per_unit: Optional[Number] = None, unit: Optional[str] = None) -> Motor:
        """The motor of the station at `address` (0-15); in steps, or with
        `steps_per_unit` in `unit` (see :mod:`corvexlink.units`)."""
        return Motor(self, self._blocking.motor(address, steps_per_unit, unit))

    async def motors(self, addresses: Optional[Iterable[int]] = None) -> List[Motor]:
        """Motors of the given addresses, or of every station a scan finds."""
        found = await self.scan() if addresses is None else list(addresses)
        return [self.motor(address) for address in found]

    def board(self, index: int) -> Board:
        """Board 0-3 (stations 4*index to 4*index+3)."""
        return Board(self, self._blocking.board(index))

    async def stop_all(self, addresses: Optional[Iterable[int]] = None) -> List[int]:
        """Stops the motors given, or every station the last scan found, as
        :meth:`corvexlink.Link.stop_all` does: at once, without scanning again, from the
        stop's own thread; sent even if the awaiting task is cancelled."""
        listed = None if addresses is None else list(addresses)
        return await self._stop(functools.partial(self._blocking.stop_all, listed))

    def add_trace_handler(self, handler: Callable[..., None]) -> None:
        """Calls `handler` with every event of this link (see
        :meth:`corvexlink.Link.add_trace_handler`); it runs on the link's threads."""
        self._blocking.add_trace_handler(handler)

    def remove_trace_handler(self, handler: Callable[..., None]) -> None:
        """Stops calling `handler` for this link."""
        self._blocking.remove_trace_handler(handler)

    scan = _on_worker(_blocking.Link.scan)
    check = _on_worker(_blocking.Link.check)
    init = _on_worker(_blocking.Link.init)
    jog = _on_worker(_blocking.Link.jog)
    power = _on_worker(_blocking.Link.power)
    trigger = _on_worker(_blocking.Link.trigger)
    pause = _on_worker(_blocking.Link.pause)
    change_baud = _on_worker(_blocking.Link.change_baud)
    raw = _on_worker(_blocking.Link.raw)
    last_command = _awaitable_property(_blocking.Link.last_command)
    fixed_speed = staticmethod(_blocking.Link.fixed_speed)


class _Opening:
    """What :func:`open` gives: awaited, the open Link; in ``async with``, the open Link
    that is closed at the end of the block."""

    def __init__(self, link: Link) -> None:
        self._link = link

    def __await__(self):
        return self._link.open().__await__()

    async def __aenter__(self) -> Link:
        return await self._link.open()

    async def __aexit__(self, *exc: object) -> None:
        await self._link.close()


def open(  # noqa: A001
    device: Union[str, int, None] = None, baud: int = 9600, *, port: Optional[int] = None
) -> _Opening:
    """Opens a link for asyncio (see :meth:`corvexlink.Link.open`) on `device` at `baud`:
    ``"COM1"`` (the default), a device path or a network line (``rfc2217://HOST:PORT``,
    ``tcp://HOST:PORT``).

    Use it in an ``async with`` block, or await it and close the link yourself::

        async with corvexlink.aio.open("/dev/ttyUSB0") as link:
            ...
        link = await corvexlink.aio.open("COM1")   # close it with await link.close()
    """
    return _Opening(Link(device, baud, port=port))

