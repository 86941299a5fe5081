"""Batches of picture files corrected on the workers of a Dask cluster.

Each file is read, corrected and written by a worker with Pillow
(:func:`voved32.correct_file`), so the files must be reachable under the same
paths from every worker (a shared file system). One bad file fails alone.

From the command line::

    python3 -m voved32.distributed --scheduler tcp://host:8786 *.jpg -d corrected/

Without ``--scheduler`` (or ``client=None``) a local cluster is started, one
worker process per core.
"""

from __future__ import annotations

import argparse
import dataclasses
import os
import sys
from typing import Any, Dict, Iterable, List, Optional, Sequence

from ._core import ToneTable
from ._images import FileOutcome, PathLike, correct_file

# How long the command waits for the whole batch before giving up, seconds.
DEFAULT_TIMEOUT = 3600.0


def _correct_one(source: str, destination: str, options: Dict[str, Any]) -> FileOutcome:
    """Runs on a worker: one file, its failure caught and told in words."""
    try:
        return correct_file(source, destination, **options)
    except Exception as error:  # any fault of this one file: report it, go on
        return FileOutcome(source, None, "failed", f"{type(error).__name__}: {error}")


def _destinations(paths: Sequence[str], out_dir: str) -> List[Optional[str]]:
    """The output path of each input; None for an input whose name another
    input of the batch already takes."""
    taken = set()
    destinations: List[Optional[str]] = []
    for path in paths:
        name = os.path.basename(path)
        destinations.append(None if name in taken else os.path.join(out_dir, name))
        taken.add(name)
    return destinations


def correct_files(paths: Iterable[PathLike], out_dir: PathLike, *, client=None,
                  timeout: Optional[float] = None, **options) -> List[FileOutcome]:
    """Corrects files on a Dask cluster into ``out_dir`` (created if missing),
    each keeping its name; returns one :class:`voved32.FileOutcome` per
    input, in order.

    ``client`` is a ``distributed.Client``; ``None`` starts a local cluster
    for the call. ``options`` are those of :func:`voved32.correct_file`
    (``colour``, ``tone_table``, ``camera``, ``quality``). ``timeout`` bounds
    the wait for the results, in seconds."""
    paths = [os.fspath(p) for p in paths]
    # Workers have working folders of their own: they get absolute paths.
    out_dir = os.path.abspath(os.fspath(out_dir))
    os.makedirs(out_dir, exist_ok=True)
    if isinstance(options.get("tone_table"), (bytes, bytearray)):
        options["tone_table"] = ToneTable.from_bytes(options["tone_table"])
    if client is None:
        from distributed import Client, LocalCluster

        with LocalCluster(processes=True, threads_per_worker=1, dashboard_address=None) as cluster:
            with Client(cluster) as local:
                return correct_files(paths, out_dir, client=local, timeout=timeout, **options)

    destinations = _destinations(paths, out_dir)
    work = [(i, path, dest) for i, (path, dest) in enumerate(zip(paths, destinations)) if dest]
    # pure=False: the same file asked for twice is still a task of its own.
    futures = client.map(_correct_one, [os.path.abspath(w[1]) for w in work],
                         [w[2] for w in work], options=options, pure=False)
    if timeout is not None:
        from distributed import wait

        wait(futures, timeout=timeout)
    outcomes: List[Optional[FileOutcome]] = [None] * len(paths)
    for (i, path, _), outcome in zip(work, client.gather(futures)):
        outcomes[i] = dataclasses.replace(outcome, source=path)
    for i, path in enumerate(paths):
        if outcomes[i] is None:
            outcomes[i] = FileOutcome(path, None, "failed",
                                      "another input of the batch has the same file name")
    return outcomes  # type: ignore[return-value]


def _arguments(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="python3 -m voved32.distributed",
        description="Correct picture files on the workers of a Dask cluster.")
    parser.add_argument("files", nargs="+", help="pictures (JPEG, PNG, PPM/PGM)")
    parser.add_argument("-d", "--dir", required=True, help="output folder (created if missing)")
    parser.add_argument("--scheduler", help="scheduler address, e.g. tcp://host:8786 "
                        "(default: a local cluster)")
    parser.add_argument("--no-colour", action="store_true",
                        help="no colour correction: apply the tone table only")
    parser.add_argument("--tone-table", help="tone parameter table (binary or JSON)")
    parser.add_argument("--camera", help="camera model (default: from each file's EXIF)")
    parser.add_argument("--quality", type=int, default=92, help="JPEG quality 1..100")
    parser.add_argument("--timeout", type=float, default=DEFAULT_TIMEOUT,
                        help="seconds to wait for the batch")
    return parser.parse_args(argv)


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = _arguments(argv)
    options: Dict[str, Any] = {"colour": not args.no_colour, "quality": args.quality}
    if args.tone_table:
        options["tone_table"] = ToneTable.from_file(args.tone_table)
    if args.camera is not None:
        options["camera"] = args.camera
    if args.scheduler:
        from distributed import Client

        with Client(args.scheduler, timeout=60) as client:
            outcomes = correct_files(args.files, args.dir, client=client, timeout=args.timeout,
                                     **options)
    else:
        outcomes = correct_files(args.files, args.dir, timeout=args.timeout, **options)
    for outcome in outcomes:
        target = f" -> {outcome.output}" if outcome.output else ""
        why = f": {outcome.reason}" if outcome.reason else ""
        print(f"{outcome.source}{target}: {outcome.status}{why}")
    counts = {status: sum(o.status == status for o in outcomes)
              for status in ("written", "unchanged", "failed")}
    print(f"corrected {counts['written']}, unchanged {counts['unchanged']}, "
          f"failed {counts['failed']} of {len(outcomes)}", file=sys.stderr)
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    # Run as the module voved32.distributed, not as __main__, so that the
    # tasks sent to the workers refer to the installed module.
    from voved32.distributed import main as run

    sys.exit(run())
