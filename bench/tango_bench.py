#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What the Tango device server costs: a remote read of a motor's Position through
corvexlink-tango on loopback against the same read through the C API in this process, each
against its own simulated line, in interleaved pairs; the medians in microseconds and their
ratio, with a few related figures, in the table form of bench_link.

    /usr/bin/python3 bench/tango_bench.py [--reads N] [--build DIR]

Needs python3-tango (Debian's /usr/bin/python3) and a build with corvexlink-tango."""

import argparse
import os
import signal
import socket
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def timed(call, count: int) -> list:
    """Microseconds of each of `count` calls."""
    out = []
    for _ in range(count):
        start = time.perf_counter_ns()
        call()
        out.append((time.perf_counter_ns() - start) / 1000)
    return out


def row(name: str, figure: float, baseline: float) -> str:
    ratio = figure / baseline if baseline else float("nan")
    return f"{name:<40} {figure:12.6f} {baseline:12.6f} {ratio:9.4f} {'-':>7}  -"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--reads", type=int, default=2000, help="reads of each kind (2000)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "default"),
                        help="the build folder (build/default)")
    parser.add_argument("--version", action="version", version="tango_bench 1")
    args = parser.parse_args()

    os.environ.setdefault("CORVEXLINK_LIBRARY", os.path.join(args.build, "library", "libCorvexLink.so.2"))
    os.environ.setdefault("KX4417_SIM", os.path.join(args.build, "sim", "kx4417-sim"))
    server_program = os.path.join(args.build, "tools", "tango", "corvexlink-tango")
    sys.path.insert(0, os.path.join(ROOT, "python"))
    try:
        import tango
    except ImportError:
        print("tango_bench: python3-tango is needed (run with /usr/bin/python3)", file=sys.stderr)
        return 2
    import corvexlink
    from corvexlink.testing import Simulator

    if not os.access(server_program, os.X_OK):
        print(f"tango_bench: {server_program} not built", file=sys.stderr)
        return 2

    # One line for the server (COM1) and one for this process: each is exclusive.
    with Simulator("0", port=1) as served, Simulator("0", port=2) as local:
        port = free_port()
        server = subprocess.Popen(
            [server_program, "bench", "-nodb", "-dlist", "corvex/motor/0",
             "-ORBendPoint", f"giop:tcp:127.0.0.1:{port}"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=served.env,
            start_new_session=True)
        try:
            for line in server.stdout:
                if line.startswith("Ready to accept request"):
                    break
            else:
                print("tango_bench: the server did not start", file=sys.stderr)
                return 1
            remote = tango.DeviceProxy(f"tango://127.0.0.1:{port}/corvex/motor/0#dbase=no")
            remote.set_source(tango.DevSource.DEV)  # a read of the station, not of the cache
            cached = tango.DeviceProxy(f"tango://127.0.0.1:{port}/corvex/motor/0#dbase=no")
            with corvexlink.open(local.device) as link:
                motor = link.motor(0)
                for _ in range(100):  # warm up both paths
                    remote.read_attribute("Position")
                    _ = motor.position
                local_us, remote_us = [], []
                for _ in range(args.reads):  # interleaved, so load changes hit both alike
                    local_us += timed(lambda: motor.position, 1)
                    remote_us += timed(lambda: remote.read_attribute("Position"), 1)
                cached_us = timed(lambda: cached.read_attribute("Position"), args.reads)
                state_us = timed(remote.state, args.reads)
                ping_us = timed(remote.ping, args.reads)
        finally:
            server.send_signal(signal.SIGTERM)
            server.wait(timeout=20)

    local_median = statistics.median(local_us)
    print(f"tango_bench: {args.reads} reads of each kind, medians in microseconds", file=sys.stderr)
    print(f"{'measure':<40} {'figure':>12} {'baseline':>12} {'ratio':>9} {'goal':>7}  met")
    print(row("Position: remote vs C API (us)", statistics.median(remote_us), local_median))
    print(row("Position: remote, polled cache (us)", statistics.median(cached_us), local_median))
    print(row("State: remote vs C API Position (us)", statistics.median(state_us), local_median))
    print(row("ping: remote vs C API Position (us)", statistics.median(ping_us), local_median))
    return 0


if __name__ == "__main__":
    sys.exit(main())
