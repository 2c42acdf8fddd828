#!/usr/bin/env python3
"""The release's GUIDE.txt from docs/authors.md: plain text that Notepad shows as it is.

  guide_text.py AUTHORS_MD VERSION > GUIDE.txt
"""
import re
import sys


def inline(text):
    text = re.sub(r"\[([^\]]+)\]\([^)]+\)", r"\1", text)  # a link is its words
    return text.replace("**", "").replace("`", "")


def table(rows):
    cells = [[inline(c.strip()) for c in row.strip().strip("|").split("|")] for row in rows
             if not re.match(r"^\|[\s\-|]+\|$", row.strip())]
    widths = [max(len(r[i]) for r in cells if i < len(r)) for i in range(len(cells[0]))]
    return ["  " + "  ".join(c.ljust(widths[i]) for i, c in enumerate(r)).rstrip() for r in cells]


def main():
    source, version = sys.argv[1], sys.argv[2]
    lines = open(source, encoding="utf-8").read().split("\n")
    out, code, rows = [], False, []
    for line in lines + [""]:
        if rows and not line.startswith("|"):
            out += table(rows)
            rows = []
        if line.startswith("```"):
            code = not code
            continue
        if code:
            out.append("    " + line if line else "")
        elif line.startswith("|"):
            rows.append(line)
        elif line.startswith("# "):
            title = "Merva %s: %s" % (version, line[2:].replace("Merva for", "a guide for"))
            out += [title, "=" * len(title)]
        elif line.startswith("#"):
            heading = inline(line.lstrip("#").strip())
            out += ["", heading, "-" * len(heading)]
        else:
            out.append(inline(line))
    sys.stdout.write("\n".join(out).rstrip("\n") + "\n")


main()
