# SPDX-License-Identifier: MIT
"""The Python reference: Sphinx builds it from the docstrings without a warning, and every
public name of the package has its place in it."""

import os
import subprocess
import sys

import pytest

import corvexlink
import corvexlink.aio

BUILT = os.environ.get("CORVEXLINK_PYTHON_REFERENCE_DIR", "")
SOURCES = os.path.join(os.environ["CORVEXLINK_SOURCE_DIR"], "docs", "python")

pytestmark = pytest.mark.skipif(not BUILT, reason="the build found no Sphinx (python3-sphinx)")


def _inventory(folder: str) -> set:
    from sphinx.util.inventory import InventoryFile

    with open(os.path.join(folder, "objects.inv"), "rb") as f:
        inventory = InventoryFile.load(f, "", os.path.join)
    return {name for entries in inventory.values() for name in entries}


def test_the_docstrings_build_without_a_warning(tmp_path):
    run = subprocess.run(
        [sys.executable, "-m", "sphinx", "-b", "html", "-q", "-W", "--keep-going", "-E",
         "-d", str(tmp_path / "doctrees"), SOURCES, str(tmp_path / "html")],
        capture_output=True, text=True, timeout=300,
        env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1"),
    )
    assert run.returncode == 0, run.stderr


def test_every_public_name_is_in_the_built_reference():
    documented = _inventory(BUILT)
    missing = [f"corvexlink.{name}" for name in corvexlink.__all__ if f"corvexlink.{name}" not in documented]
    missing += [f"corvexlink.aio.{name}" for name in corvexlink.aio.__all__ if f"corvexlink.aio.{name}" not in documented]
    for member in ("move_by", "wait_until_stopped", "position", "stop", "queue_profile"):
        for cls in ("corvexlink.Motor", "corvexlink.aio.Motor"):
            if f"{cls}.{member}" not in documented:
                missing.append(f"{cls}.{member}")
    assert missing == []
    for name in ("corvexlink.units.Scale", "corvexlink.testing.Simulator", "corvexlink.TraceEvent"):
        assert name in documented


def test_the_pages_say_what_users_look_for():
    def page(name: str) -> str:
        with open(os.path.join(BUILT, name), encoding="utf-8") as f:
            return f.read()

    assert "ports.conf" in page("blocking.html")
    assert "next boundary between the transactions" in page("blocking.html")
    assert "halves away from zero" in page("units.html") or "half away from zero" in page("units.html")
    assert "corvexlink.frames" in page("logging.html")
    assert "corvexlink.testing" in page("testing.html")
    # Pages without copies of script libraries that Sphinx's own scripts do not use.
    static = os.listdir(os.path.join(BUILT, "_static"))
    assert not [name for name in static if "jquery" in name or "underscore" in name]
    assert "jquery" not in page("search.html")
