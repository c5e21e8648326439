# SPDX-License-Identifier: MIT
"""Shared fixtures of the corvexctl and Python package tests: the simulator (the package's
own pytest fixture), a Link open on it, a runner for the corvexctl program, and a check
that no test leaves the process's environment changed."""

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


@pytest.fixture(autouse=True)
def environment_unchanged():
    """Every test leaves os.environ as it found it: neither the test nor the package (its
    simulator included) may change the environment behind the caller's back."""
    own = "PYTEST_CURRENT_TEST"  # pytest's own, changed at every step of a test
    before = {name: value for name, value in os.environ.items() if name != own}
    yield
    after = {name: value for name, value in os.environ.items() if name != own}
    changed = {name for name in before.keys() | after.keys() if before.get(name) != after.get(name)}
    assert not changed, f"os.environ changed: {sorted(changed)}"


@pytest.fixture
def link(simulator):
    """The Python package's Link, open on the test's simulator, closed afterwards."""
    import corvexlink  # here, so that pytest_configure sees the copy it checks first

    with corvexlink.open(simulator.device) as opened:
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
