#!/usr/bin/env python3
"""Checks that the guide names no function or member that does not exist.

Every name that the prose of docs/*.md shows in inline code as something to call or set
(`name(...)`, a `getX`/`setX`/`SetX`/`GetX` accessor, an `OnX` event, or a name qualified with
`vcl::` or `kestrix::`) must be declared in the library's public headers (the folders installed
under include/kestrix), be a name of the examples the guide cuts its code from, or be a name of
the system's Windows headers (the MinGW-w64 ones) or of C++. An event `OnX` counts as declared
when its accessors `getOnX`/`setOnX` are. The guide's code blocks are compiled, so only the prose
is read here. Exits 1 with one line per unknown name.

Usage: scripts/check-doc-members.py [ROOT]   (ROOT defaults to the repository holding this script)
"""
import glob
import os
import re
import sys

import docchecks

PUBLIC_FOLDERS = ["framework", "vocabulary", "sources", "targets", "formats", "gif", "package", "include"]
SYSTEM_HEADERS = ["/usr/share/mingw-w64/include", "/usr/x86_64-w64-mingw32/include", "/usr/i686-w64-mingw32/include"]
CXX_WORDS = set("""alignof catch const_cast decltype delete dynamic_cast if for new noexcept operator
reinterpret_cast return sizeof static_assert static_cast switch throw try typeid while""".split())

IDENT = re.compile(r"[A-Za-z_]\w*")
INLINE = re.compile(r"(?<!`)`([^`\n]+)`(?!`)")
CALLED = re.compile(r"(?:(\w+)::)?([A-Za-z_]\w*)\s*\(")
ACCESSOR = re.compile(r"^(?:get|set|Get|Set)[A-Z]\w*$|^On[A-Z]\w*$")
QUALIFIED = re.compile(r"\b(vcl|kestrix)::([A-Za-z_]\w*)")
FOREIGN = re.compile(r"<!--\s*other languages' names:([^>]*)-->")
FENCE = re.compile(r"^\s*(`{3,}|~{3,})")


def declared_names(paths):
    """Every identifier outside comments and strings of the given C++ files."""
    names = set()
    for path in paths:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
        text = re.sub(r"//[^\n]*", " ", text)
        text = re.sub(r'"(?:\\.|[^"\\\n])*"', " ", text)
        names.update(IDENT.findall(text))
    return names


def system_names():
    names = set()
    for folder in SYSTEM_HEADERS:
        if os.path.isdir(folder):
            for path in glob.glob(os.path.join(folder, "*.h")):
                with open(path, encoding="latin-1") as f:
                    names.update(IDENT.findall(f.read()))
            break
    return names


def prose_spans(path):
    """(line number, inline code span) outside fenced blocks."""
    in_block = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fence = FENCE.match(line)
            if fence:
                if in_block is None:
                    in_block = fence.group(1)[0]
                elif fence.group(1)[0] == in_block:
                    in_block = None
                continue
            if in_block is None:
                for span in INLINE.findall(line):
                    yield number, span


def names_in(span):
    """The names a span shows as members or functions, without those of std:: and the like."""
    found = []
    for qualifier, name in CALLED.findall(span):
        if qualifier in ("", "vcl", "kestrix") or qualifier[:1].isupper():
            found.append(name)
    for _, name in QUALIFIED.findall(span):
        found.append(name)
    if ACCESSOR.match(span.strip()):
        found.append(span.strip())
    return found


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    headers = [p for folder in PUBLIC_FOLDERS for pattern in ("*.h", "*.hpp")
               for p in glob.glob(os.path.join(root, folder, "**", pattern), recursive=True)]
    examples = glob.glob(os.path.join(root, "examples", "**", "*.cpp"), recursive=True) + \
        glob.glob(os.path.join(root, "examples", "**", "*.h"), recursive=True)
    library = declared_names(headers)
    known = library | declared_names(examples) | system_names() | CXX_WORDS
    pages = sorted(glob.glob(os.path.join(root, "docs", "**", "*.md"), recursive=True))
    faults, checked = [], 0
    for page in pages:
        # A page that shows other languages' declarations names theirs in a comment of its own.
        with open(page, encoding="utf-8") as f:
            foreign = set(w for words in FOREIGN.findall(f.read()) for w in words.split())
        for number, span in prose_spans(page):
            for name in names_in(span):
                if name in foreign:
                    continue
                checked += 1
                event = name.startswith("On") and ("get" + name in library or "set" + name in library)
                if name not in known and not event:
                    faults.append(f"{os.path.relpath(page, root)}:{number}: `{name}` is declared in no public header")
    return docchecks.report("check-doc-members", faults, "name(s) in the guide that do not exist",
                            f"{checked} names in {len(pages)} pages are declared")


if __name__ == "__main__":
    sys.exit(main())
