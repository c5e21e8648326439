#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the section-3 manual pages of the library from Doxygen's XML of the public header.

Pages:
  corvexlink.3           the overview: conventions, address texts, errors, error numbers;
  corvexlink-FAMILY.3    one per export family: what the family is for, its functions with
                         a line each, its constants and types;
  NAME.3                 one per function and exported variable: NAME, SYNOPSIS (include,
                         declaration, link line), DESCRIPTION with the arguments, RETURN
                         VALUE, ERRORS, EXAMPLES, SEE ALSO (the family, the functions the
                         page names, the overview);
  CONSTANT.3, TYPE.3     links to the page that documents them.
Texts keep their double quotes and every character, so a message reads exactly as the
library sets it. Every page is compressed with gzip -9n (no name, no time stamp).

Usage: man_pages.py DOXYGEN_XML_FOLDER OUTPUT_FOLDER VERSION DATE
"""
import gzip
import os
import re
import shutil
import sys
import xml.etree.ElementTree as ET

HEADER = "CorvexLink.h"
MANUAL = "CorvexLink Library Functions"
# Sections that a function's documentation names in "@par" and where they go on its page.
PAR_SECTIONS = {"Errors": "ERRORS", "Example": "EXAMPLES", "Examples": "EXAMPLES"}
# The words a NAME line keeps at most before it is cut at a natural break.
NAME_LIMIT = 60


def escape(text):
    """Text for roff: backslashes shown as themselves, '-' as a minus that copies as '-'."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def text_line(line):
    """A line roff takes as text, also when it starts with a dot or an apostrophe."""
    line = line.strip()
    return "\\&" + line if line[:1] in (".", "'") else line


def collapse(text):
    return re.sub(r"\s+", " ", text)


class Library:
    """The groups, members and pages found in Doxygen's XML."""

    def __init__(self, xml_folder):
        self.groups = []  # (name, element), in the order of the index
        self.pages = {}  # function or variable name -> its group's name
        self.links = {}  # constant or type name -> the page that documents it
        self.structs = {}  # struct name -> element
        index = ET.parse(os.path.join(xml_folder, "index.xml")).getroot()
        for compound in index.findall("compound"):
            path = os.path.join(xml_folder, compound.get("refid") + ".xml")
            if compound.get("kind") == "group":
                element = ET.parse(path).getroot().find("compounddef")
                self.groups.append((element.findtext("compoundname"), element))
            elif compound.get("kind") == "struct":
                element = ET.parse(path).getroot().find("compounddef")
                self.structs[element.findtext("compoundname")] = element
        for group, element in self.groups:
            for member in element.iter("memberdef"):
                name = member.findtext("name")
                if member.get("kind") in ("function", "variable"):
                    self.pages[name] = group
                else:
                    self.links[name] = group
        if "corvexlink" not in dict(self.groups):
            raise SystemExit("man_pages.py: no overview group 'corvexlink' in the XML")

    def group(self, name):
        return dict(self.groups)[name]

    def families(self):
        return [(n, e) for n, e in self.groups if n != "corvexlink"]


class Writer:
    """Turns Doxygen's description markup into roff lines."""

    def __init__(self, library, params=()):
        self.library = library
        self.params = set(params)
        self.mentioned = []  # pages named in the text, in order

    # Inline text -------------------------------------------------------------------------

    def inline(self, element, plain=False):
        """The text of `element` and its inline children, with fonts unless `plain`."""
        parts = [escape(element.text or "")]
        for child in element:
            if child.tag in BLOCKS:
                pass  # written by the caller as a block
            elif child.tag == "sp":
                parts.append(" ")
            elif child.tag == "linebreak":
                parts.append("\n.br\n" if not plain else " ")
            else:
                parts.append(self.inline_child(child, plain))
            parts.append(escape(child.tail or ""))
        return "".join(parts)

    def inline_child(self, child, plain):
        inner = self.inline(child, plain)
        if plain:
            return inner
        if child.tag == "ref":
            refid = child.get("refid", "")
            if child.get("kindref") == "compound" and refid.startswith("group__"):
                target = refid[len("group__"):]
                self.mention(target)
                return "\\fB" + escape(target) + "\\fR(3)"
            name = "".join(child.itertext()).strip().rstrip("()")
            if name in self.library.pages:
                self.mention(name)
                return "\\fB" + inner + "\\fR"
            return inner
        if child.tag == "computeroutput":
            font = "\\fI" if inner.strip() in self.params else "\\fB"
            return font + inner + "\\fR"
        if child.tag == "bold":
            return "\\fB" + inner + "\\fR"
        if child.tag in ("emphasis", "parametername"):
            return "\\fI" + inner + "\\fR"
        return inner

    def mention(self, page):
        if page not in self.mentioned:
            self.mentioned.append(page)

    # Blocks ------------------------------------------------------------------------------

    def description(self, element, out, skip=lambda block: False, par_heading=".SS"):
        """Writes the paragraphs, lists, code and sections of `element` to `out`."""
        if element is None:
            return
        for child in element:
            if child.tag == "para":
                self.para(child, out, skip, par_heading)
            elif child.tag in ("sect1", "sect2", "sect3"):
                title = collapse("".join(child.find("title").itertext())).strip()
                heading = ".SH" if child.tag == "sect1" and par_heading == ".SS" else ".SS"
                out.append(heading + ' "' + escape(title.upper() if heading == ".SH" else title) + '"')
                self.description(child, out, skip, par_heading)
            elif child.tag in BLOCKS and not skip(child):
                self.block(child, out, skip, par_heading)

    def para(self, para, out, skip, par_heading):
        """A paragraph: its text, broken where a list, code or section sits inside it."""
        pieces = [escape(para.text or "")]

        def flush():
            text = collapse("".join(pieces)).strip()
            pieces.clear()
            if text:
                out.append(".PP")
                out.extend(text_line(line) for line in text.split("\n") if line.strip())

        for child in para:
            if child.tag in BLOCKS:
                flush()
                if not skip(child):
                    self.block(child, out, skip, par_heading)
            elif child.tag == "sp":
                pieces.append(" ")
            else:
                pieces.append(self.inline_child(child, False))
            pieces.append(escape(child.tail or ""))
        flush()

    def block(self, element, out, skip, par_heading):
        if element.tag == "programlisting":
            self.code(element, out)
        elif element.tag in ("itemizedlist", "orderedlist"):
            for number, item in enumerate(element.findall("listitem"), 1):
                mark = "\\(bu" if element.tag == "itemizedlist" else f"{number}."
                out.append(f".IP {mark} 4")
                lines = []
                self.description(item, lines, skip, par_heading)
                # The item's first paragraph follows its mark; later ones are indented alike.
                first = True
                for line in lines:
                    if line == ".PP":
                        if not first:
                            out.append('.IP "" 4')
                        first = False
                    else:
                        out.append(line)
            out.append(".PP")
        elif element.tag == "parameterlist":
            self.parameters(element, out)
        elif element.tag == "simplesect":
            self.simplesect(element, out, skip, par_heading)

    def code(self, listing, out):
        out.extend([".PP", ".in +4n", ".EX"])
        for line in listing.findall("codeline"):
            text = "".join(self.code_text(h) for h in line.findall("highlight"))
            text = escape(text.rstrip())
            out.append("\\&" + text if text[:1] in (".", "'") else text)
        out.extend([".EE", ".in"])

    def code_text(self, element):
        parts = [element.text or ""]
        for child in element:
            parts.append(" " if child.tag == "sp" else self.code_text(child))
            parts.append(child.tail or "")
        return "".join(parts)

    def parameters(self, element, out):
        for item in element.findall("parameteritem"):
            names = ", ".join(collapse("".join(n.itertext())).strip()
                              for n in item.iter("parametername"))
            out.append(".TP")
            out.append("\\fI" + escape(names) + "\\fR")
            lines = []
            self.description(item.find("parameterdescription"), lines)
            out.extend(line for line in lines if line != ".PP")

    def simplesect(self, element, out, skip, par_heading):
        kind = element.get("kind")
        title = element.findtext("title")
        if kind == "par" and title:
            out.append(par_heading + ' "' + escape(title.upper() if par_heading == ".SH" else title) + '"')
        elif kind in ("note", "warning", "attention", "see", "since"):
            out.extend([".PP", "\\fB" + kind.capitalize() + ":\\fR"])
        elif kind == "return":
            out.extend([".PP", "\\fBReturns:\\fR"])
        for child in element:
            if child.tag == "para":
                self.para(child, out, skip, par_heading)


BLOCKS = {"parameterlist", "simplesect", "programlisting", "itemizedlist", "orderedlist", "sect1",
          "sect2", "sect3", "table"}


def plain_text(library, element):
    return collapse(Writer(library).inline(element, plain=True)).strip() if element is not None else ""


def outside_parentheses(text):
    """`text` without its parenthetical remarks (nested ones included); the empty pair
    after a function's name stays."""
    kept, depth = [], 0
    text = text.replace("()", "\0")
    for c in text:
        depth += c == "("
        if depth == 0:
            kept.append(c)
        depth -= c == ")" and depth > 0
    return collapse("".join(kept).replace("\0", "()")).replace(" ,", ",").replace(" ;", ";").replace(" :", ":").strip()


def shortened(text):
    """A long first sentence made a NAME line: without its parenthetical remarks, then up
    to its first colon or semicolon, then up to its first comma, while it is too long."""
    if len(text) > NAME_LIMIT:
        text = outside_parentheses(text)
    for marks in ((": ", "; "), (", ",)):
        if len(text) <= NAME_LIMIT:
            break
        breaks = [b for b in (text.find(mark, 12) for mark in marks) if b > 0]
        if breaks:
            text = text[:min(breaks)]
    return text


def first_sentence(library, member):
    """The brief of `member`, else the first sentence of its description, shortened, as a
    NAME line shows it: first letter lower-case, no final stop; escaped for roff."""
    text = " ".join(plain_text(library, p) for p in member.find("briefdescription").findall("para"))
    brief = bool(text)
    if not brief:
        para = member.find("detaileddescription").find("para")
        text = plain_text(library, para) if para is not None else ""
    text = re.split(r"(?<=[.!?])\s", text, maxsplit=1)[0].rstrip(".")
    if not brief:
        text = shortened(text)
    if len(text) > 1 and text[0].isupper() and (text[1].islower() or text[1] == " "):
        text = text[0].lower() + text[1:]
    return text


def declaration(member):
    """The declaration as the SYNOPSIS shows it: .BI with the argument names in italics."""
    type_text = collapse("".join(member.find("type").itertext())).strip()
    name = member.findtext("name")
    gap = "" if type_text.endswith("*") else " "
    if member.get("kind") == "variable":
        pieces = [f"extern {type_text}{gap}{name};"]
    else:
        static = member.get("static") == "yes" or member.get("inline") == "yes"
        pieces = [f"{'static inline ' if static else ''}{type_text}{gap}{name}("]
        for i, param in enumerate(member.findall("param")):
            ptype = collapse("".join(param.find("type").itertext())).strip()
            pname = param.findtext("declname")
            pieces[-1] += (", " if i else "") + ptype
            if pname:
                pieces[-1] += "" if ptype.endswith("*") else " "
                pieces += [pname, ""]
        pieces[-1] += ");"
    return ".BI " + " ".join('"' + escape(p) + '"' for p in pieces)


def title_line(name, version, date):
    # Left-aligned and without hyphenation, so no word of a message is split.
    return f'.TH "{name}" "3" "{date}" "CorvexLink {version}" "{MANUAL}"\n.ad l\n.nh'


def synopsis(out, declarations):
    out.extend([".SH SYNOPSIS", ".nf", f".B #include <{HEADER}>", ".PP"])
    out.extend(declarations)
    out.extend([".fi", ".PP", "Link with \\fI\\-lCorvexLink\\fR "
                "(\\fIpkg\\-config \\-\\-cflags \\-\\-libs corvexlink\\fR)."])


def see_also(out, pages):
    out.append(".SH SEE ALSO")
    out.append(",\n".join(".BR " + escape(page) + " (3)" for page in pages))


def member_page(library, member, group, version, date):
    """The page of one function or exported variable."""
    name = member.findtext("name")
    params = [p.findtext("declname") for p in member.findall("param") if p.findtext("declname")]
    writer = Writer(library, params)
    detail = member.find("detaileddescription")

    def extracted(block):
        if block.tag == "parameterlist" and block.get("kind") == "param":
            return True
        if block.tag == "simplesect":
            return block.get("kind") == "return" or block.findtext("title") in PAR_SECTIONS
        return False

    out = [title_line(name, version, date), ".SH NAME", f"{name} \\- {first_sentence(library, member)}"]
    synopsis(out, [declaration(member)])
    out.append(".SH DESCRIPTION")
    writer.description(member.find("briefdescription"), out)
    writer.description(detail, out, skip=extracted, par_heading=".SH")
    for block in detail.iter("parameterlist"):
        if block.get("kind") == "param":
            out.extend([".PP", "Arguments:"])
            writer.parameters(block, out)
    for block in detail.iter("simplesect"):
        if block.get("kind") == "return":
            out.append(".SH RETURN VALUE")
            writer.description(block, out)
    for title, section in PAR_SECTIONS.items():
        for block in detail.iter("simplesect"):
            if block.get("kind") == "par" and block.findtext("title") == title:
                out.append(".SH " + section)
                writer.description(block, out)
    family = [group] if group != "corvexlink" else []
    others = [p for p in writer.mentioned if p != name and p not in family and p != "corvexlink"]
    see_also(out, family + others + ["corvexlink"])
    return out


def group_page(library, name, element, version, date):
    """The overview (corvexlink) or the page of one export family."""
    writer = Writer(library)
    title = collapse("".join(element.find("title").itertext())).strip()
    brief = first_sentence(library, element) or title
    out = [title_line(name, version, date), ".SH NAME", f"{escape(name)} \\- {brief}"]
    members = [m for m in element.iter("memberdef")]
    functions = [m for m in members if m.get("kind") in ("function", "variable")]
    synopsis(out, [declaration(m) for m in functions])
    out.append(".SH DESCRIPTION")
    writer.description(element.find("detaileddescription"), out)
    if functions:
        out.append(".SH FUNCTIONS")
        for member in functions:
            out.extend([".TP", ".BR " + member.findtext("name") + " (3)",
                        first_sentence(library, member)])
    constants = [m for m in members if m.get("kind") == "define"]
    if constants:
        out.append(".SH CONSTANTS")
        for member in constants:
            value = collapse("".join(member.find("initializer").itertext()) if member.find("initializer") is not None else "")
            out.extend([".TP", "\\fB" + escape(member.findtext("name")) + "\\fR" +
                        (" " + escape(value.strip()) if value.strip() else "")])
            lines = []
            writer.description(member.find("briefdescription"), lines)
            writer.description(member.find("detaileddescription"), lines)
            out.extend(line for line in lines if line != ".PP")
    types = [m for m in members if m.get("kind") == "typedef"]
    if types:
        out.append(".SH TYPES")
        for member in types:
            definition = collapse(member.findtext("definition") or "")
            out.extend([".PP", "\\fB" + escape(definition) + ";\\fR"])
            lines = []
            writer.description(member.find("briefdescription"), lines)
            writer.description(member.find("detaileddescription"), lines)
            out.extend(lines)
            struct = library.structs.get(member.findtext("name"))
            if struct is not None:
                out.append(".PP")
                out.append("Fields:")
                for field in struct.iter("memberdef"):
                    ftype = collapse("".join(field.find("type").itertext())).strip()
                    fname = field.findtext("name") + (field.findtext("argsstring") or "")
                    out.extend([".TP", "\\fB" + escape(f"{ftype} {fname}") + "\\fR"])
                    lines = []
                    writer.description(field.find("briefdescription"), lines)
                    writer.description(field.find("detaileddescription"), lines)
                    out.extend(line for line in lines if line != ".PP")
    if name == "corvexlink":
        pages = [family for family, _ in library.families()]
    else:
        pages = ["corvexlink"] + [f for f, _ in library.families() if f != name]
    see_also(out, pages)
    return out


def write_gzip(path, lines):
    text = "\n".join(lines) + "\n"
    with open(path, "wb") as raw:
        # No name and no time stamp in the header: the same page gives the same file.
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=0) as out:
            out.write(text.encode("utf-8"))


def main(xml_folder, output, version, date):
    library = Library(xml_folder)
    if os.path.isdir(output):
        shutil.rmtree(output)
    os.makedirs(output)
    for name, element in library.groups:
        write_gzip(os.path.join(output, name + ".3.gz"), group_page(library, name, element, version, date))
        for member in element.iter("memberdef"):
            if member.get("kind") in ("function", "variable"):
                page = member_page(library, member, name, version, date)
                write_gzip(os.path.join(output, member.findtext("name") + ".3.gz"), page)
    for name, group in sorted(library.links.items()):
        path = os.path.join(output, name + ".3.gz")
        if not os.path.exists(path):
            os.symlink(group + ".3.gz", path)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
