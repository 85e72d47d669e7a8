"""Datasets at scale: a manifest in, reproducible labelled SigMF out, on
Dask from one core to a cluster.

    import gensignal.batch
    summary = gensignal.batch.run("psk.json", "out", workers=2)

or `python3 -m gensignal batch psk.json -o out`. Item i of set s draws its
values from numpy's SeedSequence(seed, spawn_key=(s, i)), so the files are
the same bytes whatever the number of workers, the engine or the order in
which items finish."""
from .engine import Summary, run
from .hdf5 import read as read_hdf5
from .manifest import ManifestError, load

__all__ = ["ManifestError", "Summary", "load", "read_hdf5", "run"]
