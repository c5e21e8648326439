# SPDX-License-Identifier: MIT
"""corvexlink-tango as a program: its command line, SIGTERM, running without a database,
two clients at once, a lost line and its recovery, a line that cannot be opened, a silent
station and a limit switch. Each test starts its own server."""

import os
import signal
import socket
import subprocess
import sys
import textwrap
import time

import pytest
import tango

import corvexlink
from conftest import KX4417_SIM, MOVER, SERVER, Events, SimProcess, example_db, running, wait_for


def run(*args: str) -> subprocess.CompletedProcess:
    return subprocess.run([SERVER, *args], capture_output=True, text=True, timeout=30)


def test_command_line():
    help_run = run("--help")
    assert help_run.returncode == 0
    assert help_run.stdout.startswith("Usage: corvexlink-tango INSTANCE")
    assert "a stop is sent at the next" in help_run.stdout.replace("\n", " ")
    version = run("--version")
    assert version.returncode == 0 and version.stdout.startswith("corvexlink-tango 2.")
    for bad in ([], ["-file=x.db"]):
        refused = run(*bad)
        assert refused.returncode == 2, bad
        assert "server instance" in refused.stderr


def test_busy_endpoint_ends_the_server_with_exit_1(tmp_path):
    with socket.socket() as taken:
        taken.bind(("127.0.0.1", 0))
        taken.listen()
        port = taken.getsockname()[1]
        db = tmp_path / "corvexlink-tango.db"
        db.write_text(example_db(port=str(tmp_path / "no-line")))
        ended = subprocess.run([SERVER, "demo", f"-file={db}", "-ORBendPoint", f"giop:tcp:127.0.0.1:{port}"],
                               capture_output=True, text=True, timeout=60, cwd=tmp_path)
    assert ended.returncode == 1
    assert "Ready to accept request" not in ended.stdout


def test_sigterm_closes_the_line_and_exits_zero(sim, start_server):
    server = start_server(sim.env)
    assert server.proxy("corvex/line/1").state() == tango.DevState.ON
    assert server.stop() == 0
    assert "corvexlink-tango: COM1 closed" in server.output()
    # The line is free again for another program.
    with corvexlink.open(sim.device) as link:
        assert link.scan() == [0, 1, 2, 3]


def test_without_a_database(sim, start_server):
    server = start_server(sim.env, args=["demo", "-nodb", "-dlist", "corvex/motor/0,corvex/motor/2"])
    assert server.proxy("corvex/line/1").state() == tango.DevState.ON
    motor = server.proxy("corvex/motor/2")  # the address is the end of the name
    motor.MoveRelative(25)
    assert wait_for(lambda: motor.state() == tango.DevState.ON and motor.Position == 25)
    assert "_2N25\r" in sim.frames(until="_2N25\r")
    with pytest.raises(tango.DevFailed):
        server.proxy("corvex/motor/1").state()


CLIENT = textwrap.dedent("""
    import sys, time, tango
    motor = tango.DeviceProxy(sys.argv[1])
    motor.set_source(tango.DevSource.DEV)
    motor.Velocity = 400
    motor.Position = motor.Position + 100000
    time.sleep(1.5)
    motor.Stop()
    while motor.state() != tango.DevState.ON:
        time.sleep(0.05)
    print(int(motor.Position))
""")


def test_two_clients_on_one_line(sim, start_server):
    server = start_server(sim.env)
    watcher = server.proxy("corvex/motor/0")
    other = server.proxy("corvex/motor/1")
    events = Events(watcher, "State", "Position")
    try:
        # The second client, in a process of its own, moves motor 0 and stops it; this one
        # watches through events and meanwhile reads another motor on the same line.
        driver = subprocess.Popen(
            [sys.executable, "-c", CLIENT, f"tango://127.0.0.1:{server.port}/corvex/motor/0#dbase=no"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        reads = 0
        while driver.poll() is None:
            assert other.Position == 0
            reads += 1
        out, err = driver.communicate()
        assert driver.returncode == 0, err
        stopped_at = int(out.split()[-1])
        assert reads > 10
        assert 0 < stopped_at < 100000
        assert wait_for(lambda: events.values("Position")[-1] == stopped_at, timeout=5)
        assert tango.DevState.MOVING in events.values("State")

        def on_after_moving():
            states = events.values("State")
            return tango.DevState.ON in states[states.index(tango.DevState.MOVING):]

        # The last Position event comes before State's ON, which may still be on its way.
        assert wait_for(on_after_moving, timeout=5)
        positions = events.values("Position")
        assert positions == sorted(positions) and len(set(positions)) > 3
    finally:
        events.close()
    assert "_0H\r" in sim.frames(until="_0H\r")




def move_ends(seen) -> list:
    """(State, Position) at each end of a move in a list of change events: the first State
    after MOVING that is not MOVING, with the last Position received before it."""
    ends, position, moving = [], None, False
    for name, value in seen:
        if name == "position":
            position = value
        elif value == tango.DevState.MOVING:
            moving = True
        elif moving:
            ends.append((value, position))
            moving = False
    return ends


def test_a_client_that_sees_a_move_end_reads_where_it_ended(sim, start_server):
    server = start_server(sim.env)
    watcher = server.proxy("corvex/motor/0", fresh=False)  # the polled values, as by default
    targets = [300, 600, 900]
    events = Events(watcher, "State", "Position")
    try:
        # One client moves the motor from target to target; the other waits for State to
        # leave MOVING and then reads Position, both from the polling buffer.
        mover = subprocess.Popen(
            [sys.executable, "-c", MOVER, f"tango://127.0.0.1:{server.port}/corvex/motor/0#dbase=no",
             "400", "0.6", *map(str, targets)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ends, moving = [], False
        while mover.poll() is None:
            state = watcher.state()
            if state == tango.DevState.MOVING:
                moving = True
            elif moving:
                ends.append((state, watcher.Position))
                moving = False
            time.sleep(0.001)
        assert mover.wait() == 0, mover.stderr.read()
        assert ends == [(tango.DevState.ON, t) for t in targets]
        # The change events come in the same order: the end position before State's ON.
        with events.lock:
            seen = [(name, value) for name, value, error in events.seen if not error]
        assert move_ends(seen) == [(tango.DevState.ON, t) for t in targets]
    finally:
        events.close()


def test_lost_line_and_recovery(tmp_path, start_server):
    link = str(tmp_path / "com1")
    sim = SimProcess(link)
    try:
        server = start_server(dict(os.environ, CORVEXLINK_COM1=link))
        line = server.proxy("corvex/line/1")
        motor = server.proxy("corvex/motor/0")
        motor.Velocity = 300
        motor.MoveRelative(100000)
        assert wait_for(lambda: motor.state() == tango.DevState.MOVING)

        sim.kill()
        assert wait_for(lambda: motor.state() == tango.DevState.FAULT, timeout=5)
        assert motor.status().startswith("The line is lost (")
        assert line.state() == tango.DevState.FAULT
        assert "Reconnect or Init" in line.status()
        # The clients keep their connection: the server answers, nothing goes to the line.
        with pytest.raises(tango.DevFailed) as lost:
            motor.read_attribute("Position")
        assert lost.value.args[0].reason == "CorvexLink_LineLost"

        sim.start()
        line.Reconnect()
        assert line.state() == tango.DevState.ON
        assert wait_for(lambda: motor.state() == tango.DevState.ON)
        assert motor.Position == 0  # a new simulator: its stations start at 0
        # The stations may have been reset meanwhile: their settings are unknown again.
        assert motor.read_attribute("Velocity").quality == tango.AttrQuality.ATTR_INVALID

        # Init recovers too, and initialises the boards as well.
        sim.kill()
        assert wait_for(lambda: line.state() == tango.DevState.FAULT, timeout=5)
        sim.start()
        line.Init()
        assert line.state() == tango.DevState.ON
        assert wait_for(lambda: motor.state() == tango.DevState.ON)
        assert motor.Velocity == 600
    finally:
        sim.stop()


def test_a_lost_line_is_named_even_for_a_silent_station(tmp_path, start_server):
    link = str(tmp_path / "com1")
    sim = SimProcess(link)
    try:
        server = start_server(dict(os.environ, CORVEXLINK_COM1=link), db_text=example_db(motors=[5]))
        silent = server.proxy("corvex/motor/5")
        with pytest.raises(tango.DevFailed):
            silent.read_attribute("Position")  # no answer: the station is not asked again for 2 s
        sim.kill()
        assert wait_for(lambda: server.proxy("corvex/line/1").state() == tango.DevState.FAULT)
        assert silent.status().startswith("The line is lost (")
        with pytest.raises(tango.DevFailed) as lost:
            silent.read_attribute("Position")
        assert lost.value.args[0].reason == "CorvexLink_LineLost"
    finally:
        sim.stop()


def test_line_that_cannot_be_opened(tmp_path, start_server):
    missing = str(tmp_path / "no-such-device")
    server = start_server(dict(os.environ), db_text=example_db(port=missing))
    line = server.proxy("corvex/line/1")
    assert line.state() == tango.DevState.FAULT
    assert line.status() == f"Unable to open COM port: {missing}: no such device"
    assert line.LastErrorNumber == 36
    motor = server.proxy("corvex/motor/1")
    assert motor.state() == tango.DevState.FAULT
    assert motor.status().startswith("The line is not open: Unable to open COM port: ")
    with pytest.raises(tango.DevFailed) as refused:
        motor.Position = 10
    assert refused.value.args[0].reason == "CorvexLink_LineNotOpen"

    # A Rate property that no station takes is refused as a written Rate is: not opened.
    server = start_server(dict(os.environ), db_text=example_db(rate=-9600))
    line = server.proxy("corvex/line/1")
    line.Init()
    assert line.state() == tango.DevState.FAULT
    assert line.status() == ('The Rate property must be 9600, 19200, 38400, 57600 or 115200 baud; '
                             '"-9600" was refused and the line was not opened')
    assert server.proxy("corvex/motor/0").status().startswith("The line is not open: The Rate property")


def test_silent_station_is_a_fault_of_its_motor_alone(sim, start_server):
    server = start_server(sim.env, db_text=example_db(motors=[0, 5]))
    silent = server.proxy("corvex/motor/5")
    assert silent.state() == tango.DevState.FAULT
    assert silent.status().startswith("Station 5 does not answer: ")
    with pytest.raises(tango.DevFailed) as failed:
        silent.read_attribute("Position")
    assert failed.value.args[0].reason == "CorvexLink_Error_26"
    assert server.proxy("corvex/motor/0").state() == tango.DevState.ON


def test_bad_address_property(sim, start_server):
    db = example_db(motors=[0]).replace('"corvex/motor/0"', '"corvex/motor/0", "corvex/motor/x"') \
        + "corvex/motor/x->Address: 16\n"
    server = start_server(sim.env, db_text=db)
    motor = server.proxy("corvex/motor/x")
    assert motor.state() == tango.DevState.FAULT
    assert motor.status() == 'The Address property must be a station address from 0 to 15, not "16"'
    with pytest.raises(tango.DevFailed) as refused:
        motor.MoveRelative(10)
    assert refused.value.args[0].reason == "CorvexLink_ArgumentError"


def test_limit_switch_gives_alarm(tmp_path, start_server):
    link = str(tmp_path / "com1")
    switches = subprocess.Popen([KX4417_SIM, "--stations", "0-3", "--link", link, "--control"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                bufsize=1)

    def switch(address: int, ccw: int, cw: int) -> None:
        switches.stdin.write(f"limit {address} {ccw} {cw}\n")
        assert switches.stdout.readline() == "ok\n"

    try:
        assert switches.stdout.readline().startswith("kx4417-sim: stations 0,1,2,3 on ")
        server = start_server(dict(os.environ, CORVEXLINK_COM1=link))
        motor = server.proxy("corvex/motor/1")
        assert motor.state() == tango.DevState.ON
        switch(1, 0, 1)
        assert wait_for(lambda: motor.state() == tango.DevState.ALARM)
        assert motor.status().startswith("Station 1: The clockwise limit switch is active")
        assert list(motor.Limit_switches) == [False, True]
        assert motor.LS_CW and not motor.LS_CCW
        with pytest.raises(tango.DevFailed) as refused:
            motor.MoveRelative(100)  # towards the active switch
        assert refused.value.args[0].reason == "CorvexLink_Error_7"
        motor.MoveRelative(-100)  # away from it: moving takes precedence over the alarm
        assert wait_for(lambda: motor.state() == tango.DevState.ALARM and motor.Position == -100)
        switch(1, 1, 0)
        assert wait_for(lambda: "counter-clockwise" in motor.status())
        switch(1, 0, 0)
        assert wait_for(lambda: motor.state() == tango.DevState.ON)
    finally:
        switches.stdin.close()  # the simulator ends with its input
        switches.wait(timeout=10)
        switches.wait(timeout=10)


def test_a_test_program_that_crashes_leaves_no_server_or_simulator_running(tmp_path):
    # The test program starts both as the fixtures do, then dies at once (no clean-up runs).
    script = textwrap.dedent(f"""
        import os, signal, sys
        sys.path.insert(0, {os.path.dirname(__file__)!r})
        from conftest import Server, SimProcess
        sim = SimProcess({str(tmp_path / "com1")!r}, "0")
        server = Server({str(tmp_path)!r}, dict(os.environ, CORVEXLINK_COM1=sim.link))
        print(server.process.pid, sim.process.pid, flush=True)
        os.kill(os.getpid(), signal.SIGKILL)
        """)
    crashed = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                             timeout=120)
    assert crashed.returncode == -signal.SIGKILL, crashed.stderr
    pids = [int(p) for p in crashed.stdout.split()]
    assert len(pids) == 2, crashed.stdout
    try:
        assert wait_for(lambda: not any(running(p) for p in pids), timeout=30), \
            [p for p in pids if running(p)]
    finally:
        for pid in pids:
            if running(pid):
                os.kill(pid, signal.SIGKILL)
