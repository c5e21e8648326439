# SPDX-License-Identifier: MIT
"""The corvexlink package's calls on several stations, lines and settings, against kx4417-sim:
several links at once, each on a line of its own."""

import asyncio
import os
import threading
import time

import pytest

import corvexlink
import corvexlink.aio
from corvexlink import Status
from corvexlink.testing import Simulator


class Events:
    """A trace handler that keeps the events of one link."""

    def __init__(self) -> None:
        self.events = []

    def __call__(self, event: corvexlink.TraceEvent) -> None:
        self.events.append(event)

    def sent(self):
        return [e.data.decode() for e in self.events if e.kind == "sent"]


def test_two_links_work_at_once_from_threads_and_asyncio():
    environment = dict(os.environ)
    with Simulator("0-3") as a, Simulator("0-1") as b:
        assert dict(os.environ) == environment  # the simulators named no port for us
        blocking = corvexlink.open(a.device)
        on_a, on_b = Events(), Events()
        blocking.add_trace_handler(on_a)
        results, failures = {}, []

        def on_thread(name, work):
            def run():
                try:
                    results[name] = work()
                except Exception as error:  # reported below, with the thread's name
                    failures.append((name, error))

            return threading.Thread(target=run, name=name)

        def move_and_read(address, steps):
            motor = blocking.motor(address)
            motor.set_speed(slew=4000, first=400)
            motor.move_by(steps)
            motor.wait_until_stopped(timeout=30)
            return motor.position

        def silent_station():
            with pytest.raises(corvexlink.TimeoutError) as silent:
                blocking.motor(9).position
            return silent.value.message

        async def on_the_loop():
            async with corvexlink.aio.open(b.device) as link:
                link.add_trace_handler(on_b)
                threads = [on_thread("scan", blocking.scan), on_thread("move0", lambda: move_and_read(0, 3000)),
                           on_thread("move3", lambda: move_and_read(3, -2000)), on_thread("silent", silent_station)]
                threads[0].start()
                await asyncio.get_running_loop().run_in_executor(None, a.frames, "_4\r")  # a's silent addresses
                for thread in threads[1:]:
                    thread.start()
                found = await link.scan()  # while a's scan goes on
                motors = [link.motor(0), link.motor(1, steps_per_unit=10, unit="mm")]
                await asyncio.gather(motors[0].move_by(1500), motors[1].move_to(-50))
                await asyncio.gather(*(m.wait_until_stopped(timeout=30) for m in motors))
                with pytest.raises(corvexlink.StationError) as refused:
                    await link.raw("_1Q")
                for thread in threads:
                    await asyncio.get_running_loop().run_in_executor(None, thread.join, 60)
                return found, [await m.position for m in motors], refused.value

        found_b, positions_b, refused = asyncio.run(on_the_loop())
        blocking.close()
        assert failures == []
        assert results["scan"] == [0, 1, 2, 3] and found_b == [0, 1]
        assert (results["move0"], results["move3"]) == (3000, -2000) and positions_b == [1500, -50.0]
        # Each error is its own call's, on its own line.
        assert "_9P" in results["silent"] and refused.message.startswith("Syntax Error") and "_1Q" in refused.message
        # Each link's frames went to its own stations, and its trace names its line.
        assert {e.line for e in on_a.events} == {a.device} and {e.line for e in on_b.events} == {b.device}
        frames_a, frames_b = a.frames(until="_3N-2000\r"), b.frames(until="_1Q\r")
        assert set(on_a.sent()) == set(frames_a) and set(on_b.sent()) == set(frames_b)
        assert {"_0N3000\r", "_9P\r"} <= set(frames_a) - set(frames_b)
        assert {"_0N1500\r", "_1T-500\r", "_1Q\r"} <= set(frames_b) - set(frames_a)
        # The two scans ran at the same time: b's probes went out while a's scan was under way.
        scan_a = [e.timestamp_ns for e in on_a.events if e.kind == "sent" and len(e.data) == 3]
        scan_b = [e.timestamp_ns for e in on_b.events if e.kind == "sent" and len(e.data) == 3]
        assert any(scan_a[0] < stamp < scan_a[-1] for stamp in scan_b)
        assert dict(os.environ) == environment


def test_a_killed_simulator_loses_its_link_alone():
    with Simulator("0-1") as a, Simulator("0-1") as b:
        lost, working = corvexlink.open(a.device), corvexlink.open(b.device)
        working.motor(1).jog("cw")
        a.kill()
        with pytest.raises(corvexlink.LineLostError) as caught:
            lost.motor(0).position
        assert caught.value.number == 28 and lost.lost and lost.is_open
        # The other line goes on, and its stop goes out.
        assert working.scan() == [0, 1] and Status.RUNING in working.motor(1).status
        working.motor(1).stop()
        assert not working.motor(1).running and not working.lost
        with pytest.raises(corvexlink.PortError):
            lost.reopen()  # the simulator's line is gone for good
        assert not lost.is_open
        lost.close()
        working.close()


def test_stop_all_stops_the_stations_of_the_last_scan_during_another_scan(simulator):
    with corvexlink.open(simulator.device) as link:
        assert link.stop_all() == [] and link.known_stations == []  # nothing known, nothing sent
        assert link.scan() == [0, 1, 2, 3]
        link.jog([0, 2], "ccw")
        scanning = threading.Thread(target=link.scan)
        scanning.start()
        while simulator.frames(until="_5\r").count("_5\r") < 2:  # the second scan at its silent addresses
            time.sleep(0.05)
        stopped = link.stop_all()
        scanning.join(timeout=60)
        assert stopped == [0, 1, 2, 3] and not link.motor(0).running and not link.motor(2).running
    frames = simulator.frames(until="_F\r")
    second = [i for i, frame in enumerate(frames) if frame == "_0\r"][1]
    stops = [frames.index(f"_{a}H\r") for a in range(4)]
    # The stops went out between the probes of the scan under way, and no scan came first.
    assert frames.count("_0\r") == 2 and second < min(stops) and max(stops) < frames.index("_F\r", second)


def test_trigger_and_pause_lines_are_held_within_one_process(link):
    link.trigger([0, 1])
    link.pause([2])
    assert Status.TRGD in link.motor(0).status and Status.TRGD in link.motor(1).status
    assert Status.PSED in link.motor(2).status and Status.TRGD not in link.motor(2).status
    link.trigger([0], on=False)
    assert Status.TRGD not in link.motor(0).status and Status.TRGD in link.motor(1).status
    assert Status.PSED in link.motor(2).status


def test_group_jog_power_and_stop_all(link):
    link.scan()
    link.jog([0, 3], "ccw")
    assert all(Status.RUNING in link.motor(a).status for a in (0, 3))
    assert Status.RUNING not in link.motor(1).status
    assert link.stop_all() == [0, 1, 2, 3]
    assert all(Status.RUNING not in m.status for m in link.motors([0, 3]))

    link.power("all", on=False)
    assert Status.READY not in link.motor(2).status
    with pytest.raises(corvexlink.StationError) as caught:  # no motion without power
        link.motor(2).move_by(10)
    assert caught.value.number == 9
    link.power([2])
    assert Status.READY in link.motor(2).status


def test_settings_reach_the_line_as_given(link, simulator):
    motor = link.motor(3)
    motor.set_speed(slew=2000, accel=10)
    motor.set_jog_speed(400)
    motor.set_direction(False)
    motor.configure_mode(36, fifo=True, encoder=True)
    motor.encoder = -20
    assert motor.encoder == -20
    assert link.last_command == "_3{\r"
    frames = simulator.frames(until="_3{\r")
    assert frames[:6] == ["_3R2000\r", "_3S10\r", "_3Y400\r", "_3-\r", "_3M116\r", "_3}-20\r"]


def test_change_baud_and_reopen_at_the_new_rate(simulator):
    with corvexlink.open(simulator.device) as link:
        link.scan()
        link.change_baud(38400)
        assert link.baud == 38400
        assert link.motor(1).position == 0
    with corvexlink.open(simulator.device, 38400) as link:
        assert link.scan() == [0, 1, 2, 3]
    corvexlink.open(simulator.device)  # dropped unclosed: its line is closed when it is collected
    with corvexlink.open(simulator.device) as link:
        assert link.scan() == []


def test_fixed_speed_and_the_links_names():
    assert corvexlink.Link.fixed_speed(600) == 599
    assert corvexlink.Link.fixed_speed(16) == 16
    assert corvexlink.Link.fixed_speed(10239) == 10240
    for speed in (15, 10240, 2**31, -(2**31) - 1, 600.0, True):
        with pytest.raises(corvexlink.ArgumentError):
            corvexlink.Link.fixed_speed(speed)
    # A device is named as the library names it; port=n and a bare n are COM<n>.
    for made, device, port in (
        (corvexlink.Link(port=2, baud=19200), "COM2", 2),
        (corvexlink.Link(2), "COM2", 2),
        (corvexlink.Link("com7"), "com7", 7),
        (corvexlink.Link(), "COM1", 1),
        (corvexlink.Link("rfc2217://lab:4001"), "rfc2217://lab:4001", None),
    ):
        assert (made.device, made.port, made.is_open) == (device, port, False)
    assert repr(corvexlink.Link(port=2, baud=19200)) == "Link('COM2', baud=19200)"
    corvexlink.Link().close()  # closing a link that was never opened does nothing
    for refused in (lambda: corvexlink.Link(baud=1000), lambda: corvexlink.Link(""), lambda: corvexlink.Link(0)):
        with pytest.raises(corvexlink.ArgumentError):
            refused()


def test_a_link_whose_reopen_fails_is_not_open_until_one_succeeds():
    with Simulator("0") as sim:
        link = corvexlink.open(sim.device)
        assert link.scan() == [0]
    # The simulator is gone with its line: the reopen fails and leaves the link not open.
    with pytest.raises(corvexlink.PortError) as failed:
        link.reopen()
    assert failed.value.number == 36 and failed.value.reason_code == corvexlink.errors.OPEN_NO_DEVICE
    assert not link.is_open
    with pytest.raises(corvexlink.PortNotOpenError):
        link.scan()
    link.close()
    with pytest.raises(corvexlink.PortNotOpenError) as closed:
        link.scan()
    assert closed.value.number == 25


def test_a_missing_simulator_program_is_reported():
    with pytest.raises(corvexlink.CorvexLinkError, match="cannot start"):
        Simulator("0", executable="/nonexistent/kx4417-sim").start()
    with pytest.raises(corvexlink.CorvexLinkError, match="ended before its line was ready"):
        Simulator("0-16").start()  # the simulator refuses the list


def test_a_stop_from_another_thread_goes_out_during_a_scan(simulator):
    with corvexlink.open(simulator.device) as link:
        link.motor(1).jog("cw")
        found = {}
        scanning = threading.Thread(target=lambda: found.setdefault("scan", link.scan()))
        scanning.start()
        simulator.frames(until="_4\r")  # the scan is at its silent addresses
        link.motor(1).stop()
        scan_still_running = scanning.is_alive()
        # A stop to a silent station reports its own failure, not the scan's state.
        with pytest.raises(corvexlink.TimeoutError) as silent:
            link.motor(9).stop()
        scanning.join(timeout=60)
        assert scan_still_running and found["scan"] == [0, 1, 2, 3]
        assert silent.value.number == 26 and "_9H" in silent.value.message
        assert Status.RUNING not in link.motor(1).status
    frames = simulator.frames(until="_F\r")
    assert frames.index("_1H\r") < frames.index("_9H\r") < frames.index("_F\r")
