#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Writes the package's installed metadata (corvexlink-<version>.dist-info) from
pyproject.toml, for installations that are not made by pip (cmake --install, the Debian
package): importlib.metadata and pip then see the package, and pytest its plugin.

    write_dist_info.py <pyproject.toml> <version> <output folder>

It holds what the wheel's own dist-info holds, less the files that belong to pip (RECORD,
INSTALLER, WHEEL): such an installation is not pip's to change.
"""

import os
import shutil
import sys
import tomllib


def metadata(project: dict, version: str) -> str:
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {version}",
        f"Summary: {project['description']}",
    ]
    for author in project.get("authors", []):
        lines.append(f"Author-email: {author['name']} <{author['email']}>")
    if "license" in project:
        lines.append(f"License: {project['license']['text']}")
    for name, url in project.get("urls", {}).items():
        lines.append(f"Project-URL: {name}, {url}")
    lines += [f"Classifier: {classifier}" for classifier in project.get("classifiers", [])]
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    return "\n".join(lines) + "\n"


def entry_points(project: dict) -> str:
    sections = []
    for group, points in project.get("entry-points", {}).items():
        body = "".join(f"{name} = {target}\n" for name, target in points.items())
        sections.append(f"[{group}]\n{body}")
    return "\n".join(sections)


def main(argv: list) -> int:
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        document = tomllib.load(f)
    project = document["project"]
    packages = document.get("tool", {}).get("setuptools", {}).get("packages", [project["name"]])
    folder = os.path.join(argv[3], f"{project['name']}-{argv[2]}.dist-info")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    files = {
        "METADATA": metadata(project, argv[2]),
        "entry_points.txt": entry_points(project),
        "top_level.txt": "".join(f"{package}\n" for package in packages),
    }
    for name, text in files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8") as out:
            out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
