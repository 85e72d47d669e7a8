"""The dataset as one HDF5 file for training pipelines: per set a group
with every written item's I/Q values end to end, where each item starts and
how long it is, and its parameters and labels as columns."""
import json
import math

import numpy as np

_BLOCK = 256  # items written at once: resizing per item would dominate
_BOX_COLUMNS = (
    ("start", np.int64),
    ("count", np.int64),
    ("lower_hz", np.float64),
    ("upper_hz", np.float64),
    ("class", str),
    ("level_db", np.float64),
    ("power_dbfs", np.float64),
    ("part", np.int64),
    ("burst", np.int64),
)


class HDF5Writer:
    """Rows arrive in manifest order; nothing records a time, so equal
    datasets give equal files."""

    def __init__(self, path, manifest, fields, whole=False):
        import h5py

        # whole: every row is added before close, and each dataset is written
        # once, contiguous (a shard's file): the chunks' places in a growing
        # file follow the library's cache, which differs from process to process
        self.whole = whole
        self._h5py = h5py
        self.file = h5py.File(path, "w")
        self.file.attrs["manifest"] = manifest.stem
        self.fields = fields  # set name -> {keyword: Field}
        self.groups = {}
        self.rows = {}
        for item_set in manifest.sets:
            group = self.file.create_group(item_set.name)
            group.attrs["kind"] = item_set.kind
            group.attrs["count"] = item_set.count
            self.groups[item_set.name] = group
            self.rows[item_set.name] = []

    def add(self, item):
        rows = self.rows[item.set]
        rows.append(item)
        if len(rows) >= _BLOCK and not self.whole:
            self._write(item.set)

    def _column(self, group, name, values, dtype):
        if self.whole:
            group.create_dataset(name, data=np.asarray(values, dtype=dtype), track_times=False)
            return
        if name not in group:
            group.create_dataset(name, shape=(0,), maxshape=(None,), dtype=dtype, chunks=(1024,), track_times=False)
        column = group[name]
        n = column.shape[0]
        column.resize((n + len(values),))
        column[n:] = np.asarray(values, dtype=dtype)

    def _write(self, set_name):
        rows, self.rows[set_name] = self.rows[set_name], []
        if not rows:
            return
        group = self.groups[set_name]
        arrays = [np.frombuffer(item.data, dtype="<i2").reshape(-1, 2) for item in rows]
        lengths = [len(a) for a in arrays]
        if self.whole:
            first = 0
            group.create_dataset("iq", data=np.concatenate(arrays), track_times=False)
        else:
            if "iq" not in group:
                group.create_dataset(
                    "iq", shape=(0, 2), maxshape=(None, 2), dtype="<i2", chunks=(8192, 2), track_times=False
                )
            iq = group["iq"]
            first = iq.shape[0]
            iq.resize((first + sum(lengths), 2))
            if sum(lengths):
                iq[first:] = np.concatenate(arrays)
        self._column(group, "index", [item.index for item in rows], np.int64)
        self._column(group, "start", first + np.concatenate(([0], np.cumsum(lengths)[:-1])), np.int64)
        self._column(group, "length", lengths, np.int64)
        params = group.require_group("params")
        for key, field in self.fields[set_name].items():
            values = [item.params.get(key) for item in rows]
            if field.type == "json":  # a scene's parts, as the index holds them
                self._column(params, key, [json.dumps(v) for v in values], self._h5py.string_dtype())
            elif field.type == "choice":
                self._column(params, key, values, self._h5py.string_dtype())
            elif field.type == "flag":
                self._column(params, key, values, np.bool_)
            elif field.type in ("integer", "seed"):
                self._column(params, key, values, np.int64)
            else:
                self._column(params, key, values, np.float64)
        labels = [item.labels for item in rows]
        if "boxes" in labels[0]:
            self._boxes(group, [d["boxes"] for d in labels])
            labels = [{k: v for k, v in d.items() if k != "boxes"} for d in labels]
        self._labels(group.require_group("labels"), labels)

    def _boxes(self, group, per_item):
        """A scene set's boxes end to end in group `boxes`, one column per
        field; `item_first` and `item_count` (a row per item) say whose they are."""
        boxes = group.require_group("boxes")
        first = boxes["start"].shape[0] if "start" in boxes else 0
        counts = [len(b) for b in per_item]
        self._column(boxes, "item_first", first + np.concatenate(([0], np.cumsum(counts)[:-1])), np.int64)
        self._column(boxes, "item_count", counts, np.int64)
        every = [box for b in per_item for box in b]
        for key, dtype in _BOX_COLUMNS:
            values = [box[key] for box in every]
            if dtype == np.float64:
                values = [math.nan if v is None else v for v in values]
            self._column(boxes, key, values, self._h5py.string_dtype() if dtype is str else dtype)

    def _labels(self, group, dicts):
        """One column per label; a nested label (`ccdf_db`, `acpr_db`,
        `channel`) is a group of columns. None is NaN in a column of reals;
        names are text, lists (a channel's taps) their JSON text."""
        for key, first in dicts[0].items():
            values = [d.get(key) if d else None for d in dicts]
            if isinstance(first, dict):
                self._labels(group.require_group(key), values)
                continue
            if isinstance(first, (str, list)):
                text = [v if isinstance(v, str) else json.dumps(v) for v in values]
                self._column(group, key, text, self._h5py.string_dtype())
                continue
            if key in group:
                dtype = group[key].dtype
            elif key == "channel_seed":  # 64 bits, unsigned
                dtype = np.dtype(np.uint64)
            elif all(isinstance(v, bool) for v in values):
                dtype = np.dtype(np.bool_)
            elif all(isinstance(v, int) and not isinstance(v, bool) for v in values):
                dtype = np.dtype(np.int64)
            else:
                dtype = np.dtype(np.float64)
            if dtype == np.float64:
                values = [math.nan if v is None else v for v in values]
            self._column(group, key, values, dtype)

    def close(self):
        for name in self.rows:
            self._write(name)
        self.file.close()

    def abandon(self):
        self.file.close()


def read(path):
    """DIR/<stem>.h5 as {set: {"iq", "start", "length", "index", "params",
    "labels"}}, numpy arrays with text columns as str (h5py alone gives
    bytes), nested label groups as dicts."""
    import h5py

    def columns(group):
        out = {}
        for key, value in group.items():
            if isinstance(value, h5py.Group):
                out[key] = columns(value)
            elif h5py.check_string_dtype(value.dtype):
                out[key] = value.asstr()[...]
            else:
                out[key] = value[...]
        return out

    with h5py.File(path, "r") as f:
        return {name: columns(group) for name, group in f.items()}
