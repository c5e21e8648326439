# SPDX-License-Identifier: MIT
# The generated reference against the public header: every export has a section-3 page of
# its own (NAME line, SYNOPSIS with the include and the link line, SEE ALSO to its family)
# and a place in the HTML reference; constants and types lead to the page that documents
# them; messages keep their exact text; the pages are packed reproducibly, read by man
# without a warning, and their code examples survive roff. Run by ctest after the build
# generated the reference.
import gzip
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

SOURCE = Path(os.environ["CORVEXLINK_SOURCE_DIR"])
REFERENCE = Path(os.environ["CORVEXLINK_REFERENCE_DIR"])
MAN3 = Path(os.environ["CORVEXLINK_MAN3_DIR"])
HEADER = SOURCE / "library/include/CorvexLink.h"

sys.path.insert(0, str(SOURCE / "docs"))
import man_pages  # noqa: E402


def declared_exports():
    """The names declared with CORVEXLINK_API, as the export tests read them."""
    header = HEADER.read_text()
    header = re.sub(r"/\*[\s\S]*?\*/", " ", header)
    header = re.sub(r"(^|\n)[ \t]*#[^\n]*", "\n", header)
    return sorted(set(re.findall(r"CORVEXLINK_API\s+[^;(]*?\b(\w+)\s*[(;]", header)))


EXPORTS = declared_exports()


def man_text(path):
    with gzip.open(path, "rt", encoding="utf-8") as f:
        return f.read()


def section(text, name):
    """The roff source of one section (.SH name) of a page."""
    match = re.search(r'^\.SH "?' + re.escape(name) + r'"?\n([\s\S]*?)(?=^\.SH |\Z)', text, re.M)
    return match.group(1) if match else ""


def test_the_header_parse_finds_the_exports():
    assert len(EXPORTS) >= 60
    assert {"PortOpen", "FIFOMotorWait", "Form2", "CorvexLinkSetDebugHandler"} <= set(EXPORTS)


class TestManualPages:
    @pytest.mark.parametrize("name", EXPORTS)
    def test_each_export_has_a_page_of_its_own(self, name):
        page = MAN3 / (name + ".3.gz")
        assert page.is_file() and not page.is_symlink(), f"{page} is missing or a link"
        text = man_text(page)
        assert re.search(r'^\.TH "' + name + r'" "3" ', text, re.M)
        # whatis reads "name \- what it does"; nothing of another function.
        name_line = section(text, "NAME").strip()
        assert re.fullmatch(name + r" \\- [a-z\\\"].{8,}", name_line), name_line
        synopsis = section(text, "SYNOPSIS")
        assert "#include <CorvexLink.h>" in synopsis
        assert "\\-lCorvexLink" in synopsis
        assert re.search(r'^\.BI ".*\b' + name + r'\b', synopsis, re.M)
        assert synopsis.count(".BI ") == 1
        see_also = section(text, "SEE ALSO")
        assert re.search(r"^\.BR corvexlink\\-[a-z]+ \(3\)", see_also, re.M), see_also
        assert ".BR corvexlink (3)" in see_also

    def test_a_function_page_shows_its_arguments_result_errors_and_example(self):
        text = man_text(MAN3 / "PortOpen.3.gz")
        assert '.BI "int PortOpen(int " "port" ", int " "baudRate" ");"' in text
        description = section(text, "DESCRIPTION")
        assert "\\fIport\\fR" in description and "\\fIbaudRate\\fR" in description
        assert "1 when the port is open, \\-1 on failure." in section(text, "RETURN VALUE")
        assert '"Unable to open COM port"' in section(text, "ERRORS")
        assert "if (PortOpen(1, 9600) != 1) {" in section(text, "EXAMPLES")
        assert ".BR PortDevice (3)" in section(text, "SEE ALSO")  # named in its text

    def test_family_pages_list_their_functions_and_constants_lead_to_their_page(self):
        families = sorted(p.name for p in MAN3.glob("corvexlink-*.3.gz"))
        assert len(families) >= 9, families
        port = man_text(MAN3 / "corvexlink-port.3.gz")
        for name in ("PortOpen", "PortClose", "PortConfigure", "Form2"):
            assert f".BR {name} (3)" in section(port, "FUNCTIONS") or f".BR {name} (3)" in port
        for link, target in [("CORVEXLINK_ERR_NO_ANSWER", "corvexlink"),
                             ("CORVEXLINK_STATUS_RUNING", "corvexlink-motion"),
                             ("CorvexLinkPortInfo", "corvexlink-devices")]:
            path = MAN3 / (link + ".3.gz")
            assert path.is_symlink() and os.readlink(path) == target + ".3.gz"
            assert link in man_text(MAN3 / os.readlink(path))

    def test_no_stray_names(self):
        names = sorted(p.name for p in MAN3.iterdir())
        # Struct fields (device, port, usb, ...) and the header's own page stay out.
        stray = [n for n in names if not (n.startswith("corvexlink") or n[0].isupper())]
        assert stray == []
        assert "CorvexLink.h.3.gz" not in names

    def test_messages_keep_their_quotes_and_stay_on_one_line(self):
        text = man_text(MAN3 / "corvexlink.3.gz")
        for message in ['"SPI MUST be Configured as MASTER, check USER11 State (...":',
                        '"ItcCommand: COM port timed out (command = ...)":',
                        '"The Delay of 900 Ms has been expired, and Can NOT Write the Command TO FIFO":']:
            assert message in text, message

    def test_pages_are_gzip_without_name_or_time(self):
        for page in MAN3.glob("*.3.gz"):
            if page.is_symlink():
                continue
            head = page.read_bytes()[:10]
            assert head[:2] == b"\x1f\x8b", page
            assert head[3] & 0x08 == 0, f"{page} stores a file name"
            assert head[4:8] == b"\0\0\0\0", f"{page} stores a time"

    def test_no_text_line_is_taken_for_a_roff_request(self):
        # roff drops a line that starts with an apostrophe, and runs one that starts with a dot.
        requests = {".TH", ".SH", ".SS", ".PP", ".TP", ".IP", ".B", ".BI", ".BR", ".nf", ".fi", ".EX",
                    ".EE", ".in", ".ad", ".nh", ".br"}
        for page in MAN3.glob("*.3.gz"):
            for line in man_text(page).split("\n"):
                assert not line.startswith("'"), (page, line)
                if line.startswith("."):
                    assert line.split(" ")[0] in requests, (page, line)

    def test_code_examples_keep_their_backslashes(self):
        # PortOpen's example prints with "%s\n": roff must show the backslash, not eat it.
        text = man_text(MAN3 / "PortOpen.3.gz")
        assert r'"%s\en"' in text
        assert r'"%s\n"' not in text

    @pytest.mark.skipif(shutil.which("man") is None, reason="man is not installed")
    def test_man_reads_every_page_without_a_warning(self):
        pages = [str(p) for p in sorted(MAN3.glob("*.3.gz")) if not p.is_symlink()]
        run = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", *pages],
                             capture_output=True, text=True, env=dict(os.environ, MANWIDTH="80"))
        assert run.returncode == 0 and run.stderr == "", run.stderr


class TestHeaderComments:
    def test_no_quoted_text_is_broken_over_two_lines(self):
        # A message in double quotes is kept whole on one comment line, so the reference
        # shows it exactly (Doxygen keeps a line break inside quotes).
        broken, in_code = [], False
        for number, line in enumerate(HEADER.read_text().split("\n"), 1):
            text = line.strip()
            if "@code" in text:
                in_code = True
            elif "@endcode" in text:
                in_code = False
            elif not in_code and text.startswith("*") and text.count('"') % 2:
                broken.append((number, line))
        assert broken == []


class TestHtmlReference:
    def test_every_export_is_documented_in_a_family_page(self):
        pages = " ".join(p.read_text(encoding="utf-8") for p in REFERENCE.glob("group__*.html"))
        missing = [n for n in EXPORTS if not re.search(r">\s*" + n + r"\s*<", pages)]
        assert missing == []

    def test_pages_need_no_scripts(self):
        for page in REFERENCE.glob("*.html"):
            assert "<script" not in page.read_text(encoding="utf-8"), page


def member(xml):
    return ET.fromstring(xml)


class TestManPagesScript:
    @pytest.mark.parametrize("sentence, shown", [
        ("Reads the status register.", "reads the status register"),
        # Too long: parenthetical remarks go, then the rest after a colon, then after a comma.
        ("Opens serial port port (COM<port>) at baudRate, 8 data bits, no parity, one stop bit.",
         "opens serial port port at baudRate"),
        ("Sends the slew rate, first rate and acceleration in one call: three commands, no checks.",
         "sends the slew rate, first rate and acceleration in one call"),
        ("Sends command (without the CR, address prefix included, for example \"_0R600\") and waits.",
         "sends command and waits"),
        ("The baud rate last requested through PortOpen(), the port dialog or ZelmarChangeBaudRate().",
         "the baud rate last requested through PortOpen()"),
        ("A position turned into a signed number.", "a position turned into a signed number"),
        ("USB vendor id of the adapter.", "USB vendor id of the adapter"),
    ])
    def test_name_line_from_the_first_sentence(self, sentence, shown):
        xml = f"<memberdef><briefdescription/><detaileddescription><para>{sentence.replace('<', '&lt;')} " \
              "More text.</para></detaileddescription></memberdef>"
        library = man_pages.Library.__new__(man_pages.Library)
        library.pages = {}
        expected = man_pages.escape(shown)
        assert man_pages.first_sentence(library, member(xml)) == expected

    def test_declarations(self):
        function = member('<memberdef kind="function"><type>int</type><name>FIFOMotorSlope</name>'
                          '<param><type>const char *</type><declname>address</declname></param>'
                          '<param><type>int32_t *</type><declname>freeBytes</declname></param></memberdef>')
        assert man_pages.declaration(function) == \
            '.BI "int FIFOMotorSlope(const char *" "address" ", int32_t *" "freeBytes" ");"'
        void = member('<memberdef kind="function"><type>int</type><name>PortClose</name>'
                      '<param><type>void</type></param></memberdef>')
        assert man_pages.declaration(void) == '.BI "int PortClose(void);"'
        variable = member('<memberdef kind="variable"><type>void *</type><name>Form2</name></memberdef>')
        assert man_pages.declaration(variable) == '.BI "extern void *Form2;"'

    def test_text_is_escaped_for_roff(self):
        assert man_pages.escape(r'a-b "\n"') == r'a\-b "\en"'
        assert man_pages.text_line(".5 V and 'x'") == "\\&.5 V and 'x'"
        assert man_pages.text_line("'quoted' first") == "\\&'quoted' first"
