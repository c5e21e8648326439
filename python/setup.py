# SPDX-License-Identifier: MIT
"""Builds the corvexlink wheel: the package with the CorvexLink library inside.

    python3 -m build --no-isolation --wheel python/

The version is the project's (the `project(CorvexLink VERSION ...)` line of the top
CMakeLists.txt). The library is the file named by CORVEXLINK_LIBRARY, else the default
build's (build/default/library/libCorvexLink.so.2), else the one this build made before
(build/wheel/); with none of them, the build runs CMake for the library alone in
build/wheel/ (the packages of scripts/install-deps.sh must be there). The library must be
of the project's version. The wheel is tagged py3-none-<platform>: the Python code runs on
any Python 3, the library only on this platform.
"""

import os
import re
import shutil
import subprocess

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py
from wheel.bdist_wheel import bdist_wheel

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
LIBRARY_NAME = "libCorvexLink.so.2"


def project_version() -> str:
    """The project's version: the top CMakeLists.txt's, or in an unpacked source archive
    (which `python3 -m build` makes first without --wheel) its PKG-INFO's."""
    top = os.path.join(SOURCE, "CMakeLists.txt")
    if not os.path.isfile(top) and os.path.isfile(os.path.join(HERE, "PKG-INFO")):
        with open(os.path.join(HERE, "PKG-INFO"), encoding="utf-8") as info:
            found = re.search(r"^Version: (\S+)$", info.read(), re.M)
        if found:
            return found.group(1)
    with open(top, encoding="utf-8") as f:
        found = re.search(r"^project\(CorvexLink VERSION ([0-9]+\.[0-9]+\.[0-9]+)", f.read(), re.M)
    if found is None:
        raise SystemExit("setup.py: no 'project(CorvexLink VERSION x.y.z' line in " + SOURCE + "/CMakeLists.txt")
    return found.group(1)


def built_library(version: str) -> str:
    """The library to bundle, checked to be a file of this version."""
    named = os.environ.get("CORVEXLINK_LIBRARY")
    if named:
        path = named
    else:
        built = [os.path.join(SOURCE, "build", folder, "library", LIBRARY_NAME) for folder in ("default", "wheel")]
        path = next((candidate for candidate in built if os.path.isfile(candidate)), None) or build_library()
    if not os.path.isfile(path):
        raise SystemExit(
            f"setup.py: {path} does not exist: build the library first (cmake --preset default && "
            "cmake --build --preset default) or name it with CORVEXLINK_LIBRARY"
        )
    real = os.path.basename(os.path.realpath(path))
    if real != f"{LIBRARY_NAME[:-2]}.{version}" and real != LIBRARY_NAME:
        raise SystemExit(f"setup.py: {path} is {real}, not the library of version {version}")
    return path


def build_library() -> str:
    """Builds the library alone with CMake in build/wheel/ (no tests, programs or GUI) and
    returns its path."""
    if not os.path.isfile(os.path.join(SOURCE, "library", "CMakeLists.txt")):
        raise SystemExit(
            f"setup.py: no library built and no library sources in {SOURCE} (a source archive carries the "
            "package alone): build the wheel from the source tree (python3 -m build --no-isolation --wheel "
            "python/), or name a built library with CORVEXLINK_LIBRARY"
        )
    folder = os.path.join(SOURCE, "build", "wheel")
    configure = ["cmake", "-S", SOURCE, "-B", folder, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"]
    configure += [f"-D{option}=OFF" for option in ("CORVEXLINK_WITH_QT", "CORVEXLINK_BUILD_TESTS",
                                                   "CORVEXLINK_BUILD_BENCH", "CORVEXLINK_BUILD_TANGO")]
    if shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    steps = [configure, ["cmake", "--build", folder, "--target", "CorvexLink", "--parallel", str(os.cpu_count() or 1)]]
    print(f"setup.py: no built library found; building it with CMake in {folder}", flush=True)
    for step in steps:
        try:
            subprocess.run(step, check=True)
        except (OSError, subprocess.CalledProcessError) as error:
            raise SystemExit(
                f"setup.py: building the library failed ({' '.join(step)}: {error}); scripts/install-deps.sh "
                "installs what the build needs"
            ) from None
    return os.path.join(folder, "library", LIBRARY_NAME)


class BuildWithLibrary(build_py):
    """The package's files, the library beside them and _install.py with the version."""

    def run(self) -> None:
        super().run()
        version = self.distribution.get_version()
        package = os.path.join(self.build_lib, "corvexlink")
        shutil.copyfile(built_library(version), os.path.join(package, LIBRARY_NAME))
        with open(os.path.join(package, "_install.py"), "w", encoding="utf-8") as out:
            out.write(
                '"""Written by the wheel\'s build: the package\'s version; the library is bundled."""\n\n'
                f'VERSION = "{version}"\nLIBRARY_RELATIVE_PATH = None\n'
            )


class WithLibrary(Distribution):
    """A distribution with a platform part (the library), so its files go to the platform's
    site folder and the wheel is not tagged 'any'."""

    def has_ext_modules(self) -> bool:
        return True


class PlatformWheel(bdist_wheel):
    """py3-none-<platform>: pure Python carrying a library built for this platform."""

    def get_tag(self):
        platform = super().get_tag()[2]
        return "py3", "none", platform


setup(
    version=project_version(),
    distclass=WithLibrary,
    cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel},
)
