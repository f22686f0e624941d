#!/usr/bin/python3
"""Generates pages whose clean background is known pixel for pixel, for scoring cleanup.

Each page is one ground category; lettering of several fonts, sizes, colours and rims is
drawn over it. Written per page into the output folder:
  NAME.png              the lettered page (the input of a run)
  NAME.clean.png        the same page without lettering
  NAME.mask.png         the lettering: every pixel the lettering changed (255), else 0
  NAME.ocr.json         one OCR block per line of lettering (a tight box, a little jitter)
  NAME.translation.json a translation for every block that draws no ink (a zero-width space)
and set.json listing the pages and their categories. Everything follows from the seed.

  bench/truth_pages.py OUT [--seed N] [--pages N] [--set tune|holdout|all]
                           [--fonts PATH,PATH...] [--size WxH] [--jpeg QUALITY]

--set chooses the art crop windows and the default fonts: the tuning set and the held-out set
share none, so a cleanup tuned on one is checked on the other. --jpeg passes the lettered and
the clean page alike through a JPEG of that quality (4:2:0, as scans are mostly published),
so that the ringing and the colour bleeding around the strokes are on the page as on real
scans; the pages are still written as PNG, and the same seed draws the same pages.
"""
import argparse
import io
import json
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

CATEGORIES = ["balloon_white", "balloon_offwhite", "balloon_newsprint", "balloon_grey",
              "balloon_blue", "caption", "gradient", "screentone", "art"]

FONT_DIRS = ["/usr/share/fonts/opentype", "/usr/share/fonts/truetype"]
FONTS = {
    "tune": ["comic-neue/ComicNeue-Bold.otf", "noto/NotoSans-Bold.ttf", "inter/Inter-Bold.otf",
             "inter/Inter-Black.otf", "noto/NotoSans-Regular.ttf"],
    "holdout": ["dejavu/DejaVuSans-Bold.ttf", "noto/NotoSerif-Bold.ttf",
                "comic-neue/ComicNeue-Regular.otf", "inter/Inter-SemiBold.otf",
                "dejavu/DejaVuSerif-Bold.ttf"],
}

# Windows of the real pages that hold art and no lettering, as fractions of the page
# (left, top, right, bottom).
ART_WINDOWS = {
    "tune": [
        ("pc-ep03-p01.jpg", (0.323, 0.107, 0.948, 0.600)),
        ("pc-ep03-p01.jpg", (0.373, 0.686, 0.655, 0.971)),
        ("pc-ep03-p05.jpg", (0.040, 0.029, 0.605, 0.486)),
        ("pc-ep03-p05.jpg", (0.040, 0.586, 0.968, 0.986)),
        ("chilling-tales-13-p01.jpg", (0.079, 0.164, 0.986, 0.457)),
        ("chilling-tales-13-p01.jpg", (0.533, 0.171, 0.986, 0.557)),
        ("buster-bear-10-p01.jpg", (0.041, 0.229, 0.932, 0.629)),
        ("buster-bear-10-p01.jpg", (0.041, 0.700, 0.497, 0.929)),
        ("buster-bear-10-p01.jpg", (0.518, 0.729, 0.932, 0.929)),
        ("everett-true.jpg", (0.082, 0.186, 0.926, 0.486)),
    ],
    "holdout": [
        ("pc-ep03-p02.jpg", (0.343, 0.107, 0.948, 0.300)),
        ("pc-ep03-p02.jpg", (0.040, 0.543, 0.504, 0.800)),
        ("pc-ep03-p02.jpg", (0.040, 0.329, 0.353, 0.529)),
        ("pc-ep03-p03.jpg", (0.040, 0.029, 0.948, 0.414)),
        ("pc-ep03-p03.jpg", (0.040, 0.736, 0.464, 0.986)),
        ("chilling-tales-13-p01.jpg", (0.079, 0.586, 0.513, 0.721)),
        ("chilling-tales-13-p01.jpg", (0.059, 0.736, 0.513, 0.971)),
        ("buster-bear-10-p02.jpg", (0.356, 0.129, 0.671, 0.307)),
        ("buster-bear-10-p02.jpg", (0.545, 0.429, 0.996, 0.629)),
        ("buster-bear-10-p02.jpg", (0.042, 0.721, 0.524, 0.943)),
        ("everett-true.jpg", (0.082, 0.607, 0.926, 0.886)),
    ],
}

WORDS = ("the a you we it not what why how now here there this that never always again "
         "wait look run stop come back home night day light dark storm city market friend "
         "money car potion forest sky cloud magic dragon skull temple chest found really "
         "exist please sorry thanks tomorrow today sir miss quite enough ready crash boom "
         "bang whoosh help listen quiet strange door window street morning dear oh hey well "
         "so but if or and then only just still maybe must should could would great small "
         "old new hundred dollars challenge prepare berries jungle black clouds pearls "
         "mist first need few some red from those haunted").split()

DARK_INKS = [(0, 0, 0), (0, 0, 0), (0, 0, 0), (20, 20, 30), (30, 30, 90), (90, 20, 20),
             (50, 50, 50)]
BRIGHT_INKS = [(230, 40, 40), (250, 210, 30), (250, 140, 20), (40, 120, 230), (60, 190, 80),
               (220, 60, 200), (255, 255, 255)]
PAPERS = {
    "balloon_white": lambda r: (255, 255, 255),
    "balloon_offwhite": lambda r: tuple(int(v) for v in
                                        (r.integers(244, 252), r.integers(240, 248),
                                         r.integers(228, 240))),
    "balloon_newsprint": lambda r: tuple(int(v) for v in
                                         (r.integers(225, 242), r.integers(210, 228),
                                          r.integers(165, 195))),
    "balloon_grey": lambda r: (lambda g: (g, g, g))(int(r.integers(185, 228))),
    "balloon_blue": lambda r: tuple(int(v) for v in
                                    (r.integers(200, 225), r.integers(218, 236),
                                     r.integers(238, 252))),
}
CAPTION_PAPERS = [(250, 232, 120), (252, 214, 90), (200, 235, 190), (250, 200, 150),
                  (250, 205, 215), (200, 225, 250), (235, 235, 200)]


def default_pages_dir():
    root = os.path.dirname(os.path.abspath(__file__))
    for up in (2, 3):  # beside the repository, or beside the folder of its worktrees
        candidate = os.path.join(root, *[".."] * up, "shared", "pages")
        if os.path.isdir(candidate):
            return os.path.normpath(candidate)
    return os.path.normpath(os.path.join(root, "..", "..", "shared", "pages"))


def font_paths(names):
    paths = []
    for name in names:
        if os.path.isabs(name):
            paths.append(name)
            continue
        for root in FONT_DIRS:
            if os.path.exists(os.path.join(root, name)):
                paths.append(os.path.join(root, name))
                break
        else:
            sys.exit(f"font not found: {name}")
    return paths


def blurred_noise(rng, h, w, scale):
    """Smooth noise of unit spread varying over about `scale` pixels."""
    small = rng.standard_normal((max(2, h // scale + 2), max(2, w // scale + 2)))
    img = Image.fromarray(((small - small.min()) / (np.ptp(small) + 1e-9) * 255).astype(np.uint8))
    big = np.asarray(img.resize((w, h), Image.BICUBIC), dtype=np.float64) / 255.0
    return (big - big.mean()) / (big.std() + 1e-9)


def soften(a):
    """A [1 2 1] / 4 blur along both axes, edges repeated."""
    for axis in (0, 1):
        p = np.pad(a, [(1, 1) if k == axis else (0, 0) for k in range(a.ndim)], mode="edge")
        lo = np.take(p, range(0, a.shape[axis]), axis=axis)
        mid = np.take(p, range(1, a.shape[axis] + 1), axis=axis)
        hi = np.take(p, range(2, a.shape[axis] + 2), axis=axis)
        a = 0.25 * lo + 0.5 * mid + 0.25 * hi
    return a


def grain(rng, h, w, fine, coarse):
    """Paper grain: fine noise softened as a scan softens it, plus blotches."""
    g = rng.standard_normal((h, w)) * fine
    g = soften(g)
    g = g * (fine / (g.std() + 1e-9)) if fine > 0 else g
    if coarse > 0:
        g = g + blurred_noise(rng, h, w, int(rng.integers(25, 70))) * coarse
    return g[:, :, None]


def gradient_ground(rng, h, w):
    c0 = rng.integers(0, 256, 3).astype(np.float64)
    c1 = rng.integers(0, 256, 3).astype(np.float64)
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float64)
    if rng.random() < 0.6:
        a = rng.uniform(0, 2 * math.pi)
        t = (xx * math.cos(a) + yy * math.sin(a))
    else:
        cx, cy = rng.uniform(-0.2, 1.2) * w, rng.uniform(-0.2, 1.2) * h
        t = np.hypot(xx - cx, yy - cy)
    t = (t - t.min()) / (np.ptp(t) + 1e-9)
    img = c0 + (c1 - c0) * t[:, :, None]
    return img + rng.standard_normal((h, w, 1)) * rng.uniform(0, 1.5)


def tone_ground(rng, h, w):
    pitch = rng.uniform(4.0, 10.0)
    angle = float(rng.choice([0.0, 45.0, rng.uniform(5, 85)]))
    paper = np.array(rng.choice([(255, 255, 255), (255, 255, 255), (245, 240, 225)]), float)
    ink = np.array(rng.choice([(0, 0, 0), (0, 0, 0), (60, 60, 60), (200, 40, 60),
                               (40, 80, 180)]), float)
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float64) + 0.5
    a = math.radians(angle)
    u = (xx * math.cos(a) + yy * math.sin(a)) / pitch
    v = (-xx * math.sin(a) + yy * math.cos(a)) / pitch
    cov = rng.uniform(0.1, 0.5)
    if rng.random() < 0.3:  # a tone whose dots grow across the area
        cov = cov * (0.4 + 1.2 * (xx / w))
    if rng.random() < 0.2:  # lines instead of dots
        d = np.abs(v - np.round(v)) * pitch
        half = cov * pitch / 2
    else:
        d = np.hypot(u - np.round(u), v - np.round(v)) * pitch
        half = pitch * np.sqrt(np.minimum(cov, 0.6) / math.pi)
    ink_share = np.clip(half - d + 0.5, 0.0, 1.0)[:, :, None]
    img = paper + (ink - paper) * ink_share
    if rng.random() < 0.4:  # scanned: softened
        img = np.asarray(Image.fromarray(np.clip(img, 0, 255).astype(np.uint8)).filter(
            ImageFilter.GaussianBlur(rng.uniform(0.4, 0.9))), dtype=np.float64)
    return img


def art_ground(rng, h, w, windows, pages_dir, cache):
    name, (l, t, r, b) = windows[int(rng.integers(len(windows)))]
    if name not in cache:
        cache[name] = Image.open(os.path.join(pages_dir, name)).convert("RGB")
    src = cache[name]
    sw, sh = src.size
    wx0, wy0, wx1, wy1 = l * sw, t * sh, r * sw, b * sh
    scale = rng.uniform(0.6, 1.3)
    cw, ch = min(w / scale, wx1 - wx0), min(h / scale, wy1 - wy0)
    # Keep the panel's shape: a crop as large as fits in the window.
    k = min(cw / w, ch / h)
    cw, ch = w * k, h * k
    x0 = rng.uniform(wx0, max(wx0, wx1 - cw))
    y0 = rng.uniform(wy0, max(wy0, wy1 - ch))
    crop = src.resize((w, h), Image.LANCZOS, box=(x0, y0, x0 + cw, y0 + ch))
    return np.asarray(crop, dtype=np.float64)


def flat_ground(rng, h, w):
    c = rng.integers(60, 250, 3).astype(np.float64)
    return np.broadcast_to(c, (h, w, 3)).copy()


def panels(rng, W, H):
    """Two to four panels with gutters, as (x0, y0, x1, y1)."""
    g = 14
    rows = int(rng.integers(1, 3))
    out = []
    ys = np.linspace(g, H - g, rows + 1)
    for i in range(rows):
        cols = int(rng.integers(1, 3))
        xs = np.linspace(g, W - g, cols + 1)
        for j in range(cols):
            out.append((int(xs[j]) + g // 2, int(ys[i]) + g // 2,
                        int(xs[j + 1]) - g // 2, int(ys[i + 1]) - g // 2))
    return out


def lines_of_text(rng):
    n = int(rng.integers(1, 5))
    return [" ".join(str(rng.choice(WORDS)) for _ in range(int(rng.integers(1, 4))))
            .upper() if rng.random() < 0.5 else
            " ".join(str(rng.choice(WORDS)) for _ in range(int(rng.integers(1, 4)))).capitalize()
            for _ in range(n)]


class Lettering:
    """Lays out one block of lines and draws it on a transparent layer."""

    def __init__(self, rng, fonts, style):
        self.font = ImageFont.truetype(str(rng.choice(fonts)), int(rng.integers(15, 33)))
        self.lines = lines_of_text(rng)
        self.fill, self.rim, self.rim_width = style
        self.gap = int(self.font.size * rng.uniform(0.15, 0.4))
        d = ImageDraw.Draw(Image.new("L", (1, 1)))
        self.boxes = [d.textbbox((0, 0), s, font=self.font) for s in self.lines]
        self.height = sum(b[3] - b[1] for b in self.boxes) + self.gap * (len(self.lines) - 1)
        self.width = max(b[2] - b[0] for b in self.boxes)
        self.pad = self.rim_width + 1

    def draw(self, layer, cx, top, rng, blocks, prefix):
        d = ImageDraw.Draw(layer)
        y = top
        for i, (s, b) in enumerate(zip(self.lines, self.boxes)):
            lw, lh = b[2] - b[0], b[3] - b[1]
            x = int(round(cx - lw / 2))
            d.text((x - b[0], y - b[1]), s, font=self.font, fill=self.fill + (255,),
                   stroke_width=self.rim_width, stroke_fill=(self.rim or self.fill) + (255,))
            jitter = rng.integers(-2, 3, 4)
            blocks.append({"id": f"{prefix}{i}", "text": s, "confidence": 0.9,
                           "bbox": {"x": int(x + jitter[0]), "y": int(y + jitter[1]),
                                    "w": int(max(4, lw + jitter[2] - jitter[0])),
                                    "h": int(max(4, lh + jitter[3] - jitter[1]))}})
            y += lh + self.gap


def style_for(category, rng):
    if category.startswith("balloon") or category == "caption":
        return tuple(DARK_INKS[int(rng.integers(len(DARK_INKS)))]), None, 0
    k = rng.random()
    if k < 0.45:  # dark letters with a light rim
        rim = (255, 255, 255) if rng.random() < 0.8 else (250, 245, 200)
        return tuple(DARK_INKS[int(rng.integers(len(DARK_INKS)))]), rim, int(rng.integers(2, 6))
    if k < 0.7:  # coloured letters with a dark rim, as sound effects are drawn
        return (tuple(BRIGHT_INKS[int(rng.integers(len(BRIGHT_INKS) - 1))]), (0, 0, 0),
                int(rng.integers(2, 5)))
    if k < 0.85:  # plain dark letters
        return tuple(DARK_INKS[int(rng.integers(len(DARK_INKS)))]), None, 0
    return (255, 255, 255), (0, 0, 0), int(rng.integers(2, 4))


def free_spot(rng, taken, panel, w, h, margin):
    x0, y0, x1, y1 = panel
    for _ in range(60):
        if x1 - x0 - w - 2 * margin <= 0 or y1 - y0 - h - 2 * margin <= 0:
            return None
        x = int(rng.integers(x0 + margin, x1 - margin - w))
        y = int(rng.integers(y0 + margin, y1 - margin - h))
        box = (x - margin, y - margin, x + w + margin, y + h + margin)
        if all(box[2] <= t[0] or t[2] <= box[0] or box[3] <= t[1] or t[3] <= box[1]
               for t in taken):
            taken.append(box)
            return x, y
    return None


def make_page(rng, category, W, H, fonts, windows, pages_dir, cache):
    page = np.full((H, W, 3), 255.0)
    paper_grain = {"balloon_newsprint": (rng.uniform(2.0, 4.0), rng.uniform(1.5, 4.0)),
                   "balloon_offwhite": (rng.uniform(0.5, 1.5), rng.uniform(0.0, 1.5))}
    if category == "balloon_newsprint":
        page[:] = PAPERS["balloon_newsprint"](rng)
    backdrops = {"gradient": gradient_ground, "screentone": tone_ground}
    taken = []
    shapes = []  # balloons and captions: (kind, box, paper, outline width)
    layer = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    blocks = []
    for p, panel in enumerate(panels(rng, W, H)):
        x0, y0, x1, y1 = panel
        h, w = y1 - y0, x1 - x0
        if category in backdrops:
            ground = backdrops[category](rng, h, w)
        elif category == "art" or rng.random() < 0.4:
            ground = art_ground(rng, h, w, windows, pages_dir, cache)
        else:
            ground = [flat_ground, gradient_ground, tone_ground][int(rng.integers(3))](rng, h, w)
        page[y0:y1, x0:x1] = ground
        page[y0 - 3:y0, x0 - 3:x1 + 3] = 0
        page[y1:y1 + 3, x0 - 3:x1 + 3] = 0
        page[y0 - 3:y1 + 3, x0 - 3:x0] = 0
        page[y0 - 3:y1 + 3, x1:x1 + 3] = 0
        for b in range(int(rng.integers(2, 4 if category.startswith("balloon") else 5))):
            text = Lettering(rng, fonts, style_for(category, rng))
            prefix = f"p{p}b{b}l"
            if category.startswith("balloon") or category == "caption":
                ow = int(rng.integers(2, 5))
                padx, pady = int(rng.integers(10, 24)), int(rng.integers(8, 18))
                if category == "caption":
                    bw, bh = text.width + 2 * padx, text.height + 2 * pady
                    paper = CAPTION_PAPERS[int(rng.integers(len(CAPTION_PAPERS)))]
                else:
                    bw = int((text.width / 2 + padx) * 2 * 1.42)
                    bh = int((text.height / 2 + pady) * 2 * 1.42)
                    paper = PAPERS[category](rng)
                spot = free_spot(rng, taken, panel, bw, bh, 16)
                if spot is None:
                    continue
                shapes.append(("caption" if category == "caption" else "balloon",
                               (spot[0], spot[1], spot[0] + bw, spot[1] + bh), paper, ow))
                text.draw(layer, spot[0] + bw / 2, spot[1] + (bh - text.height) // 2, rng,
                          blocks, prefix)
            else:
                spot = free_spot(rng, taken, panel, text.width + 2 * text.pad,
                                 text.height + 2 * text.pad, 30)
                if spot is None:
                    continue
                under = page[spot[1]:spot[1] + text.height, spot[0]:spot[0] + text.width]
                lum = under @ np.array([0.299, 0.587, 0.114])
                if text.rim is None and (lum.mean() < 150 or lum.std() > 45):
                    # Letterers keep lettering legible: a light rim on dark or busy ground.
                    text.rim, text.rim_width = (255, 255, 255), int(rng.integers(2, 5))
                text.draw(layer, spot[0] + text.pad + text.width / 2, spot[1] + text.pad, rng,
                          blocks, prefix)
    # Balloons and captions are part of the clean page.
    img = Image.fromarray(np.clip(np.round(page), 0, 255).astype(np.uint8))
    d = ImageDraw.Draw(img)
    for kind, box, paper, ow in shapes:
        if kind == "caption":
            d.rectangle(box, fill=paper, outline=(0, 0, 0), width=ow)
        else:
            d.ellipse(box, fill=paper, outline=(0, 0, 0), width=ow)
    clean = np.asarray(img, dtype=np.float64)
    if category in paper_grain:
        fine, coarse = paper_grain[category]
        clean = clean + grain(rng, H, W, fine, coarse)
    elif category.startswith("balloon") and category != "balloon_white":
        clean = clean + grain(rng, H, W, rng.uniform(0.0, 1.2), 0.0)
    clean = np.clip(np.round(clean), 0, 255).astype(np.uint8)
    lettered = Image.alpha_composite(Image.fromarray(clean).convert("RGBA"), layer).convert("RGB")
    mask = (np.asarray(layer)[:, :, 3] > 0).astype(np.uint8) * 255
    return clean, np.asarray(lettered), mask, blocks


def through_jpeg(pixels, quality):
    """The page as a JPEG of that quality decodes it."""
    buffer = io.BytesIO()
    Image.fromarray(pixels).save(buffer, "JPEG", quality=quality, subsampling="4:2:0")
    buffer.seek(0)
    return np.asarray(Image.open(buffer).convert("RGB"))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("out")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--pages", type=int, default=54)
    ap.add_argument("--set", choices=["tune", "holdout", "all"], default="tune")
    ap.add_argument("--fonts", help="comma-separated font files (default: those of the set)")
    ap.add_argument("--size", default="900x1200")
    ap.add_argument("--pages-dir", default=default_pages_dir(),
                    help="the real pages the art is cut from (default: ../shared/pages)")
    ap.add_argument("--jpeg", type=int, metavar="QUALITY",
                    help="pass both pages through a JPEG of this quality (1 to 95)")
    a = ap.parse_args()
    if a.jpeg is not None and not 1 <= a.jpeg <= 95:
        ap.error("--jpeg takes a quality from 1 to 95")
    W, H = (int(v) for v in a.size.split("x"))
    sets = ["tune", "holdout"] if a.set == "all" else [a.set]
    fonts = font_paths(a.fonts.split(",") if a.fonts else sum((FONTS[s] for s in sets), []))
    windows = sum((ART_WINDOWS[s] for s in sets), [])
    os.makedirs(a.out, exist_ok=True)
    rng = np.random.default_rng(a.seed)
    cache = {}
    listing = []
    for i in range(a.pages):
        category = CATEGORIES[i % len(CATEGORIES)]
        name = f"{i:03d}-{category}"
        clean, lettered, mask, blocks = make_page(rng, category, W, H, fonts, windows,
                                                  a.pages_dir, cache)
        if a.jpeg is not None:
            clean, lettered = through_jpeg(clean, a.jpeg), through_jpeg(lettered, a.jpeg)
        Image.fromarray(lettered).save(os.path.join(a.out, name + ".png"))
        Image.fromarray(clean).save(os.path.join(a.out, name + ".clean.png"))
        Image.fromarray(mask).save(os.path.join(a.out, name + ".mask.png"))
        with open(os.path.join(a.out, name + ".ocr.json"), "w") as f:
            json.dump({"width": W, "height": H, "blocks": blocks}, f)
        with open(os.path.join(a.out, name + ".translation.json"), "w") as f:
            json.dump({"source_language_detected": "en",
                       "translations": [{"id": b["id"], "source_text": b["text"],
                                         "translated_text": "\u200b"} for b in blocks]}, f)
        listing.append({"name": name, "category": category, "blocks": len(blocks)})
    with open(os.path.join(a.out, "set.json"), "w") as f:
        json.dump({"seed": a.seed, "set": a.set, "size": [W, H], "jpeg": a.jpeg, "pages": listing}, f, indent=1)
    print(f"{len(listing)} pages, {sum(p['blocks'] for p in listing)} blocks in {a.out}")


if __name__ == "__main__":
    main()
