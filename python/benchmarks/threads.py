"""What the released GIL gives threads: the same pictures corrected one
after the other, then on 2 and 4 threads, in the same run (the serial time
is the yardstick). Prints seconds and speed-ups; the results are checked to
be the serial ones. Then the pace of a pure-Python thread counting while
the main thread sleeps, corrects, or runs Python: close to its pace beside
a sleep means the library let go of the GIL (on a busy machine, where
threads cannot run faster, this still shows it).

    .venv/bin/python python/benchmarks/threads.py [--pictures 8] [--tiles 3]
"""

import argparse
import concurrent.futures
import os
import pathlib
import threading
import time

import numpy as np
from PIL import Image

import voved32

SAMPLE = pathlib.Path(__file__).resolve().parents[2] / "samples" / "chelsea.jpg"


def best_of(runs, work):
    """The best wall time of `runs` runs, the processor time of that run
    over its wall time (above 1: threads ran at once), and the result."""
    best, busy = float("inf"), 0.0
    for _ in range(runs):
        start, cpu = time.perf_counter(), time.process_time()
        result = work()
        took = time.perf_counter() - start
        if took < best:
            best, busy = took, (time.process_time() - cpu) / took
    return best, busy, result


def counting_pace(work):
    """Counts in a Python thread while `work` runs; counts per second."""
    stop, counted = threading.Event(), []

    def count():
        n = 0
        while not stop.is_set():
            n += 1
        counted.append(n)

    counter = threading.Thread(target=count)
    counter.start()
    start = time.perf_counter()
    work()
    took = time.perf_counter() - start
    stop.set()
    counter.join()
    return counted[0] / took


def same(a, b):
    if isinstance(a, np.ndarray):
        return np.array_equal(a, b)
    return a.as_dict() == b.as_dict()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pictures", type=int, default=8)
    parser.add_argument("--tiles", type=int, default=3, help="the sample tiled N x N")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    sample = np.asarray(Image.open(SAMPLE))
    big = np.tile(sample, (args.tiles, args.tiles, 1))
    # Separate pictures: each a little different, so no two are the same.
    pictures = [np.roll(big, 7 * i, axis=1) for i in range(args.pictures)]
    jobs = {
        "correct": voved32.correct,
        "analyse": voved32.analyse,
    }
    height, width, _ = big.shape
    print(f"{args.pictures} pictures of {width} x {height}, best of {args.runs}, "
          f"{os.cpu_count()} cores")
    for name, job in jobs.items():
        serial, alone, expected = best_of(args.runs, lambda: [job(p) for p in pictures])
        line = f"{name:8} serial {serial:6.3f} s, cpu/wall {alone:4.2f}"
        for threads in (2, 4):
            with concurrent.futures.ThreadPoolExecutor(threads) as pool:
                took, busy, got = best_of(args.runs, lambda: list(pool.map(job, pictures)))
            assert all(same(a, b) for a, b in zip(got, expected))
            line += (f" | {threads} threads {took:6.3f} s, x{serial / took:4.2f}, "
                     f"cpu/wall {busy:4.2f}")
        print(line)
    pictures_once = lambda: [voved32.correct(p) for p in pictures[:2]]  # noqa: E731
    paces = {"sleep": lambda: time.sleep(0.5), "correct": pictures_once,
             "Python": lambda: sum(range(10_000_000))}
    alone = counting_pace(paces["sleep"])
    print("a Python thread's pace beside: " + ", ".join(
        f"{name} {counting_pace(work) / alone:4.2f}" for name, work in paces.items()))


if __name__ == "__main__":
    main()
