# SPDX-License-Identifier: MIT
"""Builds the corvexlink wheel: the package with the CorvexLink library inside.

    python3 -m build --no-isolation --wheel python/

The version is the project's (the `project(CorvexLink VERSION ...)` line of the top
CMakeLists.txt). The library is the file named by CORVEXLINK_LIBRARY, else the default
build's (build/default/library/libCorvexLink.so.2); it must be of the same version. The
wheel is tagged py3-none-<platform>: the Python code runs on any Python 3, the library
only on this platform.
"""

import os
import re
import shutil

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py
from wheel.bdist_wheel import bdist_wheel

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
LIBRARY_NAME = "libCorvexLink.so.2"


def project_version() -> str:
    with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as top:
        found = re.search(r"^project\(CorvexLink VERSION ([0-9]+\.[0-9]+\.[0-9]+)", top.read(), re.M)
    if found is None:
        raise SystemExit("setup.py: no 'project(CorvexLink VERSION x.y.z' line in " + SOURCE + "/CMakeLists.txt")
    return found.group(1)


def built_library(version: str) -> str:
    """The library to bundle, checked to be a file of this version."""
    named = os.environ.get("CORVEXLINK_LIBRARY")
    path = named or os.path.join(SOURCE, "build", "default", "library", LIBRARY_NAME)
    if not os.path.isfile(path):
        raise SystemExit(
            f"setup.py: {path} does not exist: build the library first (cmake --preset default && "
            "cmake --build --preset default) or name it with CORVEXLINK_LIBRARY"
        )
    real = os.path.basename(os.path.realpath(path))
    if real != f"{LIBRARY_NAME[:-2]}.{version}" and real != LIBRARY_NAME:
        raise SystemExit(f"setup.py: {path} is {real}, not the library of version {version}")
    return path


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
