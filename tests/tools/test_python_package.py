# SPDX-License-Identifier: MIT
"""The corvexlink Python package against kx4417-sim: results, exceptions and the line."""

import glob
import json
import os
import re
import subprocess
import sys

import pytest

import corvexlink
from corvexlink import Status
from corvexlink.testing import Simulator


def test_scan_init_and_a_move_read_back(link, simulator):
    assert link.scan() == [0, 1, 2, 3]
    assert link.init() == [0, 1, 2, 3]
    assert "_2M33\r" in simulator.frames(until="_3M33\r")

    motor = link.motor(2)
    motor.set_speed(slew=3000, first=200, accel=100)
    motor.move_by(2500)
    assert Status.RUNING in motor.status
    status = motor.wait_until_stopped(timeout=30)
    assert Status.RUNING not in status and Status.READY in status
    assert motor.position == 2500 and motor.encoder == 2500

    motor.move_to(-100)
    motor.wait_until_stopped(timeout=30)
    assert motor.position == -100
    motor.position = 7
    assert motor.position == 7


def test_status_is_an_intflag_with_the_station_names(link):
    motor = link.motor(1)
    motor.jog("cw")
    status = motor.status
    assert isinstance(status, Status)
    assert Status.RUNING | Status.DIR in status
    motor.stop()
    assert "ABORTD" in motor.status.names and "RUNING" not in motor.status.names
    assert Status(0x030).names == ["LS-CCW", "LS-CW"]


def test_station_errors_raise_with_number_and_message(link):
    with pytest.raises(corvexlink.StationError) as caught:
        link.raw("_0Q")
    assert caught.value.number == 2
    assert caught.value.message.startswith("Syntax Error: Command Not Found (command = _0Q")

    motor = link.motor(0)
    motor.move_by(5000)
    with pytest.raises(corvexlink.MotorRunningError) as caught:
        motor.move_by(10)
    assert caught.value.number == 6 and "Motor is Running" in caught.value.message
    assert isinstance(caught.value, corvexlink.CorvexLinkError)
    motor.stop()


def test_silence_and_a_closed_port_raise_their_own_exceptions(simulator):
    link = corvexlink.open(simulator.device)
    assert link.check(3) is True
    assert link.check(9) is False
    with pytest.raises(corvexlink.TimeoutError) as caught:
        link.motor(9).position
    assert caught.value.number == 26 and isinstance(caught.value, TimeoutError)
    link.close()
    for closed in (link.motor(0).stop, link.scan, lambda: link.check(0), link.init):
        with pytest.raises(corvexlink.PortNotOpenError) as caught:
            closed()
        assert caught.value.number == 25


_OPEN = (
    "import corvexlink, json, sys\n"
    "try:\n"
    "    corvexlink.open(port=4, device=sys.argv[1])\n"
    "except corvexlink.PortError as e:\n"
    "    print(json.dumps([e.number, e.message, e.device, e.reason, str(e)]))\n"
)


def _open_elsewhere(device: str, **kwargs) -> list:
    """How another process's open of `device` fails: number, message, device, reason, text."""
    run = subprocess.run([sys.executable, "-c", _OPEN, device], capture_output=True, text=True, timeout=60, **kwargs)
    assert run.returncode == 0 and run.stdout, run.stderr
    return json.loads(run.stdout)


def test_a_port_that_does_not_open_names_its_device_and_the_reason(simulator, monkeypatch):
    errors = corvexlink.errors
    with pytest.raises(corvexlink.PortError) as caught:
        corvexlink.open("/nonexistent/tty")
    error = caught.value
    assert error.number == 36 and error.message == "Unable to open COM port"
    assert error.device == "/nonexistent/tty" and error.reason == "no such device"
    assert error.reason_code == errors.OPEN_NO_DEVICE
    assert str(error) == "Unable to open COM port (error 36): /nonexistent/tty: no such device"
    # The device a port leads to, from the caller's own environment.
    monkeypatch.setenv("CORVEXLINK_COM8", "/dev/null")
    with pytest.raises(corvexlink.PortError) as caught:
        corvexlink.open(port=8)
    assert (caught.value.device, caught.value.reason) == ("/dev/null", "not a serial device")
    assert caught.value.reason_code == errors.OPEN_NOT_SERIAL

    # In use: by another Link of this process, and by another program.
    with corvexlink.open(simulator.device) as holder:
        with pytest.raises(corvexlink.PortError) as caught:
            corvexlink.open(simulator.device)
        number, message, device, reason, _ = _open_elsewhere(simulator.link)
        assert holder.scan() == [0, 1, 2, 3]  # the refused opens left the holder's line alone
    assert (caught.value.reason, caught.value.reason_code) == (
        "in use by another line of this program",
        errors.OPEN_IN_USE,
    )
    assert (number, message, reason) == (36, "Unable to open COM port", "in use by another program")
    assert device == simulator.link


@pytest.mark.skipif(os.geteuid() != 0, reason="needs root to run a process as another user")
def test_a_device_without_permission_says_what_to_do(simulator, tmp_path):
    device = os.path.realpath(simulator.link)
    os.chmod(device, 0o600)
    env = {k: v for k, v in os.environ.items() if k != "HOME"}
    _, _, named, reason, text = _open_elsewhere(device, user=65534, group=65534, env=env, cwd=tmp_path)
    assert named == device
    assert reason == "permission denied (add the user to the dialout group, or give the adapter a udev rule)"
    assert text.endswith(f"{device}: {reason}")


def test_bad_arguments_raise_before_anything_is_sent(link, simulator):
    motor = link.motor(0)
    board = link.board(0)
    refused = [
        lambda: link.motor(16),
        lambda: motor.set_speed(slew=15),
        lambda: motor.set_speed(first=8501),
        lambda: motor.set_speed(accel=-1),
        lambda: motor.set_speed(),
        lambda: motor.set_current(2001),
        lambda: motor.move_by(1.5),
        lambda: motor.jog("up"),
        lambda: motor.configure_mode(35),
        lambda: motor.queue_profile([(200, 2, 100), (200, 300, 100)]),
        lambda: board.adc(3, bits=9),
        lambda: board.adc_all(bits=8),
        lambda: board.read_inputs(port=0),
        lambda: link.trigger("all"),
        lambda: link.pause([]),
        lambda: link.raw("x" * 63),
        lambda: link.raw("_0P\r"),
        lambda: link.change_baud(4800),
        lambda: link.board(4),
    ]
    for call in refused:
        with pytest.raises(corvexlink.ArgumentError):
            call()
    assert link.check(0)
    assert simulator.frames(until="_0\r") == ["_0\r"]


def test_a_fifo_profile_longer_than_the_fifo_is_queued_while_it_plays(link, simulator):
    motor = link.motor(3)
    motor.fifo_reset()
    motor.configure_mode(33, fifo=True)
    motor.queue_profile([(2000, 0, 40)] * 30)  # 270 bytes through a 128-byte FIFO
    motor.wait_until_stopped(timeout=60)
    assert motor.position == 1200
    assert motor.fifo_index == 90
    queued = [f for f in simulator.frames() if f.startswith("_3&")]
    assert queued[:3] == ["_3&F2000\r", "_3&S0\r", "_3&N40\r"] and len(queued) == 90


def test_boards_analog_spi_and_digital_io(link, simulator):
    board = link.board(0)
    values = board.adc_all(bits=12)
    assert len(values) == 11
    assert board.adc(3, bits=12) == values[3]

    board.spi_configure(128)
    board.spi_write(0x1234)
    assert board.spi_read() == 0x1234

    board.configure_io(0x00FF, port=2)
    board.write_outputs(5, port=2)
    assert isinstance(board.read_inputs(port=2), int)
    frames = simulator.frames(until="_2B\r")
    assert "_2C255\r" in frames and "_2W5\r" in frames and "_1U4660\r" in frames


def test_the_library_can_be_named_and_a_missing_one_is_an_error():
    script = "import corvexlink\ntry:\n    corvexlink.open()\nexcept corvexlink.CorvexLinkError as e:\n    print(e)\n"
    env = dict(os.environ, CORVEXLINK_LIBRARY="/nonexistent/libCorvexLink.so.2")
    run = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert "cannot load the CorvexLink library" in run.stdout


def test_the_example_script_runs_against_a_simulator():
    example = os.path.join(os.environ["CORVEXLINK_SOURCE_DIR"], "python/examples/scan_and_move.py")
    with Simulator("0-1") as sim:
        run = subprocess.run([sys.executable, example], env=sim.env, capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert "stations: [0, 1]" in run.stdout
    assert "motor 1: position 2000, status READY|DIR" in run.stdout
    assert "motor 0: 12.5 mm" in run.stdout  # 1000 steps less 500
    assert "after the profile: position 2500" in run.stdout


def test_the_simulator_leaves_the_environment_alone_and_cleans_up():
    before = dict(os.environ)
    with Simulator("4", port=5) as sim:
        link_path = sim.device
        assert dict(os.environ) == before and sim.env["CORVEXLINK_COM5"] == link_path
        with corvexlink.open(sim.device) as link:
            assert link.scan() == [4]
    assert not os.path.exists(link_path)


def test_submodules_load_on_first_use():
    script = "import corvexlink, sys\nprint(corvexlink.aio.open.__module__, corvexlink.testing.Simulator.__name__)\n"
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0 and run.stdout.split() == ["corvexlink.aio", "Simulator"], run.stderr


def test_an_installed_package_has_its_version_metadata_plugin_and_library(tmp_path):
    for component in ("corvexlink-python", "libcorvexlink2"):
        run = subprocess.run(
            ["cmake", "--install", os.environ["CORVEXLINK_BUILD_DIR"], "--component", component, "--prefix", str(tmp_path)],
            capture_output=True, text=True, timeout=120,
        )
        assert run.returncode == 0, run.stderr
    (package,) = glob.glob(str(tmp_path / "lib/python3*/dist-packages/corvexlink"))
    script = (
        "import importlib.metadata as m, os, corvexlink, corvexlink._install as i\n"
        "print(corvexlink.__version__, m.version('corvexlink'))\n"
        "print(corvexlink.library_path() == os.path.normpath(os.path.join(os.path.dirname(i.__file__),\n"
        "    i.LIBRARY_RELATIVE_PATH)), os.path.isfile(corvexlink.library_path()))\n"
        "print(*[p.value for p in m.entry_points(group='pytest11') if p.name == 'corvexlink.testing'])\n"
    )
    env = {k: v for k, v in os.environ.items() if k != "CORVEXLINK_LIBRARY"}
    env["PYTHONPATH"] = os.path.dirname(package)
    run = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    with open(os.path.join(os.environ["CORVEXLINK_SOURCE_DIR"], "CMakeLists.txt"), encoding="utf-8") as f:
        project = re.search(r"^project\(CorvexLink VERSION ([0-9.]+)", f.read(), re.M).group(1)
    assert run.stdout.split() == [project, project, "True", "True", "corvexlink.testing"]
