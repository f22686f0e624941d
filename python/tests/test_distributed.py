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


@pytest.mark.skipif(not os.path.exists(program("letterforge-batch")),
                    reason="letterforge-batch is not built")
def test_chapter_matches_the_batch_program(client, workdir):
    jobs = _chapter(workdir)
    batch_jobs = _chapter(workdir, out="batch")
    manifest = os.path.join(workdir, "manifest.jsonl")
    with open(manifest, "w", encoding="utf-8") as f:
        f.writelines(json.dumps(job) + "\n" for job in batch_jobs)
    subprocess.run(_batch_command(manifest), check=True, capture_output=True, timeout=300)

    records = letterforge.distributed.render_chapter(client, jobs)

    assert all(r["ok"] for r in records)
    for job, batch_job in zip(jobs, batch_jobs):
        for field in ("output", "debug"):
            if field in job:
                assert read(job[field]) == read(batch_job[field])


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
        "expected an object, found a str", "output: required field is missing",
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
        f.write(json.dumps(job) + "\n\n{broken\n" + json.dumps(dict(job, image="none.png")) + "\n")

    run = subprocess.run([sys.executable, "-m", "letterforge.distributed",
                          client.scheduler.address, manifest], capture_output=True, timeout=300)

    records = [json.loads(line) for line in run.stdout.decode().splitlines()]
    assert run.returncode == 1, run.stderr.decode()
    assert [(r["line"], r["ok"], r["status"]) for r in records] == [
        (1, True, 0), (3, False, 2), (4, False, 1)]
    assert records[1]["message"].startswith("not valid JSON: ")
    assert records[2]["message"] == f"Could not open image: {workdir}/none.png", "from its folder"
    assert read(os.path.join(workdir, "out", "p.png")) == letterforge.render(
        PAGE, OCR, TRANSLATION).png()
