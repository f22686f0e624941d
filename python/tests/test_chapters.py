"""letterforge.render_chapter and check_chapter: manifests and comic archives rendered and
checked in this process with letterforge-batch's records, refusals and archives."""

import json
import os
import select
import shutil
import signal
import subprocess
import threading
import zipfile

import pytest

import letterforge
from support import program, read, sample_page


@pytest.fixture(scope="module")
def page(tmp_path_factory):
    """(image, ocr, translation) of a generated page whose PNG outgrows a pipe's buffer."""
    return sample_page(str(tmp_path_factory.mktemp("page")), 900, 1260, 3)


def _chapter(folder, page, stems, extra=()):
    """A folder of the page under each stem, with its payloads beside it."""
    os.makedirs(folder, exist_ok=True)
    for stem in stems:
        for source, suffix in zip(page, (".png", ".ocr.json", ".translation.json")):
            shutil.copy(source, os.path.join(folder, stem + suffix))
    for name, data in extra:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return folder


def _cbz(path, folder):
    with zipfile.ZipFile(path, "w") as archive:
        for name in sorted(os.listdir(folder)):
            archive.write(os.path.join(folder, name), name)
    return path


def _batch(arguments, cwd):
    run = subprocess.run([program("letterforge-batch"), "--quiet"] + arguments, cwd=cwd,
                         capture_output=True, timeout=300)
    return run.returncode, [json.loads(line) for line in run.stdout.decode().splitlines()], \
        run.stderr.decode()


def _without_time(record):
    """The record's known fields as a result line has them, the time aside."""
    known = {name: value for name, value in record.items()
             if name != "milliseconds" and value is not None}
    known["blocks"] = [{name: value for name, value in block.items() if value is not None}
                       for block in record["blocks"]]
    return known


@pytest.mark.parametrize("kind", ["folder", "cbz"])
def test_chapter_renders_as_the_batch_program_renders_it(workdir, page, kind):
    folder = _chapter(os.path.join(workdir, "pages"), page, ["10", "2", "1"],
                      extra=[("ComicInfo.xml", b"<ComicInfo/>")])
    source = _cbz(os.path.join(workdir, "ch.cbz"), folder) if kind == "cbz" else folder
    records = letterforge.render_chapter(source, output_dir=os.path.join(workdir, "py"),
                                         output_cbz=os.path.join(workdir, "py.cbz"), jobs=1)
    status, lines, _ = _batch([source, "--jobs", "1", "--output-dir", "batch",
                               "--output-cbz", "batch.cbz"], workdir)
    assert status == 0
    assert [r["output"] for r in records] == [os.path.join(workdir, "py", n) for n in
                                              ("1.png", "2.png", "10.png")]
    for record, line in zip(records, lines):
        line["output"] = record["output"]
        assert _without_time(record) == _without_time(line)
    with zipfile.ZipFile(os.path.join(workdir, "py.cbz")) as mine, \
            zipfile.ZipFile(os.path.join(workdir, "batch.cbz")) as theirs:
        assert mine.namelist() == theirs.namelist() == ["ComicInfo.xml", "1.png", "2.png", "10.png"]
        assert [mine.read(n) for n in mine.namelist()] == [theirs.read(n) for n in theirs.namelist()]


# name, manifest line (with {page}, {ocr}, {translation} filled in), what the page gets
DRY_RUN_LINES = [
    ("sound page", '"image": "{page}", "ocr": "{ocr}", "translation": "{translation}"', "ok"),
    ("missing image", '"image": "none.png", "ocr": "{ocr}", "translation": "{translation}"',
     "problem"),
    ("payload not JSON", '"image": "{page}", "ocr": "broken.json", "translation": "{translation}"',
     "problem"),
    ("translation id not in the OCR",
     '"image": "{page}", "ocr": "{ocr}", "translation": "stray.json"', "warning"),
    ("OCR of a resized image", '"image": "{page}", "ocr": "small.json", "translation": "{translation}"',
     "warning"),
    ("font that cannot be had",
     '"image": "{page}", "ocr": "{ocr}", "translation": "{translation}", "font": "Comic Nue"', "problem"),
    ("extension against format",
     '"image": "{page}", "ocr": "{ocr}", "translation": "{translation}", "format": "webp"', "warning"),
]


@pytest.fixture(scope="module")
def dry_runs(tmp_path_factory, page):
    """(check_chapter's records, letterforge-batch --dry-run's lines) of a manifest of every
    case, and whether either wrote anything."""
    folder = str(tmp_path_factory.mktemp("dry"))
    image, ocr, translation = page
    with open(ocr) as f:
        document = json.load(f)
    with open(os.path.join(folder, "small.json"), "w") as f:
        json.dump(dict(document, width=document["width"] // 2, height=document["height"] // 2), f)
    with open(translation) as f:
        translations = json.load(f)
    translations["translations"].append({"id": "zz", "source_text": "x", "translated_text": "y"})
    with open(os.path.join(folder, "stray.json"), "w") as f:
        json.dump(translations, f)
    with open(os.path.join(folder, "broken.json"), "w") as f:
        f.write("{")
    with open(os.path.join(folder, "m.jsonl"), "w") as f:
        for i, (_, line, _) in enumerate(DRY_RUN_LINES):
            text = line.format(page=image, ocr=ocr, translation=translation)
            f.write("{" + text + f', "output": "out/{i}.png"' + "}\n")
    records = letterforge.check_chapter(os.path.join(folder, "m.jsonl"), jobs=2)
    status, lines, _ = _batch(["--dry-run", os.path.join(folder, "m.jsonl")], folder)
    assert status == 1
    return records, lines, os.path.exists(os.path.join(folder, "out"))


@pytest.mark.parametrize("index, name, expected",
                         [(i, name, expected) for i, (name, _, expected) in enumerate(DRY_RUN_LINES)])
def test_dry_run_finds_what_the_batch_program_finds(dry_runs, index, name, expected):
    records, lines, written = dry_runs
    record = records[index]
    assert not written
    assert record["line"] == index + 1
    assert record == lines[index]
    assert record["ok"] == (expected != "problem")
    assert bool(record["problems"]) == (expected == "problem")
    assert bool(record["warnings"]) == (expected == "warning")


def _hostile_cbz(workdir, page):
    folder = _chapter(os.path.join(workdir, "pages"), page, ["1"])
    path = os.path.join(workdir, "ch.cbz")
    _cbz(path, folder)
    with zipfile.ZipFile(path, "a") as archive:
        archive.writestr("../../escape.png", b"x")
    return path


# name, makes the source in the folder, options, the message after the source's path
REFUSALS = [
    ("member climbing out", _hostile_cbz, {},
     ": ../../escape.png: its name climbs out of the archive with \"..\""),
    ("chapter missing", lambda workdir, page: os.path.join(workdir, "none.cbz"), {},
     ": cannot be read: No such file or directory"),
    ("default font that cannot be had",
     lambda workdir, page: _chapter(os.path.join(workdir, "pages"), page, ["1"]),
     {"font": "Comic Nue"}, None),
]


@pytest.mark.parametrize("name, make, options, message", REFUSALS, ids=[r[0] for r in REFUSALS])
@pytest.mark.parametrize("call", ["render_chapter", "check_chapter"])
def test_refused_run_gives_the_batch_programs_message_and_writes_nothing(
        workdir, page, name, make, options, message, call):
    source = make(workdir, page)
    before = sorted(os.listdir(workdir))
    with pytest.raises(letterforge.ManifestError) as raised:
        getattr(letterforge, call)(source, output_dir=os.path.join(workdir, "out"), **options)
    assert sorted(os.listdir(workdir)) == before
    batch_options = [a for k, v in options.items() for a in ("--set", f"{k}={v}")]
    status, lines, errors = _batch(batch_options + [source, "--output-dir", "out"], workdir)
    assert status == raised.value.status == 2 and lines == []
    assert errors.splitlines()[0] == "letterforge-batch: " + str(raised.value)
    if message:
        assert str(raised.value) == source + message
    else:
        assert str(raised.value).startswith("--set font=Comic Nue: Could not use font Comic Nue: "
                                            "no installed font has the family name 'Comic Nue'; "
                                            "the nearest installed families are Comic Neue")


def test_pages_done_are_skipped_and_a_failed_page_keeps_the_archive_unwritten(workdir, page):
    folder = _chapter(os.path.join(workdir, "pages"), page, ["1", "2"])
    out, cbz = os.path.join(workdir, "out"), os.path.join(workdir, "en.cbz")
    first = letterforge.render_chapter(folder, output_dir=out, output_cbz=cbz)
    assert [r["skipped"] for r in first] == [None, None] and os.path.exists(cbz)
    again = letterforge.render_chapter(folder, output_dir=out, skip_existing=True)
    assert [(r["ok"], r["skipped"]) for r in again] == [(True, "output exists")] * 2
    with open(os.path.join(workdir, "first.jsonl"), "w") as f:
        f.write(json.dumps(first[1]) + "\n")
    os.remove(cbz)
    with open(os.path.join(folder, "1.ocr.json"), "w") as f:
        f.write("{")
    with pytest.raises(letterforge.WriteError) as raised:
        letterforge.render_chapter(folder, output_dir=out, output_cbz=cbz,
                                   resume=os.path.join(workdir, "first.jsonl"))
    assert str(raised.value) == cbz + " not written: 1 page failed"
    assert [(r["ok"], r["skipped"]) for r in raised.value.records] == [(False, None),
                                                                       (True, "done earlier")]
    assert not os.path.exists(cbz)


def test_interrupted_chapter_resumes_rendering_only_what_is_missing(workdir, page):
    """The second page's output is a pipe read only once the run is interrupted, so the
    interruption comes while that page is written; the run resumed from the interrupted run's
    records renders the other pages and not that one again."""
    folder = _chapter(os.path.join(workdir, "pages"), page, ["1", "2", "3", "4"])
    out = os.path.join(workdir, "out")
    os.makedirs(out)
    os.mkfifo(os.path.join(out, "2.png"))
    reader = os.open(os.path.join(out, "2.png"), os.O_RDONLY | os.O_NONBLOCK)

    def drain():
        while os.read(reader, 1 << 16):
            pass

    def interrupt():
        select.select([reader], [], [], 60)  # the page is being written
        os.kill(os.getpid(), signal.SIGINT)

    threads = [threading.Thread(target=interrupt)]

    def handler(signum, frame):
        os.set_blocking(reader, True)
        threads.append(threading.Thread(target=drain))
        threads[-1].start()
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGINT, handler)
    try:
        threads[0].start()
        with pytest.raises(KeyboardInterrupt) as raised:
            letterforge.render_chapter(folder, output_dir=out, jobs=1)
    finally:
        signal.signal(signal.SIGINT, previous)
        for thread in threads:
            thread.join()
        os.close(reader)
    rendered = {r["line"]: 1 for r in raised.value.records}
    assert all(r["ok"] for r in raised.value.records) and 2 in rendered and 4 not in rendered
    with open(os.path.join(workdir, "first.jsonl"), "w") as f:
        f.writelines(json.dumps(r) + "\n" for r in raised.value.records)
    resumed = letterforge.render_chapter(folder, output_dir=out, jobs=1,
                                         resume=os.path.join(workdir, "first.jsonl"))
    for record in resumed:
        assert record["ok"]
        if record["skipped"] is None:
            rendered[record["line"]] = rendered.get(record["line"], 0) + 1
    assert rendered == {1: 1, 2: 1, 3: 1, 4: 1}
    assert read(os.path.join(out, "4.png"))[1:4] == b"PNG"
