#!/usr/bin/env python3
"""The hand-made part of the GIF test corpus (see generate.sh); writes into the current folder."""
import gifgen as g


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


def main():
    # Every minimum code size from 2 to 8, each with a palette that needs it.
    for mcs in range(2, 9):
        colors = 1 << mcs
        w, h = 37, 23
        write(f"mcs{mcs}.gif", g.gif(w, h, g.palette(colors, mcs), [g.Frame(w, h, g.pattern(w, h, colors, mcs))]))
    # A larger code size than the palette needs, as some writers emit.
    write("mcs8_small_palette.gif", g.gif(20, 10, g.palette(4), [g.Frame(20, 10, g.pattern(20, 10, 4), min_code_size=8)]))

    # Interlaced frames of the heights where the passes get short, and a tall one.
    for h in (1, 2, 3, 5, 9, 64):
        w = 13
        write(f"interlaced_h{h}.gif",
              g.gif(w, h, g.palette(16), [g.Frame(w, h, g.pattern(w, h, 16, h), interlaced=True)]))

    # Noise fills the 4096-entry table many times: once with clear codes, once without.
    w, h = 160, 120
    noise = g.pattern(w, h, 256, 99)
    noise = [(p * 7 + i * 13) % 256 if i % 3 else p for i, p in enumerate(noise)]
    write("table_full_clear.gif", g.gif(w, h, g.palette(256), [g.Frame(w, h, noise, clear_when_full=True)]))
    write("table_full_noclear.gif", g.gif(w, h, g.palette(256), [g.Frame(w, h, noise, clear_when_full=False)]))

    # Frames with local colour tables, positions, graphic control and no global table.
    frames = [
        g.Frame(20, 10, g.pattern(20, 10, 8, 1), local_colors=g.palette(8, 3), extensions=[g.gce(delay=10)]),
        g.Frame(8, 6, g.pattern(8, 6, 4, 2), left=5, top=3, local_colors=g.palette(4, 4),
                extensions=[g.gce(transparent_index=2, delay=20, disposal=2)]),
        g.Frame(30, 12, g.pattern(30, 12, 32, 3), left=0, top=0, local_colors=g.palette(32, 5), interlaced=True,
                extensions=[g.gce(delay=5, disposal=1, user_input=True)]),
    ]
    write("local_tables.gif", g.gif(30, 12, None, frames, leading=[g.netscape_loop(0)]))

    # Transparency: the index used by some pixels and a mask-relevant width of 17.
    pix = g.pattern(17, 9, 4, 7)
    write("transparent17.gif", g.gif(17, 9, g.palette(4), [g.Frame(17, 9, pix, extensions=[g.gce(transparent_index=3)])]))

    # Extensions of every kind; a comment after the last image makes a frame without image data.
    exts = [g.comment(b"ab", b"cd"),
            g.plain_text(1, 2, 24, 8, 8, 8, 1, 0, b"Hello", b"GIF"),
            g.application(b"XMP Data", b"XMP", b"<x/>", b"\x01\x02\x03"),
            g.netscape_loop(5),
            g.gce(transparent_index=1, delay=3)]
    write("extensions.gif", g.gif(12, 8, g.palette(4), [g.Frame(12, 8, g.pattern(12, 8, 4, 4), extensions=exts)],
                                   leading=[]) [:-1] + g.comment(b"trailing") + b";")
    write("loop5.gif", g.gif(4, 4, g.palette(2), [g.Frame(4, 4, [0, 1] * 8)], leading=[g.netscape_loop(5)]))

    # Background index, aspect ratio and a GIF87a header.
    write("gif87a.gif", g.gif(9, 7, g.palette(8), [g.Frame(9, 7, g.pattern(9, 7, 8, 8))], version=b"87a", background=5))
    write("pixel_ratio.gif", g.gif(9, 7, g.palette(8), [g.Frame(9, 7, g.pattern(9, 7, 8, 9))], aspect=49))


if __name__ == "__main__":
    main()
