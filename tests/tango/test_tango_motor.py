# SPDX-License-Identifier: MIT
"""CorvexMotor through python3-tango against the simulator: reads and writes of every
attribute, moves seen through change events, stops, jogs, and bad values refused before
anything reaches the line. One server for the module; each test leaves the motor idle."""

import math

import pytest
import tango

from conftest import Events, new_frames, unpolled, wait_for


@pytest.fixture(scope="module")
def motor(shared_server):
    return shared_server.proxy("corvex/motor/0")


@pytest.fixture(scope="module")
def line(shared_server):
    return shared_server.proxy("corvex/line/1")


@pytest.fixture(autouse=True)
def idle_motor(motor):
    """Every test starts and ends with motor 0 idle."""
    wait_for(lambda: motor.state() == tango.DevState.ON, timeout=30)
    yield
    motor.Stop()
    wait_for(lambda: motor.state() == tango.DevState.ON, timeout=30)


def reason(error: tango.DevFailed) -> str:
    return error.args[0].reason


def test_status_register_bits_and_state_agree(motor):
    status = motor.StatusRegister
    assert motor.state() == tango.DevState.ON
    assert "Idle" in motor.status() and f"0x{status:03X}" in motor.status()
    # Bit n of the register is the n-th named attribute.
    names = ["TRGD", "PSED", "ABORTD", "RUNING", "LS_CCW", "LS_CW", "HOME", "READY", "DIR", "STALL"]
    for bit, name in enumerate(names):
        assert motor.read_attribute(name).value == bool(status >> bit & 1), name
    assert motor.READY and not motor.RUNING
    assert list(motor.Limit_switches) == [False, False]


def test_settings_unknown_until_written_then_read_back(shared_sim, motor):
    # The server cannot ask the station for rates, acceleration or current.
    for name in ("Velocity", "Base_rate", "Acceleration", "Current"):
        assert motor.read_attribute(name).quality == tango.AttrQuality.ATTR_INVALID, name
    motor.Velocity = 2000
    motor.Base_rate = 150
    motor.Acceleration = 20
    motor.Direction = -1
    frames = shared_sim.frames(until="_0-\r")
    assert ["_0R2000\r", "_0F150\r", "_0S20\r", "_0-\r"] == [
        f for f in frames if f in ("_0R2000\r", "_0F150\r", "_0S20\r", "_0-\r")]
    assert (motor.Velocity, motor.Base_rate, motor.Acceleration) == (2000, 150, 20)
    assert motor.Direction == -1
    motor.Direction = 1
    assert motor.Direction == 1
    # The current goes through the board's SPI bus, which only a board initialisation sets
    # up: here the station refuses it, and the server keeps the current unknown.
    with pytest.raises(tango.DevFailed) as refused:
        motor.Current = 1000
    assert reason(refused.value).startswith("CorvexLink_Error_")
    assert motor.read_attribute("Current").quality == tango.AttrQuality.ATTR_INVALID


def ended(states) -> bool:
    """True when the states hold MOVING followed later by ON."""
    return tango.DevState.MOVING in states and tango.DevState.ON in states[states.index(tango.DevState.MOVING):]


def test_absolute_move_seen_through_events(motor):
    motor.Velocity = 4000
    motor.Acceleration = 0
    start = motor.Position
    target = start + 1500
    events = Events(motor, "State", "Position")
    try:
        motor.Position = target
        # The move's end is seen as a change of State: MOVING, then ON.
        assert wait_for(lambda: ended(events.values("State")), timeout=20), events.values("State")
        assert wait_for(lambda: events.values("Position")[-1] == target, timeout=5)
        # Positions arrive as the motor goes, not only at the end.
        positions = events.values("Position")
        assert any(start < p < target for p in positions), positions
    finally:
        events.close()
    assert motor.Position == target
    assert motor.Encoder == target


def test_relative_move_and_position_reset(shared_sim, motor):
    motor.Velocity = 4000
    start = motor.Position
    motor.MoveRelative(-300)
    assert wait_for(lambda: motor.state() == tango.DevState.ON and motor.Position == start - 300)
    motor.ResetPosition()
    assert motor.Position == 0 and motor.Encoder == 0
    assert motor.HOME


def test_stop_ends_a_move_early(shared_sim, motor):
    motor.Velocity = 500
    motor.Acceleration = 0
    start = motor.Position
    motor.MoveRelative(100000)
    assert wait_for(lambda: motor.state() == tango.DevState.MOVING)
    motor.Stop()
    assert wait_for(lambda: motor.state() == tango.DevState.ON)
    assert start < motor.Position < start + 100000
    assert motor.ABORTD
    assert "_0H\r" in shared_sim.frames(until="_0H\r")


def test_abort_and_jog(shared_sim, motor):
    motor.Velocity = 3000
    motor.Jog(-800)
    assert wait_for(lambda: motor.state() == tango.DevState.MOVING)
    first = motor.Position
    assert wait_for(lambda: motor.Position < first - 50)
    motor.Abort()
    assert wait_for(lambda: motor.state() == tango.DevState.ON)
    frames = shared_sim.frames(until="_0H\r")
    jog = frames.index("_0Y800\r")
    assert frames[jog:jog + 3] == ["_0Y800\r", "_0-\r", "_0J\r"]


def test_a_station_refusal_carries_its_number_and_text(line, motor):
    motor.Velocity = 500
    motor.MoveRelative(100000)
    assert wait_for(lambda: motor.state() == tango.DevState.MOVING)
    with pytest.raises(tango.DevFailed) as refused:
        motor.Position = 10
    error = refused.value.args[0]
    assert error.reason == "CorvexLink_Error_6"
    assert "Motor is Running Can NOT Execute the Command Sent" in error.desc
    assert "(error 6)" in error.desc
    assert "corvex/motor/0" in error.origin
    assert line.LastErrorNumber == 6
    assert line.LastError.startswith("Motor is Running")


BAD_WRITES = [
    ("Velocity", 9000.0), ("Velocity", 10.0), ("Velocity", 600.5), ("Velocity", math.nan),
    ("Base_rate", 0.0), ("Acceleration", 256.0), ("Acceleration", -1.0), ("Current", 10),
    ("Current", 5000), ("Position", 8388608.0), ("Position", 1.5), ("Position", math.inf),
    ("Direction", 0), ("Direction", 2),
]


def test_bad_values_are_refused_with_nothing_on_the_line(shared_sim, motor):
    motor.Velocity = 600
    since = len(shared_sim.frames())
    for name, value in BAD_WRITES:
        with pytest.raises(tango.DevFailed) as refused:
            motor.write_attribute(name, value)
        # Tango's own limits (the attribute's min_value and max_value) or the server's check.
        assert reason(refused.value) in ("API_WAttrOutsideLimit", "CorvexLink_ArgumentError"), (name, value)
    for command, value in (("MoveRelative", 1e12), ("MoveRelative", 0.25), ("Jog", 0.0),
                           ("Jog", 9000.0), ("Jog", -math.inf)):
        with pytest.raises(tango.DevFailed) as refused:
            motor.command_inout(command, value)
        assert reason(refused.value) == "CorvexLink_ArgumentError", (command, value)
        assert "nothing was sent" in refused.value.args[0].desc
    assert unpolled(new_frames(shared_sim, since, motor, 0)) == []
    assert motor.Velocity == 600


def test_limits_widened_by_a_client_do_not_let_a_value_through(shared_sim, motor):
    # A client may change the attribute's limits; the server still refuses what the
    # station cannot take, and never casts an out-of-range number into the frame.
    config = motor.get_attribute_config("Position")
    saved = (config.min_value, config.max_value)
    config.min_value, config.max_value = "-1e300", "1e300"
    motor.set_attribute_config(config)
    try:
        since = len(shared_sim.frames())
        for value in (1e12, -1e12, 2.0 ** 31, -8388608.0):
            with pytest.raises(tango.DevFailed) as refused:
                motor.Position = value
            assert reason(refused.value) == "CorvexLink_ArgumentError", value
            assert "from -8388607 to 8388607" in refused.value.args[0].desc
        assert unpolled(new_frames(shared_sim, since, motor, 0)) == []
    finally:
        config = motor.get_attribute_config("Position")
        config.min_value, config.max_value = saved
        motor.set_attribute_config(config)


def test_other_motors_are_their_own_stations(shared_server, shared_sim):
    motor3 = shared_server.proxy("corvex/motor/3")
    motor3.Velocity = 4000
    motor3.MoveRelative(200)
    assert wait_for(lambda: motor3.state() == tango.DevState.ON and motor3.Position == 200)
    frames = shared_sim.frames(until="_3N200\r")
    assert "_3R4000\r" in frames and "_0N200\r" not in frames
