"""Chapters on a Dask cluster of two worker processes: every page comes back in the jobs'
order, rendered as the programs render it or failed with its reason."""

import json
import os
import subprocess
import sys

import dask
import pytest
from dask.distributed import Client, LocalCluster

import letterforge
import letterforge.distributed
from support import OCR, PAGE, TRANSLATION, program, read, run_letterforge, sample_page

MODES = ["white_fill", "text_inpaint", "bubble_clean"]


@pytest.fixture(scope="module")
def client():
    # A page whose worker dies is run once more, then reported: two deaths, not four. One
    # task per worker thread at a time, so that no page waits on a worker that dies and is
    # counted as having killed it.
    with dask.config.set({"distributed.scheduler.allowed-failures": 1,
                          "distributed.scheduler.worker-saturation": 1.0}):
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as c:
            yield c


def _chapter(directory, out="out"):
    """Eight jobs writing into directory/out: the sample page and two generated pages in
    every mode, some with debug images and options."""
    pages = [(PAGE, OCR, TRANSLATION),
             sample_page(os.path.join(directory, "a"), 500, 700, 4),
             sample_page(os.path.join(directory, "b"), 640, 480, 3)]
    jobs = []
    for i in range(8):
        image, ocr, translation = pages[i % 3]
        job = {"image": image, "ocr": ocr, "translation": translation,
               "output": os.path.join(directory, out, f"p{i}.png"),
               "cleanup_mode": MODES[i % 3], "font_scale": 0.8 + 0.1 * i}
        if i % 3 == 1:
            job["debug"] = os.path.join(directory, out, f"p{i}-debug.png")
        jobs.append(job)
    return jobs


def _program_outputs(jobs, directory):
    """The outputs of letterforge for the jobs, and its report lines."""
    outputs = []
    for i, job in enumerate(jobs):
        output = os.path.join(directory, f"expected-{i}.png")
        debug = os.path.join(directory, f"expected-{i}-debug.png") if "debug" in job else ""
        options = {k: v for k, v in job.items()
                   if k not in letterforge.distributed.FILE_FIELDS}
        status, lines = run_letterforge(job["image"], job["ocr"], job["translation"], output,
                                        debug, **options)
        assert status == 0
        outputs.append((read(output), read(debug) if debug else None, lines))
    return outputs


def test_chapter_of_eight_pages_matches_the_program_page_for_page(client, workdir):
    jobs = _chapter(workdir)
    records = letterforge.distributed.render_chapter(client, jobs)

    expected = _program_outputs(jobs, workdir)
    assert [r["line"] for r in records] == list(range(1, 9))
    for job, record, (page, debug, lines) in zip(jobs, records, expected):
        assert record["ok"] and record["status"] == 0 and record["message"] is None
        assert (record["image"], record["output"]) == (job["image"], job["output"])
        assert read(job["output"]) == page
        assert record["report"] == lines
        if debug is not None:
            assert read(job["debug"]) == debug
        assert record["blocks"] and record["milliseconds"] > 0


def _batch_command(manifest):
    return [program("letterforge-batch"), "--jobs", "2", manifest]


def _with_nones(record, fields):
    """A result line of letterforge-batch with the fields it leaves out as None, as the
    records have them."""
    return {name: record.get(name) for name in fields}


def _chapter_with_failures(directory, out):
    """The eight jobs of _chapter, then three that fail: an image that is missing, an
    unknown option, and a font file that is not a font."""
    jobs = _chapter(directory, out)
    jobs += [dict(jobs[0], image=os.path.join(directory, "missing.png")),
             dict(jobs[3], colour="red"),
             dict(jobs[6], font=os.path.join(directory, "a", "ocr.json"))]
    for i, job in enumerate(jobs[8:], 8):
        job["output"] = os.path.join(directory, out, f"p{i}.png")
        job.pop("debug", None)
    return jobs


def test_chapter_gives_the_records_and_files_of_the_batch_program(client, workdir):
    jobs = _chapter_with_failures(workdir, "out")
    batch_jobs = _chapter_with_failures(workdir, "batch")
    manifest = os.path.join(workdir, "manifest.jsonl")
    with open(manifest, "w", encoding="utf-8") as f:
        f.writelines(json.dumps(job) + "\n" for job in batch_jobs)
    run = subprocess.run(_batch_command(manifest), capture_output=True, timeout=300)
    assert run.returncode == 1, run.stderr  # some pages failed

    records = letterforge.distributed.render_chapter(client, jobs)

    batch_records = sorted((json.loads(line) for line in run.stdout.decode().splitlines()),
                           key=lambda record: record["line"])
    assert [r["ok"] for r in records] == [True] * 8 + [False] * 3
    for job, batch_job, record, batch_record in zip(jobs, batch_jobs, records, batch_records):
        for field in ("output", "debug"):
            if field in job and record["ok"]:
                assert read(job[field]) == read(batch_job[field])
            elif field in job:
                assert not os.path.exists(job[field]) and not os.path.exists(batch_job[field])
        assert set(batch_record) <= set(record), "the batch program names no other field"
        expected = _with_nones(batch_record, record)
        expected.update(output=job["output"], debug=job.get("debug"),
                        milliseconds=record["milliseconds"])
        expected["blocks"] = [_with_nones(block, letterforge.BlockResult.__annotations__)
                              for block in batch_record["blocks"]]
        assert record == expected


def test_failed_pages_come_back_failed_in_their_place(client, workdir):
    twice = os.path.join(workdir, "twice.json")
    with open(twice, "w", encoding="utf-8") as f:
        json.dump({"translations": [{"id": "p1", "source_text": "", "translated_text": "a"},
                                    {"id": "p1", "source_text": "", "translated_text": "b"}]}, f)
    good = {"image": PAGE, "ocr": OCR, "translation": TRANSLATION}
    jobs = [dict(good, output=os.path.join(workdir, "0.png")),
            dict(good, image=os.path.join(workdir, "missing.png"),
                 output=os.path.join(workdir, "1.png")),
            dict(good, translation=twice, output=os.path.join(workdir, "2.png")),
            "not a job",
            dict(good),
            dict(good, output=os.path.join(workdir, "5.png"), colour="red"),
            dict(good, output=os.path.join(workdir, "6.png"), debug="  ", font_scale=None),
            dict(good, output=os.path.join(workdir, "twice.json", "7.png"))]

    records = letterforge.distributed.render_chapter(client, jobs, cleanup_mode="bubble_clean")

    assert [(r["line"], r["ok"], r["status"]) for r in records] == [
        (1, True, 0), (2, False, 1), (3, False, 4), (4, False, 2), (5, False, 2),
        (6, False, 2), (7, True, 0), (8, False, 5)]
    assert [r["message"] for r in records[1:6]] == [
        f"Could not open image: {jobs[1]['image']}", "Duplicate values for key: 'p1'",
        "expected an object, found a string", "output: required field is missing",
        'unknown option "colour"']
    assert records[6]["report"][0].startswith("bubble_clean "), "the chapter's options apply"
    assert records[6]["debug"] is None, "a blank debug path asks for no debug image"
    assert records[7]["message"].startswith(f"Could not write {jobs[7]['output']}: ")
    assert records[7]["blocks"] and records[7]["report"], "a page that could not be written"
    assert sorted(os.listdir(workdir)) == ["0.png", "6.png", "twice.json"]


def test_page_whose_worker_dies_comes_back_failed(client, workdir):
    def die_on_the_second_page(job):
        import os as worker_os
        if job["output"].endswith("1.png"):
            worker_os._exit(1)  # the worker process dies in the middle of the chapter
        return letterforge.distributed.render_job(job)

    jobs = [{"image": PAGE, "ocr": OCR, "translation": TRANSLATION,
             "output": os.path.join(workdir, f"{i}.png")} for i in range(3)]
    records = letterforge.distributed.render_chapter(client, jobs,
                                                     render_page=die_on_the_second_page)

    assert [(r["line"], r["ok"]) for r in records] == [(1, True), (2, False), (3, True)]
    assert records[1]["status"] is None
    assert records[1]["message"].startswith("the page's worker was lost while rendering it")
    assert records[1]["output"] == jobs[1]["output"]
    client.wait_for_workers(2)


def test_page_whose_worker_dies_once_is_rendered_again(client, workdir):
    marker = os.path.join(workdir, "died")

    def die_once(job):
        import os as worker_os
        if not worker_os.path.exists(marker):
            open(marker, "w").close()
            worker_os._exit(1)
        return letterforge.distributed.render_job(job)

    job = {"image": PAGE, "ocr": OCR, "translation": TRANSLATION,
           "output": os.path.join(workdir, "page.png")}
    [record] = letterforge.distributed.render_chapter(client, [job], render_page=die_once)

    assert os.path.exists(marker)
    assert record["ok"], record["message"]
    assert read(job["output"]) == letterforge.render(PAGE, OCR, TRANSLATION).png()
    client.wait_for_workers(2)


def test_manifest_from_the_command_line_prints_a_record_per_page(client, workdir):
    manifest = os.path.join(workdir, "chapter.jsonl")
    job = {"image": PAGE, "ocr": OCR, "translation": TRANSLATION, "output": "out/p.png"}
    with open(manifest, "w", encoding="utf-8") as f:
        f.write(json.dumps(job) + "\n\n{broken\n" + json.dumps(dict(job, image="none.png", output="out/q.png")) + "\n")

    run = subprocess.run([sys.executable, "-m", "letterforge.distributed",
                          client.scheduler.address, manifest], capture_output=True, timeout=300)

    records = [json.loads(line) for line in run.stdout.decode().splitlines()]
    assert run.returncode == 1, run.stderr.decode()
    assert [(r["line"], r["ok"], r["status"]) for r in records] == [
        (1, True, 0), (3, False, 2), (4, False, 1)]
    assert records[1]["message"].startswith("not valid JSON at byte 2: ")
    assert records[2]["message"] == f"Could not open image: {workdir}/none.png", "from its folder"
    assert read(os.path.join(workdir, "out", "p.png")) == letterforge.render(
        PAGE, OCR, TRANSLATION).png()


def test_import_without_dask_says_what_to_install():
    run = subprocess.run([sys.executable, "-c", "import sys; sys.modules['distributed'] = None; "
                          "import letterforge.distributed"], capture_output=True, timeout=60)
    assert run.returncode == 1
    assert run.stderr.decode().splitlines()[-1] == (
        "ImportError: letterforge.distributed needs Dask's distributed scheduler: install "
        "python3-distributed (Debian) or the distributed package (pip)")


def test_chapter_whose_jobs_write_one_file_is_refused_before_any_is_submitted(client, workdir):
    job = {"image": PAGE, "ocr": OCR, "translation": TRANSLATION,
           "output": os.path.join(workdir, "p.png")}
    with pytest.raises(letterforge.distributed.ManifestError) as raised:
        letterforge.distributed.render_chapter(client, [job, {"colour": "red"}, dict(job)])
    assert str(raised.value) == f"refused: lines 1 and 3 both write {job['output']}"
    assert raised.value.status == 2 and os.listdir(workdir) == []


# Manifests read by letterforge-batch and by `python3 -m letterforge.distributed`: each line
# gets the same record from both, field for field (the time aside).
_GOOD = ('{"image": "%s", "ocr": "%s", "translation": "%s", "output": "out/%%s.png"'
         % (PAGE, OCR, TRANSLATION))
HOSTILE_LINES = [
    ("good line", (_GOOD % "good" + ', "debug": "out/good-debug.png"}').encode()),
    ("ill-formed UTF-8", (_GOOD % "utf8" + ', "font": "Inter\xff"}').encode("latin-1")),
    ("field given twice", (_GOOD % "twice" + ', "output": "out/again.png"}').encode()),
    ("number beyond any double", (_GOOD % "huge" + ', "font_scale": 1e999}').encode()),
    ("integer beyond any double", (_GOOD % "long" + ', "quality": 1' + "0" * 400 + "}").encode()),
    ("not JSON", b"{broken"),
    ("not an object", b"[1, 2]"),
    ("required field missing", b'{"image": "a.png", "ocr": "o.json", "translation": "t.json"}'),
    ("unknown option", (_GOOD % "unknown" + ', "colour": "red"}').encode()),
    ("option of another type", (_GOOD % "typed" + ', "grouping": "yes"}').encode()),
    ("NUL in a path", (_GOOD % "nul" + ', "debug": "d\\u0000.png"}').encode()),
    ("empty path", b'{"image": "", "ocr": "o.json", "translation": "t.json", "output": "x.png"}'),
    ("missing image", (_GOOD % "missing" + "}").replace(PAGE, "none.png").encode()),
]


def _batch_and_distributed(client_address, manifest):
    """(status, records by line or the refusal) of letterforge-batch and of the Dask entry
    point on one manifest."""
    outcomes = []
    for command, prefix in (([program("letterforge-batch"), "--quiet", manifest],
                             "letterforge-batch: "),
                            ([sys.executable, "-m", "letterforge.distributed", client_address,
                              manifest], "letterforge.distributed: ")):
        run = subprocess.run(command, capture_output=True, timeout=300)
        records = {}
        for line in run.stdout.decode().splitlines():
            record = json.loads(line)
            record.pop("milliseconds")
            records[record["line"]] = record
        errors = run.stderr.decode().splitlines()
        refusal = errors[0][len(prefix):] if errors and errors[0].startswith(prefix) else errors
        outcomes.append((run.returncode, records, refusal))
    return outcomes


@pytest.fixture(scope="module")
def hostile_outcomes(client, tmp_path_factory):
    folder = tmp_path_factory.mktemp("hostile")
    manifest = str(folder / "chapter.jsonl")
    with open(manifest, "wb") as f:
        f.write(b"\xef\xbb\xbf" + b"\r\n\n".join(line for _, line in HOSTILE_LINES) + b"\n")
    return _batch_and_distributed(client.scheduler.address, manifest)


@pytest.mark.parametrize("number, name", [(2 * i + 1, row[0])
                                          for i, row in enumerate(HOSTILE_LINES)])
def test_hostile_line_gets_the_batch_programs_record(hostile_outcomes, number, name):
    (batch_status, batch, _), (status, distributed, _) = hostile_outcomes
    assert status == batch_status == 1
    assert distributed[number] == batch[number]
    assert batch[number]["ok"] == (name == "good line")


# name, manifest text (None: no file at all).
REFUSED_MANIFESTS = [
    ("missing manifest", None),
    ("only blank lines", b"\n  \r\n\t\n"),
    ("two lines writing one file", ((_GOOD % "p") + "}\n" + (_GOOD % "q") + "}\n" +
                                    (_GOOD % "p") + "}\n").encode()),
    ("a line writing its output as its debug image",
     (_GOOD % "p" + ', "debug": "out/p.png"}\n').encode()),
    ("a line writing what another reads",
     (_GOOD % "p" + "}\n" + (_GOOD % "q").replace(OCR, "out/p.png") + "}\n").encode()),
    ("a line writing over the manifest",
     (_GOOD % "p" + "}\n" + (_GOOD % "q").replace("out/q.png", "chapter.jsonl") +
      ', "format": "png"}\n').encode()),
]


@pytest.mark.parametrize("name, text", REFUSED_MANIFESTS, ids=[r[0] for r in REFUSED_MANIFESTS])
def test_refused_manifest_gets_the_batch_programs_status_and_message(client, workdir, name,
                                                                     text):
    manifest = os.path.join(workdir, "chapter.jsonl")
    if text is not None:
        with open(manifest, "wb") as f:
            f.write(text)
    (batch_status, batch, batch_refusal), (status, records, refusal) = _batch_and_distributed(
        client.scheduler.address, manifest)
    assert status == batch_status == 2
    assert records == batch == {}
    assert refusal == batch_refusal and isinstance(refusal, str), refusal
    assert not os.path.exists(os.path.join(workdir, "out"))


def _stdout_to(target):
    """Popen's arguments sending standard output where the target says, and what to close
    after starting."""
    if target == "full device":
        full = open("/dev/full", "wb")
        return {"stdout": full}, [full]
    if target == "pipe nobody reads":
        reader, writer = os.pipe()
        os.close(reader)
        return {"stdout": writer}, [writer]
    return {"preexec_fn": lambda: os.close(1)}, []  # closed


@pytest.mark.parametrize("target", ["full device", "pipe nobody reads", "closed"])
def test_lost_result_lines_get_the_batch_programs_status_and_lines(client, workdir, target):
    manifest = os.path.join(workdir, "chapter.jsonl")
    with open(manifest, "w") as f:
        f.write(_GOOD % "p" + "}\n" + _GOOD % "q" + "}\n")
    outcomes = []
    for command, prefix in (([program("letterforge-batch"), "--jobs", "1", "--quiet", manifest],
                             "letterforge-batch: "),
                            ([sys.executable, "-m", "letterforge.distributed",
                              client.scheduler.address, manifest], "letterforge.distributed: ")):
        arguments, opened = _stdout_to(target)
        run = subprocess.run(command, stderr=subprocess.PIPE, timeout=300, **arguments)
        for item in opened:
            item.close() if hasattr(item, "close") else os.close(item)
        errors = run.stderr.decode().splitlines()
        assert errors and errors[0].startswith(prefix), errors
        outcomes.append((run.returncode, errors[0][len(prefix):], errors[1:]))
    (batch_status, batch_first, batch_lost), (status, first, lost) = outcomes
    assert status == batch_status == letterforge.distributed.RESULTS_LOST
    if target == "closed":
        assert first == batch_first
        assert not os.path.exists(os.path.join(workdir, "out"))
        return
    # letterforge-batch goes on: "; starting no other page".
    assert first == batch_first.split("; ")[0]
    assert first.startswith("standard output: ") and first.endswith(": result lines are lost")
    assert "line 1: its result line could not be written" in batch_lost
    assert lost == [f"line {n}: its result line could not be written" for n in (1, 2)]


def test_job_naming_a_member_of_an_archive_fails_as_the_workers_cannot_see_it(client, workdir):
    job = {"archive": os.path.join(workdir, "ch.cbz"), "image": "1.png", "ocr": "1.ocr.json",
           "translation": "1.translation.json", "output": os.path.join(workdir, "1.png")}
    [record] = letterforge.distributed.render_chapter(client, [job])
    assert (record["ok"], record["status"]) == (False, 2)
    assert record["message"] == ("archive: members of an archive are not read on a cluster; "
                                 "unpack it where every worker sees it")
    assert os.listdir(workdir) == []


def _rendered_then_cores(job):
    return letterforge.distributed.render_job(job)["ok"], letterforge._letterforge.usable_cores()


# A worker's page counts the worker's threads as its cores, so that two worker processes of
# one thread on a machine of two cores do not each compress their pages on both.
@pytest.mark.parametrize("on_worker, cores", [(True, 1), (False, len(os.sched_getaffinity(0)))],
                         ids=["on a worker of one thread", "outside any worker"])
def test_a_page_counts_the_workers_threads_as_its_cores(client, workdir, on_worker, cores):
    job = _chapter(workdir)[1]
    run = client.submit(_rendered_then_cores, job, pure=False).result if on_worker else None
    assert (run() if run else _rendered_then_cores(job)) == (True, cores)
