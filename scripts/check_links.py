#!/usr/bin/env python3
"""Checks the links between the README and docs/: every relative link names a file of the
repository, and every #anchor a heading of the file it points into (headings turned into
anchors as the usual Markdown renderers do). Links to other sites are not fetched.

    python3 scripts/check_links.py [repository-root]
"""
import pathlib
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^\s*(```|~~~)")


def prose_lines(text):
    """The lines outside fenced code blocks."""
    fenced = False
    for line in text.splitlines():
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield line


def anchors(path):
    seen = {}
    found = set()
    for line in prose_lines(path.read_text(encoding="utf-8")):
        match = HEADING.match(line)
        if not match:
            continue
        title = re.sub(r"`|\*|_(?=\W|$)|\[|\]\([^)]*\)", "", match.group(1)).strip().lower()
        slug = re.sub(r"[^\w\- ]", "", title).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        found.add(slug if count == 0 else f"{slug}-{count}")
    return found


def problems(root):
    documents = [root / "README.md", *sorted((root / "docs").glob("*.md"))]
    for document in documents:
        if not document.exists():
            continue
        for number, line in enumerate(prose_lines(document.read_text(encoding="utf-8")), 1):
            # Inline code is not a link.
            for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue
                name, _, anchor = target.partition("#")
                linked = (document.parent / name).resolve() if name else document
                where = f"{document.relative_to(root)}: link {target}"
                if not linked.exists():
                    yield f"{where}: no such file"
                elif anchor and linked.suffix == ".md" and anchor not in anchors(linked):
                    yield f"{where}: no heading #{anchor} in {linked.relative_to(root)}"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(problems(root))
    for problem in found:
        print(problem, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
