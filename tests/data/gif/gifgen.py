#!/usr/bin/env python3
"""Writes GIF files with exact control over what encoders normally decide for you: the minimum
code size, clear codes when the table fills, interlacing, colour tables and extension blocks.
Used by generate.sh for the parts of the test corpus that imagemagick and giflib-tools cannot
produce on demand."""
import struct


def lzw_encode(pixels, min_code_size, clear_when_full=True):
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {}, min_code_size + 1, end + 1

    table, code_size, next_code = reset()
    emit(clear, code_size)
    prefix = None
    for px in pixels:
        if prefix is None:
            prefix = px
            continue
        key = (prefix, px)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix, code_size)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
        elif clear_when_full:
            emit(clear, code_size)
            table, code_size, next_code = reset()
        prefix = px
    if prefix is not None:
        emit(prefix, code_size)
        # The decoder adds one more entry for this code, which may widen the end code.
        if next_code < 4096:
            next_code += 1
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
    emit(end, code_size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data, size=255):
    out = bytearray()
    for i in range(0, len(data), size):
        chunk = data[i:i + size]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def table_bits(count):
    n = 0
    while (2 << n) < count:
        n += 1
    return n


def color_table(colors):
    n = table_bits(len(colors))
    padded = list(colors) + [(0, 0, 0)] * ((2 << n) - len(colors))
    return n, b"".join(bytes(c) for c in padded)


def interlace_rows(height):
    rows = []
    for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)):
        rows += list(range(start, height, step))
    return rows


class Frame:
    def __init__(self, width, height, pixels, left=0, top=0, local_colors=None, interlaced=False,
                 min_code_size=None, clear_when_full=True, extensions=()):
        self.width, self.height, self.pixels = width, height, pixels
        self.left, self.top = left, top
        self.local_colors = local_colors
        self.interlaced = interlaced
        self.min_code_size = min_code_size
        self.clear_when_full = clear_when_full
        self.extensions = extensions

    def encode(self, global_size):
        out = bytearray()
        for ext in self.extensions:
            out += ext
        packed = 0x40 if self.interlaced else 0
        table = b""
        colors = global_size
        if self.local_colors:
            n, table = color_table(self.local_colors)
            packed |= 0x80 | n
            colors = 2 << n
        out += struct.pack("<BHHHHB", 0x2C, self.left, self.top, self.width, self.height, packed) + table
        mcs = self.min_code_size or max(2, (colors - 1).bit_length())
        rows = interlace_rows(self.height) if self.interlaced else range(self.height)
        order = [self.pixels[r * self.width + x] for r in rows for x in range(self.width)]
        out.append(mcs)
        out += sub_blocks(lzw_encode(order, mcs, self.clear_when_full))
        return bytes(out)


def gce(transparent_index=None, delay=0, disposal=0, user_input=False):
    packed = (disposal & 7) << 2 | (2 if user_input else 0) | (1 if transparent_index is not None else 0)
    return struct.pack("<BBBBHBB", 0x21, 0xF9, 4, packed, delay, transparent_index or 0, 0)


def comment(*lines):
    return b"\x21\xFE" + b"".join(bytes([len(l)]) + l for l in lines) + b"\x00"


def application(ident, auth, *blocks):
    return b"\x21\xFF\x0B" + ident + auth + b"".join(bytes([len(b)]) + b for b in blocks) + b"\x00"


def netscape_loop(loops):
    return application(b"NETSCAPE", b"2.0", struct.pack("<BH", 1, loops))


def plain_text(left, top, width, height, cell_w, cell_h, fg, bg, *lines):
    head = struct.pack("<BBBHHHHBBBB", 0x21, 0x01, 12, left, top, width, height, cell_w, cell_h, fg, bg)
    return head + b"".join(bytes([len(l)]) + l for l in lines) + b"\x00"


def gif(width, height, global_colors, frames, version=b"89a", background=0, aspect=0, leading=()):
    packed = 0
    table = b""
    size = 0
    if global_colors:
        n, table = color_table(global_colors)
        packed = 0x80 | 0x70 | n
        size = 2 << n
    out = bytearray(b"GIF" + version)
    out += struct.pack("<HHBBB", width, height, packed, background, aspect) + table
    for ext in leading:
        out += ext
    for f in frames:
        out += f.encode(size)
    out.append(0x3B)
    return bytes(out)


def palette(count, seed=1):
    return [((i * 37 + seed * 11) % 256, (i * 91 + seed * 53) % 256, (i * 173 + seed * 7) % 256) for i in range(count)]


def pattern(width, height, colors, seed=0):
    """A deterministic mix of runs and noise, so that strings of many lengths occur."""
    out = []
    state = seed * 2654435761 % 2 ** 32 or 1
    for y in range(height):
        for x in range(width):
            state = (state * 1103515245 + 12345) % 2 ** 31
            if (x // 7 + y // 5) % 3 == 0:
                out.append((state >> 16) % colors)
            else:
                out.append(((x + y) // 4) % colors)
    return out
