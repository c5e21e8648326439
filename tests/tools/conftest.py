# SPDX-License-Identifier: MIT
"""Shared fixtures of the corvexctl and Python package tests: the simulator (the package's
own pytest fixture), a Link open on it, and a runner for the corvexctl program."""

import json
import os
import subprocess
from typing import List

import pytest

pytest_plugins = ["corvexlink.testing"]

CORVEXCTL = os.environ.get("CORVEXCTL", "corvexctl")


def pytest_configure(config):
    """With CORVEXLINK_TESTS_INSTALLED (a folder), the suite runs against the corvexlink
    installed there, and refuses to run against another copy."""
    installed = os.environ.get("CORVEXLINK_TESTS_INSTALLED")
    if installed:
        import corvexlink

        if not os.path.realpath(corvexlink.__file__).startswith(os.path.realpath(installed) + os.sep):
            raise pytest.UsageError(f"corvexlink comes from {corvexlink.__file__}, not from {installed}")


@pytest.fixture
def link(simulator):
    """The Python package's Link, open on the test's simulator, closed afterwards."""
    import corvexlink  # here, so that pytest_configure sees the copy it checks first

    with corvexlink.open(port=simulator.port) as opened:
        yield opened


class Run:
    """The outcome of one corvexctl run."""

    def __init__(self, completed: subprocess.CompletedProcess) -> None:
        self.code = completed.returncode
        self.out = completed.stdout
        self.err = completed.stderr

    def json(self) -> List[dict]:
        """Every line of stdout parsed as one JSON object."""
        return [json.loads(line) for line in self.out.splitlines() if line.strip()]


@pytest.fixture
def ctl(simulator):
    """Runs corvexctl against the test's simulator (through --device)."""

    def run(*args: str, timeout: float = 120) -> Run:
        command = [CORVEXCTL, "--device", simulator.link, *args]
        return Run(subprocess.run(command, capture_output=True, text=True, timeout=timeout))

    return run


def corvexctl(*args: str, timeout: float = 120, **kwargs) -> Run:
    """Runs corvexctl with exactly the arguments given."""
    return Run(subprocess.run([CORVEXCTL, *args], capture_output=True, text=True, timeout=timeout, **kwargs))
