"""Batches on a Dask cluster of two worker processes (loopback only)."""

import faulthandler
import shutil

import pytest

import voved32

distributed = pytest.importorskip("distributed")
from voved32.distributed import correct_files  # noqa: E402

# The whole test may take this long before the process is stopped with a
# traceback: a stuck cluster must not hang the test run.
DEADLINE_SECONDS = 180
GATHER_SECONDS = 120


@pytest.fixture
def client():
    faulthandler.dump_traceback_later(DEADLINE_SECONDS, exit=True)
    try:
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      host="127.0.0.1", dashboard_address=None) as cluster:
            with distributed.Client(cluster, timeout=60) as connected:
                yield connected
    finally:
        faulthandler.cancel_dump_traceback_later()


def test_workers_write_what_correct_file_writes(client, pictures, tmp_path):
    broken = tmp_path / "broken.jpg"
    broken.write_bytes(b"\xff\xd8 not a picture")
    (tmp_path / "again").mkdir()
    twin = shutil.copy(pictures["rgb"], tmp_path / "again")
    good = [pictures["rgb"], pictures["rgba"], pictures["grey"]]
    outcomes = correct_files([*good, broken, twin], tmp_path / "out", client=client,
                             timeout=GATHER_SECONDS, quality=90)
    # A grey picture has no colour to correct: it is written as it was.
    assert [o.status for o in outcomes[:3]] == ["written", "written", "unchanged"]
    assert [o.status for o in outcomes[3:]] == ["failed", "failed"]
    assert "same file name" in outcomes[4].reason
    for source, outcome in zip(good, outcomes):
        local = tmp_path / ("local" + source.suffix)
        voved32.correct_file(source, local, quality=90)
        assert open(outcome.output, "rb").read() == local.read_bytes(), source.name
