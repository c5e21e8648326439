#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs kx4417-sim processes on behalf of Windows tests under Wine, which cannot start
Linux programs themselves.

    sim_control.py start --dir DIR --sim PATH   start the controller in the background
    sim_control.py stop --dir DIR               stop it and every simulator it runs

A test asks by writing DIR/<token>.req (written elsewhere and renamed into place) with one
line: "start NAME STATIONS" (a fresh simulator with the stations "0-3" whose pty is linked
at DIR/NAME.link and whose transcript goes to DIR/NAME.transcript) or "stop NAME" (the
simulator ends, which the library sees as the line going away), or "serve NAME" (Debian's
ser2net serves the simulator NAME's pty on loopback: RFC 2217 and raw TCP on two free ports,
written to DIR/NAME.ports as "RFC2217PORT TCPPORT"; it ends with the simulator). The
controller answers in DIR/<token>.ans: "ok", or "error" and a reason.
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

POLL_S = 0.005
IDLE_LIMIT_S = 1800  # a controller nobody stopped ends itself


def answer(folder, token, text):
    temporary = os.path.join(folder, token + ".ans.tmp")
    with open(temporary, "w", encoding="ascii") as f:
        f.write(text + "\n")
    os.replace(temporary, os.path.join(folder, token + ".ans"))


def end_process(process):
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def stop_sim(sims, name):
    for key in (name + "/ser2net", name):
        process = sims.pop(key, None)
        if process is not None:
            end_process(process)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    local = f"0100007F:{port:04X}"
    with open("/proc/net/tcp", encoding="ascii") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            if fields[1] == local and fields[3] == "0A":
                return True
    return False


def serve_sim(folder, sims, name):
    """Starts ser2net for the simulator NAME: RFC 2217 and raw TCP, loopback only."""
    if name not in sims:
        return f"error no simulator {name}"
    program = shutil.which("ser2net") or "/usr/sbin/ser2net"
    if not os.access(program, os.X_OK):
        return "error ser2net is not installed (scripts/install-deps.sh installs it)"
    link = os.path.join(folder, name + ".link")
    ports = (free_port(), free_port())
    config = os.path.join(folder, name + ".ser2net.yaml")
    with open(config, "w", encoding="ascii") as f:
        f.write("%YAML 1.1\n---\n")
        for label, telnet, port in (("rfc", "telnet(rfc2217),", ports[0]), ("raw", "", ports[1])):
            f.write(f"connection: &{label}\n"
                    f"  accepter: {telnet}tcp(nodelay),127.0.0.1,{port}\n"
                    f"  connector: serialdev,{link},9600n81,local\n"
                    "  options:\n    kickolduser: true\n    chardelay: false\n    mdns: false\n")
    with open(os.path.join(folder, name + ".ser2net.log"), "wb") as log:
        process = subprocess.Popen([program, "-n", "-d", "-u", "-c", config, "-P",
                                    os.path.join(folder, name + ".ser2net.pid")],
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    sims[name + "/ser2net"] = process
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return f"error ser2net ended with code {process.returncode}"
        if all(listening(p) for p in ports):
            with open(os.path.join(folder, name + ".ports"), "w", encoding="ascii") as f:
                f.write(f"{ports[0]} {ports[1]}\n")
            return "ok"
        time.sleep(POLL_S)
    return "error ser2net did not listen within 5 s"


def start_sim(folder, sim, sims, name, stations):
    stop_sim(sims, name)
    link = os.path.join(folder, name + ".link")
    transcript = os.path.join(folder, name + ".transcript")
    # A stale link could lead the test to another program's terminal: remove it first and
    # wait for the new one.
    for path in (link, transcript):
        if os.path.lexists(path):
            os.remove(path)
    with open(transcript, "wb") as out:
        process = subprocess.Popen([sim, "--stations", stations, "--link", link, "--transcript"],
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
    sims[name] = process
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return f"error kx4417-sim ended with code {process.returncode}"
        if os.path.exists(link) and os.path.getsize(transcript) > 0:
            return "ok"
        time.sleep(POLL_S)
    stop_sim(sims, name)
    return "error kx4417-sim did not make its link within 5 s"


def serve(folder, sim):
    sims = {}
    running = [True]

    def on_signal(signum, frame):
        running[0] = False

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    last_request = time.monotonic()
    while running[0] and time.monotonic() - last_request < IDLE_LIMIT_S:
        requests = sorted(n for n in os.listdir(folder) if n.endswith(".req"))
        for request in requests:
            path = os.path.join(folder, request)
            token = request[:-len(".req")]
            try:
                with open(path, encoding="ascii", errors="replace") as f:
                    words = f.read().split()
                os.remove(path)
            except OSError:
                continue
            last_request = time.monotonic()
            if len(words) == 3 and words[0] == "start":
                answer(folder, token, start_sim(folder, sim, sims, words[1], words[2]))
            elif len(words) == 2 and words[0] == "serve":
                answer(folder, token, serve_sim(folder, sims, words[1]))
            elif len(words) == 2 and words[0] == "stop":
                stop_sim(sims, words[1])
                answer(folder, token, "ok")
            else:
                answer(folder, token, "error unknown request: " + " ".join(words))
        time.sleep(POLL_S)
    for name in list(sims):
        if name in sims:
            stop_sim(sims, name.split("/")[0])


def start(folder, sim):
    if not os.access(sim, os.X_OK):
        print(f"sim_control: {sim} is not an executable simulator", file=sys.stderr)
        return 1
    stop(folder)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.endswith((".req", ".ans", ".link", ".transcript", ".tmp", ".ports", ".yaml",
                          ".log", ".pid")):
            os.remove(os.path.join(folder, name))
    pid = os.fork()
    if pid == 0:
        # The controller: its own session, no terminal, no pipe of ctest held open.
        os.setsid()
        null = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(null, fd)
        try:
            serve(folder, sim)
        finally:
            os._exit(0)
    with open(os.path.join(folder, "controller.pid"), "w", encoding="ascii") as f:
        f.write(f"{pid}\n")
    print(f"sim_control: controller {pid} serves {folder}")
    return 0


def stop(folder):
    pid_file = os.path.join(folder, "controller.pid")
    try:
        with open(pid_file, encoding="ascii") as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(500):  # up to 5 s for its simulators to end
            os.kill(pid, 0)
            time.sleep(0.01)
    except ProcessLookupError:
        pass
    os.remove(pid_file)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("action", choices=["start", "stop"])
    parser.add_argument("--dir", required=True, help="the folder shared with the tests")
    parser.add_argument("--sim", help="the kx4417-sim program (for start)")
    parser.add_argument("--version", action="version", version="sim_control 1")
    args = parser.parse_args()
    folder = os.path.abspath(args.dir)
    if args.action == "start":
        if not args.sim:
            parser.error("start needs --sim")
        return start(folder, os.path.abspath(args.sim))
    return stop(folder)


if __name__ == "__main__":
    sys.exit(main())
