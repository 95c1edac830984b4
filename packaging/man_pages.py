"""Writes the section 3 manual pages of the handle interface from tauravat.h, which documents
every function where it is declared: one page per group of the header ("---- Receipt ----"),
named after the group's first function, and for every other function a link to its group's
page, so that `man tauravat_close` finds tauravat_open(3). Pages are gzip'd without a name or
time stamp, so that the packages are reproducible.

    python3 man_pages.py HEADER OUTPUT_DIR --version 10.0.0 --date 2026-12-07
"""

import argparse
import gzip
import re
import sys
from pathlib import Path

HANDLE_BEGIN = "/* ==== The handle interface"
HANDLE_END = "/* ==== The legacy interface"
GROUP = re.compile(r"/\* -{4} (.+?) -{3,}")


def chunks(text):
    """(comment or None, declaration) pairs and ("group", title) markers, in order."""
    i, pending = 0, []
    while i < len(text):
        if text[i].isspace():
            i += 1
        elif text.startswith("/*", i):
            end = text.index("*/", i) + 2
            comment = text[i:end]
            group = GROUP.match(comment)
            if group:
                pending = []
                yield "group", group.group(1).strip()
            else:
                pending.append(comment)
            i = end
        elif text[i] == "#":
            # A macro, with the comment that may run on past its line.
            end = text.find("\n", i)
            end = len(text) if end < 0 else end
            line = text[i:end]
            if line.rfind("/*") > line.rfind("*/"):
                end = text.index("*/", end) + 2
            yield pending, text[i:end]
            pending, i = [], end
        else:
            depth, j = 0, i
            while j < len(text):
                if text.startswith("/*", j):
                    j = text.index("*/", j) + 2
                    continue
                depth += {"{": 1, "}": -1}.get(text[j], 0)
                if text[j] == ";" and depth == 0:
                    break
                j += 1
            yield pending, text[i:j + 1]
            pending, i = [], j + 1


def comment_text(comment):
    lines = comment[2:-2].splitlines()
    return "\n".join(re.sub(r"^\s*\* ?", "", line).rstrip() for line in lines).strip()


def roff(text):
    out = []
    for line in text.replace("\\", "\\e").splitlines():
        line = line.strip()
        if not line:
            out.append(".PP")
        elif line[0] in ".'":
            out.append("\\&" + line)
        else:
            out.append(line)
    return "\n".join(out)


def code(text):
    text = re.sub(r"\bTAURAVAT_(API|CALL)\s*", "", text).replace("(* ", "(*")
    if "{" not in text and "/*" not in text:
        # One declaration, laid out again without the macros: its parameters aligned
        # after the parenthesis, within 78 columns.
        flat = re.sub(r"\s+", " ", text).replace("( ", "(").replace("(* ", "(*")
        parameters = re.search(r"[\w)]\((?!\*)", flat)
        indent = " " * (parameters.end() if parameters else 0)
        lines, line = [], ""
        for part in re.split(r"(?<=,) ", flat):
            if line and len(line) + 1 + len(part) > 78:
                lines.append(line)
                line = indent + part
            else:
                line = f"{line} {part}" if line else part
        text = "\n".join(lines + [line])
    return "\n".join(("\\&" + line if line[:1] in ".'" else line)
                     for line in text.replace("\\", "\\e").splitlines())


def groups(header):
    """[(title, [(name, is_function, comment, declaration)], [intro comments])]"""
    text = header[header.index(HANDLE_BEGIN):header.index(HANDLE_END)]
    found = []
    for comment, declaration in chunks(text):
        if comment == "group":
            found.append((declaration, [], []))
            continue
        if not found:
            continue
        function = re.search(r"\b(tauravat_\w+)\s*\(", declaration)
        if function and "TAURAVAT_API" in declaration:
            name, is_function = function.group(1), True
        else:
            names = re.findall(r"\b(tauravat_\w+)\b", declaration)
            name, is_function = (names[-1] if names else declaration.split()[0]), False
        # Comments before the first declaration of a group speak of the whole group.
        if len(comment) > 1:
            found[-1][2].extend(comment[:-1])
        found[-1][1].append((name, is_function, comment_text(comment[-1]) if comment else "",
                             declaration))
    return [g for g in found if any(is_function for _, is_function, _, _ in g[1])]


def page(title, entries, intro, version, date, others):
    functions = [name for name, is_function, _, _ in entries if is_function]
    lead = functions[0]
    lines = [f'.TH {lead.upper()} 3 {date} "tauravat {version}" "Library Functions Manual"',
             ".SH NAME", ", ".join(functions) + " \\- " + title.lower(),
             ".SH SYNOPSIS", ".nf", ".B #include <tauravat.h>"]
    previous = ""
    for _, _, _, declaration in entries:
        if not (declaration.startswith("#") and previous.startswith("#")):
            lines.append(".PP")  # a run of macros stays together
        lines.append(code(declaration))
        previous = declaration
    lines += [".fi", ".PP", "Link with", ".BR \"\\-ltauravat\" ", "(pkg\\-config: tauravat).",
              ".SH DESCRIPTION"]
    for comment in intro:
        lines += [roff(comment_text(comment)), ".PP"]
    lines += ["Every function follows the conventions of the handle interface (result codes, "
              "text out, money, rates and threads): see", ".BR libtauravat (3)."]
    for name, is_function, text, _ in entries:
        if text:
            lines += [f".SS {name}()" if is_function else f".SS {name}", roff(text)]
    lines += [".SH SEE ALSO", ".BR libtauravat (3),"]
    lines += [f".BR {other} (3)," for other in others if other != lead]
    lines[-1] = lines[-1].rstrip(",")
    return lead, functions, "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("header", type=Path)
    parser.add_argument("output", type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", required=True)
    arguments = parser.parse_args()

    found = groups(arguments.header.read_text(encoding="utf-8"))
    leads = [next(n for n, is_function, _, _ in entries if is_function)
             for _, entries, _ in found]
    out = arguments.output
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("*.3.gz"):
        old.unlink()
    for title, entries, intro in found:
        lead, functions, text = page(title, entries, intro, arguments.version, arguments.date,
                                     leads)
        with open(out / f"{lead}.3.gz", "wb") as raw, \
                gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0,
                              compresslevel=9) as packed:
            packed.write(text.encode("utf-8"))
        for name in functions[1:]:
            (out / f"{name}.3.gz").symlink_to(f"{lead}.3.gz")
    return 0


if __name__ == "__main__":
    sys.exit(main())
