# SPDX-License-Identifier: MIT
"""corvexctl against kx4417-sim: results, JSON output, exit codes and what reaches the line."""

import json
import os
import pty
import select
import signal
import subprocess
import threading
import time
import tty

import pytest

from corvexlink.testing import Simulator

from conftest import CORVEXCTL, corvexctl


def test_simulate_scan_finds_exactly_the_simulated_stations():
    run = corvexctl("--simulate", "0-3", "scan")
    assert run.code == 0, run.err
    assert run.out.strip() == "stations: 0 1 2 3"

    run = corvexctl("--simulate", "0,2,9", "--json", "scan")
    assert run.code == 0, run.err
    (result,) = run.json()
    assert result == {"ok": True, "command": "scan", "line": result["line"], "stations": [0, 2, 9]}


def test_scan_status_and_watch_over_two_lines(simulator):
    with Simulator("0,5", port=2) as other:
        two = ["--device", simulator.link, "--device", other.link]
        # The two lines are scanned at once; each result names its line.
        run = corvexctl(*two, "--json", "scan")
        assert run.code == 0, run.err
        assert run.json() == [{"ok": True, "command": "scan", "line": simulator.link, "stations": [0, 1, 2, 3]},
                              {"ok": True, "command": "scan", "line": other.link, "stations": [0, 5]}]
        assert corvexctl(*two, "scan").out == (f"{simulator.link}: stations: 0 1 2 3\n"
                                               f"{other.link}: stations: 0 5\n")
        assert corvexctl("--device", other.link, "move", "5", "300", "--wait").code == 0

        # A station missing on one line: the other line's result, the failure naming its line.
        run = corvexctl(*two, "--json", "status", "5")
        assert run.code == 1
        failed, found = run.json()
        assert (failed["line"], failed["ok"], failed["error"]["number"]) == (simulator.link, False, 26)
        assert (found["line"], found["address"], found["ok"]) == (other.link, 5, True)
        assert run.err == f"corvexctl: status: {simulator.link}: station 5 did not answer (error 26)\n"

        run = corvexctl(*two, "--json", "watch", "0", "--count", "1")
        assert run.code == 0, run.err
        assert [(r["line"], r["address"]) for r in run.json()[0]["stations"]] == [(simulator.link, 0), (other.link, 0)]
        rows = corvexctl(*two, "watch", "0", "--count", "1").out.splitlines()
        assert rows[0].split() == ["line", "addr", "position", "encoder", "status"]
        assert [r.split()[:2] for r in rows[1:]] == [[simulator.link, "0"], [other.link, "0"]]

        # Each line's frames reached its own stations only.
        assert "_5N300\r" in other.frames() and "_5N300\r" not in simulator.frames()
        run = corvexctl(*two, "--json", "pos", "0")
        assert run.code == 2 and "only scan, status and watch take several lines" in run.json()[0]["usage_error"]


def test_init_resets_and_sets_up_every_station(ctl, simulator):
    run = ctl("--json", "init")
    assert run.code == 0, run.err
    assert run.json()[0]["stations"] == [0, 1, 2, 3]
    frames = simulator.frames(until="_3M33\r")
    for address in range(4):
        assert f"_{address}I\r" in frames
        assert f"_{address}R600\r" in frames


def test_move_and_goto_end_where_pos_then_reads(ctl):
    run = ctl("--json", "move", "1", "1500", "--wait")
    assert run.code == 0, run.err
    assert run.json()[0]["position"] == 1500

    run = ctl("--json", "pos", "1")
    assert run.code == 0, run.err
    assert run.json()[0]["position"] == 1500
    assert run.json()[0]["encoder"] == 1500

    run = ctl("goto", "1", "-250", "--wait")
    assert run.code == 0, run.err
    assert ctl("--json", "pos", "1").json()[0]["position"] == -250


def test_status_shows_named_bits_of_a_jogging_motor_and_stop_all_stops_it(ctl):
    assert ctl("jog", "0,2", "ccw").code == 0
    status = ctl("--json", "status", "2").json()[0]
    assert "RUNING" in status["bits"] and "DIR" not in status["bits"]
    assert status["status"] & 0x008

    run = ctl("--json", "stop", "all")
    assert run.code == 0, run.err
    assert run.json()[0]["stations"] == [0, 1, 2, 3]
    for address in ("0", "2"):
        bits = ctl("--json", "status", address).json()[0]["bits"]
        assert "RUNING" not in bits and "ABORTD" in bits


def test_profile_from_csv_is_queued_in_order_and_played(ctl, simulator, tmp_path):
    profile = tmp_path / "ramp.csv"
    profile.write_text("Speed ,Acce., Step N.\n# a ramp up and down\n200,2,300\n1200, 0, 600\n\n1200,-2,300\n")
    run = ctl("--json", "profile", "0", str(profile), "--run", "--wait")
    assert run.code == 0, run.err
    result = run.json()[0]
    assert result["segments"] == 3 and result["position"] == 1200

    frames = simulator.frames(until="_0&N300\r")
    queued = [f for f in frames if f.startswith("_0&")]
    assert queued == ["_0&F200\r", "_0&S2\r", "_0&N300\r", "_0&F1200\r", "_0&S0\r", "_0&N600\r",
                      "_0&F1200\r", "_0&S254\r", "_0&N300\r"]
    assert frames.index("_0K\r") < frames.index("_0M97\r") < frames.index("_0&F200\r")


def test_profile_longer_than_the_fifo_waits_for_room(ctl):
    # 30 segments take 270 bytes, more than the FIFO holds: the tool waits while it plays.
    lines = "".join("2000,0,40\n" for _ in range(30))
    path = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"long-{os.getpid()}.csv")
    with open(path, "w") as out:
        out.write(lines)
    try:
        run = ctl("--json", "profile", "3", path, "--run", "--wait")
    finally:
        os.unlink(path)
    assert run.code == 0, run.err
    assert run.json()[0]["position"] == 1200


def test_exit_codes_and_json_errors(ctl):
    assert ctl("check", "0").code == 0

    run = ctl("--json", "check", "5")  # no station 5: no answer
    assert run.code == 1
    assert run.json() == [{"ok": False, "command": "check",
                           "error": {"number": 26, "message": "station 5 did not answer",
                                     "library_message": "WriteSP: COM port timed out"}}]
    assert "error 26" in run.err

    run = ctl("--json", "raw", "_0Q")  # a letter the station does not know
    assert run.code == 1
    error = run.json()[0]["error"]
    assert error["number"] == 2 and error["message"].startswith("Syntax Error: Command Not Found")

    assert ctl("move", "0", "5000").code == 0
    run = ctl("move", "0", "10")  # still running
    assert run.code == 1 and "Motor is Running" in run.err and "(error 6)" in run.err

    run = ctl("--json", "move", "16", "10")
    assert run.code == 2
    assert run.json()[0]["ok"] is False and "usage_error" in run.json()[0]


def test_a_missing_port_is_a_line_error():
    run = corvexctl("--device", "/nonexistent/tty", "--json", "scan")
    assert run.code == 1
    assert run.json()[0]["error"]["number"] == 36


BAD_ARGUMENTS = [
    ["move", "16", "5"],
    ["move", "0", "5x"],
    ["move", "0", "99999999"],
    ["goto", "-1", "0"],
    ["speed", "0", "--slew", "15"],
    ["speed", "0", "--first", "8501"],
    ["speed", "0", "--accel", "256"],
    ["speed", "0"],
    ["current", "0", "49"],
    ["current", "0", "2001"],
    ["current", "0,1", "100"],
    ["jog", "0", "up"],
    ["stop", "17"],
    ["trigger", "all", "on"],
    ["pause", "0,,1", "on"],
    ["power", "0", "half"],
    ["adc", "1", "3"],
    ["adc", "0", "14"],
    ["adc", "0", "--bits", "8"],
    ["adc", "0", "3", "--bits", "9"],
    ["io", "write", "1", "70000"],
    ["spi", "configure", "1,2", "128"],
    ["baud", "4800"],
    ["raw", "x" * 63],
    ["raw", "_0P\r"],
    ["watch"],
    ["status", " 1"],
    ["--port", "0", "scan"],
    ["--baud", "1000", "scan"],
    ["--simulate", "0-16", "scan"],
    ["nosuchcommand"],
    [],
]


def test_bad_arguments_are_refused_with_nothing_on_the_line(ctl, simulator, tmp_path):
    bad_profile = tmp_path / "bad.csv"
    bad_profile.write_text("200,2,300\n200,300,10\n")  # slope 300 cannot be sent
    cases = BAD_ARGUMENTS + [["profile", "0", str(bad_profile)], ["profile", "0", str(tmp_path / "none.csv")],
                             ["profile", "0", str(bad_profile), "--wait"]]
    for args in cases:
        run = ctl(*args)
        assert run.code == 2, (args, run.out, run.err)
        assert run.err.startswith("corvexctl: "), (args, run.err)
        assert run.out == "", args
    # A probe that does reach the line marks the end: it must be the only frame.
    assert ctl("check", "0").code == 0
    assert simulator.frames(until="_0\r") == ["_0\r"]


def test_watch_refreshes_then_stops_cleanly_on_ctrl_c(simulator):
    run = subprocess.run([CORVEXCTL, "--device", simulator.link, "--json", "watch", "0", "1",
                          "--count", "2", "--interval", "100"], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    lines = [line for line in run.stdout.splitlines() if line]
    assert len(lines) == 2
    assert '"address":1' in lines[1]

    watch = subprocess.Popen([CORVEXCTL, "--device", simulator.link, "watch", "0", "--interval", "100"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        header = watch.stdout.readline()
        assert header.startswith("addr")
        watch.send_signal(signal.SIGINT)
        assert watch.wait(timeout=30) == 0
    finally:
        if watch.poll() is None:
            watch.kill()
            watch.wait()
    # The port was closed on the way out: another program can take it at once.
    run = subprocess.run([CORVEXCTL, "--device", simulator.link, "pos", "0"], capture_output=True, text=True,
                         timeout=60)
    assert run.returncode == 0, run.stderr


def test_help_version_and_man_page():
    run = corvexctl("--help")
    assert run.code == 0
    assert "corvexctl --simulate 0-3 scan" in run.out and "Exit codes" in run.out
    for command in ("scan", "profile", "watch", "io", "adc", "spi", "baud", "raw"):
        assert f"\n  {command} " in run.out

    run = corvexctl("--version")
    assert run.code == 0 and run.out.strip().startswith("corvexctl 2.")


COMPLETION = os.path.join(os.environ.get("CORVEXLINK_SOURCE_DIR", ""), "tools/corvexctl/corvexctl.bash-completion")


@pytest.mark.skipif(not os.path.exists("/usr/share/bash-completion/bash_completion"),
                    reason="bash-completion is not installed")
@pytest.mark.parametrize("line, expected", [
    ("corvexctl sc", {"scan"}),
    ("corvexctl io ", {"read", "write", "configure"}),
    ("corvexctl --baud 11", {"115200"}),
    ("corvexctl --device /dev/null jog 0 c", {"cw", "ccw"}),
    ("corvexctl adc 0 --bits ", {"8", "10", "12"}),
])
def test_bash_completion(line, expected):
    script = (f"source /usr/share/bash-completion/bash_completion; source {COMPLETION}; "
              f"COMP_LINE='{line}'; COMP_WORDS=({line}{' ' + repr('') if line.endswith(' ') else ''}); "
              "COMP_CWORD=$((${#COMP_WORDS[@]}-1)); COMP_POINT=${#COMP_LINE}; "
              "_corvexctl; printf '%s\\n' \"${COMPREPLY[@]}\"")
    run = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=30)
    assert set(run.stdout.split()) == expected, run.stderr


class ScriptedStation:
    """A pseudo-terminal whose far end answers every frame with the same bytes, for answers
    the simulator would never give."""

    def __init__(self, answer: bytes) -> None:
        self.answer = answer
        self.leader, self.follower = pty.openpty()
        tty.setraw(self.follower)
        self.device = os.ttyname(self.follower)
        self.frames = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self) -> None:
        while not self._stop.is_set():
            ready, _, _ = select.select([self.leader], [], [], 0.05)
            if not ready:
                continue
            try:
                received = os.read(self.leader, 4096)
            except OSError:
                continue
            for _ in range(received.count(b"\r")):
                self.frames += 1
                os.write(self.leader, self.answer)

    def close(self) -> None:
        self._stop.set()
        self._thread.join()
        os.close(self.follower)
        os.close(self.leader)


def run_bytes(*args, env=None, timeout: float = 120):
    """corvexctl with arguments that may hold any bytes; stdout and stderr as bytes."""
    return subprocess.run([CORVEXCTL, *args], capture_output=True, timeout=timeout, env=env)


def assert_terminal_safe(text: bytes) -> None:
    """Only printable UTF-8 and line ends: nothing a terminal would take as a control."""
    decoded = text.decode("utf-8")  # raises on bytes that are not UTF-8
    assert not [c for c in decoded if (ord(c) < 0x20 and c != "\n") or 0x7F <= ord(c) < 0xA0], decoded


def test_json_and_text_survive_arguments_and_file_names_that_are_not_utf8(tmp_path):
    run = run_bytes(b"--json", b"status", b"\xff")
    assert run.returncode == 2, run.stderr
    assert [json.loads(line) for line in run.stdout.splitlines()] == [
        {"ok": False, "command": "status", "usage_error": "ADDR: '\\xFF' is not a station address 0-15"}]

    # Well-formed characters pass as they are; each byte of a malformed sequence (overlong,
    # surrogate, beyond U+10FFFF, cut short, stray continuation) is escaped on its own.
    for given, shown in [(b"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\u00e9\u20ac\U0001F600"),
                         (b"\xc0\xaf", "\\xC0\\xAF"), (b"\xed\xa0\x80", "\\xED\\xA0\\x80"),
                         (b"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"), (b"\xe2\x82", "\\xE2\\x82"),
                         (b"\x80a\xbf", "\\x80a\\xBF")]:
        run = run_bytes(b"--json", b"status", given)
        assert json.loads(run.stdout)["usage_error"] == f"ADDR: '{shown}' is not a station address 0-15"

    run = run_bytes(b"status", b"\x1b[2J\xff")
    assert run.returncode == 2
    assert_terminal_safe(run.stderr)
    assert b"'\\x1B[2J\\xFF' is not a station address" in run.stderr
    run = run_bytes(b"status", "Z\u00fcrich\u00a0\u20ac".encode())
    assert "'Z\u00fcrich\u00a0\u20ac' is not".encode() in run.stderr

    # A profile whose name is not UTF-8 and whose second line cannot be sent; with --simulate
    # the simulator is started before the file is read.
    name = os.path.join(os.fsencode(tmp_path), b"ramp\xfe.csv")
    with open(name, "wb") as out:
        out.write(b"200,2,300\n200,300,10\n")
    env = dict(os.environ, TMPDIR=str(tmp_path))
    run = run_bytes(b"--json", b"--simulate", b"0", b"profile", b"0", name, env=env)
    assert run.returncode == 2, run.stderr
    (result,) = [json.loads(line) for line in run.stdout.splitlines()]
    assert result["ok"] is False
    assert "ramp\\xFE.csv:2: slope '300'" in result["usage_error"]
    assert_terminal_safe(run.stderr)
    assert os.listdir(tmp_path) == [os.fsdecode(b"ramp\xfe.csv")]  # the simulator's folder is gone


def test_noise_in_a_station_answer_is_escaped_in_json_and_on_the_terminal():
    station = ScriptedStation(b"?\xff\xfe\x1b[2J\xc2\x9b1m>")
    try:
        run = run_bytes(b"--device", station.device.encode(), b"--json", b"status", b"0")
        assert run.returncode == 1, run.stderr
        (result,) = [json.loads(line) for line in run.stdout.splitlines()]
        assert result["error"]["number"] == -1
        assert result["error"]["message"].endswith("answer = ?\\xFF\\xFE\x1b[2J\x9b1m>")
        assert_terminal_safe(run.stderr)
        assert run.stderr.endswith(b"answer = ?\\xFF\\xFE\\x1B[2J\\xC2\\x9B1m> (error -1)\n")

        run = run_bytes(b"--device", station.device.encode(), b"--verbose", b"status", b"0")
        assert run.returncode == 1
        assert_terminal_safe(run.stderr)
        assert station.frames >= 2
    finally:
        station.close()


def simulator_processes(marker: str):
    """Pids of the simulators whose command line holds `marker` (a test's own folder)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                words = cmdline.read().split(b"\0")
            with open(f"/proc/{entry}/stat") as stat:
                state = stat.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if state != "Z" and os.path.basename(words[0]) == b"kx4417-sim" and marker.encode() in b" ".join(words):
            found.append(int(entry))
    return found


def test_simulator_and_its_folder_end_with_corvexctl_even_after_sigkill(tmp_path):
    env = dict(os.environ, TMPDIR=str(tmp_path))
    assert corvexctl("--simulate", "0-3", "scan", env=env).code == 0
    assert os.listdir(tmp_path) == [] and simulator_processes(str(tmp_path)) == []

    watch = subprocess.Popen([CORVEXCTL, "--simulate", "0", "watch", "0", "--interval", "100"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    simulators = []
    try:
        assert watch.stdout.readline().startswith(b"addr")  # the simulator answers
        simulators = simulator_processes(str(tmp_path))
        assert len(simulators) == 1
        watch.kill()
        watch.wait(timeout=30)
        deadline = time.monotonic() + 15
        while (simulator_processes(str(tmp_path)) or os.listdir(tmp_path)) and time.monotonic() < deadline:
            time.sleep(0.05)
        assert simulator_processes(str(tmp_path)) == []
        assert os.listdir(tmp_path) == []
    finally:
        if watch.poll() is None:
            watch.kill()
            watch.wait()
        watch.stdout.close()
        for pid in simulator_processes(str(tmp_path)):
            if pid in simulators:
                os.kill(pid, signal.SIGKILL)
