"""Rendering from Python against the programs, on a 2480 x 3508 page of 30 lettered bubbles:

 1. letterforge.render from an array to an array (no decode, encode or start-up), against the
    letterforge process from file to file, in every cleanup mode, the two taking turns;
 2. PAGES pages (default 40) rendered file to file by 2 Python threads, and by a Dask
    LocalCluster of 2 worker processes (letterforge.distributed.render_chapter; the cluster
    started and warmed first), against letterforge-batch --jobs 2 on the same pages (or,
    without it, two letterforge processes at a time), in pages per minute of wall time.

    /usr/bin/python3 bench/python_render.py [build-dir]      RUNS=11 PAGES=40

CPU time is user + system of the whole process (Pango's helper threads included); medians.
"""

import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
sys.path.insert(0, os.path.join(BUILD, "python"))
# Dask's worker processes start new interpreters: they find the package through the
# environment.
os.environ["PYTHONPATH"] = os.pathsep.join(
    [os.path.join(BUILD, "python")] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p])
import letterforge  # noqa: E402

RUNS = int(os.environ.get("RUNS", "11"))
PAGES = int(os.environ.get("PAGES", "40"))
MODES = ["white_fill", "text_inpaint", "bubble_clean"]


def program_arguments(page, ocr, translation, output, mode):
    return [os.path.join(BUILD, "letterforge"), page, ocr, translation, output, "18", "38", "1",
            "1.12", "bold", "true", "balanced", "", "balanced", mode]


def run_process(arguments):
    """(wall seconds, CPU seconds) of one run of a program."""
    start = time.monotonic()
    child = subprocess.Popen(arguments, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    assert status == 0, arguments
    return time.monotonic() - start, usage.ru_utime + usage.ru_stime


def run_in_process(render):
    start, cpu = time.monotonic(), time.process_time()
    render()
    return time.monotonic() - start, time.process_time() - cpu


def single_page(work, page, ocr, translation):
    array = letterforge.decode_image(page)
    with open(ocr, encoding="utf-8") as f:
        ocr_document = json.load(f)
    with open(translation, encoding="utf-8") as f:
        translation_document = json.load(f)
    print(f"{'mode':<14}{'process wall':>14}{'cpu':>8}{'in-process wall':>17}{'cpu':>8}"
          f"{'wall ratio':>12}{'cpu ratio':>11}")
    for mode in MODES:
        arguments = program_arguments(page, ocr, translation, os.path.join(work, "out.png"), mode)

        def render():
            letterforge.render(array, ocr_document, translation_document, cleanup_mode=mode).page

        render()  # this thread's engine and the file cache warmed first
        run_process(arguments)
        process, inside = [], []
        for _ in range(RUNS):
            process.append(run_process(arguments))
            inside.append(run_in_process(render))
        pw, pc = (statistics.median(x) * 1000 for x in zip(*process))
        iw, ic = (statistics.median(x) * 1000 for x in zip(*inside))
        print(f"{mode:<14}{pw:>12.0f}ms{pc:>6.0f}ms{iw:>15.0f}ms{ic:>6.0f}ms"
              f"{iw / pw:>12.2f}{ic / pc:>11.2f}")


def batch_command(manifest):
    """letterforge-batch's run of a manifest on two threads; absent without the program."""
    batch = os.path.join(BUILD, "letterforge-batch")
    return [batch, "--jobs", "2", manifest] if os.path.exists(batch) else None


def pages_per_minute(seconds):
    return PAGES * 60 / seconds


def many_pages(work, page, ocr, translation):
    jobs = [{"image": page, "ocr": ocr, "translation": translation,
             "output": os.path.join(work, "many", f"p{i}.png")} for i in range(PAGES)]

    def render(job):
        letterforge.render(job["image"], job["ocr"], job["translation"], output=job["output"])

    start = time.monotonic()
    with ThreadPoolExecutor(2) as pool:
        list(pool.map(render, jobs))
    threads = time.monotonic() - start

    manifest = os.path.join(work, "manifest.jsonl")
    with open(manifest, "w", encoding="utf-8") as f:
        f.writelines(json.dumps(job) + "\n" for job in jobs)
    command = batch_command(manifest)
    start = time.monotonic()
    if command:
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        name = "letterforge-batch --jobs 2"
    else:
        with ThreadPoolExecutor(2) as pool:
            list(pool.map(lambda j: run_process(program_arguments(
                j["image"], j["ocr"], j["translation"], j["output"], "white_fill")), jobs))
        name = "two letterforge processes at a time (no letterforge-batch built)"
    other = time.monotonic() - start
    dask = dask_chapter(jobs)
    print(f"{PAGES} pages, white_fill: 2 Python threads {pages_per_minute(threads):.0f} pages/min; "
          f"{name} {pages_per_minute(other):.0f} pages/min; ratio {other / threads:.2f}")
    if dask is not None:
        print(f"{PAGES} pages on Dask, 2 worker processes: {pages_per_minute(dask):.0f} pages/min; "
              f"ratio to the batch program {other / dask:.2f}")


def dask_chapter(jobs):
    """Seconds for the jobs on a local cluster of 2 single-threaded worker processes, once each
    worker has rendered a page; absent when Dask is not installed."""
    try:
        from distributed import Client, LocalCluster
        from letterforge.distributed import render_chapter
    except ImportError:
        return None
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        render_chapter(client, jobs[:2])
        start = time.monotonic()
        records = render_chapter(client, jobs)
        seconds = time.monotonic() - start
    assert all(r["status"] == 0 for r in records), records
    return seconds


def main():
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "letterforge",
                    "letterforge_python", "make_sample_page"], check=True,
                   stdout=subprocess.DEVNULL)
    work = tempfile.mkdtemp(prefix="lf-python-bench-")
    try:
        subprocess.run([os.path.join(BUILD, "tools", "make_sample_page"), work, "2480", "3508",
                        "30"], check=True, stdout=subprocess.DEVNULL)
        files = [os.path.join(work, n) for n in ("page.png", "ocr.json", "translation.json")]
        load = os.getloadavg()
        print(f"machine: {os.cpu_count()} cores; load at start {load[0]:.2f}; runs {RUNS}")
        single_page(work, *files)
        many_pages(work, *files)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
