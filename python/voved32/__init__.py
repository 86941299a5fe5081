"""voved32: photo auto-correction for NumPy arrays and Pillow images.

Pictures are ``H x W x 3`` (RGB) or ``H x W x 4`` (RGBA) uint8 arrays of any
strides, or ``H x W`` grey; at most 65535 x 65535 pixels. Every call that
runs the library releases the GIL, so threads correcting separate pictures
run in parallel.

    analyse(pixels)         what the correction would do (an Analysis)
    correct(pixels)         the one-shot correction of ``voved correct``
    convert(pixels, ...)    the streaming conversion of ``voved convert``
    Conversion(...)         the same, fed line by line
    ToneTable               tone parameter tables (``voved tone-table``)
    correct_image(image)    a Pillow image, metadata kept
    correct_file(src, dst)  a file, as ``voved correct`` writes it
    voved32.distributed     batches of files on a Dask cluster

Library failures raise VovedError (with the result ``code``); a wrong dtype
raises TypeError, a wrong shape or size ValueError.
"""

import importlib.metadata

from ._core import (NAMED_TONES, Analysis, Conversion, ToneTable, VovedError, analyse, convert,
                    correct, result_meaning, tone_hue)
from ._images import FileOutcome, camera_model, correct_file, correct_image

__all__ = [
    "NAMED_TONES", "Analysis", "Conversion", "FileOutcome", "ToneTable", "VovedError", "analyse",
    "camera_model", "convert", "correct", "correct_file", "correct_image", "result_meaning",
    "tone_hue",
]
try:
    __version__ = importlib.metadata.version("voved32")
except importlib.metadata.PackageNotFoundError:  # imported from the source tree
    __version__ = "unknown"
