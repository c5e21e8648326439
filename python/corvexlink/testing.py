# SPDX-License-Identifier: MIT
"""Testing without hardware: kx4417-sim on a private pseudo-terminal.

``Simulator`` starts the simulator program with the stations you ask for on a line of its
own, whose name is ``device``, and records every frame the stations receive::

    from corvexlink.testing import Simulator

    with Simulator("0-3") as sim, corvexlink.open(sim.device) as link:
        assert link.scan() == [0, 1, 2, 3]
        assert "_0\\r" in sim.frames()

Several simulators run at once, each with its own line, and a test opens a link on each.
The simulator leaves the process's environment alone; ``env`` is an environment for a child
process (a program that opens ``COM<port>``) in which ``CORVEXLINK_COM<port>`` names it.

With pytest, ``simulator`` is a fixture (``pytest_plugins = ["corvexlink.testing"]`` in
your conftest.py) that gives a running Simulator with stations 0-3.

The program is found through $KX4417_SIM, then on PATH.
"""

from __future__ import annotations

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from typing import Dict, Iterator, List, Optional

from .errors import CorvexLinkError

__all__ = ["Simulator", "simulator", "find_simulator", "ChildWatch"]

_FRAME_LINE = re.compile(r"^\s*\d+\.\d+ (.*)$")


def find_simulator() -> Optional[str]:
    """The simulator program: $KX4417_SIM, else kx4417-sim on PATH; None if there is none."""
    named = os.environ.get("KX4417_SIM")
    if named:
        return named
    return shutil.which("kx4417-sim")


def _unescape(text: str) -> str:
    """A transcript line back to bytes as text: \\r, \\n and \\xNN as written by the simulator."""
    return re.sub(
        r"\\(r|n|x[0-9A-Fa-f]{2})",
        lambda m: {"r": "\r", "n": "\n"}.get(m.group(1)) or chr(int(m.group(1)[1:], 16)),
        text,
    )


_WATCHER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "_watch.py")


class ChildWatch:
    """Stops a child process when this Python process ends without stopping it.

    A test that crashes (or is killed) never runs its clean-up, so the programs it started
    would keep running. A small watcher process holds a pipe from this process: when the
    pipe closes without a word, the watcher sends the child SIGTERM, then SIGKILL after
    `grace` seconds. Call release() once the child has ended (and been waited for)::

        process = subprocess.Popen([...])
        watch = ChildWatch(process.pid)
        ...
        process.terminate(); process.wait()
        watch.release()

    ``Simulator`` watches its program this way.
    """

    def __init__(self, pid: int, grace: float = 10.0) -> None:
        self.pid = pid
        self._watcher: Optional[subprocess.Popen] = None
        if not sys.executable:  # an embedded interpreter: no program to run the watcher
            return
        self._watcher = subprocess.Popen(
            [sys.executable, "-I", "-S", _WATCHER, str(pid), str(grace)],
            stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,  # a Ctrl-C meant for the tests does not end it
        )

    def release(self) -> None:
        """The child has ended: the watcher leaves it alone and ends."""
        watcher, self._watcher = self._watcher, None
        if watcher is None:
            return
        try:
            watcher.stdin.write(b"x")
            watcher.stdin.close()
        except OSError:
            pass
        try:
            watcher.wait(timeout=10)
        except subprocess.TimeoutExpired:
            watcher.kill()
            watcher.wait()


class Simulator:
    """kx4417-sim on a private pty for the lifetime of a with block (or start() to stop())."""

    def __init__(
        self,
        stations: str = "0-3",
        port: int = 1,  # the n of CORVEXLINK_COM<n> in env
        executable: Optional[str] = None,
        startup_timeout: float = 30.0,
    ) -> None:
        self.stations = stations
        self.port = port
        self.executable = executable or find_simulator()
        self.startup_timeout = startup_timeout
        self.link: Optional[str] = None
        self._folder: Optional[str] = None
        self._process: Optional[subprocess.Popen] = None
        self._watch: Optional[ChildWatch] = None
        self._transcript: Optional[str] = None

    @property
    def device(self) -> str:
        """The name of the simulator's line, to open a link on: ``corvexlink.open(sim.device)``."""
        if self.link is None:
            raise CorvexLinkError("the simulator is not running")
        return self.link

    @property
    def variable(self) -> str:
        """The environment variable that names the simulator's line in :attr:`env`."""
        return f"CORVEXLINK_COM{self.port}"

    @property
    def env(self) -> Dict[str, str]:
        """An environment for a child process that opens ``COM<port>`` and should reach the
        simulator: this process's environment with ``CORVEXLINK_COM<port>`` naming the
        simulator's line. This process's own environment is not changed."""
        if self.link is None:
            raise CorvexLinkError("the simulator is not running")
        return dict(os.environ, **{self.variable: self.link})

    def start(self) -> "Simulator":
        if self.executable is None:
            raise CorvexLinkError("kx4417-sim not found: set KX4417_SIM or put it on PATH")
        self._folder = tempfile.mkdtemp(prefix="kx4417-sim-")
        self.link = os.path.join(self._folder, f"com{self.port}")
        self._transcript = os.path.join(self._folder, "transcript")
        try:
            with open(self._transcript, "w") as out:
                self._process = subprocess.Popen(
                    [self.executable, "--stations", self.stations, "--link", self.link, "--transcript"],
                    stdin=subprocess.DEVNULL,
                    stdout=out,
                    stderr=subprocess.PIPE,
                    start_new_session=True,
                )
        except OSError as error:
            self._cleanup()
            raise CorvexLinkError(f"cannot start {self.executable}: {error.strerror}") from error
        # The simulator must not outlive a test program that crashes.
        try:
            self._watch = ChildWatch(self._process.pid)
        except OSError as error:
            self.stop()
            raise CorvexLinkError(f"cannot watch {self.executable}: {error.strerror}") from error
        # A loaded machine may take seconds to schedule the new process.
        deadline = time.monotonic() + self.startup_timeout
        while not os.path.islink(self.link):
            if self._process.poll() is not None:
                error = self._process.stderr.read().decode(errors="replace") if self._process.stderr else ""
                self._cleanup()
                raise CorvexLinkError(f"kx4417-sim ended before its line was ready: {error.strip()}")
            if time.monotonic() >= deadline:
                self.stop()
                raise CorvexLinkError(f"kx4417-sim made no line within {self.startup_timeout} s")
            time.sleep(0.01)
        return self

    def stop(self) -> None:
        if self._process is not None:
            if self._process.poll() is None:
                self._process.send_signal(signal.SIGTERM)
                try:
                    self._process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    self._process.kill()
                    self._process.wait()
            if self._process.stderr:
                self._process.stderr.close()
            self._process = None
        self._cleanup()

    def kill(self) -> None:
        """Ends the simulator program at once (SIGKILL), as a crash or an unplugged adapter
        would: a link open on its line finds the line lost. The transcript stays readable
        until stop(), which a with block calls."""
        if self._process is not None and self._process.poll() is None:
            self._process.kill()
            self._process.wait()

    def _cleanup(self) -> None:
        # Only once the program has ended and been waited for: its pid may be reused.
        if self._watch is not None:
            self._watch.release()
            self._watch = None
        if self._folder is not None:
            shutil.rmtree(self._folder, ignore_errors=True)
            self._folder = None
        self.link = None

    def __enter__(self) -> "Simulator":
        return self.start()

    def __exit__(self, *exc: object) -> None:
        self.stop()

    def frames(self, until: Optional[str] = None, timeout: float = 15.0) -> List[str]:
        """Every frame the stations received so far, each with its CR ("_0P\\r").

        The simulator writes its transcript a little after a frame arrives. With `until`,
        waits (up to `timeout` seconds) until that frame has been written, so everything
        sent before it is there too; without, gives the transcript a moment to catch up.
        """
        if self._transcript is None:
            raise CorvexLinkError("the simulator is not running")
        deadline = time.monotonic() + timeout
        if until is None:
            time.sleep(0.3)
        while True:
            frames = self._read_frames()
            if until is None or until in frames:
                return frames
            if time.monotonic() >= deadline:
                raise CorvexLinkError(f"the frame {until!r} did not reach the simulator within {timeout} s")
            time.sleep(0.05)

    def _read_frames(self) -> List[str]:
        with open(self._transcript) as transcript:
            lines = transcript.read().splitlines()
        frames = []
        for line in lines:
            match = _FRAME_LINE.match(line)
            if match:
                frames.append(_unescape(match.group(1)))
        return frames


try:
    import pytest
except ImportError:  # the fixture needs pytest; the class does not
    pass
else:

    @pytest.fixture
    def simulator() -> Iterator[Simulator]:
        """A running Simulator with stations 0-3 on port 1."""
        with Simulator("0-3") as running:
            yield running
