#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Summarises a ctest log of the Windows tests: how many passed, failed and were skipped,
and the reason each skipped test gave.

    scripts/ci/windows-test-summary.py build/windows/Testing/Temporary/LastTest.log
"""
import argparse
import re
import sys


def parse(text):
    """Yields (name, output, passed) for every test block of a ctest LastTest.log."""
    blocks = re.split(r"^\d+/\d+ Testing: ", text, flags=re.M)[1:]
    for block in blocks:
        name = block.split("\n", 1)[0].strip()
        match = re.search(r"^Output:\n-+\n(.*?)<end of output>", block, flags=re.M | re.S)
        output = match.group(1) if match else ""
        passed = re.search(r"^Test Passed\.", block, flags=re.M) is not None
        yield name, output, passed


def skip_reason(output):
    """The message after gtest's "Skipped" line, or None when the test did not skip."""
    if "[  SKIPPED ]" not in output:
        return None
    match = re.search(r"Skipped\n(.*?)\n\[  SKIPPED \]", output, flags=re.S)
    reason = match.group(1).strip() if match else ""
    return " ".join(reason.split()) or "(no reason given)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("log", help="ctest's LastTest.log")
    parser.add_argument("--version", action="version", version="windows-test-summary 1")
    args = parser.parse_args()
    try:
        with open(args.log, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError as error:
        print(f"windows-test-summary: {error}", file=sys.stderr)
        return 2

    passed, failed, skipped = [], [], []
    for name, output, ok in parse(text.replace("\r", "")):
        reason = skip_reason(output)
        if reason is not None:
            skipped.append((name, reason))
        elif ok:
            passed.append(name)
        else:
            failed.append(name)
    print(f"windows tests under Wine: {len(passed)} passed, {len(failed)} failed, "
          f"{len(skipped)} skipped")
    for name, reason in skipped:
        print(f"  skipped {name}: {reason}")
    for name in failed:
        print(f"  FAILED {name}")
    return 0 if passed or skipped or failed else 1


if __name__ == "__main__":
    sys.exit(main())
