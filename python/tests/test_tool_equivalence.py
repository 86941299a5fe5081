"""The package against the voved tool: the same pixels from correct and
convert, the same analysis, the same tone tables."""

import json

import numpy as np
import pytest

import voved32
from conftest import SAMPLE, TONE_TABLE, pixels_of

WITH_TABLE = ({"tone_table": voved32.ToneTable.from_file(TONE_TABLE)},
              ["--tone-table", TONE_TABLE])
TABLE_ONLY = ({"colour": False, **WITH_TABLE[0]}, ["--no-colour", *WITH_TABLE[1]])
CORRECT_OPTIONS = [({}, []), WITH_TABLE, TABLE_ONLY]


@pytest.mark.parametrize("kind", ["rgb", "rgba", "grey"])
@pytest.mark.parametrize("options,flags", CORRECT_OPTIONS)
def test_correct_file_gives_the_tools_picture(voved, pictures, tmp_path, kind, options, flags):
    voved("correct", pictures[kind], "-o", tmp_path / "tool.png", *flags)
    outcome = voved32.correct_file(pictures[kind], tmp_path / "ours.png", **options)
    assert outcome.status in ("written", "unchanged")
    tool_mode, tool = pixels_of(tmp_path / "tool.png")
    mode, ours = pixels_of(tmp_path / "ours.png")
    assert mode == tool_mode
    np.testing.assert_array_equal(ours, tool)


def _layouts(sample):
    """The sample in every layout a caller may hand over."""
    wide = np.zeros((sample.shape[0], 2 * sample.shape[1], 4), np.uint8)
    wide[:, ::2, :3] = sample
    return {
        "read-only": sample,
        "Fortran order": np.asfortranarray(sample),
        "strided view": wide[:, ::2, :3],
        "negative strides": np.flipud(np.flipud(sample).copy()),
    }


def test_correct_gives_the_tools_pixels_in_any_layout(voved, sample, tmp_path):
    voved("correct", SAMPLE, "-o", tmp_path / "tool.png")
    tool = pixels_of(tmp_path / "tool.png")[1]
    for name, pixels in _layouts(sample).items():
        np.testing.assert_array_equal(voved32.correct(pixels), tool, err_msg=name)
        if name == "read-only":
            continue
        into = voved32.correct(pixels, out=pixels)
        assert into is pixels, name
        np.testing.assert_array_equal(pixels, tool, err_msg=f"{name}, in place")


def _assert_same(ours, theirs, where="$"):
    """Equal JSON values; numbers to within the tool's rounding."""
    if isinstance(theirs, dict):
        assert ours.keys() == theirs.keys(), where
        for key in theirs:
            _assert_same(ours[key], theirs[key], f"{where}.{key}")
    elif isinstance(theirs, list):
        assert len(ours) == len(theirs), where
        for i, (a, b) in enumerate(zip(ours, theirs)):
            _assert_same(a, b, f"{where}[{i}]")
    elif isinstance(theirs, float) or isinstance(ours, float):
        assert ours == pytest.approx(theirs, abs=0.05), where
    else:
        assert ours == theirs, where


@pytest.mark.parametrize("options,flags", CORRECT_OPTIONS)
def test_analysis_as_dict_is_the_tools_json(voved, sample, options, flags):
    report = json.loads(voved("analyse", "--json", SAMPLE, *flags))
    report = report[0] if isinstance(report, list) else report
    ours = voved32.analyse(sample, **options).as_dict()
    ours["file"] = report["file"]
    _assert_same(ours, report)


CONVERSIONS = [
    ({"sharpen": 0}, ["--sharpen", "0"]),
    ({"sharpen": -1, "output_width": 4, "resolution_scale": 100},
     ["--sharpen", "-1", "--output-width", "4", "--resolution-scale", "100"]),
    ({"sharpen": 3, "correct": True}, ["--sharpen", "3", "--correct"]),
    ({"tone": "sepia", "correct": True}, ["--tone", "sepia", "--correct"]),
    ({"grey": True}, ["--grey"]),
    ({"denoise": True}, ["--denoise"]),
    ({"correct": True}, ["--correct"]),
    ({"correct": True, **WITH_TABLE[0]}, ["--correct", *WITH_TABLE[1]]),
    ({"denoise": True, "correct": True, **WITH_TABLE[0]},
     ["--denoise", "--correct", *WITH_TABLE[1]]),
]


def _stream(pixels, options):
    """Feeds a picture through a Conversion one line at a time."""
    height, width, channels = pixels.shape
    delivered = []
    with voved32.Conversion(width, height, channels, **options) as conversion:
        if conversion.needs_statistics:
            for line in pixels:
                conversion.add_statistics(line)
        for line in pixels:
            delivered += conversion.feed(line)
        conversion.finish()
    return np.stack(delivered)


@pytest.mark.parametrize("kind", ["rgb", "rgba", "grey"])
@pytest.mark.parametrize("options,flags", CONVERSIONS)
def test_streaming_conversion_gives_the_tools_picture(voved, pictures, tmp_path, kind, options,
                                                      flags):
    voved("convert", pictures[kind], tmp_path / "tool.png", *flags)
    pixels = pixels_of(pictures[kind])[1]
    tool = pixels_of(tmp_path / "tool.png")[1]
    np.testing.assert_array_equal(voved32.convert(pixels, **options), tool)
    if pixels.ndim == 3:  # Conversion takes RGB or RGBA lines
        np.testing.assert_array_equal(_stream(pixels, options), tool)


def test_tone_tables_are_the_tools(voved, tmp_path):
    voved("tone-table", "compile", TONE_TABLE, tmp_path / "table.bin")
    compiled = (tmp_path / "table.bin").read_bytes()
    table = voved32.ToneTable.from_json(TONE_TABLE.read_text())
    assert table.to_bytes() == compiled
    dump = voved("tone-table", "dump", tmp_path / "table.bin")
    assert json.loads(table.to_json()) == json.loads(dump[dump.index("{"):])
    assert voved32.ToneTable.from_bytes(compiled) == table
