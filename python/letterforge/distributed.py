"""The pages of chapters spread over a Dask cluster, one task per page.

    from dask.distributed import Client
    import letterforge.distributed

    client = Client("tcp://scheduler-host:8786")
    records = letterforge.distributed.render_chapter(client, [
        {"image": "ch1/p01.png", "ocr": "ch1/p01.ocr.json",
         "translation": "ch1/p01.en.json", "output": "out/ch1/p01.png"},
        {"image": "ch1/p02.png", "ocr": "ch1/p02.ocr.json",
         "translation": "ch1/p02.en.json", "output": "out/ch1/p02.png",
         "debug": "out/ch1/p02-debug.png", "cleanup_mode": "bubble_clean"},
    ])

From a shell, with a manifest of one job per line (JSON objects; blank lines skipped), the
records are printed as JSON lines, and the exit status is 1 when a page failed:

    python3 -m letterforge.distributed tcp://scheduler-host:8786 chapter.jsonl

A job holds the fields of a line of letterforge-batch's manifest: image, ocr, translation and
output (paths as the workers see them: a shared file system or the same tree on every
machine), debug (a path, optional), and any render option by name. The workers write the
output files; each job comes back as a record (a plain dict), in the jobs' order.
"""

from __future__ import annotations

import argparse
import asyncio
import json
import sys
import time
import uuid
from collections.abc import Mapping
from typing import Any, Callable, Iterable, List, Optional, TypedDict

from distributed import Client, wait

import letterforge
from ._errors import LetterforgeError, OptionError
from ._result import BlockResult

# The fields of a job that are not render options.
FILE_FIELDS = ("image", "ocr", "translation", "output", "debug")
_REQUIRED_FIELDS = ("image", "ocr", "translation", "output")


class PageRecord(TypedDict):
    """How one job went. A page that failed, for whatever reason, has ok False, the failure
    class in status (letterforge's exit status for it; None when the task itself was lost,
    as with a worker that died) and the message."""

    index: int  # the job's position in the list given
    image: Optional[str]
    output: Optional[str]
    debug: Optional[str]
    ok: bool
    status: Optional[int]  # 0 when ok
    message: Optional[str]  # None when ok
    milliseconds: Optional[float]  # the render and the writes, on the worker
    report: List[str]
    blocks: List[BlockResult]


def _record(job: Any, **fields: Any) -> PageRecord:
    known = job if isinstance(job, Mapping) else {}
    record = {"index": -1, "image": None, "output": None, "debug": None, "ok": False,
              "status": None, "message": None, "milliseconds": None, "report": [],
              "blocks": []}
    record.update({name: known.get(name) for name in ("image", "output", "debug")})
    record.update(fields)
    return record  # type: ignore[return-value]


class _UnreadableLine(str):
    """A manifest line that is not JSON, as the fault that fails its page."""


def job_problem(job: Any) -> Optional[str]:
    """Why a job cannot be rendered as it stands (not a dict, a file field missing or not a
    string); None when it can. Options are checked where the job is rendered."""
    if isinstance(job, _UnreadableLine):
        return str(job)
    if not isinstance(job, Mapping):
        return f"a job must be a dict of fields, found {type(job).__name__}"
    for name in FILE_FIELDS:
        if name not in job:
            if name in _REQUIRED_FIELDS:
                return f"{name}: missing"
        elif not isinstance(job[name], str) or not job[name]:
            return f"{name}: expected a path, found {type(job[name]).__name__}"
    return None


def render_job(job: Mapping[str, Any]) -> PageRecord:
    """Renders one job here (on a worker, when a task calls it): writes the output and the
    debug image, and returns the record. Never raises for a page that fails: the failure is
    in the record."""
    started = time.perf_counter()
    problem = job_problem(job)
    if problem is not None:
        return _record(job, status=OptionError.status, message=problem)
    options = {name: value for name, value in job.items() if name not in FILE_FIELDS}
    try:
        result = letterforge.render(job["image"], job["ocr"], job["translation"],
                                    output=job["output"], debug=job.get("debug", False),
                                    **options)
    except LetterforgeError as error:
        return _record(job, status=error.status, message=str(error),
                       milliseconds=(time.perf_counter() - started) * 1000)
    return _record(job, ok=True, status=0, report=result.report, blocks=result.blocks,
                   milliseconds=(time.perf_counter() - started) * 1000)


def _lost(job: Any, error: BaseException) -> PageRecord:
    name = type(error).__name__
    if name == "KilledWorker":
        message = f"the page's worker was lost while rendering it: {error}"
    else:
        message = f"the page's task failed: {name}: {error}"
    return _record(job, message=message)


def render_chapter(client: Client, jobs: Iterable[Mapping[str, Any]], *, retries: int = 0,
                   render_page: Callable[[Mapping[str, Any]], PageRecord] = render_job,
                   **options: Any) -> List[PageRecord]:
    """Submits one task per job to the cluster of `client` and waits for all of them.

    Returns one record per job, in the jobs' order: every page comes back, rendered or
    failed. A page whose worker dies is run again by Dask on another worker (up to the
    scheduler's distributed.scheduler.allowed-failures, 3 by default); past that, or when the
    task raises, it comes back failed with status None. A job that is not a dict of the
    file fields fails without being submitted.

    options: render options for every job; a job's own fields take precedence.
    retries: how often Dask reruns a task that raised (render_job raises only when
    something outside the page went wrong, such as running out of memory).
    render_page: the function each task runs on its job (default render_job); wrap it to
    time, log or otherwise decorate the pages.
    """
    jobs = list(jobs)
    records: List[Optional[PageRecord]] = [None] * len(jobs)
    futures = {}
    chapter = uuid.uuid4().hex
    for index, job in enumerate(jobs):
        problem = job_problem(job)
        if problem is not None:
            records[index] = _record(job, status=OptionError.status, message=problem)
            continue
        merged = {**options, **job}
        futures[index] = client.submit(render_page, merged, key=f"letterforge-page-{chapter}-{index}",
                                       pure=False, retries=retries)
    wait(list(futures.values()))
    for index, future in futures.items():
        try:
            records[index] = future.result()
        except (Exception, asyncio.CancelledError) as error:  # a lost worker, a failed task
            records[index] = _lost(jobs[index], error)
    for index, record in enumerate(records):
        record["index"] = index  # type: ignore[index]
    return records  # type: ignore[return-value]


def read_manifest(path: str) -> List[Any]:
    """The jobs of a manifest file: one JSON value per line, blank lines skipped. A line that
    is not JSON becomes a job that fails with its fault."""
    jobs: List[Any] = []
    with open(path, encoding="utf-8") as manifest:
        for number, line in enumerate(manifest, 1):
            if not line.strip():
                continue
            try:
                jobs.append(json.loads(line))
            except ValueError as error:
                jobs.append(_UnreadableLine(f"{path}:{number}: not valid JSON: {error}"))
    return jobs


def main(arguments: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m letterforge.distributed",
        description="Renders the pages of manifests on a Dask cluster and prints one JSON "
                    "record per page.")
    parser.add_argument("scheduler", help="the scheduler's address, as tcp://host:8786")
    parser.add_argument("manifests", nargs="+", help="files of one JSON job per line")
    given = parser.parse_args(arguments)
    jobs = [job for path in given.manifests for job in read_manifest(path)]
    with Client(given.scheduler) as client:
        records = render_chapter(client, jobs)
    for record in records:
        print(json.dumps(record, ensure_ascii=False))
    return 0 if all(record["ok"] for record in records) else 1


if __name__ == "__main__":
    sys.exit(main())
