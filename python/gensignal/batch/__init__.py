"""Datasets at scale: a manifest in, reproducible labelled SigMF out, on
Dask from one core to a cluster.

    import gensignal.batch
    summary = gensignal.batch.run("psk.json", "out", workers=2)

or `python3 -m gensignal batch psk.json -o out`. Item i of set s draws its
values from numpy's SeedSequence(seed, spawn_key=(s, i)), so the files are
the same bytes whatever the number of workers, the engine or the order in
which items finish. gensignal.batch.ArrayDataset (numpy) and
gensignal.batch.TorchDataset (PyTorch) read a written dataset for training."""
from ._engine import Summary, run
from ._hdf5 import read as read_hdf5
from ._loader import ArrayDataset
from ._manifest import ManifestError, load

__all__ = ["ArrayDataset", "ManifestError", "Summary", "TorchDataset", "load", "read_hdf5", "run"]


def __getattr__(name):
    # torch is large and optional: imported when its dataset is first asked for
    if name == "TorchDataset":
        try:
            from ._torch_dataset import TorchDataset
        except ImportError as e:
            raise ImportError(
                f"gensignal.batch.TorchDataset needs PyTorch (Debian's python3-torch): {e}; "
                "gensignal.batch.ArrayDataset reads the same items as numpy arrays"
            ) from None
        return TorchDataset
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
