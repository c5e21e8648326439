# SPDX-License-Identifier: MIT
"""Fixtures of the web service tests: the simulator program on a link of the test's own,
corvexlink-web on a free loopback port with a token file made by its own `token add`, and
small HTTP and WebSocket clients. Every program is a child process stopped by its pid."""

import json
import os
import re
import signal
import socket
import subprocess
import threading
import time
from typing import List, Optional, Tuple

import pytest
import requests
import websocket

from corvexlink.testing import ChildWatch

WEB = os.environ.get("CORVEXLINK_WEB", "corvexlink-web")
KX4417_SIM = os.environ.get("KX4417_SIM", "kx4417-sim")
SOURCE = os.environ.get("CORVEXLINK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
OPENAPI = os.path.join(SOURCE, "tools", "web", "openapi.json")

_FRAME = re.compile(r"^\s*(\d+\.\d+) (\S*)")


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, timeout: float = 10.0, step: float = 0.02):
    """Polls `condition` until it gives a true value (returned) or `timeout` passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


class Sim:
    """kx4417-sim with a transcript, its line behind `link`, until stop()."""

    def __init__(self, folder, stations: str = "0-3", wire_time: bool = True, link: Optional[str] = None):
        self.link = link or os.path.join(str(folder), "com1")
        self.transcript = os.path.join(str(folder), f"transcript-{time.monotonic_ns()}")
        args = [KX4417_SIM, "--stations", stations, "--link", self.link, "--transcript"]
        if wire_time:
            args.append("--wire-time")
        with open(self.transcript, "w") as out:
            self.process = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL, start_new_session=True)
        self.watch = ChildWatch(self.process.pid)
        if not wait_for(lambda: os.path.islink(self.link), timeout=30):
            self.stop()
            raise AssertionError("the simulator made no line")

    def timed_frames(self) -> List[Tuple[float, str]]:
        """(seconds since the simulator started, frame) for every frame received so far;
        the CR of each frame shown as \\r."""
        with open(self.transcript) as f:
            lines = f.read().splitlines()
        out = []
        for line in lines:
            m = _FRAME.match(line)
            if m:
                out.append((float(m.group(1)), m.group(2)))
        return out

    def frames(self) -> List[str]:
        return [f for _, f in self.timed_frames()]

    def wait_frame(self, frame: str, after: int = 0, timeout: float = 10.0) -> Optional[float]:
        """Waits until `frame` shows in the transcript beyond the first `after` frames; its time."""
        def found():
            timed = self.timed_frames()[after:]
            return next((t for t, f in timed if f == frame), None)
        return wait_for(found, timeout)

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.watch.release()


def add_token(path: str, name: str, role: str) -> str:
    done = subprocess.run([WEB, "token", "add", name, role, "--tokens", path],
                          capture_output=True, text=True, timeout=30)
    assert done.returncode == 0, done.stderr
    return done.stdout.strip()


class Web:
    """corvexlink-web as a child process on a free loopback port, until stop()."""

    def __init__(self, tokens: str, lines: List[str], extra: Optional[List[str]] = None,
                 stations: bool = True, timeout: float = 60.0):
        self.lines_out: List[str] = []
        # No --www or --openapi: run from its build folder, the service finds the source tree's.
        self.args = [WEB, *sum((["--line", l] for l in lines), []), "--tokens", tokens,
                     *(extra or [])]
        if "--listen" not in self.args:
            self.args += ["--listen", "127.0.0.1:0"]
        self.process = subprocess.Popen(self.args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, start_new_session=True)
        self.watch = ChildWatch(self.process.pid)
        threading.Thread(target=self._collect, daemon=True).start()
        listening = wait_for(lambda: self._match(r"listening on http://[\d.]+:(\d+)"), timeout)
        if not listening:
            self.stop()
            raise AssertionError("the service did not start:\n" + self.output())
        self.port = int(listening.group(1))
        self.url = f"http://127.0.0.1:{self.port}"
        if stations:  # every line opened and scanned (or failed to open)
            count = len(lines)
            if not wait_for(lambda: len(re.findall(r"line \S+: (stations|Unable)", self.output())) >= count,
                            timeout):
                self.stop()
                raise AssertionError("the lines were not scanned:\n" + self.output())

    def _collect(self) -> None:
        for line in self.process.stdout:
            self.lines_out.append(line)

    def _match(self, pattern: str):
        return re.search(pattern, self.output())

    def output(self) -> str:
        return "".join(self.lines_out)

    def stop(self) -> int:
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the service did not end within 20 s of SIGTERM")
        finally:
            if self.process.returncode is not None:
                self.watch.release()
        return code


class Client:
    """HTTP client of one token."""

    def __init__(self, web: Web, token: Optional[str]):
        self.web = web
        self.session = requests.Session()
        if token is not None:
            self.session.headers["Authorization"] = f"Bearer {token}"

    def get(self, path: str, **kw) -> requests.Response:
        return self.session.get(self.web.url + path, timeout=30, **kw)

    def post(self, path: str, body=None, **kw) -> requests.Response:
        if body is not None and not isinstance(body, (str, bytes)):
            kw["json"] = body
        elif body is not None:
            kw["data"] = body
        return self.session.post(self.web.url + path, timeout=30, **kw)


def ws_connect(url: str, token: Optional[str], browser: bool = False, **kw) -> websocket.WebSocket:
    """A WebSocket to the service; `browser` offers the token as a subprotocol, as the page does."""
    if browser:
        kw["subprotocols"] = ["corvexlink.v1", f"bearer.{token}"]
    elif token is not None:
        kw["header"] = [f"Authorization: Bearer {token}"]
    ws = websocket.create_connection(url.replace("http", "ws", 1) + "/api/v1/ws", timeout=10, **kw)
    hello = json.loads(ws.recv())
    assert "hello" in hello, hello
    return ws


def receive_until(ws: websocket.WebSocket, condition, timeout: float = 15.0) -> list:
    """The messages received until one satisfies `condition` (included); fails on time-out."""
    seen = []
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ws.settimeout(max(0.05, deadline - time.monotonic()))
        try:
            message = json.loads(ws.recv())
        except websocket.WebSocketTimeoutException:
            break
        seen.append(message)
        if condition(message):
            return seen
    raise AssertionError(f"no awaited message within {timeout} s; received {seen[-5:]}")


@pytest.fixture(scope="module")
def tokens(tmp_path_factory):
    """A token file with an operator (alice), a second operator (bob) and a viewer (vic)."""
    path = str(tmp_path_factory.mktemp("tokens") / "tokens")
    return {"path": path, "alice": add_token(path, "alice", "operator"),
            "bob": add_token(path, "bob", "operator"), "vic": add_token(path, "vic", "viewer")}


@pytest.fixture(scope="module")
def shared(tmp_path_factory, tokens):
    """One simulator (stations 0-3, wire time at 9600) and one service over it as line "a"."""
    folder = tmp_path_factory.mktemp("web")
    sim = Sim(folder)
    web = Web(tokens["path"], [f"a={sim.link}"])
    yield sim, web
    code = web.stop()
    sim.stop()
    assert code == 0, web.output()
