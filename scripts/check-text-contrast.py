#!/usr/bin/env python3
"""Measures every text of the windows from their screenshots.

kv_text_probe shoots each window once with all its texts and once per text
with only that text made invisible. The pixels that differ are the text's
ink; the same pixels in the second shot are what the text stands on. For
each text this script reports

  * the contrast of the text's colour against what is behind its ink (the
    WCAG 2 ratio, worst pixel), failing below 4.5:1 (disabled controls'
    texts are listed but not held to it);
  * the height of its ink (the tallest line of it), failing below 8 pixels;
  * texts whose ink overlaps another text's ink in the same window (their
    boxes, so that two labels never run into each other).

  check-text-contrast.py --probe path/to/kv_text_probe [--out DIR] [--no-modem]
  check-text-contrast.py --shots DIR       (measure shots taken before)

Exit status 1 when a text fails, 0 otherwise. The table goes to stdout.
"""
import argparse
import os
import subprocess
import sys
import tempfile

MIN_RATIO = 4.5
MIN_HEIGHT = 8
# The ink: pixels that move by more than this (sum over the channels) when
# the text is taken away. Smaller changes are the faint edges of antialiased
# glyphs, which no reader relies on.
INK_DELTA = 96


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError(f"{path}: not an 8-bit binary PPM")
    w, h = int(fields[1]), int(fields[2])
    return w, h, data[pos:pos + w * h * 3]


def linear(c):
    c /= 255.0
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


def luminance(rgb):
    r, g, b = rgb
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b)


def ratio(a, b):
    la, lb = luminance(a), luminance(b)
    hi, lo = max(la, lb), min(la, lb)
    return (hi + 0.05) / (lo + 0.05)


def hex_rgb(text):
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def measure(shots):
    images = {}

    def image(name):
        if name not in images:
            images[name] = read_ppm(os.path.join(shots, name + ".ppm"))
        return images[name]

    rows = []
    with open(os.path.join(shots, "manifest.tsv"), encoding="utf-8") as f:
        for line in f:
            win, n, name, colour, x, y, w, h = line.rstrip("\n").split("\t")
            x, y, w, h = int(x), int(y), int(w), int(h)
            iw, ih, full = image(win)
            _, _, back = image(f"{win}-{n}")
            text = hex_rgb(colour)
            ink = []
            worst = None
            worst_back = None
            for yy in range(max(0, y), min(ih, y + h)):
                for xx in range(max(0, x), min(iw, x + w)):
                    i = (yy * iw + xx) * 3
                    a, b = full[i:i + 3], back[i:i + 3]
                    if sum(abs(a[k] - b[k]) for k in range(3)) < INK_DELTA:
                        continue
                    ink.append((xx, yy))
                    r = ratio(text, tuple(b))
                    if worst is None or r < worst:
                        worst, worst_back = r, tuple(b)
            height = 0
            if ink:
                ys = sorted({p[1] for p in ink})
                run = 1
                height = 1
                for a, b in zip(ys, ys[1:]):
                    run = run + 1 if b == a + 1 else 1
                    height = max(height, run)
            box = None
            if ink:
                xs = [p[0] for p in ink]
                ys = [p[1] for p in ink]
                box = (min(xs), min(ys), max(xs), max(ys))
            # Ink on the first or last column of its place: the text is cut.
            cut = bool(box) and (box[0] <= max(0, x) or box[2] >= min(iw, x + w) - 1)
            rows.append({"win": win, "name": name, "colour": colour, "ratio": worst, "back": worst_back,
                         "height": height, "box": box, "cut": cut})
    return rows


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--probe")
    ap.add_argument("--shots")
    ap.add_argument("--out")
    ap.add_argument("--no-modem", action="store_true")
    args = ap.parse_args()
    if not args.probe and not args.shots:
        ap.error("give --probe or --shots")
    tmp = None
    shots = args.shots
    if not shots:
        if args.out:
            shots = args.out
        else:
            tmp = tempfile.TemporaryDirectory(prefix="kv-contrast-")
            shots = tmp.name
        cmd = [args.probe, shots] + (["--no-modem"] if args.no_modem else [])
        env = dict(os.environ)
        env.setdefault("QT_QPA_PLATFORM", "offscreen")
        done = subprocess.run(cmd, env=env, timeout=240)
        if done.returncode != 0:
            print(f"the probe failed ({done.returncode})", file=sys.stderr)
            return 2
    rows = measure(shots)
    failures = 0
    print(f"{'window':<12} {'ratio':>6} {'ink px':>6}  {'text colour':<11} {'behind':<8} text")
    for r in rows:
        problems = []
        if r["ratio"] is None:
            # A text its widget leaves out (a check box shown without its
            # label): nothing to read, nothing to measure.
            print(f"{r['win']:<12} {'-':>6} {0:>6}  {r['colour']:<11} {'-':<8} {r['name']} (not drawn)")
            continue
        else:
            # A disabled control's text is meant to recede (as WCAG allows).
            if r["ratio"] < MIN_RATIO and not r["name"].startswith("[disabled]"):
                problems.append(f"contrast below {MIN_RATIO}:1")
            if r["height"] < MIN_HEIGHT:
                problems.append(f"smaller than {MIN_HEIGHT} px")
            if r["cut"]:
                problems.append("cut at its edge")
        behind = "#%02x%02x%02x" % r["back"] if r["back"] else "-"
        shown = f"{r['ratio']:.2f}" if r["ratio"] is not None else "-"
        verdict = "  FAIL: " + ", ".join(problems) if problems else ""
        print(f"{r['win']:<12} {shown:>6} {r['height']:>6}  {r['colour']:<11} {behind:<8} {r['name']}{verdict}")
        failures += bool(problems)
    # Texts of one window whose inks' boxes overlap.
    # Boxes are widened by 2 pixels: words closer than that read as one.
    def overlap(a, b):
        return a and b and a[0] - 2 <= b[2] and b[0] <= a[2] + 2 and a[1] <= b[3] and b[1] <= a[3]

    for i, a in enumerate(rows):
        for b in rows[i + 1:]:
            if a["win"] == b["win"] and overlap(a["box"], b["box"]):
                print(f"{a['win']:<12} FAIL: {a['name']} and {b['name']} overlap")
                failures += 1
    print(f"{len(rows)} texts measured, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
