#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prepares the section-3 manual pages that Doxygen wrote for installation.

Keeps the page of each export family (corvexlink*.3) and of the public types, and the
link pages of the public names (PortOpen.3, CORVEXLINK_STATUS_HOME.3, ...), which become
symbolic links to their family's page. Drops the pages of struct fields (device.3,
port.3, ...), whose short names would collide with other packages' pages, and the page
of the header file itself. Backslashes inside code examples are escaped, since roff would
read "\\n" in a C string as an escape of its own, and so are text lines that begin with an
apostrophe, which roff would drop. Every page is compressed with gzip -9n.

Usage: man_pages.py DOXYGEN_MAN3_FOLDER OUTPUT_FOLDER
"""
import gzip
import os
import re
import shutil
import sys

LINK = re.compile(r"^\.so man3/(?P<target>[^\s]+)\s*$")
# A backslash in a code line that Doxygen did not write itself (it writes "\&" only).
RAW_BACKSLASH = re.compile(r"\\(?!&)")


def is_public(name):
    """Family pages and names that the header exports or defines for callers."""
    stem = name[: -len(".3")]
    if stem == "CorvexLink.h":
        return False
    return stem.startswith("corvexlink") or stem[:1].isupper()


def escape_roff(text):
    """Escapes raw backslashes between .nf and .fi (the code examples), and text lines that
    begin with an apostrophe, which roff would take for a control line and drop (Doxygen
    writes a message quoted at the start of a line that way)."""
    lines = []
    in_code = False
    for line in text.split("\n"):
        if line.startswith(".nf"):
            in_code = True
        elif line.startswith(".fi"):
            in_code = False
        elif in_code:
            line = RAW_BACKSLASH.sub(r"\\e", line)
        if line.startswith("'"):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


def write_gzip(path, text):
    with open(path, "wb") as raw:
        # No name and no time stamp in the header: the same page gives the same file.
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=0) as out:
            out.write(text.encode("utf-8"))


def main(source, output):
    if os.path.isdir(output):
        shutil.rmtree(output)
    os.makedirs(output)
    pages, links = {}, {}
    for name in sorted(os.listdir(source)):
        if not name.endswith(".3") or not is_public(name):
            continue
        with open(os.path.join(source, name), encoding="utf-8") as f:
            text = f.read()
        match = LINK.match(text.strip())
        if match:
            links[name] = match.group("target")
        else:
            pages[name] = text
    for name, text in pages.items():
        write_gzip(os.path.join(output, name + ".gz"), escape_roff(text))
    for name, target in links.items():
        if target in pages:
            os.symlink(target + ".gz", os.path.join(output, name + ".gz"))
    if not any(name.startswith("corvexlink-") for name in pages):
        sys.exit("man_pages.py: no family page found in " + source)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
