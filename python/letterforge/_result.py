"""The result of letterforge.render."""

from __future__ import annotations

import os
from collections.abc import Mapping
from typing import TYPE_CHECKING, Any, Dict, List, Optional, TypedDict, Union

if TYPE_CHECKING:
    import numpy


class BlockResult(dict):
    """What a render did with one translated block: a record whose fields read as attributes
    (block.overflowed) or as keys (block["overflowed"]). It is a dict of its fields, so it
    compares equal to one and json.dumps writes it as one."""

    __slots__ = ()

    id: str
    item: str  # the ids of the render item that holds the block, joined with "+"
    cleanup: str  # left_alone, white_fill, inpainted, refused, patched, patched_dense,
    # patched_empty, patched_grouped, fallback, repainted_paper, inpainted_smooth,
    # inpainted_texture or not_cleaned
    coverage: Optional[float]  # of the lettering mask, when patched or repainted with one
    confidence: Optional[float]  # of the bubble, when one was found
    fallback_reason: Optional[str]  # low_bubble_confidence or empty_mask
    fallback_cleanup: Optional[str]  # what the plain cleanup did after the fallback
    drawn: bool
    font_size: Optional[float]  # the size the translation was drawn at
    overflowed: bool  # not even the smallest size tried fits
    unknown_characters: int  # characters that no installed font can show
    flags: List[str]  # uncleaned, overflowed, unknown_characters, spans_balloons (known only
    # when balloons are looked for: grouping_preset "balloon" or fit_balloon), no_vertical_forms

    def __getattr__(self, name: str) -> Any:
        try:
            return self[name]
        except KeyError:
            raise AttributeError(f"'BlockResult' has no field {name!r}") from None

    def __dir__(self) -> List[str]:
        return sorted(set(super().__dir__()) | set(self))

    def __repr__(self) -> str:
        return f"BlockResult({dict.__repr__(self)})"


class PageRecord(TypedDict):
    """How one page of a manifest or chapter went, with the fields of letterforge-batch's
    result lines. A page that failed, for whatever reason, has ok False, the failure class in
    status (letterforge's exit status for it; None when a cluster's task itself was lost, as
    with a worker that died) and the message."""

    line: int  # the job's place in the list, counted from 1 (for a manifest: its line)
    image: Optional[str]
    output: Optional[str]
    debug: Optional[str]  # None when no debug image was asked for
    layers: Optional[str]  # None when no layers were asked for
    ok: bool
    status: Optional[int]  # 0 when ok
    message: Optional[str]  # None when ok
    milliseconds: Optional[int]  # the render and the writes (0 when skipped); None when lost
    report: List[str]  # the report lines, up to a failure
    blocks: List[BlockResult]  # empty when the page was not cleaned and typeset
    warnings: List[str]  # what is likely wrong although the page rendered
    skipped: Optional[str]  # why the page was not rendered again; None when it was


_RECORD_FIELDS = tuple(PageRecord.__annotations__)
_BLOCK_FIELDS = tuple(BlockResult.__annotations__)


def page_record(line: Mapping[str, Any]) -> PageRecord:
    """A result line of letterforge-batch as a record: every field, None where the line
    leaves one out."""
    record = {name: line.get(name) for name in _RECORD_FIELDS}
    record["report"] = list(line.get("report", ()))
    record["warnings"] = list(line.get("warnings", ()))
    record["blocks"] = [BlockResult({name: block.get(name) for name in _BLOCK_FIELDS})
                        for block in line.get("blocks", ())]
    return record  # type: ignore[return-value]


PathArg = Union[str, "os.PathLike[str]"]


class RenderResult:
    """A rendered page: the page as an array or encoded, the debug image when asked for,
    the report lines and what was done with each translated block.

    The page stays in memory as the engine drew it until the result is dropped, so that
    `png()`, `encode()` and `save()` give exactly the bytes the programs write.
    """

    def __init__(self, native) -> None:
        self._native = native
        self._page: Optional["numpy.ndarray"] = None
        self._debug: Optional["numpy.ndarray"] = None
        self._blocks: Optional[List[BlockResult]] = None

    def __repr__(self) -> str:
        return (f"<letterforge.RenderResult {self.width} x {self.height}, "
                f"{len(self.blocks)} blocks{', debug image' if self.has_debug else ''}>")

    @property
    def width(self) -> int:
        """Width of the page in pixels."""
        return self._native.width

    @property
    def height(self) -> int:
        """Height of the page in pixels."""
        return self._native.height

    @property
    def page(self) -> "numpy.ndarray":
        """The finished page as a uint8 array of shape (height, width, 3), RGB, rows top
        first (pages are opaque). Made on first use; later uses give the same array."""
        if self._page is None:
            self._page = self._native.array(debug=False)
        return self._page

    @property
    def has_debug(self) -> bool:
        """Whether the debug image was asked for (debug=True or a debug path)."""
        return self._native.has_debug

    @property
    def debug(self) -> Optional["numpy.ndarray"]:
        """The debug image (the untouched page with the run's decisions drawn over it) as a
        (height, width, 3) uint8 array, or None when it was not asked for."""
        if not self.has_debug:
            return None
        if self._debug is None:
            self._debug = self._native.array(debug=True)
        return self._debug

    @property
    def layers(self) -> Optional[Dict[str, bytes]]:
        """The layers for editing afterwards, when asked for (layers=True or a path), else
        None: "cleaned" (the page after cleanup, before any text, PNG), "text" (the text and
        its outline over transparency, PNG with alpha), "mask" (the cleanup mask, greyscale
        PNG, 255 where cleanup masked or changed a pixel) and "psd" (a layered document of the
        original, cleaned and text layers over the finished page)."""
        if not self._native.has_layers:
            return None
        return {name: self._native.layer(name) for name in ("cleaned", "text", "mask", "psd")}

    def save_layers(self, path: PathArg) -> None:
        """Writes the layers as letterforge-batch writes them: path.cleaned.png,
        path.text.png, path.mask.png and path.psd, all four or none. Raises WriteError with
        "Could not write <file>: <reason>", or LetterforgeError when no layers were asked
        for."""
        self._native.save_layers(prefix=os.fspath(path))

    @property
    def report(self) -> List[str]:
        """The report lines of the run, in order, as letterforge prints them on standard
        error (without line feeds)."""
        return self._native.report

    @property
    def warnings(self) -> List[str]:
        """What is likely wrong with the inputs although the page rendered, as
        letterforge-batch's result lines give it: translation ids not in the OCR, the OCR's
        width and height other than the image's, boxes off the page."""
        return self._native.warnings

    @property
    def blocks(self) -> List[BlockResult]:
        """One BlockResult per translated block, in block order: id, item, cleanup, coverage,
        confidence, fallback_reason, fallback_cleanup, drawn, font_size, overflowed,
        unknown_characters, flags."""
        if self._blocks is None:
            self._blocks = [BlockResult(block) for block in self._native.blocks]
        return self._blocks

    def png(self, *, debug: bool = False) -> bytes:
        """The page (or the debug image) as PNG bytes, byte for byte what letterforge
        writes for the same inputs."""
        return self._native.encode(debug=debug, format="png", quality=None)

    def encode(self, format: Optional[str] = None, quality: Optional[float] = None, *,
               debug: bool = False) -> bytes:
        """The page (or the debug image) encoded: format "png", "jpeg" (or "jpg") or
        "webp", by default the render's `format` option, else PNG; quality 1 to 100 for
        JPEG (default 90) and lossy WebP (WebP is lossless without one), by default the
        render's `quality` option. Raises OptionError for another format word and
        WriteError when the encoder fails."""
        if quality is not None and (isinstance(quality, bool) or
                                    not isinstance(quality, (int, float))):
            from ._errors import OptionError
            raise OptionError(f"quality: expected a number, found {type(quality).__name__}")
        if format is not None and not isinstance(format, str):
            from ._errors import OptionError
            raise OptionError(f"format: expected a string, found {type(format).__name__}")
        return self._native.encode(debug=debug, format=format,
                                   quality=None if quality is None else float(quality))

    def save(self, path: PathArg, *, debug: bool = False) -> None:
        """Writes the page (or the debug image) to `path` as the programs write their
        outputs: the page in the render's `format` option, else as the extension says (.png,
        .jpg, .jpeg, .webp), the debug image as its extension says, both at the `quality`
        option, else PNG without an extension; missing directories created; the file replaced
        whole or left as it was. Raises OptionError for an extension that names no format
        written here (.gif) unless the `format` option chooses the page's, and WriteError with
        "Could not write <path>: <reason>"."""
        self._native.save(debug=debug, path=os.fspath(path))
