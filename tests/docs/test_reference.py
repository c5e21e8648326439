# SPDX-License-Identifier: MIT
# The generated reference against the public header: every export has a section-3 page
# (a link to its family's page, which documents it) and a place in the HTML reference;
# the installed set of pages holds no stray names; the pages are packed reproducibly and
# their code examples survive roff. Run by ctest after the build generated the reference.
import gzip
import os
import re
import sys
from pathlib import Path

import pytest

SOURCE = Path(os.environ["CORVEXLINK_SOURCE_DIR"])
REFERENCE = Path(os.environ["CORVEXLINK_REFERENCE_DIR"])
MAN3 = Path(os.environ["CORVEXLINK_MAN3_DIR"])

sys.path.insert(0, str(SOURCE / "docs"))
import man_pages  # noqa: E402


def declared_exports():
    """The names declared with CORVEXLINK_API, as the export tests read them."""
    header = (SOURCE / "library/include/CorvexLink.h").read_text()
    header = re.sub(r"/\*[\s\S]*?\*/", " ", header)
    header = re.sub(r"(^|\n)[ \t]*#[^\n]*", "\n", header)
    return sorted(set(re.findall(r"CORVEXLINK_API\s+[^;(]*?\b(\w+)\s*[(;]", header)))


EXPORTS = declared_exports()


def man_text(path):
    with gzip.open(path, "rt", encoding="utf-8") as f:
        return f.read()


def test_the_header_parse_finds_the_exports():
    assert len(EXPORTS) >= 60
    assert {"PortOpen", "FIFOMotorWait", "Form2", "CorvexLinkSetDebugHandler"} <= set(EXPORTS)


class TestManualPages:
    @pytest.mark.parametrize("name", EXPORTS)
    def test_each_export_leads_to_the_family_page_that_documents_it(self, name):
        link = MAN3 / (name + ".3.gz")
        assert link.is_symlink(), f"{link} is missing or not a link"
        target = os.readlink(link)
        assert re.fullmatch(r"corvexlink-[a-z]+\.3\.gz", target), target
        text = man_text(MAN3 / target)
        # The family page carries the export's own documentation section.
        assert re.search(r'^\.SS ".*\b' + name + r'\b', text, re.M), f"{name} not in {target}"

    def test_one_page_per_family_and_no_stray_names(self):
        names = sorted(p.name for p in MAN3.iterdir())
        families = [n for n in names if n.startswith("corvexlink-")]
        assert len(families) >= 9, families
        assert "corvexlink.3.gz" in names
        # Struct fields (device, port, usb, ...) and the header's own page stay out.
        stray = [n for n in names if not (n.startswith("corvexlink") or n[0].isupper())]
        assert stray == []
        assert "CorvexLink.h.3.gz" not in names

    def test_pages_are_gzip_without_name_or_time(self):
        for page in MAN3.glob("corvexlink*.3.gz"):
            head = page.read_bytes()[:10]
            assert head[:2] == b"\x1f\x8b", page
            assert head[3] & 0x08 == 0, f"{page} stores a file name"
            assert head[4:8] == b"\0\0\0\0", f"{page} stores a time"

    def test_no_text_line_is_taken_for_a_roff_request(self):
        # roff drops a line that starts with an apostrophe: the message at its start is lost.
        for page in MAN3.glob("corvexlink*.3.gz"):
            lines = man_text(page).split("\n")
            assert [l for l in lines if l.startswith("'")] == [], page
        assert "\\&'Wrong ADC Resolution'" in man_text(MAN3 / "corvexlink-io.3.gz")

    def test_code_examples_keep_their_backslashes(self):
        # PortOpen's example prints with "%s\n": roff must show the backslash, not eat it.
        text = man_text(MAN3 / "corvexlink-port.3.gz")
        assert r'"%s\en"' in text
        assert r'"%s\n"' not in text


class TestHtmlReference:
    def test_every_export_is_documented_in_a_family_page(self):
        pages = " ".join(p.read_text(encoding="utf-8") for p in REFERENCE.glob("group__*.html"))
        missing = [n for n in EXPORTS if not re.search(r">\s*" + n + r"\s*<", pages)]
        assert missing == []

    def test_pages_need_no_scripts(self):
        for page in REFERENCE.glob("*.html"):
            assert "<script" not in page.read_text(encoding="utf-8"), page


class TestManPagesScript:
    def test_raw_backslashes_in_code_are_escaped_and_doxygen_escapes_kept(self):
        text = '.PP\nsee "a\\n"\n.nf\nprintf("%d\\n", x\\&.y);\n.fi\nafter "\\n"\n'
        out = man_pages.escape_roff(text)
        assert 'printf("%d\\en", x\\&.y);' in out
        # Outside a code block nothing is touched.
        assert out.startswith('.PP\nsee "a\\n"\n') and out.endswith('after "\\n"\n')

    def test_a_line_that_starts_with_an_apostrophe_is_kept_as_text(self):
        out = man_pages.escape_roff(".PP\n'Wrong ADC Resolution' first\nit's kept\n")
        assert out == ".PP\n\\&'Wrong ADC Resolution' first\nit's kept\n"

    @pytest.mark.parametrize(
        "name, public",
        [("corvexlink-port.3", True), ("corvexlink.3", True), ("PortOpen.3", True),
         ("CORVEXLINK_STATUS_HOME.3", True), ("CorvexLinkPortInfo.3", True),
         ("CorvexLink.h.3", False), ("device.3", False), ("port.3", False)])
    def test_public_names(self, name, public):
        assert man_pages.is_public(name) is public

    def test_links_to_dropped_pages_are_dropped(self, tmp_path):
        source = tmp_path / "man3"
        source.mkdir()
        (source / "corvexlink-port.3").write_text('.TH "corvexlink-port" 3\n.nf\na("\\r");\n.fi\n')
        (source / "PortOpen.3").write_text(".so man3/corvexlink-port.3\n")
        (source / "CORVEXLINK_API.3").write_text(".so man3/CorvexLink.h.3\n")
        (source / "CorvexLink.h.3").write_text('.TH "CorvexLink.h" 3\n')
        (source / "usb.3").write_text(".so man3/CorvexLinkPortInfo.3\n")
        out = tmp_path / "out"
        assert man_pages.main(str(source), str(out)) == 0
        assert sorted(p.name for p in out.iterdir()) == ["PortOpen.3.gz", "corvexlink-port.3.gz"]
        assert os.readlink(out / "PortOpen.3.gz") == "corvexlink-port.3.gz"
        assert 'a("\\er");' in man_text(out / "corvexlink-port.3.gz")
        # A second run over the same pages gives the same bytes.
        first = (out / "corvexlink-port.3.gz").read_bytes()
        man_pages.main(str(source), str(out))
        assert (out / "corvexlink-port.3.gz").read_bytes() == first
