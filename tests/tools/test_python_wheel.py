# SPDX-License-Identifier: MIT
"""The corvexlink wheel: built from the source tree as its users build it, installed with
pip into a fresh virtual environment, used there without anything from the system's
Python packages, and the package's test suite run against that installation."""

import email.parser
import glob
import json
import os
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

import pytest

SOURCE = os.environ["CORVEXLINK_SOURCE_DIR"]
BUILT_LIBRARY = os.environ["CORVEXLINK_LIBRARY"]
SIMULATOR_FOLDER = os.path.dirname(os.environ["KX4417_SIM"])
PACKAGE_SUITES = sorted(
    path
    for path in glob.glob(os.path.join(os.path.dirname(__file__), "test_python_*.py"))
    if os.path.basename(path) != os.path.basename(__file__)
)


def _project_version() -> str:
    with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as top:
        for line in top:
            if line.startswith("project(CorvexLink VERSION "):
                return line.split()[2]
    raise AssertionError("no project version in CMakeLists.txt")


def _clean_env(**extra: str) -> dict:
    """The environment of a user's shell: no source tree or build library named."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "CORVEXLINK_LIBRARY", "KX4417_SIM")}
    env["PATH"] = SIMULATOR_FOLDER + os.pathsep + "/usr/bin:/bin"
    env.update(extra)
    return env


def _run(command, timeout=300, **kwargs) -> subprocess.CompletedProcess:
    run = subprocess.run(command, capture_output=True, text=True, timeout=timeout, **kwargs)
    assert run.returncode == 0, f"{command}:\n{run.stdout}\n{run.stderr}"
    return run


@pytest.fixture(scope="module")
def wheel(tmp_path_factory) -> str:
    """The wheel, built by the README's command from a copy of the source it needs (the
    build writes its work folders beside pyproject.toml)."""
    root = tmp_path_factory.mktemp("source")
    shutil.copy(os.path.join(SOURCE, "CMakeLists.txt"), root)
    shutil.copytree(
        os.path.join(SOURCE, "python"),
        root / "python",
        ignore=shutil.ignore_patterns("build", "dist", "*.egg-info", "__pycache__"),
    )
    out = tmp_path_factory.mktemp("dist")
    env = dict(os.environ, CORVEXLINK_LIBRARY=BUILT_LIBRARY)
    _run([sys.executable, "-m", "build", "--no-isolation", "--wheel", "--outdir", str(out), str(root / "python")], env=env)
    (built,) = glob.glob(str(out / "*.whl"))
    return built


def test_a_tree_without_a_built_library_builds_it_for_the_wheel(tmp_path):
    """The README's command in a tree where no library was built: the build runs CMake for
    the library alone (in build/wheel/) and bundles what it built."""
    listed = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z"], capture_output=True, timeout=60)
    if listed.returncode != 0:
        pytest.skip("the source is not a git checkout")
    tree = tmp_path / "tree"
    for name in filter(None, listed.stdout.decode().split("\0")):
        if os.path.isfile(os.path.join(SOURCE, name)):
            os.makedirs(os.path.dirname(tree / name), exist_ok=True)
            shutil.copy2(os.path.join(SOURCE, name), tree / name)
    # Compilations of the same sources elsewhere are reused where ccache has them.
    env = _clean_env(CCACHE_BASEDIR=str(tree), CCACHE_NOHASHDIR="1")
    out = tmp_path / "dist"
    run = _run([sys.executable, "-m", "build", "--no-isolation", "--wheel", "--outdir", str(out), str(tree / "python")],
               timeout=1500, env=env)
    assert "building it with CMake" in run.stdout
    (built,) = glob.glob(str(out / "*.whl"))
    with zipfile.ZipFile(built) as archive, open(tree / "build/wheel/library/libCorvexLink.so.2", "rb") as library:
        assert archive.read("corvexlink/libCorvexLink.so.2") == library.read()


@pytest.fixture(scope="module")
def venv(wheel):
    """A fresh virtual environment with the wheel installed by pip, offline; readable by
    every user, as the suite runs a process as another user too."""
    parent = tempfile.mkdtemp(prefix="corvexlink-venv-")
    try:
        os.chmod(parent, 0o755)
        folder = os.path.join(parent, "env")
        _run([sys.executable, "-m", "venv", folder])
        _run([os.path.join(folder, "bin", "python"), "-m", "pip", "install", "--no-index",
              "--disable-pip-version-check", "-q", wheel], env=_clean_env())
        yield folder
    finally:
        shutil.rmtree(parent, ignore_errors=True)


def _system_site(venv: str, visible: bool) -> None:
    """Lets the environment see the system's Python packages (pytest) or not."""
    config = os.path.join(venv, "pyvenv.cfg")
    with open(config, encoding="utf-8") as f:
        lines = [line for line in f if not line.startswith("include-system-site-packages")]
    lines.append(f"include-system-site-packages = {'true' if visible else 'false'}\n")
    with open(config, "w", encoding="utf-8") as f:
        f.writelines(lines)


def test_the_wheel_carries_the_library_and_the_projects_version(wheel):
    version = _project_version()
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    assert os.path.basename(wheel) == f"corvexlink-{version}-py3-none-{platform}.whl"
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        dist_info = f"corvexlink-{version}.dist-info"
        for name in ("__init__.py", "aio.py", "units.py", "testing.py", "py.typed", "_install.py", "libCorvexLink.so.2"):
            assert f"corvexlink/{name}" in names
        with open(BUILT_LIBRARY, "rb") as built:
            assert archive.read("corvexlink/libCorvexLink.so.2") == built.read()
        assert f'VERSION = "{version}"' in archive.read("corvexlink/_install.py").decode()
        wheel_info = archive.read(f"{dist_info}/WHEEL").decode()
        assert "Root-Is-Purelib: false" in wheel_info and f"Tag: py3-none-{platform}" in wheel_info
        entry_points = archive.read(f"{dist_info}/entry_points.txt").decode()
        assert "[pytest11]\ncorvexlink.testing = corvexlink.testing" in entry_points
        metadata = email.parser.Parser().parsestr(archive.read(f"{dist_info}/METADATA").decode())
    # A CMake installation (and so the Debian package) carries the same metadata.
    installed = os.path.join(os.environ["CORVEXLINK_BUILD_DIR"], "python", "dist-info", dist_info)
    with open(os.path.join(installed, "METADATA"), encoding="utf-8") as f:
        assert sorted(email.parser.Parser().parse(f).items()) == sorted(metadata.items())
    with open(os.path.join(installed, "entry_points.txt"), encoding="utf-8") as f:
        assert f.read() == entry_points


def test_a_fresh_venv_imports_it_with_nothing_from_the_system(venv, tmp_path):
    _system_site(venv, False)
    python = os.path.join(venv, "bin", "python")
    script = (
        "import importlib.metadata, json, sys, corvexlink, corvexlink.aio, corvexlink.testing\n"
        "from corvexlink.testing import Simulator\n"
        "with Simulator('0-1') as sim, corvexlink.open(sim.device) as link:\n"
        "    found = link.scan()\n"
        "outside = sorted(m.__file__ for m in list(sys.modules.values())\n"
        "    if getattr(m, '__file__', None) and '/dist-packages/' in m.__file__)\n"
        "print(json.dumps([corvexlink.__version__, importlib.metadata.version('corvexlink'),\n"
        "    corvexlink.__file__, corvexlink.library_path(), found, outside]))\n"
    )
    run = _run([python, "-c", script], env=_clean_env(), cwd=tmp_path)
    version, metadata_version, package, library, found, outside = json.loads(run.stdout)
    site = os.path.join(venv, "lib")
    assert version == metadata_version == _project_version()
    assert package.startswith(site) and library == os.path.join(os.path.dirname(package), "libCorvexLink.so.2")
    assert found == [0, 1] and outside == []

    # CORVEXLINK_LIBRARY still comes first.
    run = _run([python, "-c", "import corvexlink; print(corvexlink.library_path())"],
               env=_clean_env(CORVEXLINK_LIBRARY=BUILT_LIBRARY), cwd=tmp_path)
    assert run.stdout.strip() == BUILT_LIBRARY

    # The README's example, with the simulator it starts from PATH.
    example = os.path.join(SOURCE, "python", "examples", "scan_and_move.py")
    run = _run([python, example, "--simulate"], env=_clean_env(), cwd=tmp_path)
    assert "stations: [0, 1, 2, 3]" in run.stdout and "motor 3: position 4000" in run.stdout

    listed = json.loads(_run([python, "-m", "pip", "list", "--format=json", "--disable-pip-version-check"],
                             env=_clean_env()).stdout)
    assert {"name": "corvexlink", "version": _project_version()} in listed


def test_the_package_suite_passes_against_the_installed_wheel(venv, tmp_path):
    """The package's own tests, with pytest from the system and corvexlink from the venv
    (conftest.py checks that the package comes from there)."""
    _system_site(venv, True)
    python = os.path.join(venv, "bin", "python")
    env = _clean_env(
        CORVEXLINK_TESTS_INSTALLED=os.path.join(venv, "lib"),
        PYTHONDONTWRITEBYTECODE="1",
    )
    run = subprocess.run(
        [python, "-m", "pytest", "-q", "-p", "no:cacheprovider", *PACKAGE_SUITES],
        capture_output=True, text=True, timeout=1200, env=env, cwd=tmp_path,
    )
    assert run.returncode == 0, run.stdout[-6000:] + run.stderr[-3000:]
    assert " passed" in run.stdout
