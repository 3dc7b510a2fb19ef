#!/usr/bin/env python3
"""Makes the manual page mksfx.1 from `mksfx --help` and `mksfx --version`, so that the page
and the help cannot say different things.

The help's paragraphs, separated by blank lines, become: the usage lines the synopsis; a
paragraph whose heading line ends in ':' and whose other lines are indented a list, under a
section of that name where the heading is one line, else under the heading as a paragraph;
every other paragraph plain text.

Usage: manpage.py MKSFX OUT.1
"""
import re
import subprocess
import sys

SUMMARY = "make self-extracting ZIP archives for Windows"


def roff(text):
    """Text as roff reads it literally: backslashes, hyphens, double quotes (which a macro
    would take for its argument's bounds) and a leading dot or quote."""
    text = text.replace("\\", "\\e").replace("-", "\\-").replace('"', "\\(dq")
    return "\\&" + text if text[:1] in (".", "'") else text


def items(lines):
    """Indented lines as (term, description): a line indented by less than eight starts an
    item, its term ending at the first run of two blanks; deeper lines continue the
    description."""
    found = []
    for line in lines:
        body = line.strip()
        if len(line) - len(line.lstrip()) < 8 or not found:
            parts = re.split(r"\s{2,}", body, maxsplit=1)
            found.append([parts[0], parts[1] if len(parts) > 1 else ""])
        else:
            found[-1][1] = (found[-1][1] + " " + body).strip()
    return found


def page(help_text, version):
    paragraphs = [p.splitlines() for p in re.split(r"\n\s*\n", help_text.strip())]
    out = ['.TH MKSFX 1 "" "%s" "User Commands"' % roff(version), ".SH NAME",
           "mksfx \\- " + roff(SUMMARY)]
    for lines in paragraphs:
        if lines[0] == "Usage:":
            out.append(".SH SYNOPSIS")
            for term, description in items(lines[1:]):
                out += [".TP", ".B " + roff(term), roff(description)]
            out.append(".SH DESCRIPTION")
            continue
        heading = next((i for i, l in enumerate(lines) if l.endswith(":")), None)
        listed = heading is not None and all(l.startswith("  ") for l in lines[heading + 1:])
        if not listed or heading + 1 == len(lines):
            out += [".PP", roff(" ".join(l.strip() for l in lines))]
            continue
        title = " ".join(l.strip() for l in lines[:heading + 1])[:-1]
        out += [".SH " + roff(title.upper())] if heading == 0 else [".PP", roff(title + ":")]
        for term, description in items(lines[heading + 1:]):
            out += [".TP", ".B " + roff(term), roff(description)]
    return "\n".join(out) + "\n"


def main(mksfx, target):
    run = lambda option: subprocess.run([mksfx, option], check=True, capture_output=True,
                                        text=True).stdout
    with open(target, "w") as f:
        f.write(page(run("--help"), run("--version").strip()))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    main(sys.argv[1], sys.argv[2])
