"""Shared inputs: the bundled sample, pictures made from it, and the voved
tool whose output the package must reproduce."""

import os
import pathlib
import subprocess

import numpy as np
import pytest
from PIL import Image

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "samples" / "chelsea.jpg"
TONE_TABLE = ROOT / "samples" / "tone-table.json"
TOOL_TIMEOUT = 120


def pixels_of(path):
    with Image.open(path) as image:
        return image.mode, np.asarray(image)


@pytest.fixture(scope="session")
def voved():
    """Runs the tool (VOVED_TOOL, else the build of scripts/test.sh) and
    returns its standard output."""
    tool = os.environ.get("VOVED_TOOL") or str(ROOT / "build/linux/tools/voved/voved")
    if not os.access(tool, os.X_OK):
        if os.environ.get("VOVED_TOOL"):
            pytest.fail(f"VOVED_TOOL={tool} is not an executable")
        pytest.skip("the voved tool is not built (scripts/test.sh builds it)")

    def run(*args):
        return subprocess.run([tool, *map(str, args)], check=True, capture_output=True,
                              text=True, timeout=TOOL_TIMEOUT).stdout
    return run


@pytest.fixture(scope="session")
def sample():
    """The sample photo, read-only as Pillow hands it out."""
    return pixels_of(SAMPLE)[1]


@pytest.fixture(scope="session")
def pictures(tmp_path_factory, sample):
    """Files of each colour kind the tool reads: the JPEG sample, an RGBA PNG
    (alpha a diagonal ramp) and a grey PNG."""
    folder = tmp_path_factory.mktemp("pictures")
    height, width, _ = sample.shape
    ramp = ((np.arange(height)[:, None] + np.arange(width)[None, :]) % 256).astype(np.uint8)
    Image.fromarray(np.dstack([sample, ramp]), "RGBA").save(folder / "rgba.png")
    Image.open(SAMPLE).convert("L").save(folder / "grey.png")
    return {"rgb": SAMPLE, "rgba": folder / "rgba.png", "grey": folder / "grey.png"}
