# SPDX-License-Identifier: MIT
"""CorvexLine through python3-tango against the simulator: the line's state, the stations
found, scan, board initialisation, rate change, stop of every motor and the boards' I/O.
One server for the module."""

import threading

import pytest
import tango

from conftest import new_frames, unpolled, wait_for


@pytest.fixture(scope="module")
def line(shared_server):
    return shared_server.proxy("corvex/line/1")


@pytest.fixture(scope="module")
def motors(shared_server):
    return [shared_server.proxy(f"corvex/motor/{a}") for a in range(4)]


def test_open_line_and_the_stations_found(line):
    assert line.state() == tango.DevState.ON
    assert line.status().startswith("COM1 is open at 9600 baud; stations found: 0, 1, 2, 3")
    assert list(line.Stations) == [0, 1, 2, 3]
    assert line.Rate == 9600
    assert line.LastErrorNumber in (0, 26)  # the scan's silent addresses time out


def test_scan_probes_every_address(shared_sim, line):
    since = len(shared_sim.frames())
    assert list(line.Scan()) == [0, 1, 2, 3]
    probes = [f for f in shared_sim.frames(until="_F\r")[since:] if len(f) == 3]
    assert probes == [f"_{a:X}\r" for a in range(16)]


def test_motor_reads_during_a_scan_fail_at_once_and_stops_still_go(shared_sim, line, motors):
    motor = motors[2]
    motor.Velocity = 300
    motor.MoveRelative(100000)
    assert wait_for(lambda: motor.state() == tango.DevState.MOVING)
    scan = threading.Thread(target=line.Scan)
    scan.start()
    try:
        busy = wait_for(lambda: busy_read(motor))
        assert busy and "busy scanning for stations" in busy
        # A stop is not held back by the scan: it is never refused as busy.
        motor.Stop()
    finally:
        scan.join()
    assert wait_for(lambda: motor.state() == tango.DevState.ON)
    assert "_2H\r" in shared_sim.frames(until="_2H\r")


def busy_read(motor):
    try:
        motor.read_attribute("Position")
    except tango.DevFailed as error:
        if error.args[0].reason == "CorvexLink_LineBusy":
            return error.args[0].desc
    return None


def test_board_io(shared_sim, line):
    inputs = line.ReadAnalogInputs(0)
    assert len(inputs) == 11 and all(0 <= v <= 4095 for v in inputs)
    assert list(line.ReadDigitalInputs(0)) == [0, 0, 0]
    line.ConfigureDigitalIO([0, 3, 255])
    line.WriteDigitalOutputs([0, 2, 5])
    line.WriteDigitalOutputs([0, 1, 5])
    frames = shared_sim.frames(until="_1W4101\r")
    # Port 1 of a board is its user-I/O controller, whose values carry the library's mark.
    assert ["_3C255\r", "_2W5\r", "_1W4101\r"] == [
        f for f in frames if f in ("_3C255\r", "_2W5\r", "_1W4101\r")]
    assert ["_1B\r", "_2B\r", "_3B\r"] == [f for f in frames if f in ("_1B\r", "_2B\r", "_3B\r")]


def test_bad_board_io_is_refused_with_nothing_on_the_line(shared_sim, line, motors):
    since = len(shared_sim.frames())
    for command, argument in (("ReadAnalogInputs", 4), ("ReadAnalogInputs", -1),
                              ("ReadDigitalInputs", 4), ("WriteDigitalOutputs", [0, 0, 1]),
                              ("WriteDigitalOutputs", [0, 4, 1]), ("WriteDigitalOutputs", [0, 1, 256]),
                              ("WriteDigitalOutputs", [0, 1]), ("ConfigureDigitalIO", [5, 1, 1]),
                              ("ConfigureDigitalIO", [0, 1, -1])):
        with pytest.raises(tango.DevFailed) as refused:
            line.command_inout(command, argument)
        assert refused.value.args[0].reason == "CorvexLink_ArgumentError", (command, argument)
    with pytest.raises(tango.DevFailed) as refused:
        line.Rate = 12345
    assert refused.value.args[0].reason == "CorvexLink_ArgumentError"
    assert "9600, 19200, 38400, 57600 or 115200" in refused.value.args[0].desc
    assert unpolled(new_frames(shared_sim, since, motors[0], 0)) == []


def test_stop_all_stops_every_moving_motor(shared_sim, line, motors):
    for motor in motors[:2]:
        motor.Velocity = 300
        motor.MoveRelative(-100000)
    assert wait_for(lambda: all(m.state() == tango.DevState.MOVING for m in motors[:2]))
    line.StopAll()
    assert wait_for(lambda: all(m.state() == tango.DevState.ON for m in motors))
    frames = shared_sim.frames(until="_3H\r")
    assert {"_0H\r", "_1H\r", "_2H\r", "_3H\r"} <= set(frames)


def test_init_initialises_the_boards(shared_sim, line, motors):
    motors[1].Velocity = 1234
    since = len(shared_sim.frames())
    line.Init()
    assert line.state() == tango.DevState.ON
    frames = shared_sim.frames(until="_3M33\r")[since:]
    assert "_0I\r" in frames and "_3I\r" in frames  # every station found is reset
    # The server now knows the stations' settings: the defaults of a board initialisation.
    for motor in motors:
        assert (motor.Velocity, motor.Base_rate, motor.Acceleration, motor.Current) == (600, 100, 50, 50)
    # With the boards set up, the current goes out through the SPI bus.
    motors[2].Current = 1000
    assert motors[2].Current == 1000
    assert any(f.startswith("_1U") for f in shared_sim.frames()[since:])


def test_rate_change_moves_stations_and_port(shared_sim, line, motors):
    line.Rate = 19200
    try:
        assert line.Rate == 19200
        assert "19200 baud" in line.status()
        motors[3].MoveRelative(10)
        assert wait_for(lambda: motors[3].state() == tango.DevState.ON)
        assert motors[3].StatusRegister & 0x80  # READY: the station answers at the new rate
    finally:
        line.Rate = 9600
    assert line.Rate == 9600
    assert motors[0].state() == tango.DevState.ON
