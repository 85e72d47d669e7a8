#!/usr/bin/python3
"""Loader throughput on one core: a dataset of 4,096-sample impaired QPSK
items (AWGN, carrier offset, static 3-tap channel) written once to a
RAM-backed folder, then every item read in order through ArrayDataset and
TorchDataset (when torch is there), from the HDF5 file and from the SigMF
files, in both forms.

    PYTHONPATH=python bench/batch_loader.py [--items N] [--folder /dev/shm]
"""
import argparse
import os
import pathlib
import shutil
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "python"))

import gensignal.batch  # noqa: E402
from batch_throughput import impaired_manifest  # noqa: E402


def rate(dataset):
    start = time.perf_counter()
    for k in range(len(dataset)):
        dataset[k]
    return len(dataset) / (time.perf_counter() - start)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--items", type=int, default=20000)
    parser.add_argument("--folder", default="/dev/shm", help="where the dataset is written (and removed)")
    args = parser.parse_args()
    try:
        from gensignal.batch import TorchDataset
    except ImportError:
        TorchDataset = None
    folder = tempfile.mkdtemp(prefix="gensignal-bench-", dir=args.folder)
    try:
        out = os.path.join(folder, "out")
        gensignal.batch.run(impaired_manifest(args.items), out, workers=2, hdf5=True, progress=False)
        print(f"{args.items} items of 4096 samples in {args.folder}; load average "
              + " ".join(f"{x:.2f}" for x in os.getloadavg()))
        print(f"{'reader':>13} {'source':>6} {'form':>7} {'items/s':>9}")
        for source in ("hdf5", "sigmf"):
            for form in ("complex", "iq"):
                print(f"{'ArrayDataset':>13} {source:>6} {form:>7} "
                      f"{rate(gensignal.batch.ArrayDataset(out, label='class', source=source, form=form)):>9.0f}")
                if TorchDataset is not None:
                    print(f"{'TorchDataset':>13} {source:>6} {form:>7} "
                          f"{rate(TorchDataset(out, label='snr', source=source, form=form)):>9.0f}")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("load average after: " + " ".join(f"{x:.2f}" for x in os.getloadavg()))


if __name__ == "__main__":
    main()
