"""The library's jobs on NumPy arrays: analyse, correct, convert, the
streaming Conversion, tone tables and errors."""

from __future__ import annotations

import collections
import json
import os
from dataclasses import dataclass, field
from typing import Any, Deque, Dict, List, Mapping, Optional, Tuple, Union

import numpy as np

from . import _native
from ._arrays import RGB_CHANNELS, RGBA_CHANNELS, as_picture, grey_of

#: The tool's named tones (``voved convert --tone NAME``), as hues in degrees.
NAMED_TONES: Mapping[str, int] = {
    "sepia": 146, "gold": 160, "selenium": 79, "cyanotype": 330, "green": 225,
}

_HUES = 360
_SHARPEN_LEVELS = range(-1, 4)
# Calls allowed per working line before a conversion that never completes
# is given up (as the tool does).
_CALLS_PER_LINE = 4
_SPARE_CALLS = 16


class VovedError(RuntimeError):
    """A failure reported by the library: ``code`` is its result code (or a
    step code of a conversion) and ``meaning`` says it in words."""

    def __init__(self, code: int, message: str):
        super().__init__(message)
        self.code = code
        self.meaning = message


def _library_call(function, *args):
    try:
        return function(*args)
    except _native.LibraryFailure as failure:
        code, message = failure.args
        raise VovedError(code, message) from None


def result_meaning(code: int) -> str:
    """One sentence for a library result code (0, -1 .. -5)."""
    return _native.result_meaning(code)


class ToneTable:
    """A checked tone parameter table, in the library's binary form.

    Build one with :meth:`from_json` (the JSON form of ``voved tone-table
    compile``) or :meth:`from_bytes` (a compiled table); a table that could
    make the library read outside it is refused with ``ValueError``."""

    __slots__ = ("_bytes",)

    def __init__(self, data: bytes):
        _native.check_tone_table(bytes(data))
        self._bytes = bytes(data)

    @classmethod
    def from_bytes(cls, data: bytes) -> "ToneTable":
        """A compiled table (as ``voved tone-table compile`` writes it)."""
        return cls(data)

    @classmethod
    def from_json(cls, description: Union[str, Mapping[str, Any]]) -> "ToneTable":
        """A table from its JSON description (text, or the parsed object)."""
        text = description if isinstance(description, str) else json.dumps(description)
        return cls(_native.tone_table_from_json(text))

    @classmethod
    def from_file(cls, path: Union[str, os.PathLike]) -> "ToneTable":
        """A table file in either form (JSON when it starts with ``{``)."""
        with open(path, "rb") as file:
            data = file.read()
        if data.lstrip().startswith(b"{"):
            return cls.from_json(data.decode("utf-8"))
        return cls(data)

    def to_bytes(self) -> bytes:
        """The binary form the library reads."""
        return self._bytes

    def to_json(self) -> str:
        """The JSON description (as ``voved tone-table dump`` prints it)."""
        return _native.tone_table_to_json(self._bytes)

    def __eq__(self, other: object) -> bool:
        return isinstance(other, ToneTable) and other._bytes == self._bytes

    def __hash__(self) -> int:
        return hash(self._bytes)

    def __repr__(self) -> str:
        return f"ToneTable({len(self._bytes)} bytes)"


ToneTableLike = Union[ToneTable, bytes, None]


def _table_bytes(tone_table: ToneTableLike) -> Optional[bytes]:
    if tone_table is None:
        return None
    if isinstance(tone_table, ToneTable):
        return tone_table.to_bytes()
    if isinstance(tone_table, (bytes, bytearray)):
        return ToneTable(bytes(tone_table)).to_bytes()
    raise TypeError(f"tone_table must be a ToneTable or bytes, not {type(tone_table).__name__}")


def _readonly(values: Optional[List[int]], dtype) -> Optional[np.ndarray]:
    if values is None:
        return None
    array = np.array(values, dtype=dtype)
    array.setflags(write=False)
    return array


@dataclass(frozen=True, eq=False)
class Analysis:
    """What the analysis of one picture found (as ``voved analyse`` reports it).

    Levels are luminance levels 0..255; casts are mean (R-Y, B-Y) pairs; the
    saturation gain and the colour matrix count 1024 as 1.0; the tone curve
    maps input levels 0..299 to output levels. Fields the analysis did not
    reach are ``None``."""

    result: int
    result_meaning: str
    explanation: str
    width: int
    height: int
    camera: str
    black_level: Optional[int]
    white_level: Optional[int]
    shadow_cast: Optional[Tuple[float, float]]
    white_colour: Optional[Tuple[float, float]]
    saturation_gain: int
    scene_class: int
    scene_meaning: str
    correction_type: int
    correction_meaning: str
    colour_matrix: Optional[np.ndarray] = field(repr=False)  # 3 x 3, on (R-Y, B-Y, Y)
    tone_curve: Optional[np.ndarray] = field(repr=False)  # 300 levels
    highlight_level: int = 0
    tone_table: Optional[np.ndarray] = field(default=None, repr=False)  # 256 bytes, when built
    luminance_histogram: Optional[np.ndarray] = field(default=None, repr=False)
    file: Optional[str] = None

    @property
    def corrects(self) -> bool:
        """True when a correction (colour, or the tone table only) applies."""
        return self.result in (0, -5)

    @classmethod
    def _from_report(cls, report: Mapping[str, Any], file: Optional[str] = None) -> "Analysis":
        matrix = _readonly(report["colour_matrix"], np.int16)
        return cls(
            result=report["result"], result_meaning=report["result_meaning"],
            explanation=report["explanation"], width=report["width"], height=report["height"],
            camera=report["camera"], black_level=report["black_level"],
            white_level=report["white_level"], shadow_cast=report["shadow_cast"],
            white_colour=report["white_colour"], saturation_gain=report["saturation_gain"],
            scene_class=report["scene_class"], scene_meaning=report["scene_meaning"],
            correction_type=report["correction_type"],
            correction_meaning=report["correction_meaning"],
            colour_matrix=None if matrix is None else matrix.reshape(3, 3),
            tone_curve=_readonly(report["tone_curve"], np.int16),
            highlight_level=report["highlight_level"],
            tone_table=_readonly(report["tone_table"], np.uint8),
            luminance_histogram=_readonly(report["luminance_histogram"], np.uint64),
            file=file)

    def as_dict(self) -> Dict[str, Any]:
        """The analysis with the keys and layout of ``voved analyse --json``."""

        def cast(pair):
            return None if pair is None else {"ry": pair[0], "by": pair[1]}

        def listed(array):
            return None if array is None else array.reshape(-1).tolist()

        return {
            "file": self.file, "width": self.width, "height": self.height,
            "camera": self.camera or None, "result": self.result,
            "resultMeaning": self.result_meaning, "explanation": self.explanation,
            "blackLevel": self.black_level, "whiteLevel": self.white_level,
            "shadowCast": cast(self.shadow_cast), "whiteColour": cast(self.white_colour),
            "saturationGain": self.saturation_gain,
            "sceneClass": {"code": self.scene_class, "meaning": self.scene_meaning},
            "correctionType": {"code": self.correction_type,
                               "meaning": self.correction_meaning},
            "colourMatrix": listed(self.colour_matrix), "toneCurve": listed(self.tone_curve),
            "highlightLevel": self.highlight_level, "toneTable": listed(self.tone_table),
            "luminanceHistogram": listed(self.luminance_histogram),
        }


def _analysis_settings(colour: bool, tone_table: ToneTableLike, camera: Optional[str]):
    table = _table_bytes(tone_table)
    if not colour and table is None:
        raise ValueError("colour=False without a tone_table leaves nothing to do")
    if camera is not None and not isinstance(camera, str):
        raise TypeError(f"camera must be a string, not {type(camera).__name__}")
    return bool(colour), table, camera or ""


def analyse(pixels: np.ndarray, *, colour: bool = True, camera: Optional[str] = None,
            tone_table: ToneTableLike = None) -> Analysis:
    """Analyses a picture without changing it.

    ``pixels``: ``H x W x 3`` (RGB) or ``H x W x 4`` (RGBA, alpha ignored)
    uint8, any strides; ``H x W`` is grey. ``camera`` is the camera model
    given to the camera-properties plug-in; ``tone_table`` asks for the tone
    table too; ``colour=False`` asks for the tone table only."""
    picture, _ = as_picture(pixels)
    settings = _analysis_settings(colour, tone_table, camera)
    return Analysis._from_report(_library_call(_native.analyse, picture, *settings))


def _correct(pixels: np.ndarray, colour: bool, tone_table: ToneTableLike,
             camera: Optional[str], out: Optional[np.ndarray]) -> Tuple[np.ndarray, Analysis]:
    picture, grey = as_picture(pixels)
    settings = _analysis_settings(colour, tone_table, camera)
    if out is not None:
        if not isinstance(out, np.ndarray) or out.dtype != np.uint8:
            raise TypeError("out must be a uint8 NumPy array")
        if out.shape != pixels.shape:
            raise ValueError(f"out has shape {out.shape}; the picture has {pixels.shape}")
        if not out.flags.writeable:
            raise ValueError("out is read-only")
    direct = out is not None and not grey and out.flags.c_contiguous
    target = out if direct else np.empty_like(picture)
    report = _library_call(_native.correct, picture, target, *settings)
    result = grey_of(target) if grey else target
    if out is not None and not direct:
        out[...] = result
        result = out
    return result, Analysis._from_report(report)


def correct(pixels: np.ndarray, *, colour: bool = True, tone_table: ToneTableLike = None,
            camera: Optional[str] = None, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Corrects a picture as ``voved correct`` does: statistics over every
    line, the analysis, then the correction line by line.

    Returns the corrected picture in the input's shape (a grey picture stays
    grey; alpha is kept). ``out=pixels`` corrects in place; any other ``out``
    of the same shape receives the result. A picture with nothing to correct
    comes back unchanged (see :func:`analyse` for why)."""
    return _correct(pixels, colour, tone_table, camera, out)[0]


def tone_hue(tone: Union[int, str, None]) -> Optional[int]:
    """A hue in degrees 0..359 from a hue or one of :data:`NAMED_TONES`."""
    if tone is None:
        return None
    if isinstance(tone, str):
        if tone in NAMED_TONES:
            return NAMED_TONES[tone]
        raise ValueError(f"unknown tone {tone!r}: give a hue 0..359 or one of "
                         + ", ".join(NAMED_TONES))
    if isinstance(tone, (int, np.integer)) and not isinstance(tone, bool) and 0 <= tone < _HUES:
        return int(tone)
    raise ValueError(f"tone must be a hue 0..359 or a name, not {tone!r}")


def _refuse_dropped_steps(shapes: bool, denoise: bool, table: bool) -> None:
    """One conversion sharpens or tones, or filters noise, or applies a tone
    table; asking for more would silently drop a step, as the tool refuses."""
    if shapes and denoise:
        raise ValueError("denoise cannot go with sharpen, tone or grey in one conversion: "
                         "convert twice, denoise first")
    if shapes and table:
        raise ValueError("tone_table cannot go with sharpen, tone or grey in one conversion: "
                         "convert twice, tone_table first")


class Conversion:
    """A streaming conversion (sharpen, tone, denoise, correct) fed one line
    at a time, for pictures too large to hold::

        with voved32.Conversion(width, height, sharpen=0) as conversion:
            for line in lines:                  # W x 3 (or W x 4) uint8
                for done in conversion.feed(line):
                    write(done)

    Output lines come in order, lagging the input by up to two lines; every
    output line is delivered by the time the last input line is fed.
    With ``correct=True`` or a ``tone_table``, every line must first go
    through :meth:`add_statistics` (a first pass over the picture)."""

    def __init__(self, width: int, height: int, channels: int = RGB_CHANNELS, *,
                 output_width: Optional[int] = None, resolution_scale: Optional[int] = None,
                 sharpen: Optional[int] = None, tone: Union[int, str, None] = None,
                 grey: bool = False, denoise: bool = False, correct: bool = False,
                 tone_table: ToneTableLike = None, camera: Optional[str] = None):
        if (output_width is None) != (resolution_scale is None):
            raise ValueError("output_width and resolution_scale go together")
        if output_width is not None and sharpen is None:
            raise ValueError("the working size (output_width) only applies with sharpen")
        if sharpen is not None and sharpen not in _SHARPEN_LEVELS:
            raise ValueError(f"sharpen runs from -1 (strongest) to 3 (gentlest), not {sharpen}")
        if grey and tone is not None:
            raise ValueError("grey and tone exclude each other")
        _refuse_dropped_steps(sharpen is not None or tone is not None or grey, denoise,
                              tone_table is not None)
        if output_width is not None and correct:
            raise ValueError("correct works at the picture's own size: it takes no output_width")
        self._hue = -1 if grey else tone_hue(tone)
        self._table = _table_bytes(tone_table)
        self._camera = camera or ""
        self._colour = bool(correct)
        self._sharpen = sharpen
        self._sizes = (int(output_width or 0), int(resolution_scale or 0))
        self._mode = ((_native.MODE_SHARPEN if sharpen is not None else 0)
                      | (_native.MODE_TONE if self._hue is not None else 0)
                      | (_native.MODE_DENOISE if denoise else 0)
                      | (_native.MODE_CORRECT if correct else 0)
                      | (_native.MODE_BYTE_TABLE if self._table is not None else 0))
        self._context = _native.StreamContext(width, height, channels)
        self.width, self.height, self.channels = width, height, channels
        self.analysis: Optional[Analysis] = None
        self.mode: Optional[int] = None  # the mode in force once started; 0: copied
        self._analysed_lines = 0
        self._presented = 0
        self._delivered = 0
        self._calls = 0
        self._done = False
        self._pending: Deque[np.ndarray] = collections.deque()
        self._output = np.zeros((1, width, channels), np.uint8)
        self._line: Optional[np.ndarray] = None

    def __enter__(self) -> "Conversion":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        """Releases the conversion's buffers (also done by ``with``)."""
        self._context.close()

    @property
    def needs_statistics(self) -> bool:
        """True when the mode corrects or applies a tone table."""
        return bool(self._mode & (_native.MODE_CORRECT | _native.MODE_BYTE_TABLE))

    def _lines(self, lines: np.ndarray) -> np.ndarray:
        if not isinstance(lines, np.ndarray) or lines.dtype != np.uint8:
            raise TypeError("lines must be uint8 NumPy arrays")
        if lines.ndim == 2:
            lines = lines[np.newaxis]
        if lines.ndim != 3 or lines.shape[1:] != (self.width, self.channels):
            raise ValueError(f"a line has {self.width} pixels of {self.channels} bytes; "
                             f"got shape {lines.shape}")
        return np.ascontiguousarray(lines)

    def add_statistics(self, lines: np.ndarray) -> None:
        """Adds lines (``W x C`` or ``N x W x C``) to the statistics of the
        first pass; every line of the picture, before the first feed."""
        if self.mode is not None:
            raise ValueError("the statistics come before the first line is fed")
        lines = self._lines(lines)
        self._analysed_lines += lines.shape[0]
        if self._analysed_lines > self.height:
            raise ValueError(f"more than {self.height} lines of statistics")
        _library_call(self._context.add_statistics, lines)

    def _start(self) -> None:
        if self.needs_statistics:
            if self._analysed_lines != self.height:
                raise ValueError(f"correct and tone_table need the statistics of all "
                                 f"{self.height} lines first ({self._analysed_lines} given)")
            self.analysis = Analysis._from_report(_library_call(
                self._context.analyse, self._colour, self._table, self._camera))
        self.mode = self._mode and _library_call(self._context.open, *self._sizes, self._mode)
        work_lines = self._context.work_lines() if self.mode else 0
        self._limit = _CALLS_PER_LINE * (self.height + work_lines) + _SPARE_CALLS

    def feed(self, line: np.ndarray) -> List[np.ndarray]:
        """Presents the next input line (``W x C`` uint8); returns the output
        lines (``W x C``) that became ready, possibly none."""
        if self.mode is None:
            self._start()
        line = self._lines(line)
        if self._presented == self.height:
            raise ValueError(f"the picture has {self.height} lines; no more can be fed")
        self._presented += 1
        if not self.mode:
            self._delivered += 1
            return [line[0].copy()]
        if self.channels == RGBA_CHANNELS:
            self._pending.append(line[0, :, 3].copy())
        self._line = line
        return self._run()

    def _run(self) -> List[np.ndarray]:
        ready: List[np.ndarray] = []
        while True:
            self._calls += 1
            if self._calls > self._limit:
                raise VovedError(_native.STEP_FAILED, "the conversion did not complete")
            code = self._context.step(self._line, self._output, self._hue
                                      if self._hue is not None else -1, self._sharpen or 0)
            if code & _native.STEP_FAILED:
                raise VovedError(code, f"the conversion failed at output line "
                                 f"{self._delivered}: {_native.step_meaning(code)}")
            if code & _native.STEP_OUTPUT:
                ready.append(self._deliver())
            if code & _native.STEP_LAST:
                self._done = True
                return ready
            if code & _native.STEP_TAKEN and self._presented < self.height:
                return ready

    def _deliver(self) -> np.ndarray:
        if self._delivered == self.height:
            raise VovedError(_native.STEP_FAILED,
                             "the conversion delivered more lines than the picture has")
        done = self._output[0].copy()
        if self.channels == RGBA_CHANNELS:
            if not self._pending:
                raise VovedError(_native.STEP_FAILED, "an output line came before its input")
            done[:, 3] = self._pending.popleft()
        self._delivered += 1
        return done

    def finish(self) -> None:
        """Checks that the conversion is complete: every line fed and every
        output line delivered."""
        if self._presented != self.height:
            raise ValueError(f"{self._presented} of {self.height} lines were fed")
        if self._delivered != self.height:
            raise VovedError(_native.STEP_FAILED, f"the conversion delivered {self._delivered} "
                             f"of {self.height} lines")


def convert(pixels: np.ndarray, *, output_width: Optional[int] = None,
            resolution_scale: Optional[int] = None, sharpen: Optional[int] = None,
            tone: Union[int, str, None] = None, grey: bool = False, denoise: bool = False,
            correct: bool = False, tone_table: ToneTableLike = None,
            camera: Optional[str] = None) -> np.ndarray:
    """The streaming conversion of ``voved convert`` on a whole picture.

    ``sharpen`` -1 (strongest) .. 3 (gentlest); ``tone`` a hue 0..359 or a
    name of :data:`NAMED_TONES`; ``grey`` makes the picture grey;
    ``denoise`` filters chroma noise; ``correct`` adds the colour
    correction. ``output_width`` with ``resolution_scale`` choose the
    working size of the sharpening. A grey picture stays grey unless toned
    in colour; alpha is kept."""
    picture, was_grey = as_picture(pixels)
    height, width, channels = picture.shape
    out = np.empty_like(picture)
    with Conversion(width, height, channels, output_width=output_width,
                    resolution_scale=resolution_scale, sharpen=sharpen, tone=tone, grey=grey,
                    denoise=denoise, correct=correct, tone_table=tone_table,
                    camera=camera) as conversion:
        if conversion.needs_statistics:
            conversion.add_statistics(picture)
        row = 0
        for y in range(height):
            for done in conversion.feed(picture[y]):
                out[row] = done
                row += 1
        conversion.finish()
    toned_in_colour = conversion._hue is not None and conversion._hue >= 0
    return grey_of(out) if was_grey and not toned_in_colour else out
