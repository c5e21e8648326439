# SPDX-License-Identifier: MIT
"""corvexctl's subcommands for lines, settings and peripherals: what each puts on the line and
what it reads back, against kx4417-sim."""

import os
import pty
import resource
import subprocess

import pytest

from conftest import CORVEXCTL


def bits(ctl, address):
    return set(ctl("--json", "status", str(address)).json()[0]["bits"])


def test_jog_directions_speed_and_stop(ctl, simulator):
    assert ctl("jog", "0", "cw").code == 0
    assert ctl("jog", "1", "ccw", "--speed", "300").code == 0
    assert "DIR" in bits(ctl, 0) and "DIR" not in bits(ctl, 1)
    assert ctl("stop", "0").code == 0 and ctl("stop", "1").code == 0
    frames = simulator.frames(until="_1H\r")
    assert frames[frames.index("_0+\r") + 1] == "_0J\r"
    assert frames[frames.index("_1Y300\r") + 1:frames.index("_1Y300\r") + 3] == ["_1-\r", "_1J\r"]


def test_trigger_pause_and_power_switch_the_lines_they_name(ctl):
    assert ctl("trigger", "0,1", "on").code == 0
    assert "TRGD" in bits(ctl, 0) and "TRGD" in bits(ctl, 1) and "TRGD" not in bits(ctl, 2)
    # A new run starts with every line off and sends the board's whole line state.
    assert ctl("pause", "2", "on").code == 0
    assert "PSED" in bits(ctl, 2) and "PSED" not in bits(ctl, 0) and "TRGD" not in bits(ctl, 0)
    assert ctl("pause", "2", "off").code == 0
    assert "PSED" not in bits(ctl, 2)

    assert ctl("power", "2,3", "off").code == 0
    assert "READY" not in bits(ctl, 3) and "READY" in bits(ctl, 1)
    assert ctl("power", "all", "on").code == 0
    assert "READY" in bits(ctl, 3)


def test_speed_and_current_send_only_what_was_given(ctl, simulator):
    assert ctl("init").code == 0  # sets up the SPI bus that carries the currents
    assert ctl("speed", "3", "--slew", "2000", "--accel", "10").code == 0
    assert ctl("current", "1", "1000").code == 0
    frames = simulator.frames(until="_1U625\r")  # code 113 for 1000 mA, motor 1 of the board in bits 9-10
    after_init = frames[frames.index("_3M33\r") + 1:]
    assert after_init[:3] == ["_3R2000\r", "_3S10\r", "_1U625\r"]


def test_user_io_spi_and_adc(ctl, simulator):
    assert ctl("io", "configure", "1", "255").code == 0
    assert ctl("io", "write", "2", "5").code == 0
    read = ctl("--json", "io", "read", "2")
    assert read.code == 0 and isinstance(read.json()[0]["value"], int)

    run = ctl("--json", "io", "write", "0", "1")  # a master controller: the library refuses it
    assert run.code == 1 and run.json()[0]["error"]["number"] == 51

    assert ctl("spi", "configure", "1", "128").code == 0
    assert ctl("spi", "write", "1", "4660").code == 0
    assert ctl("--json", "spi", "read", "1").json()[0]["value"] == 4660

    channels = ctl("--json", "adc", "0", "--bits", "10").json()[0]["values"]
    assert len(channels) == 11
    one = ctl("--json", "adc", "0", "3", "--bits", "10").json()[0]
    assert one["value"] == channels[3]

    run = ctl("--json", "adc", "4", "3")  # no board 1 here
    assert run.code == 1 and run.json()[0]["error"]["number"] == 26

    frames = simulator.frames(until="_1V\r")
    assert "_1C5887\r" in frames and "_2W5\r" in frames and "_1U4660\r" in frames
    assert "_0W1\r" not in frames


def test_baud_moves_the_stations_and_later_commands_follow_with_baud(ctl):
    run = ctl("--json", "baud", "19200")
    assert run.code == 0, run.err
    assert run.json()[0]["stations"] == [0, 1, 2, 3]
    assert ctl("--json", "--baud", "19200", "scan").json()[0]["stations"] == [0, 1, 2, 3]
    assert ctl("--json", "scan").json()[0]["stations"] == []


def test_port_number_and_verbose_diagnostics(ctl):
    run = ctl("--port", "3", "--json", "check", "2")
    assert run.code == 0 and run.json()[0]["present"] is True

    run = ctl("--verbose", "pos", "5")
    assert run.code == 1
    assert "Timeout" in run.err and "(error 26)" in run.err


@pytest.mark.parametrize("content, complaint", [
    ("Speed ,Acce., Step N.\n", "no segment"),
    ("200,2\n", ":1: expected three numbers"),
    ("# ramp\n200,2,30,\n", ":2: expected three numbers"),
    ("200,2,30\n2x0,1,1\n", ":2: first rate"),
    ("15,0,1\n", ":1: first rate"),
    ("200,-257,1\n", ":1: slope"),
    ("200,0,9999999\n", ":1: steps"),
    ("200,0,1.5\n", ":1: steps"),
    ("first,slope,steps\nsecond header\n", ":2: expected three numbers"),
    # Only words make a header: a first line with a number in it is a segment like any other.
    ("nan,0,10\n200,2,300\n", ":1: first rate 'nan'"),
    ("Infinity,0,10\n", ":1: first rate 'Infinity'"),
    ("Speed,0,10\n200,2,300\n", ":1: first rate 'Speed'"),
    ("\ufeffnan,0,10\n200,2,300\n", ":1: first rate 'nan'"),
    ("\ufeff\ufeff200,0,10\n", ":1: first rate"),
])
def test_profile_files_that_cannot_be_sent_are_refused_naming_the_line(ctl, simulator, tmp_path, content,
                                                                       complaint):
    path = tmp_path / "p.csv"
    path.write_text(content, encoding="utf-8")
    run = ctl("profile", "0", str(path))
    assert run.code == 2
    assert complaint in run.err
    assert ctl("check", "0").code == 0
    assert simulator.frames(until="_0\r") == ["_0\r"]


@pytest.mark.parametrize("content", [
    "\ufeff200,2,300\n1200,0,600\n",
    "\ufeffSpeed ,Acce., Step N.\r\n200,2,300\r\n1200,0,600\r\n",
    "\ufeff# ramp\n200,2,300\n1200,0,600\n",
])
def test_profile_with_a_byte_order_mark_keeps_every_segment(ctl, simulator, tmp_path, content):
    path = tmp_path / "p.csv"
    path.write_text(content, encoding="utf-8", newline="")
    run = ctl("--json", "profile", "0", str(path))
    assert run.code == 0, run.err
    assert run.json()[0]["segments"] == 2
    frames = simulator.frames(until="_0&N600\r")
    assert [f for f in frames if f.startswith("_0&")] == ["_0&F200\r", "_0&S2\r", "_0&N300\r",
                                                          "_0&F1200\r", "_0&S0\r", "_0&N600\r"]


def test_only_a_regular_profile_file_of_bounded_size_is_read(ctl, simulator, tmp_path):
    # A FIFO waits for a writer without end and /dev/zero never ends (its one line grew until
    # memory ran out): each file is refused at once with its reason, and nothing is sent. The
    # memory limit keeps a reader that reads without end from taking the machine's.
    fifo = tmp_path / "p.fifo"
    os.mkfifo(fifo)
    (tmp_path / "zero.csv").symlink_to("/dev/zero")
    (tmp_path / "gone.csv").symlink_to(tmp_path / "nothing")
    large = tmp_path / "large.csv"
    large.write_text("200,2,300\n" * 104858)
    refusals = {"/dev/zero": "not a regular file (a character device)",
                tmp_path / "zero.csv": "not a regular file (a character device)",
                tmp_path: "not a regular file (a folder)",
                tmp_path / "gone.csv": "a symbolic link to nothing",
                tmp_path / "none.csv": "cannot be read (No such file or directory)",
                large: "larger than 1048576 bytes (1048580 bytes)",
                fifo: "not a regular file (a FIFO)"}

    def limit_memory():
        resource.setrlimit(resource.RLIMIT_AS, (512 << 20, 512 << 20))

    for path, reason in refusals.items():
        run = subprocess.run([CORVEXCTL, "--device", simulator.link, "profile", "0", str(path)],
                             capture_output=True, text=True, timeout=30, preexec_fn=limit_memory)
        assert run.returncode == 2 and f"FILE: {path}: {reason}\n" in run.stderr, (path, run.stderr)
    assert ctl("check", "0").code == 0
    assert simulator.frames(until="_0\r") == ["_0\r"]
    # A file of exactly the bound is read, however long its lines.
    large.write_text("200,2,300\n#" + "x" * (1048576 - 12) + "\n")
    assert large.stat().st_size == 1048576
    run = ctl("--json", "profile", "0", str(large))
    assert run.code == 0 and run.json()[0]["segments"] == 1, run.err


def test_profile_shows_a_progress_bar_on_a_terminal(simulator, tmp_path):
    path = tmp_path / "p.csv"
    path.write_text("300,0,20\n" * 4)
    leader, follower = pty.openpty()
    try:
        run = subprocess.run([CORVEXCTL, "--device", simulator.link, "profile", "0", str(path)],
                             stdout=subprocess.PIPE, stderr=follower, text=True, timeout=120)
        os.close(follower)
        follower = -1
        shown = b""
        while True:
            try:
                chunk = os.read(leader, 4096)
            except OSError:  # the terminal's far end is closed: everything has been read
                break
            if not chunk:
                break
            shown += chunk
    finally:
        if follower != -1:
            os.close(follower)
        os.close(leader)
    assert run.returncode == 0
    text = shown.decode()
    assert "0/4 segments" in text and "4/4 segments" in text
    assert text.count("\rprofile [") >= 5
    assert "4 segments queued in station 0" in run.stdout
