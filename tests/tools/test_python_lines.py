# SPDX-License-Identifier: MIT
"""The corvexlink package's calls on several stations, lines and settings, against kx4417-sim."""

import threading

import pytest

import corvexlink
from corvexlink import Status
from corvexlink.testing import Simulator


def test_trigger_and_pause_lines_are_held_within_one_process(link):
    link.trigger([0, 1])
    link.pause([2])
    assert Status.TRGD in link.motor(0).status and Status.TRGD in link.motor(1).status
    assert Status.PSED in link.motor(2).status and Status.TRGD not in link.motor(2).status
    link.trigger([0], on=False)
    assert Status.TRGD not in link.motor(0).status and Status.TRGD in link.motor(1).status
    assert Status.PSED in link.motor(2).status


def test_group_jog_power_and_stop_all(link):
    link.jog([0, 3], "ccw")
    assert all(Status.RUNING in link.motor(a).status for a in (0, 3))
    assert Status.RUNING not in link.motor(1).status
    link.stop_all()
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
    with corvexlink.open(port=simulator.port) as link:
        link.scan()
        link.change_baud(38400)
        assert link.baud == 38400
        assert link.motor(1).position == 0
    with corvexlink.open(port=simulator.port, baud=38400) as link:
        assert link.scan() == [0, 1, 2, 3]
    with corvexlink.open(port=simulator.port) as link:
        assert link.scan() == []


def test_fixed_speed_and_the_links_repr():
    assert corvexlink.Link.fixed_speed(600) == 599
    assert corvexlink.Link.fixed_speed(16) == 16
    assert corvexlink.Link.fixed_speed(10239) == 10240
    for speed in (15, 10240, 2**31, -(2**31) - 1, 600.0, True):
        with pytest.raises(corvexlink.ArgumentError):
            corvexlink.Link.fixed_speed(speed)
    link = corvexlink.Link(port=2, baud=19200)
    assert repr(link) == "Link(port=2, baud=19200)" and not link.is_open
    link.close()  # closing a link that was never opened does nothing
    with pytest.raises(corvexlink.ArgumentError):
        corvexlink.Link(baud=1000)


def test_one_link_holds_the_line_until_it_is_closed(simulator):
    with Simulator("0-3", port=2) as other:
        first = corvexlink.open(port=simulator.port)
        first.motor(0).position = 4242
        # A second Link, and a second Link that cannot open, leave the first as it was.
        with pytest.raises(corvexlink.PortError, match="another Link") as caught:
            corvexlink.open(port=other.port)
        assert caught.value.number is None
        with pytest.raises(corvexlink.PortError, match="another Link"):
            corvexlink.open(port=3, device="/nonexistent/tty")
        assert first.is_open and first.motor(0).position == 4242

        stale = first.motor(0)
        first.close()
        second = corvexlink.open(port=other.port)
        second.motor(0).position = 777
        # What belongs to the closed Link cannot reach the line that is open now.
        for reach in (lambda: stale.position, lambda: stale.move_by(10), first.scan, lambda: first.check(0)):
            with pytest.raises(corvexlink.PortNotOpenError) as caught:
                reach()
            assert caught.value.number == 25
        first.close()  # does nothing: its line is closed already
        assert not first.is_open and second.is_open
        assert second.motor(0).position == 777
        second.close()

        corvexlink.open(port=other.port)  # dropped unclosed: nothing can send through it
        with corvexlink.open(port=simulator.port) as again:
            assert again.motor(0).position == 4242


def test_a_link_whose_reopen_fails_is_closed():
    with Simulator("0") as sim:
        link = corvexlink.open(port=sim.port, device=sim.link)
        assert link.scan() == [0]
    # The library closes the open port before it opens again, so a failed reopen leaves none.
    with pytest.raises(corvexlink.PortError):
        link.open()
    assert not link.is_open
    with pytest.raises(corvexlink.PortNotOpenError):
        link.scan()
    link.close()
    with Simulator("1") as sim, corvexlink.open(port=sim.port) as other:
        assert other.scan() == [1]


def test_a_missing_simulator_program_is_reported():
    with pytest.raises(corvexlink.CorvexLinkError, match="cannot start"):
        Simulator("0", executable="/nonexistent/kx4417-sim").start()
    with pytest.raises(corvexlink.CorvexLinkError, match="ended before its line was ready"):
        Simulator("0-16").start()  # the simulator refuses the list


def test_a_stop_from_another_thread_goes_out_during_a_scan(simulator):
    with corvexlink.open(port=simulator.port) as link:
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


def test_a_call_whose_error_state_a_stop_replaced_says_so(link):
    """The state a stop of another thread leaves when it ran just after a failed call is not
    reported as that call's reason."""
    from corvexlink import _native

    with pytest.raises(corvexlink.TimeoutError):
        link.motor(9).stop()  # the state now is this stop's
    replaced = _native.last_error("MotorGetPosition", beside_a_stop=True)
    assert type(replaced) is corvexlink.CorvexLinkError and "a stop from another thread" in replaced.message
    assert isinstance(_native.last_error("MotorGetPosition"), corvexlink.TimeoutError)
    with pytest.raises(corvexlink.TimeoutError):
        link.motor(9).position
    assert isinstance(_native.last_error("MotorGetPosition", beside_a_stop=True), corvexlink.TimeoutError)
