"""The package's exceptions: one base class, one subclass per kind of failure.

Each carries the message the programs print for the same failure, `status`, the exit status
of letterforge's failure class, and `report`, the report lines a render gave before it
failed.
"""

from __future__ import annotations

import errno
import os
from typing import List, Optional, Sequence


class LetterforgeError(Exception):
    """Base class of every failure this package raises."""

    status: Optional[int] = None
    report: List[str] = []  # the report lines of a render, up to its failure

    @property
    def message(self) -> str:
        """The message the programs print for this failure."""
        return str(self.args[0]) if self.args else ""

    def __str__(self) -> str:
        # The message alone, also where OSError would print its errno and file name.
        return self.message


class ImageError(LetterforgeError, ValueError):
    """The page image cannot be opened or decoded, or an array cannot be a page image
    (wrong dtype or shape, 0 pixels, a side above 65535 or more than 2**28 pixels)."""

    status = 1


class ImageNotFoundError(ImageError, FileNotFoundError):
    """The page image's file does not exist: "Could not open image: <path>". Also a
    FileNotFoundError, with errno ENOENT and the path in `filename`."""


class OptionError(LetterforgeError, TypeError, ValueError):
    """An unknown option name, a value of the wrong type, or a value outside the option's
    words (a format other than png, jpeg or webp, a colour that is not six hex digits).
    Also a TypeError and a ValueError, as Python's own argument errors are."""

    status = 2


class PayloadError(LetterforgeError, ValueError):
    """The OCR or translation document cannot be read or decoded; the message names the
    place and the fault, as in "ocr.json: blocks[3].bbox.w: expected a number, found a
    string"."""

    status = 3


class PayloadNotFoundError(PayloadError, FileNotFoundError):
    """An OCR or translation file does not exist: "<path>: cannot be read: No such file or
    directory". Also a FileNotFoundError, with errno ENOENT and the path in `filename`."""


class DuplicateIdError(LetterforgeError, ValueError):
    """Two translations, or two translated OCR blocks, share one id:
    "Duplicate values for key: '<id>'"."""

    status = 4


class WriteError(LetterforgeError, OSError):
    """An image cannot be encoded or written: "Could not write <path>: <reason>"."""

    status = 5


class OutOfMemoryError(LetterforgeError, MemoryError):
    """The page or debug bitmap cannot be created."""

    status = 6


class FontError(LetterforgeError, LookupError):
    """The font the options name cannot be had: "Could not use font <font>: <reason>"."""

    status = 7


class CropError(LetterforgeError, ValueError):
    """The padded crop rectangle lies wholly outside the image: "Could not crop image"."""

    status = 1


class ManifestError(LetterforgeError, ValueError):
    """A chapter refused as a whole, with letterforge-batch's message: a manifest that cannot be
    read ("<path>: cannot be read: <reason>") or holds no job, or jobs that would write one file
    ("lines 1 and 2 both write <path>") or write a file another reads. `status` is the exit
    status letterforge-batch gives it."""

    status = 2


_BY_STATUS = {cls.status: cls for cls in (ImageError, OptionError, PayloadError,
                                          DuplicateIdError, WriteError, OutOfMemoryError,
                                          FontError)}


_NOT_FOUND = {ImageError: ImageNotFoundError, PayloadError: PayloadNotFoundError}


def exception_for(status: int, class_name: str, message: str, report: Sequence[str] = (),
                  missing_file: str = "") -> LetterforgeError:
    """The exception for a failure of the compiled module: by its class name when it gives
    one, else by the engine's status class; a FileNotFoundError too when the failure is about
    `missing_file`, a file that does not exist."""
    if class_name:
        cls = globals()[class_name]
    else:
        cls = _BY_STATUS.get(status, LetterforgeError)
    if missing_file and cls in _NOT_FOUND:
        cls = _NOT_FOUND[cls]
    error = cls(message)
    error.report = list(report)
    if isinstance(error, FileNotFoundError):
        error.errno, error.strerror = errno.ENOENT, os.strerror(errno.ENOENT)
        error.filename = missing_file
    return error
