# SPDX-License-Identifier: MIT
"""The watcher process of corvexlink.testing.ChildWatch, run as a script: ``_watch.py PID GRACE``.

It waits on its stdin, a pipe from the process that started the child PID. A byte there means
the child was stopped and waited for: the watcher ends. The end of the pipe without a byte
means that process ended without stopping the child (a crash or SIGKILL included): the
watcher sends the child SIGTERM, and SIGKILL when it still runs after GRACE seconds.
Imports nothing from the package, so it runs with ``python3 -I -S``.
"""

import os
import signal
import sys
import time


def alive(pid: int) -> bool:
    """True while `pid` runs; a zombie that nobody waits for has ended."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False
    except OSError:  # no /proc: ask the system
        pass
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except OSError:
        pass
    return True


def main() -> int:
    pid, grace = int(sys.argv[1]), float(sys.argv[2])
    if os.read(0, 1):
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
    except OSError:
        return 0
    deadline = time.monotonic() + grace
    while alive(pid) and time.monotonic() < deadline:
        time.sleep(0.05)
    if alive(pid):
        try:
            os.kill(pid, getattr(signal, "SIGKILL", signal.SIGTERM))
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
