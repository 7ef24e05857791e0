#!/usr/bin/env python3
"""Follows every relative link of README.md and docs/*.md and fails when the
file it names is missing or, for a Markdown file, the heading anchor is.

Usage: check_doc_links.py SOURCE_DIR
"""
import os
import pathlib
import re
import sys
import urllib.parse

FENCE = re.compile(r"^ {0,3}(```|~~~)")
HEADING = re.compile(r"^ {0,3}#{1,6}\s+(.*?)\s*#*\s*$")
INLINE_LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+\"[^\"]*\")?\s*$")
HTML_LINK = re.compile(r"<(?:a|img)\s[^>]*?(?:href|src)=\"([^\"]*)\"", re.IGNORECASE)
HTML_ANCHOR = re.compile(r"<[^>]+\s(?:id|name)=\"([^\"]+)\"", re.IGNORECASE)
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


def prose_lines(text):
    """The lines outside fenced code blocks, with their numbers."""
    fence = None
    for number, line in enumerate(text.splitlines(), 1):
        match = FENCE.match(line)
        if match and (fence is None or match.group(1) == fence):
            fence = match.group(1) if fence is None else None
            continue
        if fence is None:
            yield number, line


def slug(heading):
    """The anchor GitHub gives a heading: its text in lower case, punctuation
    dropped, each blank a hyphen."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)
    text = re.sub(r"[`*]", "", text).strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path, cache={}):
    if path not in cache:
        found, seen = set(), {}
        for _, line in prose_lines(path.read_text(encoding="utf-8")):
            match = HEADING.match(line)
            if match:
                base = slug(match.group(1))
                count = seen.get(base, 0)
                seen[base] = count + 1
                found.add(base if count == 0 else f"{base}-{count}")
            found.update(HTML_ANCHOR.findall(line))
        cache[path] = found
    return cache[path]


def targets(text):
    for number, line in prose_lines(text):
        line = re.sub(r"(`+).*?\1", "", line)  # code spans are not links
        for pattern in (INLINE_LINK, REFERENCE, HTML_LINK):
            for target in pattern.findall(line):
                yield number, target


def check(document, root):
    checked, problems = 0, []
    for number, target in targets(document.read_text(encoding="utf-8")):
        if not target or SCHEME.match(target) or target.startswith("/"):
            continue
        checked += 1
        path_part, _, fragment = target.partition("#")
        path = (document.parent / urllib.parse.unquote(path_part)).resolve() if path_part else document
        where = f"{document.relative_to(root)}:{number}: {target}"
        if not path.exists():
            problems.append(f"{where}: no file {path_part}")
        elif fragment and path.suffix == ".md" and urllib.parse.unquote(fragment) not in anchors(path):
            problems.append(f"{where}: no heading with the anchor #{fragment} in {os.path.relpath(path, root)}")
    return checked, problems


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    documents = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    checked, problems = 0, []
    for document in documents:
        links, broken = check(document, root)
        checked += links
        problems += broken
    for problem in problems:
        print(problem)
    print(f"{len(documents)} documents, {checked} relative links, {len(problems)} broken")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
