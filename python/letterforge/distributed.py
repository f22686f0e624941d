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

From a shell, with a manifest of one job per line (JSON objects; blank lines skipped;
relative paths read from the manifest's folder), the records are printed as JSON lines, and
the exit status is 1 when a page failed:

    python3 -m letterforge.distributed tcp://scheduler-host:8786 chapter.jsonl

A job holds the fields of a line of letterforge-batch's manifest: image, ocr, translation and
output (paths as the workers see them: a shared file system or the same tree on every
machine), debug (a path; absent, null or empty for none), and any render option by name
(null keeps the default). The workers write the files; each job comes back as a record (a
plain dict with the fields of letterforge-batch's result lines), in the jobs' order.
"""

from __future__ import annotations

import argparse
import asyncio
import json
import os
import sys
import time
import uuid
from collections.abc import Mapping
from typing import Any, Callable, Iterable, List, Optional, TypedDict

from distributed import Client, as_completed

import letterforge
from . import _letterforge as _native
from ._errors import LetterforgeError, OptionError
from ._result import BlockResult

# The fields of a job that are not render options.
FILE_FIELDS = ("image", "ocr", "translation", "output", "debug")
_REQUIRED_FIELDS = ("image", "ocr", "translation", "output")


class PageRecord(TypedDict):
    """How one job went. A page that failed, for whatever reason, has ok False, the failure
    class in status (letterforge's exit status for it; None when the task itself was lost,
    as with a worker that died) and the message."""

    line: int  # the job's place in the list, counted from 1 (for a manifest: its line)
    image: Optional[str]
    output: Optional[str]
    debug: Optional[str]  # None when no debug image was asked for
    ok: bool
    status: Optional[int]  # 0 when ok
    message: Optional[str]  # None when ok
    milliseconds: Optional[int]  # the render and the writes, on the worker
    report: List[str]  # the report lines, up to a failure
    blocks: List[BlockResult]  # empty when the page was not cleaned and typeset
    warnings: List[str]  # what is likely wrong although the page rendered


class _UnreadableLine(str):
    """A manifest line that is not JSON, as the fault that fails its page."""


def _debug_path(job: Mapping[str, Any]) -> Optional[str]:
    """The debug path of a job, as letterforge reads its debug argument: trimmed, and
    empty for none."""
    debug = job.get("debug")
    return (debug.strip() or None) if isinstance(debug, str) else None


def _record(job: Any, **fields: Any) -> PageRecord:
    known = job if isinstance(job, Mapping) else {}
    record = {"line": 0, "image": None, "output": None, "debug": None, "ok": False,
              "status": None, "message": None, "milliseconds": None, "report": [],
              "blocks": [], "warnings": []}
    for name in ("image", "output"):
        if isinstance(known.get(name), str) and known[name]:
            record[name] = known[name]
    record["debug"] = _debug_path(known)
    record.update(fields)
    return record  # type: ignore[return-value]


def _type_name(value: Any) -> str:
    if value is None:
        return "null"
    return letterforge._type_name(value)


def job_problem(job: Any) -> Optional[str]:
    """Why a job cannot be rendered as it stands (not a dict, a file field missing, not a
    string or empty), with letterforge-batch's words; None when it can. Options are checked
    where the job is rendered."""
    if isinstance(job, _UnreadableLine):
        return str(job)
    if not isinstance(job, Mapping):
        return f"expected an object, found {_type_name(job)}"
    for name in _REQUIRED_FIELDS:
        if name not in job:
            return f"{name}: required field is missing"
        if not isinstance(job[name], str):
            return f"{name}: expected a string, found {_type_name(job[name])}"
        if not job[name]:
            return f"{name}: expected a path, found an empty string"
    if job.get("debug") is not None and not isinstance(job["debug"], str):
        return f"debug: expected a string, found {_type_name(job['debug'])}"
    return None


def render_job(job: Mapping[str, Any]) -> PageRecord:
    """Renders one job here (on a worker, when a task calls it) and writes the output, then
    the debug image, as letterforge-batch does; returns the record. Never raises for a page
    that fails: the failure is in the record."""
    started = time.monotonic()
    problem = job_problem(job)
    if problem is not None:
        return _record(job, status=OptionError.status, message=problem)
    options = {name: value for name, value in job.items() if name not in FILE_FIELDS}
    debug = _debug_path(job)
    record = _record(job, ok=True, status=0)
    try:
        warnings = _native.output_warnings(letterforge._option_pairs(options), job["output"],
                                           debug or "")
        result = letterforge.render(job["image"], job["ocr"], job["translation"],
                                    debug=debug is not None, **options)
        record.update(report=result.report, blocks=result.blocks,
                      warnings=warnings + result.warnings)
        result.save(job["output"])
        if debug is not None:
            result.save(debug, debug=True)
    except LetterforgeError as error:
        record.update(ok=False, status=error.status, message=str(error))
        if not record["report"]:
            record["report"] = error.report
    record["milliseconds"] = round((time.monotonic() - started) * 1000)
    return record


def _lost(job: Any, error: BaseException) -> PageRecord:
    name = type(error).__name__
    if name == "KilledWorker":
        message = f"the page's worker was lost while rendering it: {error}"
    else:
        message = f"the page's task failed: {name}: {error}"
    return _record(job, message=message)


def render_chapter(client: Client, jobs: Iterable[Any], *, retries: int = 0,
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
    pending = {}
    chapter = uuid.uuid4().hex
    for index, job in enumerate(jobs):
        problem = job_problem(job)
        if problem is not None:
            records[index] = _record(job, status=OptionError.status, message=problem)
            continue
        future = client.submit(render_page, {**options, **job},
                               key=f"letterforge-page-{chapter}-{index}", pure=False,
                               retries=retries)
        pending[future] = index
    # Each record is fetched as soon as it is ready and its task let go: a finished page kept
    # on a worker that dies later would be rendered and written once more.
    for future in as_completed(list(pending)):
        index = pending.pop(future)
        try:
            records[index] = future.result()
        except (Exception, asyncio.CancelledError) as error:  # a lost worker, a failed task
            records[index] = _lost(jobs[index], error)
        future.release()
    for index, record in enumerate(records):
        record["line"] = index + 1  # type: ignore[index]
    return records  # type: ignore[return-value]


def read_manifest(path: str) -> List[tuple]:
    """(line number, job) of each line of a manifest file that is not blank, the relative
    paths of its jobs read from the manifest's folder. A line that is not JSON becomes a job
    that fails with its fault."""
    folder = os.path.dirname(os.path.abspath(path))
    jobs: List[tuple] = []
    with open(path, encoding="utf-8") as manifest:
        for number, line in enumerate(manifest, 1):
            if not line.strip():
                continue
            try:
                job = json.loads(line)
            except ValueError as error:
                jobs.append((number, _UnreadableLine(f"not valid JSON: {error}")))
                continue
            if isinstance(job, dict):
                for name in FILE_FIELDS:
                    if isinstance(job.get(name), str) and job[name].strip():
                        job[name] = os.path.join(folder, job[name].strip() if name == "debug"
                                                 else job[name])
            jobs.append((number, job))
    return jobs


def main(arguments: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m letterforge.distributed",
        description="Renders the pages of a manifest on a Dask cluster and prints one JSON "
                    "record per page.")
    parser.add_argument("scheduler", help="the scheduler's address, as tcp://host:8786")
    parser.add_argument("manifest", help="a file of one JSON job per line")
    given = parser.parse_args(arguments)
    numbered = read_manifest(given.manifest)
    with Client(given.scheduler) as client:
        records = render_chapter(client, [job for _, job in numbered])
    for (number, _), record in zip(numbered, records):
        record["line"] = number
        print(json.dumps(record, ensure_ascii=False))
    return 0 if all(record["ok"] for record in records) else 1


if __name__ == "__main__":
    sys.exit(main())
