# SPDX-License-Identifier: MIT
"""The limits of the values the library accepts are named once, in the public header:
corvexctl, the Tango server and the profile CSV reader take them from there. A number that
copies one of them (a slew rate's 8500, a count's 8388607, ...) fails this test."""

import os
import re

SOURCE = os.environ.get("CORVEXLINK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
FOLDERS = ["tools/corvexctl", "tools/tango", "tools/profile_csv"]

# Numbers that equal a limit and are something else; each line as it stands, comments cut.
NOT_LIMITS = {
    ("tools/tango/checks.h", "inline constexpr long kMaxUserLines = 255;"),  # a port's 8 lines
    ("tools/tango/line_device.cpp", '"Board 0 to 3, user I/O port 1 to 3, outputs 0 to 255"));'),
    ("tools/tango/line_device.cpp", '"Board 0 to 3, user I/O port 1 to 3, output lines 0 to 255"));'),
    ("tools/corvexctl/main.cpp", "->transform(wholeNumber(1, 255));"),  # COM1 to COM255
    ("tools/corvexctl/main.cpp",  # an example move
     "corvexctl move 0 2000 --wait             move station 0 by 2000 steps, show where it stopped"),
}


def header_limits() -> dict:
    """NAME: value of the header's block of limits."""
    with open(os.path.join(SOURCE, "library/include/CorvexLink.h")) as header:
        text = header.read()
    block = text[text.index("@name Limits"):]
    block = block[:block.index("/** @} */")]
    return {m.group(1): int(m.group(2)) for m in re.finditer(r"#define (CORVEXLINK_\w+) \(?(-?\d+)\)?", block)}


def copies(values) -> list:
    """(file, line number, line) of every number in the tools' sources equal to one of `values`."""
    found = []
    for folder in FOLDERS:
        for name in sorted(os.listdir(os.path.join(SOURCE, folder))):
            if not name.endswith((".cpp", ".h")):
                continue
            path = f"{folder}/{name}"
            with open(os.path.join(SOURCE, path)) as source:
                for number, line in enumerate(source, 1):
                    code = re.sub(r"//.*", "", line).strip()
                    if (path, code) in NOT_LIMITS:
                        continue
                    if any(int(n) in values for n in re.findall(r"(?<![\w.])\d+(?![\w.])", code)):
                        found.append((path, number, code))
    return found


def test_no_copy_of_a_limit_outside_the_header():
    limits = header_limits()
    assert {"CORVEXLINK_RATE_MAX", "CORVEXLINK_COUNT_MAX", "CORVEXLINK_FIFO_SLOPE_MIN"} <= set(limits)
    # Numbers of three digits and more: the short ones (0, 8, 12, 15, 16, 50) are everywhere.
    values = {abs(v) for v in limits.values() if abs(v) >= 100}
    assert {8500, 10239, 8388607, 256, 255, 2000} <= values
    assert copies(values) == []
    # The check sees a copy: the Tango server's old slew-rate limit would be one.
    assert copies({600}) and all("kInit" in code for _, _, code in copies({600}))
