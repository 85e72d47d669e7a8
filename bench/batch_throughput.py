#!/usr/bin/python3
"""Dataset engine throughput, end to end (generation, labels, SHA-512,
writing every file): 4,096-sample items on the embedded Dask cluster with
1 and 2 workers, written to a RAM-backed folder. The rate is timed from the
first item written to the last; the engine's start-up is reported apart.

    PYTHONPATH=python bench/batch_throughput.py [--items N] [--workers 1 2] [--folder /dev/shm]
"""
import argparse
import os
import pathlib
import shutil
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "python"))

import gensignal.batch  # noqa: E402

SAMPLES = 4096


def manifest(items):
    """Three quarters linear modulations (QPSK at 8 samples per symbol, 512
    symbols), one quarter noise: every item 4,096 samples."""
    psk = items * 3 // 4
    return {"seed": 1, "sets": [
        {"name": "psk", "kind": "digital", "count": psk,
         "params": {"mod_type": ["bpsk", "qpsk", "psk8", "qam16", "qam64"], "rolloff": {"uniform": [0.2, 0.5]},
                    "symbol_rate": 1e6, "sample_rate": 8e6, "symbol_count": SAMPLES // 8}},
        {"name": "noise", "kind": "awgn", "count": items - psk,
         "params": {"bandwidth": {"uniform": [1e5, 5e5]}, "duration": SAMPLES / 1e6, "sample_rate": 1e6}},
    ]}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--items", type=int, default=20000)
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2])
    parser.add_argument("--folder", default="/dev/shm", help="where the dataset is written (and removed)")
    args = parser.parse_args()
    print(f"{args.items} items of {SAMPLES} samples, written to {args.folder}; load average "
          + " ".join(f"{x:.2f}" for x in os.getloadavg()))
    print(f"{'workers':>7} {'start s':>8} {'items':>7} {'run s':>7} {'items/s':>9} {'M samples/s':>12} {'per worker':>11}")
    for workers in args.workers:
        folder = tempfile.mkdtemp(prefix="gensignal-bench-", dir=args.folder)
        try:
            summary = gensignal.batch.run(manifest(args.items), os.path.join(folder, "out"), workers=workers,
                                          progress=False, stem="bench")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        assert summary.failed == 0 and summary.written == args.items
        timed = summary.written - 1  # first to last: the first item starts the clock
        items_per_s = timed / summary.writing
        samples_per_s = items_per_s * SAMPLES
        print(f"{workers:>7} {summary.engine_start:>8.2f} {summary.written:>7} {summary.writing:>7.2f} "
              f"{items_per_s:>9.0f} {samples_per_s / 1e6:>12.2f} {samples_per_s / 1e6 / workers:>11.2f}")
    print("load average after: " + " ".join(f"{x:.2f}" for x in os.getloadavg()))


if __name__ == "__main__":
    main()
