# SPDX-License-Identifier: MIT
"""corvexctl --trace against kx4417-sim: the frames of a command and their answers on stderr,
in order, with their bytes and times, as text lines and as JSON lines; repeats, time-outs
and answer bytes that are not printable."""

import json
import re

import pytest

from test_corvexctl import ScriptedStation, assert_terminal_safe, run_bytes

TEXT_LINE = re.compile(r"^ *(-?\d+\.\d{6}) (sent|received|repeat|timeout) +'(.*)'(?: after (\d+\.\d) ms)?$")


@pytest.fixture(autouse=True)
def no_debug_lines(monkeypatch):
    """Only the trace on stderr, whatever the caller's environment asks of the library."""
    monkeypatch.delenv("CORVEXLINK_DEBUG", raising=False)


def unescape(text: str) -> str:
    """The trace's escapes back to the bytes, as text."""
    return re.sub(r"\\(r|n|\\|x[0-9A-F]{2})",
                  lambda m: {"r": "\r", "n": "\n", "\\": "\\"}.get(m.group(1)) or chr(int(m.group(1)[1:], 16)),
                  text)


def text_events(stderr: str):
    """Every trace line of stderr as (time, kind, bytes, after ms or None); other lines left out."""
    events = []
    for line in stderr.splitlines():
        match = TEXT_LINE.match(line)
        if match:
            time, kind, data, after = match.groups()
            events.append((float(time), kind, unescape(data), None if after is None else float(after)))
    return events


def test_the_frames_of_a_command_and_their_answers_in_order_with_bytes_and_times(ctl, simulator):
    assert ctl("move", "2", "300", "--wait").code == 0
    quiet = ctl("pos", "2")
    assert quiet.code == 0 and quiet.err == ""  # no trace unless asked

    run = ctl("--trace", "pos", "2")
    assert run.code == 0, run.err
    assert run.out == quiet.out  # the result is where it always is
    lines = run.err.splitlines()
    events = text_events(run.err)
    assert len(events) == len(lines), run.err  # every line of stderr is a trace line
    assert [(kind, data) for _, kind, data, _ in events] == [
        ("sent", "_2P\r"), ("received", "\r\n300\r\n>"), ("sent", "_2{\r"), ("received", "\r\n300\r\n>")]
    # What the trace says was sent is what reached the station, in that order.
    assert simulator.frames(until="_2{\r")[-2:] == ["_2P\r", "_2{\r"]

    times = [time for time, _, _, _ in events]
    assert times == sorted(times) and times[0] >= 0
    for (sent_at, _, _, none), (answered_at, _, _, after) in zip(events[0::2], events[1::2]):
        assert none is None and after is not None
        # The time since the frame was sent fits between the two lines' times.
        assert 0 <= after <= (answered_at - sent_at) * 1000 + 0.1


def test_json_lines_one_object_per_event(ctl):
    run = ctl("--json", "--trace", "pos", "1")
    assert run.code == 0, run.err
    assert run.json() == [{"ok": True, "command": "pos", "address": 1, "position": 0, "encoder": 0}]
    events = [json.loads(line) for line in run.err.splitlines()]
    assert [list(e) for e in events] == [["kind", "bytes", "time", "timestamp_ns", "since_sent_ns"]] * 4
    assert [(e["kind"], e["bytes"]) for e in events] == [
        ("sent", "_1P\\r"), ("received", "\\r\\n0\\r\\n>"), ("sent", "_1{\\r"), ("received", "\\r\\n0\\r\\n>")]
    assert [e["since_sent_ns"] for e in events[0::2]] == [None, None]
    stamps = [e["timestamp_ns"] for e in events]
    assert stamps == sorted(stamps)
    for sent, answer in zip(events[0::2], events[1::2]):
        assert 0 <= answer["since_sent_ns"] <= answer["timestamp_ns"] - sent["timestamp_ns"]
    # time is timestamp_ns in seconds, counted from the start of the trace.
    assert abs((events[3]["time"] - events[0]["time"]) * 1e9 - (stamps[3] - stamps[0])) < 1000


def test_a_repeat_and_a_time_out_are_shown(ctl):
    run = ctl("--trace", "raw", "_5P")  # no station 5
    assert run.code == 1
    events = text_events(run.err)
    assert [(kind, data) for _, kind, data, _ in events] == [
        ("sent", "_5P\r"), ("repeat", "_5P\r"), ("sent", "\r"), ("sent", "_5P\r"), ("timeout", "_5P\r")]
    assert events[-1][3] >= 590  # three answer waits since the frame was first sent
    assert run.err.splitlines()[-1] == "corvexctl: raw: station 5 did not answer (error 26)"

    run = ctl("--json", "--trace", "raw", "_5P")
    assert run.code == 1
    objects = [json.loads(line) for line in run.err.splitlines() if line.startswith("{")]
    assert [o["kind"] for o in objects] == ["sent", "repeat", "sent", "sent", "timeout"]
    assert objects[-1]["since_sent_ns"] >= 590_000_000


def test_answer_bytes_that_are_not_printable_are_escaped_both_ways():
    answer = b"?\xff\x1b[2J\\\xc2\x9b>"
    station = ScriptedStation(answer)
    try:
        run = run_bytes(b"--device", station.device.encode(), b"--trace", b"raw", b"_0P")
        assert_terminal_safe(run.stderr)
        assert b" received '?\\xFF\\x1B[2J\\\\\\xC2\\x9B>' after " in run.stderr
        received = [e for e in text_events(run.stderr.decode()) if e[1] == "received"]
        assert received[0][2].encode("latin-1") == answer

        run = run_bytes(b"--device", station.device.encode(), b"--json", b"--trace", b"raw", b"_0P")
        objects = [json.loads(line) for line in run.stderr.splitlines() if line.startswith(b"{")]
        received = [o["bytes"] for o in objects if o["kind"] == "received"]
        assert received and unescape(received[0]).encode("latin-1") == answer
    finally:
        station.close()


def test_help_names_the_trace():
    run = run_bytes(b"--help")
    assert b"--trace" in run.stdout and b"--trace check 0" in run.stdout
