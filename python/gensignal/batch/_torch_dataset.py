"""The written dataset as a torch.utils.data.Dataset (Debian's
python3-torch): the items as tensors, the label asked for as a tensor.

    data = gensignal.batch.TorchDataset("out", label="class", form="iq", length=1024)
    loader = torch.utils.data.DataLoader(data, batch_size=64, num_workers=2)

Each loader worker maps the files again after it starts, so any number of
workers yields the same batches in the same order. Imported only when
gensignal.batch.TorchDataset is first asked for."""
import numpy as np
import torch
import torch.utils.data

from ._loader import ArrayDataset


def _label(value):
    """A number DataLoader's collation makes a tensor of: an int (int64) or
    a numpy float32 (float32); a scalar tensor each would cost more than
    the item's samples."""
    if isinstance(value, tuple):
        return tuple(_label(v) for v in value)
    if isinstance(value, (bool, int)):
        return value
    if isinstance(value, float):
        return np.float32(value)
    if isinstance(value, np.ndarray):  # a scene's boxes, (K, 6)
        return torch.from_numpy(value.astype(np.float32))
    raise TypeError(f"label {value!r} is not a number: ask for one (the class number, a measured value)")


class TorchDataset(torch.utils.data.Dataset):
    """ArrayDataset's items as tensors: complex64 of shape (N,) (form=
    "complex") or float32 of shape (2, N) (form="iq"); the label beside it,
    which DataLoader batches into a tensor: a class number (int64), a
    measured or realised value (float32, NaN where the item has none). The arguments are ArrayDataset's:
    folder, label, form, length, source ("hdf5" or "sigmf"), scale, sets.
    Batching needs equal lengths: give `length` unless every item has it.
    label="boxes" gives a float32 tensor (K, 6) per item, K its number of
    boxes: batch with collate_fn=TorchDataset.collate, which stacks the
    samples and keeps the boxes a list."""

    def __init__(self, folder, label="class", form="complex", length=None, source=None, scale=32767, sets=None):
        self.items = ArrayDataset(folder, label=label, form=form, length=length, source=source, scale=scale, sets=sets)
        self.classes = self.items.classes
        # converted once: per item it would cost a third of reading the samples
        self._labels = None if label is None else [_label(value) for value in self.items.labels()]

    def __len__(self):
        return len(self.items)

    def __getitem__(self, k):
        x = torch.from_numpy(self.items.samples(k))
        if self._labels is None:
            return x
        return x, self._labels[k]

    @staticmethod
    def collate(batch):
        """(samples stacked, [label of each item]): for labels of different
        shapes, the boxes of scene items."""
        return torch.stack([x for x, _ in batch]), [y for _, y in batch]
