# SPDX-License-Identifier: MIT
"""corvexctl over the network: Debian's ser2net serves kx4417-sim, and corvexctl reaches the
stations through rfc2217:// and tcp:// port names, a rate change included."""

import os

from conftest import corvexctl
from ser2net_process import ser2net  # noqa: F401 - the fixture


def test_scan_and_a_rate_change_over_rfc2217(simulator, ser2net):  # noqa: F811
    over_network = dict(os.environ, CORVEXLINK_COM1=ser2net.rfc2217_url)
    run = corvexctl("scan", env=over_network)
    assert run.code == 0, run.err + ser2net.log()
    assert run.out == "stations: 0 1 2 3\n"
    assert simulator.frames(until="_F\r")[-16:] == [f"_{a:X}\r" for a in range(16)]

    run = corvexctl("baud", "57600", env=over_network)
    assert run.code == 0, run.err
    assert run.out == "line and stations 0 1 2 3 now at 57600 baud\n"
    # The stations listen at 57600 now: at 9600 none answers, at 57600 (a rate that only
    # the RFC 2217 request can give the far line) all of them do.
    assert corvexctl("scan", env=over_network).out == "no station answered\n"
    run = corvexctl("--device", ser2net.rfc2217_url, "--baud", "57600", "--json", "scan")
    assert run.code == 0, run.err
    assert run.json() == [{"ok": True, "command": "scan", "line": ser2net.rfc2217_url, "stations": [0, 1, 2, 3]}]

    assert corvexctl("--baud", "57600", "baud", "9600", env=over_network).code == 0
    assert corvexctl("scan", env=over_network).out == "stations: 0 1 2 3\n"


def test_tcp_reaches_the_stations_and_refuses_a_rate_change(simulator, ser2net):  # noqa: F811
    run = corvexctl("--device", ser2net.tcp_url, "move", "1", "400", "--wait")
    assert run.code == 0, run.err + ser2net.log()
    assert run.out == "station 1 stopped at position 400\n"

    run = corvexctl("--device", ser2net.tcp_url, "baud", "57600")
    assert run.code == 1
    assert "tcp://" in run.err and "(error 30)" in run.err, run.err
    assert "^" not in "".join(simulator.frames())  # no station was told to switch
    assert corvexctl("--device", ser2net.tcp_url, "--json", "pos", "1").json()[0]["position"] == 400
