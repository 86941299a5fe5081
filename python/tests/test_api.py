"""The package's own promises: clear errors for bad input, threads giving
the serial results, metadata kept in files."""

import concurrent.futures
import json

import numpy as np
import pytest
from PIL import Image

import voved32
from conftest import SAMPLE, TONE_TABLE

TILE = np.zeros((4, 4, 3), np.uint8)
COMPILED = voved32.ToneTable.from_file(TONE_TABLE).to_bytes()


def _overfed():
    with voved32.Conversion(4, 1) as conversion:
        conversion.feed(TILE[0])
        conversion.feed(TILE[1])


def _correct_unanalysed():
    with voved32.Conversion(4, 4, correct=True) as conversion:
        conversion.feed(TILE[0])


def _fed_after_close():
    conversion = voved32.Conversion(4, 4, sharpen=0)
    conversion.feed(TILE[0])
    conversion.close()
    conversion.feed(TILE[1])


BAD_CALLS = [
    ("float pixels", lambda: voved32.correct(TILE.astype(float)), TypeError, "uint8"),
    ("a list", lambda: voved32.analyse([[0, 0, 0]]), TypeError, "NumPy"),
    ("two channels", lambda: voved32.correct(np.zeros((4, 4, 2), np.uint8)), ValueError, "H x W"),
    ("too wide", lambda: voved32.correct(np.broadcast_to(TILE[:1, :1], (1, 65536, 3))),
     ValueError, "65535"),
    ("empty", lambda: voved32.analyse(TILE[:0]), ValueError, "65535"),
    ("out of another shape", lambda: voved32.correct(TILE, out=TILE[:2]), ValueError, "shape"),
    ("read-only out", lambda: voved32.correct(TILE, out=np.broadcast_to(TILE, TILE.shape)),
     ValueError, "read-only"),
    ("nothing asked", lambda: voved32.correct(TILE, colour=False), ValueError, "nothing to do"),
    ("truncated table", lambda: voved32.ToneTable.from_bytes(COMPILED[:-3]), ValueError, ""),
    ("damaged table", lambda: voved32.ToneTable.from_bytes(COMPILED[:-1] + b"\xff"), ValueError,
     ""),
    ("unknown table field", lambda: voved32.ToneTable.from_json('{"zonez": []}'), ValueError,
     "zonez"),
    ("unknown tone", lambda: voved32.convert(TILE, tone="purple"), ValueError, "sepia"),
    ("hue out of range", lambda: voved32.convert(TILE, tone=360), ValueError, "0..359"),
    ("sharpen out of range", lambda: voved32.convert(TILE, sharpen=4), ValueError, "-1"),
    ("width without scale", lambda: voved32.convert(TILE, sharpen=0, output_width=4), ValueError,
     "together"),
    ("grey and tone", lambda: voved32.convert(TILE, grey=True, tone=10), ValueError, "exclude"),
    ("a step that would be dropped", lambda: voved32.convert(TILE, sharpen=0, denoise=True),
     ValueError, "convert twice"),
    ("a table that would be dropped",
     lambda: voved32.convert(TILE, tone=10, tone_table=COMPILED), ValueError, "convert twice"),
    ("a line too many", _overfed, ValueError, "no more"),
    ("correct without statistics", _correct_unanalysed, ValueError, "statistics"),
    ("fed after close", _fed_after_close, voved32.VovedError, "step failed"),
    ("unknown output format", lambda: voved32.correct_file(SAMPLE, "x.gif"), ValueError, ".png"),
]


@pytest.mark.parametrize("call,error,words", [c[1:] for c in BAD_CALLS],
                         ids=[c[0] for c in BAD_CALLS])
def test_bad_input_is_refused_in_words(call, error, words):
    with pytest.raises(error, match=words):
        call()


def test_threads_give_the_serial_results(sample):
    """Four threads on separate pictures, the library running without the GIL."""
    alpha = np.full(sample.shape[:2] + (1,), 200, np.uint8)
    pictures = [sample, np.fliplr(sample), sample.transpose(1, 0, 2), np.dstack([sample, alpha])]
    jobs = [(voved32.correct, {}), (voved32.convert, {"sharpen": 0, "tone": "gold"})]
    serial = [[job(p, **options) for p in pictures] for job, options in jobs]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        for (job, options), expected in zip(jobs, serial):
            for _ in range(3):
                results = list(pool.map(lambda p: job(p, **options), pictures))
                for got, want in zip(results, expected):
                    np.testing.assert_array_equal(got, want)


def test_files_keep_exif_icc_and_the_camera(voved, sample, tmp_path):
    exif = Image.Exif()
    exif[0x0110] = "Test Camera 9  "
    profile = Image.open(SAMPLE).info.get("icc_profile") or b"\0" * 128
    source = tmp_path / "tagged.jpg"
    Image.fromarray(sample).save(source, quality=95, exif=exif.tobytes(), icc_profile=profile)
    report = json.loads(voved("analyse", "--json", source))
    report = report[0] if isinstance(report, list) else report
    with Image.open(source) as image:
        assert voved32.camera_model(image) == report["camera"] == "Test Camera 9"
        tags = image.info["exif"]
    for name in ("out.jpg", "out.png"):
        voved32.correct_file(source, tmp_path / name)
        with Image.open(tmp_path / name) as written:
            written.load()
            assert written.info.get("icc_profile") == profile, name
            assert written.getexif().get(0x0110) == "Test Camera 9  ", name
            if name.endswith(".jpg"):
                assert written.info["exif"] == tags
