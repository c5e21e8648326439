# SPDX-License-Identifier: MIT
"""corvexctl's messages: a port that does not open names its device and the system's reason,
usage errors name what is wrong and the subcommand, a time-out names the station, watch --json
carries the time, completion offers the stations of the last scan, and the man page."""

import gzip
import os
import re
import subprocess

import pytest

from conftest import CORVEXCTL, corvexctl

PERMISSION = "permission denied (add the user to the dialout group, or give the adapter a udev rule)"


def only_json(run):
    (result,) = run.json()
    return result


def test_a_port_that_does_not_open_names_the_device_and_the_reason(simulator, tmp_path):
    run = corvexctl("--json", "--device", "/nonexistent/ttyUSB7", "scan")
    assert run.code == 1
    assert only_json(run)["line"] == "/nonexistent/ttyUSB7"
    assert only_json(run)["error"] == {
        "message": "cannot open /nonexistent/ttyUSB7: no such device", "number": 36,
        "library_message": "Unable to open COM port: /nonexistent/ttyUSB7: no such device", "port": None,
        "device": "/nonexistent/ttyUSB7", "reason": "no such device", "reason_code": "no_device"}
    assert run.err == "corvexctl: scan: cannot open /nonexistent/ttyUSB7: no such device (error 36)\n"

    # The device named by the environment, as ports.conf would name it.
    env = dict(os.environ, CORVEXLINK_COM2="/dev/null", XDG_CONFIG_HOME=str(tmp_path))
    run = corvexctl("--json", "--port", "2", "pos", "0", env=env)
    error = only_json(run)["error"]
    assert (error["port"], error["device"], error["reason"], error["reason_code"]) == (
        2, "/dev/null", "not a serial device", "not_serial")
    assert run.err == "corvexctl: pos: cannot open COM2: /dev/null: not a serial device (error 36)\n"

    # In use by another program: a watch holds the simulator's line.
    watch = subprocess.Popen([CORVEXCTL, "--device", simulator.link, "watch", "0", "--interval", "100"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        assert watch.stdout.readline().startswith("addr")
        run = corvexctl("--json", "--device", simulator.link, "pos", "0")
    finally:
        watch.terminate()
        watch.wait(timeout=30)
    error = only_json(run)["error"]
    assert (error["number"], error["device"], error["reason_code"]) == (36, simulator.link, "in_use")
    assert error["reason"] == "in use by another program"


def test_a_device_without_permission_says_what_to_do(simulator):
    device = os.path.realpath(simulator.link)
    if os.geteuid() == 0:
        os.chmod(device, 0o600)  # root's device: an ordinary user may not open it
        as_user = dict(user=65534, group=65534, cwd="/")
    else:
        os.chmod(device, 0o000)
        as_user = {}
    env = {k: v for k, v in os.environ.items() if k not in ("HOME", "XDG_CACHE_HOME")}
    run = corvexctl("--json", "--device", device, "pos", "0", env=env, **as_user)
    assert run.code == 1, run.err
    error = only_json(run)["error"]
    assert (error["device"], error["reason"]) == (device, PERMISSION)
    assert run.err.endswith(f"{device}: {PERMISSION} (error 36)\n")


def test_usage_errors_name_the_problem_and_the_subcommand():
    run = corvexctl("nosuchcommand")
    assert run.code == 2 and run.out == ""
    assert run.err.startswith("corvexctl: unknown subcommand 'nosuchcommand'")
    run = corvexctl("--json", "--port", "2", "mvoe", "0", "1")
    assert only_json(run) == {"ok": False, "usage_error": "unknown subcommand 'mvoe'; --help lists the subcommands"}
    assert corvexctl().err.startswith("corvexctl: no subcommand given")
    assert corvexctl("io").err.startswith("corvexctl: io: no subcommand of io given")

    cases = [
        (["move", "0", "abc"], "move", "STEPS: 'abc' is not a number"),
        (["move", "0", "1.5"], "move", "STEPS: '1.5' is not a whole number"),
        (["goto", "0", "99999999"], "goto", "POS: '99999999' is not in the range -8388607 to 8388607"),
        (["--baud", "fast", "scan"], "scan", "--baud: 'fast' is not a number"),
        (["baud", "4800"], "baud", "RATE: '4800' is not one of 9600, 19200, 38400, 57600, 115200"),
        (["move", "0", "5", "--wait", "--timeout", "inf"], "move", "--timeout: 'inf' is not a number"),
        (["io", "write", "1", "0x10"], "io write", "VALUE: '0x10' is not a number"),
        (["--device", "/dev/null", "--simulate", "0", "scan"], "scan", "--device and --simulate cannot be given together"),
    ]
    for args, command, message in cases:
        run = corvexctl("--json", *args)
        assert run.code == 2, args
        assert only_json(run) == {"ok": False, "command": command, "usage_error": message}
        assert run.err.startswith(f"corvexctl: {command}: {message}\n"), run.err


def test_numbers_are_decimal_even_with_a_leading_zero(ctl):
    run = ctl("--json", "goto", "1", "010", "--wait")
    assert run.code == 0, run.err
    assert only_json(run)["position"] == 10
    assert only_json(run)["target"] == 10


def test_a_station_that_does_not_answer_is_named(ctl):
    run = ctl("--json", "check", "5")
    assert run.code == 1
    assert only_json(run)["error"] == {"message": "station 5 did not answer", "number": 26,
                                       "library_message": "WriteSP: COM port timed out"}
    assert run.err == "corvexctl: check: station 5 did not answer (error 26)\n"

    run = ctl("--json", "pos", "12")  # the frame names it in hexadecimal (_C)
    error = only_json(run)["error"]
    assert error["message"] == "station 12 did not answer"
    assert error["library_message"] == "ItcCommand: COM port timed out (command = _CP)"

    run = ctl("move", "13", "100")  # a relative move is not repeated: it may have run
    assert run.err == ("corvexctl: move: station 13 did not answer; the command may have been carried out "
                       "(error 26)\n")

    # --verbose adds the library's own text; a station's answer stays on one line.
    run = ctl("--verbose", "check", "5")
    assert "corvexctl: check: the library says: WriteSP: COM port timed out\n" in run.err
    run = ctl("raw", "_0Q")
    assert run.code == 1
    assert run.err == "corvexctl: raw: Syntax Error: Command Not Found (command = _0Q, answer = ?2\\r\\n> (error 2)\n"


def test_watch_json_lines_carry_the_time(ctl):
    run = ctl("--json", "watch", "0", "--count", "3", "--interval", "100")
    assert run.code == 0, run.err
    times = [line["time"] for line in run.json()]
    assert len(times) == 3
    assert all(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", t) for t in times), times
    assert times == sorted(times) and times[0] < times[2]


COMPLETION = os.path.join(os.environ.get("CORVEXLINK_SOURCE_DIR", ""), "tools/corvexctl/corvexctl.bash-completion")


def complete(line: str, cache: str) -> set:
    script = (f"source /usr/share/bash-completion/bash_completion; source {COMPLETION}; "
              f"COMP_LINE='{line}'; COMP_WORDS=({line}{' ' + repr('') if line.endswith(' ') else ''}); "
              "COMP_CWORD=$((${#COMP_WORDS[@]}-1)); COMP_POINT=${#COMP_LINE}; "
              "_corvexctl; printf '%s\\n' \"${COMPREPLY[@]}\"")
    run = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=30,
                         env=dict(os.environ, XDG_CACHE_HOME=cache))
    return set(run.stdout.split())


@pytest.mark.skipif(not os.path.exists("/usr/share/bash-completion/bash_completion"),
                    reason="bash-completion is not installed")
def test_completion_offers_all_and_the_stations_of_the_last_scan(simulator, tmp_path):
    cache = str(tmp_path)
    assert complete("corvexctl stop ", cache) == {"all"}
    assert not complete("corvexctl pos ", cache) & {"0", "1", "2", "3"}

    env = dict(os.environ, XDG_CACHE_HOME=cache)
    assert corvexctl("--device", simulator.link, "scan", env=env).code == 0
    assert (tmp_path / "corvexctl" / "stations").read_text() == "0 1 2 3\n"
    assert complete("corvexctl pos ", cache) == {"0", "1", "2", "3"}
    assert complete("corvexctl --device /dev/null stop ", cache) == {"all", "0", "1", "2", "3"}
    assert complete("corvexctl watch 0 ", cache) == {"0", "1", "2", "3"}
    assert complete("corvexctl io write ", cache) == {"0", "1", "2", "3"}
    assert complete("corvexctl jog 1 c", cache) == {"cw", "ccw"}

    # A simulated line is not remembered.
    assert corvexctl("--simulate", "5", "scan", env=env).code == 0
    assert (tmp_path / "corvexctl" / "stations").read_text() == "0 1 2 3\n"


def test_help_and_man_page_say_what_a_user_needs():
    run = corvexctl("--help")
    assert "Excludes" not in run.out
    assert "rfc2217://HOST:PORT or tcp://HOST:PORT" in run.out
    page = os.path.join(os.environ["CORVEXLINK_BUILD_DIR"], "tools/corvexctl/corvexctl.1.gz")
    if not os.path.exists(page):
        pytest.skip("help2man did not build the man page")
    text = gzip.open(page, "rt").read()
    for section in ("EXIT STATUS", "FILES", "SEE ALSO", "ENVIRONMENT"):
        assert f'.SH "{section}"' in text or f".SH {section}" in text, section
    for name in ("XDG_CONFIG_HOME", "/etc/corvexlink/ports.conf", "CORVEXLINK_COM", "kx4417\\-sim"):
        assert name in text, name
    assert "Excludes" not in text
