# SPDX-License-Identifier: MIT
"""Debian's ser2net started by a test to serve the simulator's line on loopback: a
configuration of the test's own (an RFC 2217 port and a raw TCP port on free ports, no Nagle,
no character delay), run in the foreground and stopped by its process id. The `ser2net`
fixture skips the test when ser2net is not installed."""

import os
import shutil
import signal
import socket
import subprocess
import time
from typing import Optional

import pytest

MISSING = "ser2net is not installed (scripts/install-deps.sh installs it)"


def find_ser2net() -> Optional[str]:
    for path in (shutil.which("ser2net"), "/usr/sbin/ser2net", "/usr/bin/ser2net"):
        if path and os.access(path, os.X_OK):
            return path
    return None


def free_port() -> int:
    """A TCP port on 127.0.0.1 that nothing listens on at the moment."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port: int) -> bool:
    """Whether a socket listens on 127.0.0.1:port, read from the kernel's table: a connection
    to find out would make ser2net open the device."""
    local = f"0100007F:{port:04X}"
    with open("/proc/net/tcp", encoding="ascii") as table:
        return any(f[1] == local and f[3] == "0A" for f in (line.split() for line in table.readlines()[1:]))


class Ser2net:
    """ser2net serving `device` at 9600 baud, with its files in `folder`."""

    def __init__(self, program: str, device: str, folder: str) -> None:
        self.program = program
        self.device = device
        self.folder = folder
        self.rfc2217_port = free_port()
        self.tcp_port = free_port()
        self._process: Optional[subprocess.Popen] = None

    @property
    def rfc2217_url(self) -> str:
        return f"rfc2217://127.0.0.1:{self.rfc2217_port}"

    @property
    def tcp_url(self) -> str:
        return f"tcp://127.0.0.1:{self.tcp_port}"

    def _config(self) -> str:
        text = "%YAML 1.1\n---\n"
        for name, telnet, port in (("rfc", "telnet(rfc2217),", self.rfc2217_port), ("raw", "", self.tcp_port)):
            text += (f"connection: &{name}\n"
                     f"  accepter: {telnet}tcp(nodelay),127.0.0.1,{port}\n"
                     f"  connector: serialdev,{self.device},9600n81,local\n"
                     "  options:\n    kickolduser: true\n    chardelay: false\n    mdns: false\n")
        return text

    def log(self) -> str:
        try:
            with open(os.path.join(self.folder, "ser2net.log"), errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def start(self) -> "Ser2net":
        config = os.path.join(self.folder, "ser2net.yaml")
        with open(config, "w", encoding="ascii") as out:
            out.write(self._config())
        with open(os.path.join(self.folder, "ser2net.log"), "wb") as log:
            self._process = subprocess.Popen(
                [self.program, "-n", "-d", "-u", "-c", config, "-P", os.path.join(self.folder, "ser2net.pid")],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not (listening(self.rfc2217_port) and listening(self.tcp_port)):
            if self._process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"ser2net did not listen on {self.rfc2217_port} and {self.tcp_port}:\n{self.log()}")
            time.sleep(0.01)
        return self

    def stop(self) -> None:
        process, self._process = self._process, None
        if process is None or process.poll() is not None:
            return
        os.kill(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            os.kill(process.pid, signal.SIGKILL)
            process.wait()


@pytest.fixture
def ser2net(simulator, tmp_path):
    """ser2net serving the test's simulator; skips the test when ser2net is not installed."""
    program = find_ser2net()
    if program is None:
        pytest.skip(MISSING)
    server = Ser2net(program, simulator.link, str(tmp_path)).start()
    try:
        yield server
    finally:
        server.stop()
