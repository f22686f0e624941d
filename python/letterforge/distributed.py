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

From a shell, with a manifest of letterforge-batch (one JSON job per line), the records are
printed as letterforge-batch prints its result lines, and the exit status is 1 when a page
failed, 2 when the manifest was refused as a whole, 3 when the result lines could not be
written (each lost line named on standard error):

    python3 -m letterforge.distributed tcp://scheduler-host:8786 chapter.jsonl

A job is a line of letterforge-batch's manifest, given as a dict or read from a manifest
(ManifestLine), and read by letterforge-batch's own reader: image, ocr, translation and output
(paths as the workers see them: a shared file system or the same tree on every machine), debug
and layers (paths; absent, null or blank for none), and any render option by name (null keeps
the default). The workers render and write the pages with letterforge-batch's own code; each job
comes back as a record with the fields of letterforge-batch's result lines, in the jobs' order.
"""

from __future__ import annotations

import argparse
import asyncio
import json
import numbers
import os
import sys
import uuid
from collections.abc import Mapping
from typing import Any, Callable, Dict, Iterable, List, NamedTuple, Optional, Tuple, Union

try:
    from distributed import Client, as_completed, get_worker
except ModuleNotFoundError as missing:
    if (missing.name or "").split(".")[0] not in ("distributed", "dask"):
        raise
    raise ImportError("letterforge.distributed needs Dask's distributed scheduler: install "
                      "python3-distributed (Debian) or the distributed package (pip)") from None

import letterforge
from . import _letterforge as _native
from ._errors import ManifestError
from ._result import PageRecord, page_record as _record

__all__ = ["render_chapter", "render_job", "read_manifest", "result_line", "main",
           "ManifestLine", "PageRecord", "ManifestError", "FILE_FIELDS"]

# The exit status when result lines could not be written, as letterforge-batch's.
RESULTS_LOST = 3

# The fields of a job that are not render options.
FILE_FIELDS = ("image", "ocr", "translation", "output", "debug", "layers")


class ManifestLine(NamedTuple):
    """A job as a line of a manifest: its line number, its JSON text, the folder its relative
    paths are read from (empty: the worker's working directory), and the options that apply
    where the line sets none, as (name, value) pairs."""

    line: int
    text: bytes
    folder: bytes = b""
    defaults: Tuple[Tuple[str, Any], ...] = ()


Job = Union[Mapping[str, Any], ManifestLine]

def result_line(record: PageRecord) -> str:
    """The record as letterforge-batch writes its result line: one line of JSON, the fields
    whose value is unknown left out."""
    line: Dict[str, Any] = {name: value for name, value in record.items()
                            if value is not None or name == "status"}
    line["blocks"] = [{name: value for name, value in block.items() if value is not None}
                      for block in record["blocks"]]
    return json.dumps(line, ensure_ascii=False, separators=(",", ":"))


def _json_value(value: Any) -> Any:
    """What json.dumps cannot write by itself of a job: paths and NumPy's numbers."""
    if isinstance(value, os.PathLike):
        return os.fsdecode(value)
    if isinstance(value, numbers.Integral):
        return int(value)
    if isinstance(value, numbers.Real):
        return float(value)
    if type(value).__name__ == "bool_":  # numpy.bool_
        return bool(value)
    raise TypeError(f"Object of type {type(value).__name__} is not JSON serializable")


def _as_line(number: int, job: Job) -> Union[ManifestLine, PageRecord]:
    """The job as a manifest line, or the record of a job that cannot be written as one."""
    if isinstance(job, ManifestLine):
        return job
    try:
        text = json.dumps(job, allow_nan=False, default=_json_value)
    except (TypeError, ValueError, RecursionError) as error:
        known = job if isinstance(job, Mapping) else {}
        paths = {name: known.get(name) for name in ("image", "output")
                 if isinstance(known.get(name), str) and known.get(name)}
        message = ("nesting too deep" if isinstance(error, RecursionError) else str(error))
        return _record({"line": number, **paths, "ok": False, "status": 2,
                        "message": f"cannot be written as JSON: {message}", "milliseconds": 0})
    return ManifestLine(number, text.encode("ascii"))


def _share_worker_cores() -> None:
    """On a Dask worker, counts the worker's threads as the process's cores: worker processes
    sharing a machine then compress a page's bands on their own share, not each on every
    core, as letterforge-batch's threads do."""
    try:
        worker = get_worker()
    except ValueError:  # not on a worker
        return
    _native.limit_cores(getattr(worker, "state", worker).nthreads)


def render_job(job: Job) -> PageRecord:
    """Renders one job here (on a worker, when a task calls it) and writes the output, then
    the debug image, with letterforge-batch's own code; returns the record. Never raises for
    a page that fails: the failure is in the record. A dict job's record has line 1."""
    _share_worker_cores()
    line = _as_line(1, job)
    if not isinstance(line, ManifestLine):
        return line
    return _record(json.loads(_native.run_job(tuple(line))))


def _lost(record: PageRecord, error: BaseException) -> PageRecord:
    name = type(error).__name__
    if name == "KilledWorker":
        message = f"the page's worker was lost while rendering it: {error}"
    else:
        message = f"the page's task failed: {name}: {error}"
    return {**record, "ok": False, "status": None, "message": message,  # type: ignore[misc]
            "milliseconds": None, "report": [], "blocks": []}


class _Chapter(NamedTuple):
    """Jobs checked on the client before any is submitted."""

    tasks: List[Job]  # what each task is given
    numbers: List[int]  # the line of each job
    records: List[PageRecord]  # what each job is before it runs: failed, or ok to submit


def _with_options(job: Job, options: Mapping[str, Any],
                  defaults: Tuple[Tuple[str, Any], ...]) -> Job:
    """The job with the chapter's options where it sets none, as letterforge-batch's --set
    gives them: a null in the job keeps the chapter's option."""
    if isinstance(job, ManifestLine):
        return job._replace(defaults=defaults + tuple(job.defaults))
    if isinstance(job, Mapping) and options:
        return {**options, **{name: value for name, value in job.items()
                              if value is not None or name not in options}}
    return job


def _checked(jobs: List[Job], options: Mapping[str, Any], manifest: bytes = b"") -> _Chapter:
    """Reads the jobs as letterforge-batch reads a manifest: the record of each job that
    describes no page, and ManifestError when jobs share a file or one writes the manifest
    they were read from (empty: none). `options` apply where a job sets none."""
    defaults = tuple(letterforge._option_pairs(options))
    tasks = [_with_options(job, options, defaults) for job in jobs]
    lines = [_as_line(index + 1, task) for index, task in enumerate(tasks)]
    readable = [(index, line) for index, line in enumerate(lines)
                if isinstance(line, ManifestLine)]
    checked, fault = _native.check_jobs([tuple(line) for _, line in readable], manifest)
    if fault is not None:
        raise ManifestError(f"refused: {fault}")
    records: List[Any] = list(lines)
    for (index, _), line in zip(readable, checked):
        records[index] = _record(json.loads(line))
    numbers_ = [line.line if isinstance(line, ManifestLine) else index + 1
                for index, line in enumerate(lines)]
    return _Chapter(tasks, numbers_, records)


def _render(client: Client, chapter: _Chapter, retries: int,
            render_page: Callable[[Job], PageRecord]) -> List[PageRecord]:
    records: List[PageRecord] = list(chapter.records)
    pending = {}
    key = uuid.uuid4().hex
    for index, (task, record) in enumerate(zip(chapter.tasks, chapter.records)):
        if not record["ok"]:
            continue
        future = client.submit(render_page, task, key=f"letterforge-page-{key}-{index}",
                               pure=False, retries=retries)
        pending[future] = index
    # Each record is fetched as soon as it is ready and its task let go: a finished page kept
    # on a worker that dies later would be rendered and written once more.
    for future in as_completed(list(pending)):
        index = pending.pop(future)
        try:
            records[index] = future.result()
        except (Exception, asyncio.CancelledError) as error:  # a lost worker, a failed task
            records[index] = _lost(chapter.records[index], error)
        future.release()
    for record, number in zip(records, chapter.numbers):
        record["line"] = number
    return records


def render_chapter(client: Client, jobs: Iterable[Job], *, retries: int = 0,
                   render_page: Callable[[Job], PageRecord] = render_job,
                   **options: Any) -> List[PageRecord]:
    """Submits one task per job to the cluster of `client` and waits for all of them.

    Returns one record per job, in the jobs' order: every page comes back, rendered or
    failed. A page whose worker dies is run again by Dask on another worker (up to the
    scheduler's distributed.scheduler.allowed-failures, 3 by default); past that, or when the
    task raises, it comes back failed with status None. A job that describes no page (not an
    object, a file field missing, an unknown option, ...) fails with letterforge-batch's
    record for it, without being submitted.

    Raises ManifestError, before anything is submitted, when two jobs would write one file
    (as output or debug image, a job's own two included) or a job would write a file another
    reads, as letterforge-batch refuses such a manifest; and OptionError for a bad option.

    options: render options for every job; a job's own fields take precedence.
    retries: how often Dask reruns a task that raised (render_job raises only when
    something outside the page went wrong, such as running out of memory).
    render_page: the function each task runs on its job (default render_job); wrap it to
    time, log or otherwise decorate the pages.
    """
    return _render(client, _checked(list(jobs), options), retries, render_page)


def read_manifest(path: Union[str, "os.PathLike[str]"]) -> List[ManifestLine]:
    """The jobs of a manifest file ("-": standard input), one per line that is not blank, as
    letterforge-batch reads them; relative paths are read from the manifest's folder, made
    absolute since the workers work elsewhere. Raises ManifestError with letterforge-batch's
    message when the file cannot be read or holds no job."""
    jobs = []
    for number, text, folder in _native.manifest_jobs(os.fsencode(path)):
        if not os.path.isabs(folder):
            folder = os.path.join(os.getcwdb(), folder) if folder else os.getcwdb()
        jobs.append(ManifestLine(number, text, folder))
    return jobs


def main(arguments: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m letterforge.distributed",
        description="Renders the pages of a letterforge-batch manifest on a Dask cluster and "
                    "prints letterforge-batch's result line for each page, in line order.")
    parser.add_argument("scheduler", help="the scheduler's address, as tcp://host:8786")
    parser.add_argument("manifest", help="a file of one JSON job per line; - for standard input")
    given = parser.parse_args(arguments)
    if sys.stdout is None:  # started with standard output closed
        print("letterforge.distributed: standard output is closed: the result lines could not "
              "be written; nothing was rendered", file=sys.stderr)
        return RESULTS_LOST
    try:
        manifest = b"" if given.manifest == "-" else os.fsencode(given.manifest)
        chapter = _checked(list(read_manifest(given.manifest)), {}, manifest)
    except ManifestError as error:
        print(f"letterforge.distributed: {error}", file=sys.stderr)
        return ManifestError.status
    with Client(given.scheduler) as client:
        records = _render(client, chapter, 0, render_job)
    if not _print_result_lines(records):
        return RESULTS_LOST
    return 0 if all(record["ok"] for record in records) else 1


def _print_result_lines(records: List[PageRecord]) -> bool:
    """Writes each record's result line to standard output; False, with each lost line named
    on standard error as letterforge-batch names them, when they cannot be written."""
    lost: List[int] = []
    failure = ""
    for record in records:
        if not lost:
            try:
                sys.stdout.write(result_line(record) + "\n")
                sys.stdout.flush()
                continue
            except (OSError, ValueError) as error:  # a closed pipe, a full device, a closed file
                failure = getattr(error, "strerror", None) or str(error)
                # What is left in the buffer could never be written either.
                devnull = os.open(os.devnull, os.O_WRONLY)
                os.dup2(devnull, 1)
                os.close(devnull)
        lost.append(record["line"])
    if lost:
        print(f"letterforge.distributed: standard output: {failure}: result lines are lost",
              file=sys.stderr)
        for number in lost:
            print(f"line {number}: its result line could not be written", file=sys.stderr)
    return not lost


if __name__ == "__main__":
    # The importable module's main, so that the tasks name its functions and classes, which
    # the workers import, rather than this script's copies.
    from letterforge.distributed import main as _main
    sys.exit(_main())
