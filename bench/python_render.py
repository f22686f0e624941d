"""Rendering from Python against the programs, on a 2480 x 3508 page of 30 lettered bubbles:

 1. letterforge.render from an array to an array (no decode, encode or start-up), against the
    letterforge process from file to file, in every cleanup mode, the two taking turns;
 2. PAGES pages (default 40) rendered file to file by 2 Python threads, and by a Dask
    LocalCluster of 2 worker processes (letterforge.distributed.render_chapter; the cluster
    started and warmed first), against letterforge-batch --jobs 2 on the same pages (or,
    without it, two letterforge processes at a time), in pages per minute of wall time:
    ROUNDS rounds, the three taking turns (in the reverse order every other round), the
    ratios taken round by round and their medians printed with their range, so that a busy
    spell of a shared machine falls on all alike.

    /usr/bin/python3 bench/python_render.py [build-dir]      RUNS=11 PAGES=40 ROUNDS=7

CPU time is user + system of the whole process (Pango's helper threads included), for Dask
its workers' and the calling process's (the scheduler runs there); medians. The ratios in CPU
(the batch program's CPU a page over the other's) are what a busy machine leaves comparable:
there the wall ratios favour whichever runs more threads.
"""

import contextlib
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import types
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
ROUNDS = int(os.environ.get("ROUNDS", "7"))
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


def own_cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(run, cpu):
    """(wall seconds, CPU seconds) of a run, its CPU as `cpu` counts it."""
    start, used = time.monotonic(), cpu()
    run()
    return time.monotonic() - start, cpu() - used


def many_pages(work, page, ocr, translation):
    jobs = [{"image": page, "ocr": ocr, "translation": translation,
             "output": os.path.join(work, "many", f"p{i}.png")} for i in range(PAGES)]

    def render(job):
        letterforge.render(job["image"], job["ocr"], job["translation"], output=job["output"])

    def threads():
        with ThreadPoolExecutor(2) as pool:
            list(pool.map(render, jobs))

    manifest = os.path.join(work, "manifest.jsonl")
    with open(manifest, "w", encoding="utf-8") as f:
        f.writelines(json.dumps(job) + "\n" for job in jobs)
    command = batch_command(manifest)
    if command:
        name = "letterforge-batch --jobs 2"

        def other():
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    else:
        name = "two letterforge processes at a time (no letterforge-batch built)"

        def other():
            with ThreadPoolExecutor(2) as pool:
                list(pool.map(lambda j: run_process(program_arguments(
                    j["image"], j["ocr"], j["translation"], j["output"], "white_fill")), jobs))

    with dask_cluster() as dask:
        # Each with what counts its CPU: this process (the cluster's scheduler idles in it too),
        # the programs it waited for, the workers and this process.
        runs = {"threads": (threads, own_cpu), "other": (other, children_cpu)}
        if dask is not None:
            runs["dask"] = (lambda: dask.run(jobs), lambda: dask.cpu() + own_cpu())
        for run, _ in runs.values():  # warmed: files, fonts, engines
            run()
        measured = {key: [] for key in runs}
        for round_ in range(ROUNDS):
            for key in (list(runs) if round_ % 2 == 0 else reversed(list(runs))):
                measured[key].append(timed(*runs[key]))

    def summary(key):
        wall = [o[0] / m[0] for o, m in zip(measured["other"], measured[key])]
        cpu = [o[1] / m[1] for o, m in zip(measured["other"], measured[key])]
        return (f"{pages_per_minute(statistics.median(m[0] for m in measured[key])):.0f} pages/min, "
                f"{statistics.median(m[1] for m in measured[key]) * 1000 / PAGES:.1f} CPU ms a page; "
                f"ratio to {name} {statistics.median(wall):.2f} ({min(wall):.2f} to "
                f"{max(wall):.2f}), in CPU {statistics.median(cpu):.2f}")
    print(f"{PAGES} pages, white_fill, {ROUNDS} rounds: {name} {summary('other').split(';')[0]}")
    print(f"  2 Python threads: {summary('threads')}")
    if "dask" in measured:
        print(f"  Dask, 2 worker processes of 1 thread: {summary('dask')}")


@contextlib.contextmanager
def dask_cluster():
    """A local cluster of 2 single-threaded worker processes: run(jobs) renders the jobs on it,
    cpu() the CPU seconds its workers have used; None when Dask is not installed."""
    try:
        from distributed import Client, LocalCluster
        from letterforge.distributed import render_chapter
    except ImportError:
        yield None
        return
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        def run(jobs):
            records = render_chapter(client, jobs)
            assert all(r["status"] == 0 for r in records), records

        def cpu():
            return sum(client.run(own_cpu).values())
        yield types.SimpleNamespace(run=run, cpu=cpu)


def main():
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "letterforge", "letterforge-batch",
                    "letterforge_python", "make_sample_page"], check=True,
                   stdout=subprocess.DEVNULL)
    work = tempfile.mkdtemp(prefix="lf-python-bench-")
    try:
        subprocess.run([os.path.join(BUILD, "tools", "make_sample_page"), work, "2480", "3508",
                        "30"], check=True, stdout=subprocess.DEVNULL)
        files = [os.path.join(work, n) for n in ("page.png", "ocr.json", "translation.json")]
        load = os.getloadavg()
        print(f"machine: {os.cpu_count()} cores; load at start {load[0]:.2f}; runs {RUNS}")
        if RUNS > 0:
            single_page(work, *files)
        many_pages(work, *files)
        print(f"load at end {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
