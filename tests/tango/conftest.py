# SPDX-License-Identifier: MIT
"""Fixtures of the Tango device server tests: the simulator program on a private pty, the
server as a child process on a free loopback port with a file database, and proxies that
reach its devices without a database server."""

import os
import re
import shutil
import signal
import socket
import subprocess
import textwrap
import threading
import time
from typing import Dict, List, Optional

import pytest
import tango

from corvexlink.testing import ChildWatch, Simulator

SERVER = os.environ.get("CORVEXLINK_TANGO", "corvexlink-tango")
EXAMPLE_DB = os.environ.get("CORVEXLINK_TANGO_DB", "corvexlink-tango.db")
KX4417_SIM = os.environ.get("KX4417_SIM", "kx4417-sim")

# The frames the server's polling sends on its own: the poll of State reads the status
# register (=) and then the position counter (P) of every motor.
POLL_FRAME = re.compile(r"_[0-9A-F][P=]\r")
TRANSCRIPT_LINE = re.compile(r"^\s*\d+\.\d+ (\S+)")


def running(pid: int) -> bool:
    """True while `pid` runs; a zombie that nobody waits for has ended."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def example_db(port: str = "1", rate: int = 9600, motors=range(4), extra: str = "") -> str:
    """A file database like the example one, with another port, rate or motor list."""
    names = ",\\\n    ".join(f'"corvex/motor/{m}"' for m in motors)
    lines = [
        'corvexlink-tango/demo/DEVICE/CorvexLine: "corvex/line/1"',
        f"corvexlink-tango/demo/DEVICE/CorvexMotor: {names}",
        f"corvex/line/1->Port: {port}",
        f"corvex/line/1->Rate: {rate}",
    ]
    lines += [f"corvex/motor/{m}->Address: {m}" for m in motors]
    return "\n".join(lines) + "\n" + extra


class Server:
    """corvexlink-tango as a child process, until stop()."""

    def __init__(self, folder, env: Dict[str, str], db_text: Optional[str] = None,
                 args: Optional[List[str]] = None, ready_timeout: float = 60.0) -> None:
        self.folder = str(folder)
        self.env = env
        self.lines: List[str] = []
        self.process: Optional[subprocess.Popen] = None
        self.watch: Optional[ChildWatch] = None
        self.port = 0
        db = os.path.join(self.folder, "corvexlink-tango.db")
        if db_text is None:
            shutil.copy(EXAMPLE_DB, db)
        else:
            with open(db, "w") as out:
                out.write(db_text)
        self.args = args if args is not None else ["demo", f"-file={db}"]
        for _ in range(3):  # another program may take the free port first
            self.port = free_port()
            if self._start(ready_timeout):
                return
        raise AssertionError("the server did not start:\n" + "".join(self.lines))

    def _start(self, ready_timeout: float) -> bool:
        command = [SERVER, *self.args, "-ORBendPoint", f"giop:tcp:127.0.0.1:{self.port}"]
        self.lines = []
        ready = threading.Event()
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, env=self.env, cwd=self.folder,
                                        start_new_session=True)
        # A test program that crashes must not leave the server running.
        self.watch = ChildWatch(self.process.pid)

        def collect(stream) -> None:
            for line in stream:
                self.lines.append(line)
                if line.startswith("Ready to accept request"):
                    ready.set()
            ready.set()  # the server ended

        threading.Thread(target=collect, args=(self.process.stdout,), daemon=True).start()
        ready.wait(ready_timeout)
        if self.process.poll() is None and any(l.startswith("Ready") for l in self.lines):
            return True
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.watch.release()
        return False

    def proxy(self, name: str, fresh: bool = True) -> tango.DeviceProxy:
        """A proxy of a device; `fresh` reads from the device, not from the polling buffer."""
        device = tango.DeviceProxy(f"tango://127.0.0.1:{self.port}/{name}#dbase=no")
        if fresh:
            device.set_source(tango.DevSource.DEV)
        return device

    def output(self) -> str:
        return "".join(self.lines)

    def stop(self) -> int:
        """SIGTERM, then the exit code (the server must end within 20 s)."""
        if self.process is None:
            return 0
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the server did not end within 20 s of SIGTERM")
        finally:
            if self.process.returncode is not None:
                self.watch.release()
        time.sleep(0.05)  # the reader thread takes the last lines
        self.process = None
        return code


def wait_for(condition, timeout: float = 10.0, step: float = 0.05):
    """Polls `condition` until it gives a true value (returned) or `timeout` passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


class Events:
    """Change events of some attributes of a device, kept in arrival order."""

    def __init__(self, device: tango.DeviceProxy, *names: str) -> None:
        self.device = device
        self.lock = threading.Lock()
        self.seen: List[tuple] = []
        self.ids: List[int] = []
        try:
            for n in names:
                self.ids.append(device.subscribe_event(n, tango.EventType.CHANGE_EVENT, self._push))
        except BaseException:
            # A subscription left behind would call back into this program until it exits.
            self.close()
            raise

    def _push(self, event) -> None:
        name = event.attr_name.split("/")[-1].split("#")[0].lower()
        value = event.errors[0].reason if event.err else event.attr_value.value
        with self.lock:
            self.seen.append((name, value, bool(event.err)))

    def values(self, name: str) -> list:
        """The values received, in order (error events left out: a loaded machine may
        make a poll late, which Tango reports as an error event)."""
        with self.lock:
            return [v for n, v, error in self.seen if n == name.lower() and not error]

    def close(self) -> None:
        # Subscriptions left open keep the client's event threads alive at exit.
        ids, self.ids = self.ids, []
        failure = None
        for i in ids:
            try:
                self.device.unsubscribe_event(i)
            except tango.DevFailed as error:  # the others are still ended
                failure = failure or error
        if failure is not None:
            raise failure


def unpolled(frames: List[str]) -> List[str]:
    """The frames that the server's polling did not send."""
    return [f for f in frames if not POLL_FRAME.fullmatch(f)]


def new_frames(sim: Simulator, since: int, marker: tango.DeviceProxy, address: int) -> List[str]:
    """The frames after the first `since`, once a marker read of the Encoder of `marker`
    (the motor at `address`; the polling never reads encoders) has reached the simulator,
    so that everything sent before it is there; the marker itself is left out."""
    frame = f"_{address:X}{{\r"
    before = sim.frames().count(frame)
    marker.read_attribute("Encoder")
    frames = wait_for(lambda: [f for f in [sim.frames()] if f.count(frame) > before], timeout=15)
    assert frames, "the marker frame did not reach the simulator"
    tail = frames[0][since:]
    tail.remove(frame)
    return tail


# A client in a process of its own: moves a motor (argv[1]) at a velocity (argv[2]) to each
# target in turn (argv[4:]), waits for State ON with Position at the target, then lingers
# (argv[3] seconds) so that another client sees the end; prints where the motor ended.
MOVER = textwrap.dedent("""
    import sys, time, tango
    motor = tango.DeviceProxy(sys.argv[1])
    motor.set_source(tango.DevSource.DEV)
    motor.Velocity = int(sys.argv[2])
    for target in map(int, sys.argv[4:]):
        motor.Position = target
        while motor.state() != tango.DevState.ON or motor.Position != target:
            time.sleep(0.02)
        time.sleep(float(sys.argv[3]))
    print(int(motor.Position))
""")


class SimProcess:
    """kx4417-sim on a fixed link, which a test can kill and start again; the frames of
    every run are kept in one transcript."""

    def __init__(self, link: str, stations: str = "0-3") -> None:
        self.link = link
        self.stations = stations
        self.transcript = link + ".transcript"
        self.process = None
        self.watch = None
        self.start()

    def start(self) -> None:
        with open(self.transcript, "a") as out:
            self.process = subprocess.Popen(
                [KX4417_SIM, "--stations", self.stations, "--link", self.link, "--transcript"],
                stdout=out, stderr=subprocess.DEVNULL, start_new_session=True)
        self.watch = ChildWatch(self.process.pid)
        assert wait_for(lambda: os.path.islink(self.link) or self.process.poll() is not None,
                        timeout=30) and self.process.poll() is None

    def kill(self) -> None:
        """SIGKILL: the line goes away as an unplugged adapter's does."""
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()
        self.watch.release()
        os.unlink(self.link)

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
            self.watch.release()

    def frames(self) -> List[str]:
        """Every frame the stations received in all runs so far, each with its CR."""
        time.sleep(0.3)  # the simulator writes its transcript a moment after a frame
        with open(self.transcript) as transcript:
            found = [TRANSCRIPT_LINE.match(line) for line in transcript]
        return [m.group(1).replace("\\r", "\r") for m in found if m]


@pytest.fixture
def sim():
    with Simulator("0-3") as running:
        yield running


@pytest.fixture(scope="module")
def shared_sim():
    with Simulator("0-3") as running:
        yield running


@pytest.fixture(scope="module")
def shared_server(shared_sim, tmp_path_factory):
    """One server over stations 0 to 3 for a module's tests that leave the line as they
    found it."""
    server = Server(tmp_path_factory.mktemp("tango"), shared_sim.env)
    yield server
    assert server.stop() == 0, server.output()


@pytest.fixture
def start_server(tmp_path):
    """Starts servers for one test and stops them (asserting exit code 0) at its end."""
    servers = []

    def start(env, **kwargs) -> Server:
        folder = tmp_path / f"server{len(servers)}"
        folder.mkdir()
        server = Server(folder, env, **kwargs)
        servers.append(server)
        return server

    yield start
    for server in servers:
        assert server.stop() == 0, server.output()
