#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the shape of the include graph, so that a change cannot quietly blur the layers.

- Only the platform layer (library/src/platform) includes operating-system headers.
- Only the Qt UI module (library/src/qt_ui) and the demo include Qt.
- Folders of the library include each other only along the edges listed in FOLDER_EDGES;
  in particular the platform layer never reaches up into the link or command code, and
  the POSIX and Windows halves never include each other.
- The demo, corvexctl and the examples use the public header only, never library internals.
- No code below the exports calls an export: with the objects of the library given, none of
  the link, command or platform objects refers to a name the shared library exports (the
  steps exports share are operations of the layer below, so no step of one call reaches
  another line or course than its own).

Usage: check_layering.py <source tree root> [<object folder of the library> <shared library>].
Prints every violation; exit status 1 if any.
"""
import os
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)

# Headers of the operating system (POSIX, Linux, Windows). Standard C and C++ headers are
# not in this list: they are portable.
OS_HEADER = re.compile(
    r'^(unistd|fcntl|termios|poll|pthread|sched|dlfcn|dirent|pwd|grp|signal|errno_posix|netdb|'
    r'windows|winver|winbase|winuser|mmsystem|setupapi|devguid|shlobj|io|process|'
    r'winsock2|ws2tcpip|mstcpip)\.h$'
    r'|^(sys|linux|asm|net|netinet|arpa)/')
QT_HEADER = re.compile(r'^Q[A-Za-z]*(/|$)')
SOURCE_SUFFIXES = ('.c', '.cpp', '.h')

# Which folder of library/src may include which other one ('.' is library/src itself).
FOLDER_EDGES = {
    ('.', 'link'), ('.', 'platform'), ('.', 'exports'),
    ('commands', '.'), ('commands', 'link'), ('commands', 'platform'),
    ('exports', '.'), ('exports', 'link'), ('exports', 'commands'), ('exports', 'platform'),
    ('qt_ui', 'platform'),
    ('link', '.'), ('link', 'platform'),
    ('platform/posix', 'platform'), ('platform/win32', 'platform'),
}

# The folders whose objects must not call an export.
BELOW_EXPORTS = ('commands', 'link', 'platform')


def exported_names(shared_library):
    out = subprocess.run(['nm', '-D', '--defined-only', '--format=posix', shared_library],
                         check=True, capture_output=True, text=True).stdout
    # Functions only (text symbols): the exported variable is the GUI module's to reach.
    return {line.split()[0].split('@')[0] for line in out.splitlines()
            if len(line.split()) > 1 and line.split()[1] in ('T', 'W', 'i')}


def export_calls(object_folder, shared_library):
    """Every reference from an object below the exports to an exported name."""
    exports = exported_names(shared_library)
    problems = []
    checked = 0
    for folder in BELOW_EXPORTS:
        root = os.path.join(object_folder, folder)
        for directory, _, files in os.walk(root):
            for name in sorted(files):
                if not name.endswith(('.o', '.obj')):
                    continue
                path = os.path.join(directory, name)
                checked += 1
                out = subprocess.run(['nm', '-u', '--format=posix', path], check=True,
                                     capture_output=True, text=True).stdout
                for line in out.splitlines():
                    symbol = line.split()[0] if line.strip() else ''
                    if symbol in exports:
                        problems.append(f'{os.path.relpath(path, object_folder)}: calls the export '
                                        f'{symbol} (call the operation below it instead)')
    if checked < 20:
        problems.append(f'{object_folder}: only {checked} objects found below the exports')
    return problems


def sources(folder):
    for directory, _, files in os.walk(folder):
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(directory, name)


def includes(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        for match in INCLUDE.finditer(f.read()):
            yield match.group(1), match.group(2)


def main(root, object_folder=None, shared_library=None):
    problems = []
    root = os.path.abspath(root)
    library_src = os.path.join(root, 'library', 'src')
    public_include = os.path.join(root, 'library', 'include')

    for path in sources(library_src):
        folder = os.path.relpath(os.path.dirname(path), library_src)
        in_platform = folder == 'platform' or folder.startswith('platform/')
        for kind, name in includes(path):
            where = os.path.relpath(path, root)
            if kind == '<':
                if OS_HEADER.search(name) and not in_platform:
                    problems.append(f'{where}: operating-system header <{name}> outside the platform layer')
                if QT_HEADER.match(name) and folder != 'qt_ui':
                    problems.append(f'{where}: Qt header <{name}> outside the Qt UI module')
                continue
            target = os.path.normpath(os.path.join(os.path.dirname(path), name))
            if not os.path.exists(target):
                if os.path.exists(os.path.join(public_include, name)):
                    continue
                problems.append(f'{where}: "{name}" does not resolve')
                continue
            if os.path.commonpath([target, library_src]) != library_src:
                continue  # the public header, reached by a relative path
            to = os.path.relpath(os.path.dirname(target), library_src)
            if to != folder and (folder, to) not in FOLDER_EDGES:
                problems.append(f'{where}: includes {to}/{os.path.basename(target)}, '
                                f'a new edge {folder} -> {to} in the include graph')

    internal = {os.path.relpath(p, library_src) for p in sources(library_src)}
    for program in ('demo', os.path.join('tools', 'corvexctl'), 'examples'):
        for path in sources(os.path.join(root, program)):
            for kind, name in includes(path):
                if kind != '"' or os.path.exists(os.path.join(os.path.dirname(path), name)):
                    continue  # a system header, or a file of the program's own folder
                if any(p == name or p.endswith('/' + name) for p in internal):
                    problems.append(f'{os.path.relpath(path, root)}: includes library internal '
                                    f'"{name}" instead of the public header')

    if object_folder is not None:
        problems += export_calls(object_folder, shared_library)

    for problem in problems:
        print(problem)
    print(f'layering: {len(problems)} problem(s)')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:4]) if len(sys.argv) > 1 else main('.'))
