#!/usr/bin/python3
"""Dataset engine throughput, end to end (generation, labels, SHA-512,
writing every file): 4,096-sample items on the embedded Dask cluster with
1 and 2 workers, written to a RAM-backed folder, by the client (the default
mode) and by the workers (shard mode). The rate is timed from the engine
ready to the run's end; the engine's start-up is reported apart.
--impaired: QPSK items through AWGN, a carrier offset and a static 3-tap
channel instead of the clean mix; --no-measure: sets that ask for no
library measurement (labels from the channel, the loop and the length).

    PYTHONPATH=python bench/batch_throughput.py [--items N] [--workers 1 2] [--modes client shards]
                                                [--impaired] [--no-measure] [--folder /dev/shm]
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


def impaired_manifest(items):
    """QPSK at 8 samples per symbol, 512 symbols, through AWGN (SNR drawn
    from 0 to 20 dB), a carrier offset (up to 10 kHz) and a static 3-tap
    channel: every item 4,096 samples."""
    return {"seed": 1, "sets": [
        {"name": "qpsk", "kind": "digital", "count": items,
         "params": {"mod_type": "qpsk", "rolloff": {"uniform": [0.2, 0.5]}, "symbol_rate": 1e6, "sample_rate": 8e6,
                    "symbol_count": SAMPLES // 8},
         "channel": {"snr_db": {"uniform": [0, 20]}, "cfo_hz": {"uniform": [-1e4, 1e4]}, "doppler_hz": 0,
                     "taps": [[0, 0], [1.25e-7, -3], [2.5e-7, -6]]}},
    ]}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--items", type=int, default=20000)
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2])
    parser.add_argument("--modes", nargs="+", default=["client"], choices=["client", "shards"])
    parser.add_argument("--impaired", action="store_true", help="QPSK with AWGN, CFO and a static 3-tap channel")
    parser.add_argument("--no-measure", action="store_true", help="sets with measure: false")
    parser.add_argument("--folder", default="/dev/shm", help="where the dataset is written (and removed)")
    args = parser.parse_args()
    chosen = impaired_manifest if args.impaired else manifest

    def make(items):
        out = chosen(items)
        for item_set in out["sets"]:
            item_set["measure"] = not args.no_measure
        return out

    measured = "unmeasured" if args.no_measure else "measured"
    print(f"{args.items} {measured} items of {SAMPLES} samples, written to {args.folder}; load average "
          + " ".join(f"{x:.2f}" for x in os.getloadavg()))
    print(f"{'mode':>7} {'workers':>7} {'start s':>8} {'items':>7} {'run s':>7} {'items/s':>9} {'M samples/s':>12} "
          f"{'per worker':>11}")
    for mode in args.modes:
        for workers in args.workers:
            run_one(make, args, mode, workers)
    print("load average after: " + " ".join(f"{x:.2f}" for x in os.getloadavg()))


def run_one(make, args, mode, workers):
    folder = tempfile.mkdtemp(prefix="gensignal-bench-", dir=args.folder)
    try:
        out = os.path.join(folder, "out")
        shards = os.path.join(folder, "shards") if mode == "shards" else None
        summary = gensignal.batch.run(make(args.items), out, workers=workers, progress=False, stem="bench",
                                      shards=shards)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    assert summary.failed == 0 and summary.written == args.items
    # From the engine ready to the run's end, the same clock for both modes (in shard mode the first
    # result is a whole shard, so first-to-last would leave its work out).
    run_s = summary.elapsed - summary.engine_start
    items_per_s = summary.written / run_s
    samples_per_s = items_per_s * SAMPLES
    print(f"{mode:>7} {workers:>7} {summary.engine_start:>8.2f} {summary.written:>7} {run_s:>7.2f} "
          f"{items_per_s:>9.0f} {samples_per_s / 1e6:>12.2f} {samples_per_s / 1e6 / workers:>11.2f}")


if __name__ == "__main__":
    main()
