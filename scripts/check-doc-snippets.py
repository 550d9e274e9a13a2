#!/usr/bin/env python3
"""Checks that the guide's code is the code that is compiled.

Every code block in docs/*.md that is marked by a line
    <!-- snippet: examples/PATH NAME -->
right above its opening fence must equal the region NAME of that file: the lines between a line
"// [snippet:NAME]" (or "# [snippet:NAME]") and the next "// [end]" (or "# [end]"), with their
common indentation removed. Every ```cpp block must be marked, and every region of the files
under examples/snippets/ (which exist for the guide) must be shown. Exits 1 with one line per fault.

Usage: scripts/check-doc-snippets.py [ROOT]   (ROOT defaults to the repository holding this script)
"""
import os
import re
import sys

import docchecks

MARK = re.compile(r"^<!--\s*snippet:\s*(\S+)\s+(\S+)\s*-->\s*$")
FENCE = re.compile(r"^(\s*)(`{3,}|~{3,})\s*([\w+-]*)")
REGION_START = re.compile(r"^\s*(?://|#)\s*\[snippet:([\w.-]+)\]\s*$")
REGION_END = re.compile(r"^\s*(?://|#)\s*\[end\]\s*$")


def dedent(lines):
    indents = [len(l) - len(l.lstrip(" ")) for l in lines if l.strip()]
    cut = min(indents, default=0)
    return [l[cut:] if l.strip() else "" for l in lines]


def regions_of(path, label, faults):
    """NAME -> the region's lines, dedented; faults for unclosed, nested or repeated regions."""
    regions, name, body = {}, None, []
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        start, end = REGION_START.match(line), REGION_END.match(line)
        if start:
            if name:
                faults.append(f"{label}:{number}: region '{start.group(1)}' starts inside region '{name}'")
            name, body = start.group(1), []
            if name in regions:
                faults.append(f"{label}:{number}: region '{name}' is defined twice")
        elif end:
            if not name:
                faults.append(f"{label}:{number}: end marker outside a region")
            else:
                regions[name] = dedent(body)
                name = None
        elif name:
            body.append(line.rstrip())
    if name:
        faults.append(f"{label}: region '{name}' has no end marker")
    return regions


def code_blocks(path, label, faults):
    """(line of the fence, language, mark or None, body lines) for every fenced block."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        if MARK.match(line.strip()) and (number == len(lines) or not FENCE.match(lines[number])):
            faults.append(f"{label}:{number}: snippet marker not followed by a code block")
    blocks, i = [], 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if not opening:
            i += 1
            continue
        indent, fence, language = opening.groups()
        mark = MARK.match(lines[i - 1].strip()) if i > 0 else None
        body, j = [], i + 1
        while j < len(lines) and not (lines[j].strip().startswith(fence) and lines[j].strip().strip(fence[0]) == ""):
            body.append(lines[j][len(indent):] if lines[j].startswith(indent) else lines[j].lstrip())
            j += 1
        if j == len(lines):
            faults.append(f"{label}:{i + 1}: code block is never closed")
        blocks.append((i + 1, language.lower(), mark, [l.rstrip() for l in body]))
        i = j + 1
    return blocks


def first_difference(expected, actual):
    for n, (a, b) in enumerate(zip(expected, actual), 1):
        if a != b:
            return f"line {n} of the block: expected {a!r}, found {b!r}"
    if len(expected) != len(actual):
        return f"the region has {len(expected)} lines, the block {len(actual)}"
    return "no difference"


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    docs = os.path.join(root, "docs")
    pages = sorted(os.path.join(d, f) for d, _, files in os.walk(docs) for f in files if f.endswith(".md"))
    if not pages:
        print(f"check-doc-snippets: no Markdown pages under {docs}")
        return 1
    faults, regions, shown_regions, checked = [], {}, {}, 0

    def regions_in(source_path):
        if source_path not in regions:
            regions[source_path] = regions_of(source_path, os.path.relpath(source_path, root), faults)
        return regions[source_path]

    for page in pages:
        shown = os.path.relpath(page, root)
        for line, language, mark, body in code_blocks(page, shown, faults):
            if not mark:
                if language == "cpp":
                    faults.append(f"{shown}:{line}: cpp block without a snippet marker on the line above it")
                continue
            source, name = mark.groups()
            source_path = os.path.normpath(os.path.join(root, source))
            if not source.startswith("examples/") or not os.path.isfile(source_path):
                faults.append(f"{shown}:{line}: snippet source {source} is not a file under examples/")
                continue
            shown_regions.setdefault(source_path, set()).add(name)
            region = regions_in(source_path).get(name)
            if region is None:
                faults.append(f"{shown}:{line}: {source} has no region '{name}'")
            elif region != body:
                faults.append(f"{shown}:{line}: block differs from {source} region '{name}': "
                              f"{first_difference(region, body)}")
            checked += 1
    # The files under examples/snippets/ exist for the guide: each of their regions is shown.
    snippet_dir = os.path.join(root, "examples", "snippets")
    for file_name in sorted(os.listdir(snippet_dir)) if os.path.isdir(snippet_dir) else []:
        source_path = os.path.join(snippet_dir, file_name)
        for name in regions_in(source_path):
            if name not in shown_regions.get(source_path, set()):
                faults.append(f"{os.path.relpath(source_path, root)}: region '{name}' is shown on no page")
    return docchecks.report("check-doc-snippets", faults, "fault(s) in the guide's code blocks",
                            f"{checked} blocks in {len(pages)} pages match their regions")


if __name__ == "__main__":
    sys.exit(main())
