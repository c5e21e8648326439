# SPDX-License-Identifier: MIT
"""The library's debug lines through Python's logging: silent until enable_logging(), then
at DEBUG on the logger "corvexlink"."""

import logging
import os
import subprocess
import sys

import pytest

import corvexlink


@pytest.fixture
def logged():
    corvexlink.enable_logging(frames=False)
    try:
        yield
    finally:
        corvexlink.disable_logging()


def _retries(records):
    return [r for r in records if r.name == "corvexlink" and "Timeout (Retry needed). Last command = _9P" in r.message]


def test_debug_lines_reach_the_corvexlink_logger(link, logged, caplog):
    caplog.set_level(logging.DEBUG, logger="corvexlink")
    with pytest.raises(corvexlink.TimeoutError):
        link.motor(9).position
    retries = _retries(caplog.records)
    assert retries and all(r.levelno == logging.DEBUG for r in retries)
    assert not any(r.message.endswith("\n") for r in caplog.records)

    corvexlink.disable_logging()
    assert not corvexlink.logs.logging_enabled()
    caplog.clear()
    with pytest.raises(corvexlink.TimeoutError):
        link.motor(9).position
    assert _retries(caplog.records) == []


def test_nothing_is_printed_or_logged_unless_asked(simulator):
    script = (
        "import logging, sys, corvexlink\n"
        "if sys.argv[1] == 'configured':\n"
        "    logging.basicConfig(level=logging.DEBUG)\n"
        "else:\n"
        "    corvexlink.enable_logging()\n"
        "with corvexlink.open(sys.argv[2]) as link:\n"
        "    try:\n"
        "        link.motor(9).position\n"
        "    except corvexlink.TimeoutError:\n"
        "        print('timed out')\n"
    )
    env = {k: v for k, v in os.environ.items() if k != "CORVEXLINK_DEBUG"}
    for case, extra in (("configured", {}), ("enabled", {"CORVEXLINK_DEBUG": "1"})):
        run = subprocess.run(
            [sys.executable, "-c", script, case, simulator.device],
            env=dict(env, **extra), capture_output=True, text=True, timeout=60,
        )
        assert run.returncode == 0, run.stderr
        assert run.stdout == "timed out\n" and run.stderr == "", (case, run.stderr)


def test_frames_reach_the_frames_logger_with_their_events(link, caplog):
    caplog.set_level(logging.DEBUG, logger="corvexlink")
    corvexlink.enable_logging()
    try:
        assert corvexlink.logs.logging_enabled()
        link.motor(2).position = 11
        with pytest.raises(corvexlink.TimeoutError):
            link.motor(9).position
    finally:
        corvexlink.disable_logging()
    frames = [r for r in caplog.records if r.name == "corvexlink.frames"]
    assert all(r.levelno == logging.DEBUG for r in frames)
    assert [r.event.kind for r in frames][:2] == ["sent", "received"]
    assert frames[0].message == "sent '_2A11\\r'" and frames[0].event.data == b"_2A11\r"
    assert frames[1].message.startswith("received '") and " after " in frames[1].message
    assert [r.message for r in frames if r.event.kind in ("repeat", "timeout")][0] == "repeat '_9P\\r'"
    assert frames[-1].event.kind == "timeout" and frames[-1].message.startswith("timeout '_9P\\r' after ")
    assert _retries(caplog.records)  # and the debug lines beside them

    caplog.clear()
    link.motor(2).position = 12
    assert not corvexlink.trace.tracing(link)
    assert [r for r in caplog.records if r.name == "corvexlink.frames"] == []
