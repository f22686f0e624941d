"""letterforge: removes the source lettering of the translated blocks of a page image and
typesets the translations into their areas, in this process.

    import letterforge
    result = letterforge.render("page.png", ocr_dict, translation_dict,
                                cleanup_mode="bubble_clean")
    result.page          # the finished page, a (height, width, 3) uint8 NumPy array
    result.png()         # the same page as PNG bytes, exactly as the letterforge program writes it
    result.report        # the report lines
    result.blocks        # what was done with each translated block (block.overflowed, ...)

Pages render with the GIL released, so threads render pages side by side, each on an engine
of its own, kept until the thread ends or calls release_engine(). letterforge.distributed
spreads the pages of chapters over a Dask cluster; render_chapter and check_chapter render and
check manifests and comic archives in this process, as letterforge-batch does.
"""

from __future__ import annotations

import json
import math
import numbers
import os
from collections.abc import Mapping
from typing import Any, Dict, List, Optional, Tuple, Union

import numpy

from . import _letterforge as _native
from ._errors import (CropError, DuplicateIdError, FontError, ImageError, ImageNotFoundError,
                      LetterforgeError, OptionError, OutOfMemoryError, PayloadError,
                      ManifestError, PayloadNotFoundError, WriteError)
from ._result import BlockResult, PageRecord, RenderResult
from ._chapter import check_chapter, render_chapter

__all__ = [
    "render", "crop", "decode_image", "image_size", "fonts", "options", "release_engine",
    "check_chapter", "render_chapter", "PageRecord", "ManifestError",
    "RenderResult", "BlockResult", "LetterforgeError", "ImageError", "ImageNotFoundError",
    "OptionError", "PayloadError", "PayloadNotFoundError", "DuplicateIdError", "WriteError",
    "OutOfMemoryError", "FontError", "CropError",
]

__version__: str = _native.version

PathArg = Union[str, "os.PathLike[str]"]
ImageSource = Union[PathArg, bytes, bytearray, memoryview, numpy.ndarray]
PayloadSource = Union[Mapping[str, Any], str, bytes, "os.PathLike[str]"]
OptionArg = Union[bool, int, float, str]

_OPTIONS: List[Tuple[str, str, str]] = _native.option_descriptions()
_OPTION_TYPES = {name: kind for name, kind, _ in _OPTIONS}


def __dir__() -> List[str]:
    # The package's own names, not the modules it imports.
    return sorted(__all__ + ["__version__", "distributed"])


def options() -> List[Tuple[str, str, str]]:
    """Every render option as (name, type, description), type being "number", "boolean" or
    "string": the options of letterforge's command line by their snake_case names, then
    fit_balloon, font, format, quality, direction and blocks."""
    return list(_OPTIONS)


def release_engine() -> bool:
    """Lets the calling thread's engine go: the fonts, their caches and the memory of the
    thread's last page (70 MB for an A4 page at 300 dpi). The thread's next render makes a new
    engine. Returns whether the thread held one."""
    return _native.release_engine()


def _type_name(value: Any) -> str:
    """A value's type as the messages of JSON documents name types."""
    if isinstance(value, Mapping):
        return "an object"
    if isinstance(value, (list, tuple)):
        return "an array"
    name = type(value).__name__
    return ("an " if name[0] in "aeiouAEIOU" else "a ") + name


def _blocks_argument(value: Any) -> str:
    """Per-block overrides as the engine takes them: a dict as JSON text; JSON text (a str
    whose first character that is not white space is "{") and a path as they are."""
    if isinstance(value, Mapping):
        try:
            return json.dumps(value, ensure_ascii=False, allow_nan=False)
        except (TypeError, ValueError, RecursionError) as error:
            raise OptionError(f"blocks: cannot be written as JSON: {error}") from None
    if isinstance(value, (str, os.PathLike)):
        return os.fsdecode(value)
    raise OptionError("blocks: expected a dict, the JSON text of one or a file's path, "
                      f"found {_type_name(value)}")


def _option_pairs(given: Mapping[str, Any]) -> List[Tuple[str, Union[bool, float, str]]]:
    """The options as (name, value) with bool, float or str values; None keeps the default;
    wrong types refused."""
    pairs: List[Tuple[str, Union[bool, float, str]]] = []
    for name, value in given.items():
        kind = _OPTION_TYPES.get(name)
        if value is None and kind is not None:
            continue
        if name == "blocks":
            value = _blocks_argument(value)
        if kind is None:
            pairs.append((name, ""))  # the engine names the unknown option
        elif isinstance(value, (bool, numpy.bool_)):
            pairs.append((name, bool(value)))
        elif isinstance(value, numbers.Real):
            try:
                pairs.append((name, float(value)))
            except OverflowError:
                raise OptionError(f"{name}: expected a number, found an integer too large "
                                  "for a float") from None
        elif isinstance(value, str):
            pairs.append((name, value))
        else:
            raise OptionError(f"{name}: expected a {kind}, found {_type_name(value)}")
    _native.check_options(pairs)
    return pairs


def _image_argument(image: ImageSource) -> Tuple[Any, str]:
    """The image as the compiled module takes it, with the name its failure gives it."""
    if isinstance(image, numpy.ndarray):
        _native.check_image_array(image)
        return image, ""
    if isinstance(image, (bytes, bytearray, memoryview)):
        data = bytes(image)
        return data, f"{len(data)} bytes"
    if isinstance(image, (str, os.PathLike)):
        path = os.fsdecode(image)
        return path, path
    raise ImageError("image: expected a path, the bytes of an image file or a uint8 array, "
                     f"found {type(image).__name__}")


def _payload_argument(document: PayloadSource, name: str) -> Tuple[bool, Union[str, bytes], str]:
    """(is a file, path or JSON text, name) of an OCR or translation document."""
    if isinstance(document, (Mapping, list)):
        try:
            return False, json.dumps(document, ensure_ascii=False, allow_nan=False), name
        except (TypeError, ValueError) as error:
            raise PayloadError(f"{name}: cannot be written as JSON: {error}") from None
        except RecursionError:
            # As the engine words JSON text nested deeper than it reads.
            raise PayloadError(f"{name}: nesting deeper than {_native.max_payload_nesting} "
                               "levels") from None
    if isinstance(document, (bytes, bytearray)):
        return False, bytes(document), name
    if isinstance(document, str) and document.lstrip().startswith(("{", "[")):
        return False, document, name
    if isinstance(document, (str, os.PathLike)):
        return True, os.fsdecode(document), ""
    raise PayloadError(f"{name}: expected a dict, JSON text or a path, "
                       f"found {type(document).__name__}")


def render(image: ImageSource, ocr: PayloadSource, translations: PayloadSource, *,
           output: Optional[PathArg] = None, debug: Union[bool, PathArg] = False,
           layers: Union[bool, PathArg] = False, **options: OptionArg) -> RenderResult:
    # The docstring is completed below with the table of options.
    option_pairs = _option_pairs(options)
    image_arg, image_name = _image_argument(image)
    ocr_arg = _payload_argument(ocr, "ocr")
    translations_arg = _payload_argument(translations, "translations")
    debug_path = None
    if isinstance(debug, (str, os.PathLike)):
        debug_path = os.fsdecode(debug)
    elif not isinstance(debug, (bool, numpy.bool_)):
        raise OptionError(f"debug: expected a boolean or a path, found {type(debug).__name__}")
    layers_path = None
    if isinstance(layers, (str, os.PathLike)):
        layers_path = os.fsdecode(layers)
    elif not isinstance(layers, (bool, numpy.bool_)):
        raise OptionError(f"layers: expected a boolean or a path, found {type(layers).__name__}")
    output_path = None if output is None else os.fsdecode(output)
    # A file name whose format cannot be written is refused before anything is rendered.
    _native.check_file_names(option_pairs, output_path or "", debug_path or "")
    native = _native.render(image_arg, image_name, ocr_arg, translations_arg, option_pairs,
                            debug_path is not None or bool(debug),
                            layers_path is not None or bool(layers))
    result = RenderResult(native)
    # The layers and the output are written whole before anything of the debug image, as
    # letterforge-batch writes them.
    if output_path is not None:
        native.save_files(output_path, debug_path or "", layers_path or "")
    else:
        if layers_path is not None:
            result.save_layers(layers_path)
        if debug_path is not None:
            result.save(debug_path, debug=True)
    return result


render.__doc__ = """Renders one page: removes the lettering of every translated block and
typesets the translations, as the letterforge program does, in this process.

image
    A path, the bytes of an image file (PNG, JPEG, WebP, TIFF or GIF), or a NumPy uint8
    array of shape (height, width, 3) RGB or (height, width, 4) RGBA, any strides;
    transparent pixels come out white. Each side 1 to 65535 pixels, at most 2**28 pixels.
ocr, translations
    The OCR and translation documents: dicts (as json.loads gives them), JSON text (a str
    beginning with "{" or "[", or bytes), or paths.
output
    When given, the page is also written there (see RenderResult.save).
debug
    True draws the debug image too (RenderResult.debug); a path also writes it there, after
    the output.
layers
    True makes the layers for editing afterwards too (RenderResult.layers); a path also
    writes them there, before the output: path.cleaned.png, path.text.png, path.mask.png and
    path.psd (see RenderResult.save_layers). A page whose layers cannot be made (a PSD holds
    at most 30000 pixels a side) raises WriteError.
**options
    By name, as below; numbers are bounded as letterforge's command line bounds them.

""" + "\n".join(f"    {name} ({kind}): {text}" for name, kind, text in _OPTIONS) + """

Returns a RenderResult. The GIL is released while the page renders; each thread renders on
an engine of its own.

Raises OptionError (unknown option, wrong type or word, an integer too large for a float),
ImageError ("Could not open image: <path>", or an array that cannot be a page), PayloadError
(the document's path or name, the place and the fault; a dict nested deeper than the engine
reads), ImageNotFoundError and PayloadNotFoundError (a file that does not exist; also
FileNotFoundError), DuplicateIdError ("Duplicate values for key: '<id>'"), FontError
("Could not use font <font>: <reason>"), WriteError ("Could not write <path>: <reason>"),
OutOfMemoryError; all subclasses of LetterforgeError. An engine failure carries the
report lines given before it in its `report`.
"""


def decode_image(image: Union[PathArg, bytes, bytearray, memoryview]) -> numpy.ndarray:
    """Decodes an image file (a path or its bytes: PNG, JPEG, WebP, TIFF or GIF, the first
    image of several) into a uint8 RGBA array of shape (height, width, 4), as the programs
    read their page images. Raises ImageError with "Could not open image: <path>"."""
    source, name = _image_argument(image)
    if isinstance(source, numpy.ndarray):
        raise ImageError("image: expected a path or the bytes of an image file, found an array")
    return _native.decode_image(source, name)


def fonts() -> List[Dict[str, Any]]:
    """Every installed font family a job's `font` option may name, in name order, as dicts:
    "family", its "styles" ("Bold", "Regular", ...) and the "scripts" at least one of its
    faces covers (Latin, Greek, Cyrillic, Arabic, Hebrew, Devanagari, Thai, Han, Hiragana,
    Katakana, Hangul, Emoji). Scripts a font lacks are still drawn, in other fonts."""
    return [{"family": family, "styles": list(styles), "scripts": list(scripts)}
            for family, styles, scripts in _native.fonts()]


def image_size(path: PathArg) -> Tuple[int, int]:
    """(width, height) of an image file (PNG, JPEG, WebP, TIFF or GIF), read from as little of
    it as its format allows. Raises ImageError with "Could not open image: <path>"."""
    if not isinstance(path, (str, os.PathLike)):
        raise ImageError(f"image: expected a path, found {type(path).__name__}")
    return _native.image_size(os.fsdecode(path))


def _crop_number(value: Any) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise CropError("Invalid crop rectangle")
    try:
        return float(value)
    except OverflowError:  # an integer beyond any float
        raise CropError("Invalid crop rectangle") from None


def _padding_ratio(value: Any) -> float:
    """The ratio as the crop takes it: not a number counts as the default, an integer beyond
    any float as infinitely large or small."""
    if not isinstance(value, numbers.Real):
        return 0.22
    try:
        return float(value)
    except OverflowError:
        return math.inf if value > 0 else -math.inf


def crop(image: ImageSource, x: float, y: float, w: float, h: float,
         padding_ratio: float = 0.22) -> numpy.ndarray:
    """Cuts the rectangle x, y, w, h (pixels, origin top-left, y down) grown by a padding out
    of an image, as the cutframe program does: the padding is padding_ratio times the
    rectangle's longer side, at least 40 pixels; sizes under 1 count as 1, a negative ratio
    as 0, and the padded rectangle is clamped to the image.

    image is a path or the bytes of an image file (only the pixels the crop needs are
    decoded where the format allows; the crop comes back as an RGBA array of shape
    (height, width, 4)), or a uint8 array of shape (height, width, 3 or 4) (the crop keeps
    its channels). The crop is a new array.

    Raises CropError ("Invalid crop rectangle" for a coordinate that is not a number, "Could
    not crop image" when the rectangle lies wholly outside the image) and ImageError ("Could
    not open image: <path>", "Could not decode image: <path>", an unusable array).
    """
    numbers_ = [_crop_number(v) for v in (x, y, w, h)]
    ratio = _padding_ratio(padding_ratio)
    source, name = _image_argument(image)
    if not isinstance(source, numpy.ndarray):
        return _native.crop_file(source, name, *numbers_, ratio)
    height, width = source.shape[:2]
    region = _native.crop_region(*numbers_, ratio, width, height)
    if region is None:
        raise CropError("Could not crop image")
    left, top, cut_width, cut_height = region
    return numpy.array(source[top:top + cut_height, left:left + cut_width], copy=True)
