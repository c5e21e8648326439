#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What corvexlink-web costs, each figure beside a baseline measured in the same run:

  - a stop sent over the WebSocket, from the send to its frame on the line, against the same
    stop through the C API in one process (median and maximum, and their ratios), on an idle
    line, and while four motors are polled (by the service; in the C API's case by a second
    thread that reads the stations for half of the line's time);
  - how often each subscribed motor is read with 4 and with 16 motors subscribed, against
    what the poll budget allows for the transaction time measured;
  - the service's CPU with 20 WebSocket clients subscribed to 4 moving motors, against one
    client, each for --seconds (60 by default).

The line is simulated (wire time at 9600 baud) by bench/web_bench_line in its own process,
whose transcript times each frame on the same monotonic clock as this program.

    /usr/bin/python3 bench/web_bench.py [--build DIR] [--stops N] [--seconds S]

Needs python3-websocket, python3-requests and a build with corvexlink-web."""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import requests
import websocket

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Line:
    """web_bench_line in its own process: the frames it reports, by monotonic time."""

    def __init__(self, program: str, stations: str):
        self.process = subprocess.Popen([program, stations], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True, bufsize=1)
        first = self.process.stdout.readline().split()
        assert first[0] == "line", first
        self.path = first[1]
        self.frames = []  # (ns, bytes)
        self.lock = threading.Lock()
        self.replies = []

    def direct(self, count: int, polled: bool = False) -> list:
        self.process.stdin.write(f"direct {count}{' polled' if polled else ''}\n")
        self.process.stdin.flush()
        out = []
        while True:
            words = self.process.stdout.readline().split()
            if words[0] == "done":
                return out
            out.append(int(words[1]) / 1e6)

    def watch(self) -> None:
        self.process.stdin.write("watch\n")
        self.process.stdin.flush()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self) -> None:
        for text in self.process.stdout:
            words = text.split()
            if len(words) == 3 and words[0] == "frame":
                with self.lock:
                    self.frames.append((int(words[1]), words[2]))

    def frame_after(self, frame: str, since_ns: int, timeout: float = 5.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self.lock:
                for t, f in self.frames:
                    if f == frame and t >= since_ns:
                        return t
            time.sleep(0.001)
        return None

    def frames_between(self, start_ns: int, end_ns: int) -> list:
        with self.lock:
            return [(t, f) for t, f in self.frames if start_ns <= t <= end_ns]

    def close(self) -> None:
        self.process.stdin.close()
        self.process.wait(timeout=10)


class Service:
    def __init__(self, program: str, www: str, tokens: str, line: str, budget: float):
        self.process = subprocess.Popen([program, "--line", f"a={line}", "--tokens", tokens, "--listen",
                                         "127.0.0.1:0", "--www", www, "--poll-budget", str(budget)],
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.port = None
        for text in self.process.stdout:
            found = re.search(r"listening on http://[\d.]+:(\d+)", text)
            if found:
                self.port = int(found.group(1))
            if "stations" in text:
                break
        threading.Thread(target=lambda: [None for _ in self.process.stdout], daemon=True).start()
        self.url = f"http://127.0.0.1:{self.port}"

    def cpu_seconds(self) -> float:
        with open(f"/proc/{self.process.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self) -> None:
        self.process.terminate()
        self.process.wait(timeout=20)


def socket_of(url: str, token: str) -> websocket.WebSocket:
    ws = websocket.create_connection(url.replace("http", "ws", 1) + "/api/v1/ws", timeout=10,
                                     header=[f"Authorization: Bearer {token}"])
    ws.recv()  # hello
    return ws


def wait_message(ws, condition, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ws.settimeout(max(0.05, deadline - time.monotonic()))
        message = json.loads(ws.recv())
        if condition(message):
            return message
    raise TimeoutError("no awaited message")


def socket_stops(line: Line, ws, count: int) -> list:
    out = []
    for _ in range(count):
        sent = time.monotonic_ns()
        ws.send(json.dumps({"stop": {"line": "a", "address": 0}}))
        wait_message(ws, lambda m: "stopped" in m or "error" in m)
        at = line.frame_after("_0H\\r", sent)
        out.append((at - sent) / 1e6 if at else float("nan"))
        time.sleep(0.05 + (len(out) % 7) / 1000)  # any phase of the polling
    return out


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "default"))
    parser.add_argument("--stops", type=int, default=40)
    parser.add_argument("--seconds", type=float, default=60.0)
    args = parser.parse_args()
    web = os.path.join(args.build, "tools", "web", "corvexlink-web")
    helper = os.path.join(args.build, "bench", "web_bench_line")
    www = os.path.join(ROOT, "tools", "web", "www")
    folder = tempfile.mkdtemp(prefix="web-bench-")
    tokens = os.path.join(folder, "tokens")
    token = subprocess.run([web, "token", "add", "bench", "operator", "--tokens", tokens],
                           capture_output=True, text=True, check=True).stdout.strip()
    rows = []

    # Stops: the C API in one process, then the same line behind the service.
    line = Line(helper, "0-3")
    direct = line.direct(args.stops)
    direct_polled = line.direct(args.stops, polled=True)
    line.watch()
    service = Service(web, www, tokens, line.path, 0.5)
    ws = socket_of(service.url, token)
    idle = socket_stops(line, ws, args.stops)
    ws.send(json.dumps({"subscribe": [{"line": "a", "address": a} for a in range(4)]}))
    time.sleep(1.0)
    polled = socket_stops(line, ws, args.stops)
    ws.close()
    service.stop()
    line.close()
    for name, values, baseline in (("stop over the WebSocket, idle line", idle, direct),
                                   ("stop over the WebSocket, 4 motors polled", polled, direct_polled)):
        rows.append((name + ", median ms", statistics.median(values), statistics.median(baseline)))
        rows.append((name + ", maximum ms", max(values), max(baseline)))

    # Update rates with 4 and 16 motors subscribed.
    line = Line(helper, "0-15")
    line.watch()
    service = Service(web, www, tokens, line.path, 0.5)
    http = requests.Session()
    http.headers["Authorization"] = f"Bearer {token}"
    for count in (4, 16):
        ws = socket_of(service.url, token)
        ws.send(json.dumps({"subscribe": [{"line": "a", "address": a} for a in range(count)]}))
        time.sleep(2.0)
        start = time.monotonic_ns()
        metrics = lambda: {k: float(v) for k, v in re.findall(
            r'^corvexlink_web_poll_(transactions|seconds)_total\{line="a"\} (\S+)$',
            http.get(service.url + "/metrics").text, re.M)}
        before = metrics()
        time.sleep(min(10.0, args.seconds))
        after, end = metrics(), time.monotonic_ns()
        readings = [t for t, f in line.frames_between(start, end) if re.fullmatch(r"_[0-9A-F]=\\r", f)]
        rate = len(readings) / count / ((end - start) / 1e9)
        transaction = (after["seconds"] - before["seconds"]) / (after["transactions"] - before["transactions"])
        allowed = 0.5 / (3 * transaction * count)
        rows.append((f"readings per motor per second, {count} motors (budget allows)", rate, allowed))
        ws.close()
    service.stop()
    line.close()

    # CPU with 20 clients against one, four motors moving all along.
    line = Line(helper, "0-3")
    line.watch()
    service = Service(web, www, tokens, line.path, 0.5)
    http = requests.Session()
    http.headers["Authorization"] = f"Bearer {token}"
    for a in range(4):
        http.post(f"{service.url}/api/v1/lines/a/motors/{a}/speed", json={"slew": 2000})
        http.post(f"{service.url}/api/v1/lines/a/motors/{a}/move", json={"relative": 5000000})
    cpu = {}
    for clients in (1, 20):
        sockets = [socket_of(service.url, token) for _ in range(clients)]
        received = [0] * clients
        for ws in sockets:
            ws.send(json.dumps({"subscribe": [{"line": "a", "address": a} for a in range(4)]}))

        def drain(i, ws):
            ws.settimeout(1.0)
            try:
                while True:
                    ws.recv()
                    received[i] += 1
            except Exception:
                pass

        threads = [threading.Thread(target=drain, args=(i, ws), daemon=True) for i, ws in enumerate(sockets)]
        for t in threads:
            t.start()
        time.sleep(1.0)
        first, began = service.cpu_seconds(), time.monotonic()
        time.sleep(args.seconds)
        cpu[clients] = (service.cpu_seconds() - first) / (time.monotonic() - began) * 100
        print(f"{clients} client(s): {sum(received)} messages received", file=sys.stderr)
        for ws in sockets:
            ws.close()
        for t in threads:
            t.join(5)
    http.post(f"{service.url}/api/v1/lines/a/stop")
    service.stop()
    line.close()
    rows.append((f"service CPU % of a core, 20 clients on 4 moving motors ({args.seconds:.0f} s; baseline 1 client)",
                 cpu[20], cpu[1]))

    width = max(len(r[0]) for r in rows)
    print(f"{'':{width}}  {'figure':>9}  {'baseline':>9}  {'ratio':>6}")
    for name, figure, baseline in rows:
        ratio = figure / baseline if baseline else float("nan")
        print(f"{name:{width}}  {figure:9.2f}  {baseline:9.2f}  {ratio:6.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
