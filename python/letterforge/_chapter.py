"""Manifests and chapters (comic archives and folders of pages) checked and rendered in
process by letterforge-batch's own code."""

from __future__ import annotations

import json
import os
from typing import Any, Dict, List, Optional, Union

from . import _letterforge as _native
from ._errors import OptionError, WriteError
from ._result import PageRecord, page_record

PathArg = Union[str, "os.PathLike[str]"]


def _path(value: Optional[PathArg]) -> str:
    return "" if value is None else os.fsdecode(value)


def _arguments(source: PathArg, payloads: Optional[PathArg], output_dir: Optional[PathArg],
               output_cbz: Optional[PathArg], jobs: Optional[int], skip_existing: bool,
               resume: Optional[PathArg], options: Dict[str, Any]) -> Dict[str, Any]:
    from . import _option_pairs
    if jobs is not None and (isinstance(jobs, bool) or not isinstance(jobs, int)
                             or not 1 <= jobs <= _native.max_jobs):
        raise OptionError(f"jobs: expected a whole number from 1 to {_native.max_jobs}, "
                          f"found {jobs!r}")
    return {"source": _path(source), "payloads": _path(payloads), "output_dir": _path(output_dir),
            "output_cbz": _path(output_cbz), "options": _option_pairs(options),
            "workers": jobs or len(os.sched_getaffinity(0)) or 1,
            "skip_existing": bool(skip_existing), "resume": _path(resume)}


def check_chapter(source: PathArg, *, payloads: Optional[PathArg] = None,
                  output_dir: Optional[PathArg] = None, output_cbz: Optional[PathArg] = None,
                  jobs: Optional[int] = None, **options: Any) -> List[Dict[str, Any]]:
    """Checks every page of a manifest or a chapter without drawing or writing anything, as
    letterforge-batch --dry-run does: one dict per page, in order, with "line", "image",
    "output", "ok", "problems" (each {"status", "message"}: the failures rendering would meet)
    and "warnings" (what is likely wrong although the page renders). Raises ManifestError
    when the run would be refused as a whole."""
    arguments = _arguments(source, payloads, output_dir, output_cbz, jobs, False, None, options)
    return [json.loads(line) for line in _native.check_chapter(arguments)]


def render_chapter(source: PathArg, *, payloads: Optional[PathArg] = None,
                   output_dir: Optional[PathArg] = None, output_cbz: Optional[PathArg] = None,
                   jobs: Optional[int] = None, skip_existing: bool = False,
                   resume: Optional[PathArg] = None, **options: Any) -> List[PageRecord]:
    """Renders a manifest or a chapter as letterforge-batch does, on `jobs` threads (default:
    one per core): one record per page, in order, with the fields of its result lines.

    A chapter is a comic archive (CBZ, CBR, CB7, ZIP, RAR, 7z, tar) or a folder of page images
    with each page's <page>.ocr.json and <page>.translation.json in `payloads` or beside it;
    its pages are written into `output_dir` (default: beside the chapter, its name and
    "-letterforge") and, with `output_cbz`, into a comic archive once every page is done (none
    written, and WriteError raised, when one failed; the records are in its `records`).
    `skip_existing` skips pages whose output is newer than their inputs; `resume`, the pages an
    earlier run's result lines report ok. The options apply where a manifest line sets none.

    Raises ManifestError when the run is refused as a whole (an archive refused naming its
    member, a default font that cannot be had naming the nearest installed families, ...).
    A KeyboardInterrupt finishes the pages in flight, starts no other, and is raised with the
    records of the pages done in its `records` (no archive is written); run again with
    skip_existing=True, or with `resume` naming those records written as result lines
    (letterforge.distributed.result_line), to render only what is missing."""
    arguments = _arguments(source, payloads, output_dir, output_cbz, jobs, skip_existing,
                           resume, options)
    lines, archive_message, archive_written, interruption = _native.render_chapter(arguments)
    records = [page_record(json.loads(line)) for line in lines]
    if interruption is not None:
        interruption.records = records
        raise interruption
    if archive_message and not archive_written:
        error = WriteError(archive_message)
        error.records = records  # type: ignore[attr-defined]
        raise error
    return records
