"""Pillow images and files, corrected as ``voved correct`` corrects them:
the camera model from EXIF, EXIF and ICC profile kept, alpha kept where the
format stores it, grey kept grey, JPEG written at quality 92."""

from __future__ import annotations

import os
import pathlib
import tempfile
from dataclasses import dataclass
from typing import Optional, Tuple, Union

import numpy as np
from PIL import Image

from ._arrays import grey_of
from ._core import Analysis, ToneTableLike, _correct

PathLike = Union[str, os.PathLike]

_EXIF_MODEL = 0x0110
_DEFAULT_QUALITY = 92
# Output formats by file name, as the tool chooses them.
_FORMATS = {".jpg": "JPEG", ".jpeg": "JPEG", ".jpe": "JPEG", ".png": "PNG",
            ".ppm": "PPM", ".pgm": "PPM", ".pnm": "PPM"}
# A written file gets the mode of a newly created file (mkstemp makes 0600).
_NEW_FILE_MODE = 0o666


def _read_umask() -> int:
    """The process's umask, read once at import: reading it means setting
    it, which must not race with threads creating files later."""
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


_UMASK = _read_umask()

# Modes taken as they are, and modes first expanded (palettes, bilevel).
_DIRECT_MODES = ("RGB", "RGBA", "L", "LA")


@dataclass(frozen=True)
class FileOutcome:
    """What became of one file: ``status`` is "written" (corrected),
    "unchanged" (written as it was; ``reason`` says why) or "failed"
    (nothing written; ``reason`` says why)."""

    source: str
    output: Optional[str]
    status: str
    reason: str = ""


def camera_model(image: Image.Image) -> str:
    """The EXIF camera model (tag 0x0110) without trailing spaces and NULs;
    "" when the picture has none."""
    try:
        model = image.getexif().get(_EXIF_MODEL)
    except Exception:  # a damaged EXIF block reads as none, as in the tool
        return ""
    if isinstance(model, bytes):
        model = model.decode("latin-1")
    if not isinstance(model, str):
        return ""
    return model.rstrip(" \0").split("\0", 1)[0]


def _library_mode(image: Image.Image) -> Image.Image:
    if image.mode in _DIRECT_MODES:
        return image
    if image.mode in ("P", "PA"):
        has_alpha = image.mode == "PA" or "transparency" in image.info
        return image.convert("RGBA" if has_alpha else "RGB")
    if image.mode == "1":
        return image.convert("L")
    raise ValueError(f"pictures of mode {image.mode} are not supported; convert to RGB first")


def _correct_image(image: Image.Image, colour: bool, tone_table: ToneTableLike,
                   camera: Optional[str]) -> Tuple[Image.Image, Analysis]:
    if not isinstance(image, Image.Image):
        raise TypeError(f"image must be a PIL.Image.Image, not {type(image).__name__}")
    source = _library_mode(image)
    pixels = np.asarray(source)
    if source.mode == "LA":  # grey with alpha: the library takes it as RGBA
        pixels = np.dstack([pixels[..., 0]] * 3 + [pixels[..., 1]])
    model = camera if camera is not None else camera_model(image)
    corrected, analysis = _correct(pixels, colour, tone_table, model, None)
    if source.mode == "LA":
        corrected = np.dstack([grey_of(corrected), corrected[..., 3]])
    result = Image.fromarray(corrected, source.mode)
    for key in ("exif", "icc_profile"):
        if key in image.info:
            result.info[key] = image.info[key]
    return result, analysis


def correct_image(image: Image.Image, *, colour: bool = True, tone_table: ToneTableLike = None,
                  camera: Optional[str] = None) -> Image.Image:
    """Corrects a Pillow image and returns a new one of the same mode (a
    palette picture comes back as RGB or RGBA), carrying the input's EXIF
    block and ICC profile in ``info``. The camera model is read from the
    EXIF block unless ``camera`` is given."""
    return _correct_image(image, colour, tone_table, camera)[0]


def _save_options(image: Image.Image, file_format: str, quality: int) -> dict:
    options = {}
    if file_format in ("JPEG", "PNG"):
        for key in ("exif", "icc_profile"):
            if image.info.get(key):
                options[key] = image.info[key]
    if file_format == "JPEG":
        options["quality"] = quality
    return options


def _storable(image: Image.Image, file_format: str, path: pathlib.Path) -> Image.Image:
    """The image in a mode the format stores: PNG keeps everything; JPEG and
    PPM/PGM drop alpha; a .pgm name stores grey (the library's grey of each
    pixel), a .ppm name colour."""
    if file_format == "PNG":
        return image
    suffix = path.suffix.lower()
    grey = suffix == ".pgm" or (image.mode in ("L", "LA") and suffix != ".ppm")
    if grey and image.mode in ("RGB", "RGBA"):
        return Image.fromarray(grey_of(np.asarray(image)), "L")
    wanted = "L" if grey else "RGB"
    return image if image.mode == wanted else image.convert(wanted)


def output_format(path: PathLike) -> str:
    """The Pillow format for an output name; ``ValueError`` for an unknown
    extension."""
    suffix = pathlib.Path(path).suffix.lower()
    if suffix not in _FORMATS:
        raise ValueError(f"{os.fspath(path)}: unknown output format (use .jpg, .png, .ppm "
                         "or .pgm)")
    return _FORMATS[suffix]


def _write(image: Image.Image, destination: pathlib.Path, quality: int) -> None:
    """Writes through a temporary file in the target folder, so that a
    failed write leaves no half file behind."""
    file_format = output_format(destination)
    stored = _storable(image, file_format, destination)
    handle, temporary = tempfile.mkstemp(prefix=".voved32-", dir=destination.parent or ".")
    try:
        with os.fdopen(handle, "wb") as file:
            stored.save(file, format=file_format, **_save_options(image, file_format, quality))
        os.chmod(temporary, _NEW_FILE_MODE & ~_UMASK)
        os.replace(temporary, destination)
    except BaseException:
        os.unlink(temporary)
        raise


def correct_file(source: PathLike, destination: PathLike, *, colour: bool = True,
                 tone_table: ToneTableLike = None, camera: Optional[str] = None,
                 quality: int = _DEFAULT_QUALITY) -> FileOutcome:
    """Reads a picture file with Pillow, corrects it and writes it to
    ``destination`` (format by extension: JPEG at ``quality``, PNG, PPM/PGM),
    keeping EXIF, ICC profile and (in PNG) alpha. Returns a
    :class:`FileOutcome`; errors raise."""
    source, destination = pathlib.Path(source), pathlib.Path(destination)
    output_format(destination)
    if not 1 <= quality <= 100:
        raise ValueError(f"quality runs from 1 to 100, not {quality}")
    with Image.open(source) as image:
        image.load()
        corrected, analysis = _correct_image(image, colour, tone_table, camera)
    _write(corrected, destination, quality)
    status = "written" if analysis.corrects else "unchanged"
    reason = analysis.explanation if analysis.explanation else (
        "" if analysis.corrects else analysis.result_meaning)
    return FileOutcome(os.fspath(source), os.fspath(destination), status, reason)
