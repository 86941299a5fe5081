"""NumPy pictures as the library takes them: checked, made contiguous, grey
expanded to RGB and packed back the way the tool writes grey files."""

from __future__ import annotations

from typing import Tuple

import numpy as np

MAX_EXTENT = 65535
RGB_CHANNELS = 3
RGBA_CHANNELS = 4


def as_picture(pixels: object, name: str = "pixels") -> Tuple[np.ndarray, bool]:
    """Returns ``(rgb_or_rgba, was_grey)``: a C-contiguous ``H x W x 3`` or
    ``H x W x 4`` uint8 array (the input itself when it already is one)."""
    if not isinstance(pixels, np.ndarray):
        raise TypeError(f"{name} must be a NumPy array, not {type(pixels).__name__}")
    if pixels.dtype != np.uint8:
        raise TypeError(f"{name} must have dtype uint8, not {pixels.dtype}")
    grey = pixels.ndim == 2
    if not grey and not (pixels.ndim == 3 and pixels.shape[2] in (RGB_CHANNELS, RGBA_CHANNELS)):
        raise ValueError(
            f"{name} must be H x W (grey), H x W x 3 (RGB) or H x W x 4 (RGBA); "
            f"got shape {pixels.shape}")
    height, width = pixels.shape[:2]
    if not (1 <= height <= MAX_EXTENT and 1 <= width <= MAX_EXTENT):
        raise ValueError(
            f"{name} is {width} x {height}; the library takes 1 to {MAX_EXTENT} lines "
            f"of 1 to {MAX_EXTENT} pixels")
    if grey:
        return np.repeat(pixels[:, :, np.newaxis], RGB_CHANNELS, axis=2), True
    return np.ascontiguousarray(pixels), False


def grey_of(rgb: np.ndarray) -> np.ndarray:
    """The grey of RGB pixels with the library's luminance weights,
    (5 R + 9 G + 2 B) >> 4: how a grey picture is stored again."""
    wide = rgb[..., :RGB_CHANNELS].astype(np.uint16)
    return ((5 * wide[..., 0] + 9 * wide[..., 1] + 2 * wide[..., 2]) >> 4).astype(np.uint8)
