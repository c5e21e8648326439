# SPDX-License-Identifier: MIT
"""The corvexlink package over the network: Debian's ser2net serves kx4417-sim, and
corvexlink.open reaches the stations through rfc2217:// and tcp:// port names, named by
CORVEXLINK_COM<n> or given as the device, a rate change included."""

import pytest

import corvexlink
from ser2net_process import ser2net  # noqa: F401 - the fixture


def test_open_over_rfc2217_moves_and_changes_the_rate(simulator, ser2net, monkeypatch):  # noqa: F811
    monkeypatch.setenv(simulator.variable, ser2net.rfc2217_url)
    assert corvexlink.port_device(simulator.port) == ser2net.rfc2217_url
    with corvexlink.open(port=simulator.port) as link:
        assert link.scan() == [0, 1, 2, 3]
        motor = link.motor(2)
        motor.move_by(300)
        motor.wait_until_stopped(timeout=30)
        assert motor.position == 300
        link.change_baud(57600)
        assert motor.position == 300  # answered at the new rate
    assert "_2N300\r" in simulator.frames(until="_2N300\r")

    # The stations stay at 57600; a new connection asks ser2net for that rate again.
    with corvexlink.open(ser2net.rfc2217_url, 57600) as link:
        assert link.scan() == [0, 1, 2, 3]
        link.change_baud(9600)
    with corvexlink.open(ser2net.rfc2217_url) as link:
        assert link.motor(2).position == 300


def test_open_over_tcp_reaches_the_stations_and_refuses_a_rate_change(simulator, ser2net):  # noqa: F811
    with corvexlink.open(ser2net.tcp_url) as link:
        assert link.scan() == [0, 1, 2, 3]
        link.motor(3).position = 1234
        with pytest.raises(corvexlink.CorvexLinkError) as refused:
            link.change_baud(57600)
        assert refused.value.number == 30 and "tcp://" in refused.value.message, refused.value
        assert link.baud == 9600
        assert link.motor(3).position == 1234  # the stations were left at the line's rate
