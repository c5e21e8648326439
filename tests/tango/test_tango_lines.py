# SPDX-License-Identifier: MIT
"""One server, two lines: the example file database with its second line switched on, over
two simulators. Each line device drives its own line alone; motors on both are moved from
two clients at once; a stop on one line goes out while the other line scans; one simulator
killed turns only its own devices to FAULT, and Reconnect brings its line back."""

import os
import re
import subprocess
import sys
import threading

import pytest
import tango

from conftest import EXAMPLE_DB, MOVER, SimProcess, wait_for



def two_line_db() -> str:
    """The example database as its comments say to switch the second line on: the two
    device lists at the top deleted, the lines of the second line's block uncommented."""
    text = open(EXAMPLE_DB).read()
    text = re.sub(r"^corvexlink-tango/demo/DEVICE/\w+: (?:.*\\\n)*.*\n", "", text, flags=re.M)
    return re.sub(r"^#(?=\S|\s+\")", "", text, flags=re.M)


def busy(motor) -> bool:
    try:
        motor.read_attribute("Position")
    except tango.DevFailed as error:
        return error.args[0].reason == "CorvexLink_LineBusy"
    return False


@pytest.fixture
def sims(tmp_path):
    one = SimProcess(str(tmp_path / "com1"), "0-3")
    two = SimProcess(str(tmp_path / "com2"), "0-1")
    yield one, two
    one.stop()
    two.stop()


def test_two_lines_in_one_server(sims, start_server):
    sim1, sim2 = sims
    server = start_server(dict(os.environ, CORVEXLINK_COM1=sim1.link, CORVEXLINK_COM2=sim2.link),
                          db_text=two_line_db())
    line1, line2 = server.proxy("corvex/line/1"), server.proxy("corvex/line/2")
    a = [server.proxy(f"corvex/motor/{n}") for n in range(4)]
    b = [server.proxy(f"corvex/motor-line2/{n}") for n in range(2)]
    # Each line device reports its own port and its own stations.
    assert line1.status().startswith("COM1 is open at 9600 baud; stations found: 0, 1, 2, 3")
    assert line2.status().startswith("COM2 is open at 9600 baud; stations found: 0, 1")
    assert (list(line1.Stations), list(line2.Stations)) == ([0, 1, 2, 3], [0, 1])

    # Motor 0 of each line, moved at once from two clients, each to its own targets.
    url = f"tango://127.0.0.1:{server.port}/%s#dbase=no"
    movers = [subprocess.Popen([sys.executable, "-c", MOVER, url % name, "2000", "0", *targets],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
              for name, targets in (("corvex/motor/0", ["900", "300"]),
                                    ("corvex/motor-line2/0", ["-700", "-500"]))]
    outs = [m.communicate(timeout=60) for m in movers]
    assert [m.returncode for m in movers] == [0, 0], outs
    assert [int(out.split()[-1]) for out, _ in outs] == [300, -500]
    assert (a[0].Position, b[0].Position) == (300, -500)

    # While line 1 scans (its motors refused as busy), line 2 is not held up: its reads go
    # through and a stop reaches its moving motor before the scan has ended.
    b[1].Velocity = 300
    b[1].MoveRelative(100000)
    assert wait_for(lambda: b[1].state() == tango.DevState.MOVING)
    scan = threading.Thread(target=line1.Scan)
    scan.start()
    try:
        assert wait_for(lambda: busy(a[1]))
        assert b[0].Position == -500
        b[1].Stop()
        assert wait_for(lambda: b[1].state() == tango.DevState.ON, timeout=1.5)
        assert scan.is_alive()  # 16 probes, 12 of them silent: over 2 s
    finally:
        scan.join()

    # Line 1 lost: its devices alone turn FAULT; line 2's motor keeps moving, and a new move
    # there runs to its end.
    a[0].Velocity = 300
    a[0].MoveRelative(100000)
    b[0].Velocity = 300
    b[0].MoveRelative(100000)
    assert wait_for(lambda: a[0].state() == tango.DevState.MOVING and b[0].state() == tango.DevState.MOVING)
    sim1.kill()
    assert wait_for(lambda: all(m.state() == tango.DevState.FAULT for m in [line1, *a]), timeout=5)
    assert line1.status().startswith(f"The line is lost ({sim1.link} went away); Reconnect or Init corvex/line/1")
    with pytest.raises(tango.DevFailed) as lost:
        a[2].read_attribute("Position")
    assert lost.value.args[0].reason == "CorvexLink_LineLost"
    assert line2.state() == tango.DevState.ON
    assert b[0].state() == tango.DevState.MOVING
    before = b[0].Position
    b[1].MoveRelative(40)
    assert wait_for(lambda: b[1].state() == tango.DevState.ON and b[0].Position > before)
    b[0].Stop()

    # Reconnect opens the same line again: its station table is kept, so Init (which does
    # not scan a line in use) resets every station of line 1 found before the loss.
    sim1.start()
    line1.Reconnect()
    assert line1.state() == tango.DevState.ON
    assert wait_for(lambda: all(m.state() == tango.DevState.ON for m in a))
    since = len(sim1.frames())
    line1.Init()
    init = sim1.frames()[since:]
    assert {"_0I\r", "_1I\r", "_2I\r", "_3I\r"} <= set(init)
    assert "_F\r" not in init  # no scan: address 15 was not probed
    a[3].MoveRelative(25)
    assert wait_for(lambda: a[3].state() == tango.DevState.ON and a[3].Position == 25)

    # No frame of one line's motors ever reached the other line (beyond the scan's probes).
    frames1, frames2 = sim1.frames(), sim2.frames()
    assert not [f for f in frames2 if f[:2] in ("_2", "_3") and f not in ("_2\r", "_3\r")]
    assert [f for f in frames1 if f.endswith("900\r")] and not [f for f in frames2 if f.endswith("900\r")]
    assert [f for f in frames2 if f.endswith("-700\r")] and not [f for f in frames1 if f.endswith("-700\r")]
