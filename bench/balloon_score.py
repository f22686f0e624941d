#!/usr/bin/env python3
"""Scores grouping and fitting on the real pages against the annotation in examples/real.

Renders the nine pages with letterforge-batch twice, with the balanced preset and with the
balloon preset and balloon fitting (both in bubble_clean mode unless --cleanup says
otherwise), and prints one table row per page and setting:
  items       render items made
  mixed       items holding blocks of two annotated regions (balloons, captions, signs, texts)
  split       annotated regions with several blocks whose blocks went to several items
  order       items whose blocks of one region are not in the region's reading order
  overflowed  blocks whose text did not fit even at the smallest size
  ink out     items of a balloon or caption with text ink (dark pixels the cleaned page
              without text lacks, over 30 of them) outside every balloon and caption: the
              paper-coloured area around each region's blocks on the page as it came, its
              letters included, and the ink attributed to the item nearest to it
  median      median font size of the items drawn
Usage: bench/balloon_score.py [build-dir] [--cleanup MODE] [--keep DIR]
Needs numpy and scipy, and the Python package of the build.
The pages are read from ../shared/pages beside the repository, or from $LF_REAL_PAGES.
"""
import json
import os
import statistics
import subprocess
import sys

import numpy
from scipy import ndimage

from scratch import scratch_dir

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
REAL = os.path.join(ROOT, 'examples', 'real')
PAGES = os.environ.get('LF_REAL_PAGES', os.path.join(os.path.dirname(ROOT), 'shared', 'pages'))
PAGE_NAMES = ['buster-bear-10-p01', 'buster-bear-10-p02', 'chilling-tales-13-p01', 'everett-true',
              'mimi-eunice-338', 'pc-ep03-p01', 'pc-ep03-p02', 'pc-ep03-p03', 'pc-ep03-p05']
SETTINGS = [('balanced', {'grouping_preset': 'balanced'}),
            ('balloon', {'grouping_preset': 'balloon', 'fit_balloon': True})]


def payload(name, kind):
    lines = os.path.join(REAL, f'{name}.lines.{kind}.json')
    return lines if os.path.exists(lines) else os.path.join(REAL, f'{name}.{kind}.json')


def image_of(name):
    for f in os.listdir(PAGES):
        if os.path.splitext(f)[0] == name:
            return os.path.join(PAGES, f)
    raise SystemExit(f'no page image for {name} in {PAGES}')


def render(build, settings, cleanup, out_dir, bare=False):
    """Renders the nine pages; `bare` skips every block's text (the page cleaned only)."""
    manifest = os.path.join(out_dir, 'manifest.jsonl')
    with open(manifest, 'w') as f:
        for name in PAGE_NAMES:
            job = {'image': image_of(name), 'ocr': payload(name, 'ocr'),
                   'translation': payload(name, 'translation'),
                   'output': os.path.join(out_dir, name + ('.bare' if bare else '') + '.png'),
                   'cleanup_mode': cleanup}
            job.update(settings)
            if bare:
                ids = [b['id'] for b in json.load(open(payload(name, 'translation')))['translations']]
                job['blocks'] = {i: {'skip': True} for i in ids}
            f.write(json.dumps(job) + '\n')
    run = subprocess.run([os.path.join(build, 'letterforge-batch'), '--quiet', '--jobs', '1', manifest],
                         capture_output=True, text=True)
    results = {}
    for line in run.stdout.splitlines():
        record = json.loads(line)
        name = os.path.basename(record['output']).split('.')[0]
        if not record['ok']:
            raise SystemExit(f'{name}: {record["message"]}')
        results[name] = record['blocks']
    return results


def boxes_of(name):
    """Each OCR block's box as (x0, y0, x1, y1) in image pixels."""
    return {b['id']: (b['bbox']['x'], b['bbox']['y'], b['bbox']['x'] + b['bbox']['w'],
                      b['bbox']['y'] + b['bbox']['h'])
            for b in json.load(open(payload(name, 'ocr')))['blocks']}


def region_masks(page, regions, boxes):
    """For each balloon or caption: the paper-coloured area around its blocks, holes filled."""
    masks = {}
    for region in regions:
        if region['kind'] not in ('balloon', 'caption'):
            continue
        inside = numpy.zeros(page.shape[:2], bool)
        for i in region['blocks']:
            if i in boxes:
                x0, y0, x1, y1 = (int(round(v)) for v in boxes[i])
                inside[max(y0, 0):y1, max(x0, 0):x1] = True
        if not inside.any():
            continue
        pixels = page[inside].astype(int)
        light = pixels[pixels.sum(1) >= numpy.percentile(pixels.sum(1), 60)]
        paper = numpy.median(light, 0)
        near = (numpy.abs(page.astype(int) - paper).max(2) < 48)
        labels, _ = ndimage.label(near)
        touched = numpy.unique(labels[inside & near])
        mask = numpy.isin(labels, touched[touched > 0])
        masks[region['id']] = ndimage.binary_fill_holes(mask | inside)
    return masks


def ink_outside(page, drawn, bare, regions, blocks, boxes):
    """Items of a balloon or caption with over 30 pixels of text ink outside every region."""
    dark = lambda image: image.astype(int).sum(2) < 300
    ink = dark(drawn) & ~dark(bare)
    masks = region_masks(page, regions, boxes)
    for mask in masks.values():
        ink &= ~mask
    ys, xs = numpy.nonzero(ink)
    if len(ys) == 0:
        return 0
    region_of = {i: r['id'] for r in regions for i in r['blocks'] if r['id'] in masks}
    items = {}
    for b in blocks:
        items.setdefault(b['item'], []).append(b['id'])
    labels = list(items)
    distance = []
    for label in labels:
        x0 = min(boxes[i][0] for i in items[label]); y0 = min(boxes[i][1] for i in items[label])
        x1 = max(boxes[i][2] for i in items[label]); y1 = max(boxes[i][3] for i in items[label])
        dx = numpy.maximum(numpy.maximum(x0 - xs, xs - x1), 0)
        dy = numpy.maximum(numpy.maximum(y0 - ys, ys - y1), 0)
        distance.append(numpy.hypot(dx, dy))
    nearest = numpy.argmin(numpy.array(distance), 0)
    count = 0
    for k, label in enumerate(labels):
        in_region = any(i in region_of for i in items[label])
        count += in_region and int((nearest == k).sum()) > 30
    return count


def score(blocks, regions):
    region_of, position = {}, {}
    for region in regions:
        for i, block_id in enumerate(region['blocks']):
            region_of[block_id] = region['id']
            position[block_id] = i
    items = {}
    for block in blocks:
        items.setdefault(block['item'], block)
    mixed = order = 0
    for label in items:
        ids = label.split('+')
        if len({region_of.get(i, 'art:' + i) for i in ids}) > 1:
            mixed += 1
        for region in {region_of.get(i) for i in ids} - {None}:
            seq = [position[i] for i in ids if region_of.get(i) == region]
            order += seq != sorted(seq)
    split = 0
    present = {b['id'] for b in blocks}
    item_of = {b['id']: b['item'] for b in blocks}
    for region in regions:
        here = [i for i in region['blocks'] if i in present]
        split += len(here) > 1 and len({item_of[i] for i in here}) > 1
    sizes = [b['font_size'] for b in items.values() if b.get('drawn')]
    return {'items': len(items), 'mixed': mixed, 'split': split, 'order': order,
            'overflowed': sum(b['overflowed'] for b in blocks),
            'median': statistics.median(sizes) if sizes else 0.0}


def main():
    args = sys.argv[1:]
    cleanup = 'bubble_clean'
    keep = None
    if '--cleanup' in args:
        cleanup = args[args.index('--cleanup') + 1]
        del args[args.index('--cleanup'):args.index('--cleanup') + 2]
    if '--keep' in args:
        keep = args[args.index('--keep') + 1]
        del args[args.index('--keep'):args.index('--keep') + 2]
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, 'build'))
    sys.path.insert(0, os.path.join(build, 'python'))
    import letterforge
    print(f'cleanup mode {cleanup}')
    print(f'{"page":24} {"setting":9} {"items":>5} {"mixed":>5} {"split":>5} {"order":>5} '
          f'{"overfl":>6} {"inkout":>6} {"median":>6}')
    totals = {}
    for label, settings in SETTINGS:
        out_dir = os.path.join(keep, label) if keep else scratch_dir('lf-score-')
        os.makedirs(out_dir, exist_ok=True)
        results = render(build, settings, cleanup, out_dir)
        render(build, settings, cleanup, out_dir, bare=True)
        for name in PAGE_NAMES:
            regions = json.load(open(os.path.join(REAL, name + '.regions.json')))['regions']
            s = score(results[name], regions)
            decoded = [letterforge.decode_image(p)[:, :, :3] for p in
                       (image_of(name), os.path.join(out_dir, name + '.png'),
                        os.path.join(out_dir, name + '.bare.png'))]
            s['outside'] = ink_outside(*decoded, regions, results[name], boxes_of(name))
            totals.setdefault(label, []).append((name, s))
    for name in PAGE_NAMES:
        for label, _ in SETTINGS:
            s = dict(totals[label])[name]
            print(f'{name:24} {label:9} {s["items"]:5} {s["mixed"]:5} {s["split"]:5} {s["order"]:5} '
                  f'{s["overflowed"]:6} {s["outside"]:6} {s["median"]:6.1f}')
    for label, _ in SETTINGS:
        rows = [s for _, s in totals[label]]
        print(f'{"all nine pages":24} {label:9} ' + ' '.join(
            f'{sum(r[k] for r in rows):{w}}' for k, w in
            [('items', 5), ('mixed', 5), ('split', 5), ('order', 5), ('overflowed', 6),
             ('outside', 6)]) + f' {statistics.median(r["median"] for r in rows):6.1f}')


if __name__ == '__main__':
    main()
