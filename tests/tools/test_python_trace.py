# SPDX-License-Identifier: MIT
"""The frame trace from Python against kx4417-sim: every frame and answer in order with
its bytes, repeats and time-outs as events, handlers removed, and handlers that raise or
are slow, which must neither block the line nor lose an answer."""

import sys
import threading
import time

import pytest

import corvexlink
from corvexlink import trace


class Recorder:
    """A trace handler that keeps every event with the thread it came on."""

    def __init__(self, delay: float = 0.0) -> None:
        self.events = []
        self.threads = set()
        self.delay = delay

    def __call__(self, event: corvexlink.TraceEvent) -> None:
        self.events.append(event)
        self.threads.add(threading.current_thread().name)
        if self.delay:
            time.sleep(self.delay)

    def of(self, kind):
        return [e.data for e in self.events if e.kind == kind]


@pytest.fixture
def recorder():
    recording = Recorder()
    corvexlink.add_trace_handler(recording)
    try:
        yield recording
    finally:
        corvexlink.remove_trace_handler(recording)


def test_a_scripted_exchange_is_seen_in_order_with_its_bytes(link, simulator, recorder):
    link.motor(1).position = 42
    assert link.motor(1).position == 42
    with pytest.raises(corvexlink.StationError):
        link.raw("_1Q")
    kinds = [e.kind for e in recorder.events]
    assert kinds == ["sent", "received"] * 3
    assert recorder.of("sent") == [b"_1A42\r", b"_1P\r", b"_1Q\r"]
    answers = recorder.of("received")
    assert answers[0].endswith(b">") and b"42" in answers[1] and b"?2" in answers[2]
    # What the trace says went out is what the stations received.
    assert simulator.frames(until="_1Q\r") == [f.decode() for f in recorder.of("sent")]
    stamps = [e.timestamp_ns for e in recorder.events]
    assert stamps == sorted(stamps) and stamps[0] <= time.monotonic_ns()
    for event in recorder.events:
        if event.kind == "sent":
            assert event.since_sent_ns is None and event.since_sent is None
        else:
            assert 0 <= event.since_sent_ns <= stamps[-1] - stamps[0]
    assert recorder.threads == {threading.current_thread().name}
    assert str(recorder.events[0]) == "sent '_1A42\\r'"
    assert str(recorder.events[1]).startswith(f"received '{trace.escape(answers[0])}' after ")


def test_a_silent_station_shows_its_repeat_and_time_out(link, recorder):
    with pytest.raises(corvexlink.TimeoutError):
        link.motor(9).position
    kinds = [e.kind for e in recorder.events]
    assert kinds[0] == "sent" and "repeat" in kinds and kinds[-1] == "timeout"
    assert kinds.index("repeat") < kinds.index("timeout")
    assert recorder.of("repeat") == [b"_9P\r"] and recorder.of("timeout") == [b"_9P\r"]
    assert recorder.of("received") == []
    # The library waits at least 200 ms for an answer before it gives up.
    assert recorder.events[-1].since_sent >= 0.2


def test_a_removed_handler_sees_nothing_more(link, recorder):
    other = Recorder()
    corvexlink.add_trace_handler(other)
    link.check(0)
    corvexlink.remove_trace_handler(other)
    link.check(1)
    assert other.of("sent") == [b"_0\r"]
    assert recorder.of("sent") == [b"_0\r", b"_1\r"]
    with pytest.raises(ValueError):
        corvexlink.remove_trace_handler(other)
    with pytest.raises(TypeError):
        corvexlink.add_trace_handler("not callable")


def test_without_handlers_the_library_is_not_asked_to_trace(link):
    assert not trace.tracing(link)
    recording = Recorder()
    corvexlink.add_trace_handler(recording)
    assert trace.tracing(link)
    corvexlink.remove_trace_handler(recording)
    assert not trace.tracing(link)
    link.check(0)
    assert recording.events == []


def test_a_handler_that_raises_changes_nothing_on_the_line(link, recorder, monkeypatch):
    reported = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)

    def broken(event):
        raise RuntimeError(f"handler fault at {event.kind}")

    corvexlink.add_trace_handler(broken)
    try:
        assert link.scan() == [0, 1, 2, 3]
        link.motor(2).position = -7
        assert link.motor(2).position == -7
    finally:
        corvexlink.remove_trace_handler(broken)
    # Every event reached the handler after the broken one, and each fault was reported.
    sent = recorder.of("sent")
    assert sent[:16] == [f"_{a:X}\r".encode() for a in range(16)] and sent[-2:] == [b"_2A-7\r", b"_2P\r"]
    assert reported and all(isinstance(r.exc_value, RuntimeError) for r in reported)


def test_a_slow_handler_delays_only_its_thread_and_loses_no_answer(link, simulator):
    slow = Recorder(delay=0.02)
    corvexlink.add_trace_handler(slow)
    results = {}

    def reader():
        results["positions"] = [link.motor(3).position for _ in range(5)]

    try:
        link.motor(3).position = 300
        other = threading.Thread(target=reader)
        other.start()
        for value in range(5):
            link.motor(0).position = value
            assert link.motor(0).position == value
        other.join(timeout=60)
        assert not other.is_alive(), "a call waited behind the slow handler for good"
    finally:
        corvexlink.remove_trace_handler(slow)
    assert results["positions"] == [300] * 5
    assert len(slow.of("sent")) == len(slow.of("received")) == 1 + 5 + 10
    assert len(slow.threads) == 2
