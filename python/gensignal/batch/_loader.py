"""Reading a written dataset for training, without torch: item k of the
index as a numpy array and the label asked for, read through memory maps
of the HDF5 file or of the SigMF data files.

    data = gensignal.batch.ArrayDataset("out", label="class", length=4096)
    x, y = data[0]          # complex64 of 4096 samples, the class number
    data.classes            # the names the numbers stand for

Item k is the k-th line of DIR/index.jsonl, so the order is the manifest's
whatever the engine, and the same in every process that reads it."""
import collections
import json
import math
import mmap
import os

import numpy as np

from ._classes import class_of
from ._outputs import CLASSES
from ._shards import HDF5

FORMS = ("complex", "iq")
# The columns of label="boxes", one row per box of a scene item.
BOX_FIELDS = ("start", "count", "lower_hz", "upper_hz", "class", "level_db")
SOURCES = ("hdf5", "sigmf")
# Short names for the labels asked for most.
ALIASES = {
    "snr": "channel.realised.snr_db",
    "snr_in_band": "channel.realised.snr_in_band_db",
    "esn0": "channel.realised.esn0_db",
    "ebn0": "channel.realised.ebn0_db",
}
_OPEN_DATA_FILES = 1024  # SigMF data files kept mapped per process
_MISSING = object()  # a label an item does not have (null reads NaN)


class _Chunks:
    """One set's I/Q column of the HDF5 file, by file offsets: a contiguous
    dataset, or the chunks of a chunked one (stored without filters, as the
    writer stores them)."""

    def __init__(self, dataset):
        dsid = dataset.id
        if dataset.compression is not None or dataset.shuffle or dataset.fletcher32:
            raise ValueError(f"{dataset.name}: stored with a filter, not readable through a memory map")
        if dataset.chunks is None:
            offset = dsid.get_offset()
            self.rows = dataset.shape[0] if offset is not None else 0
            self.chunk_rows = max(self.rows, 1)
            self.offsets = np.array([offset or 0], dtype=np.int64)
            return
        self.chunk_rows = dataset.chunks[0]
        self.rows = dataset.shape[0]
        count = -(-self.rows // self.chunk_rows)
        self.offsets = np.zeros(count, dtype=np.int64)
        for k in range(dsid.get_num_chunks()):
            info = dsid.get_chunk_info(k)
            if info.filter_mask:
                raise ValueError(f"{dataset.name}: a chunk stored with a filter")
            self.offsets[info.chunk_offset[0] // self.chunk_rows] = info.byte_offset

    def pieces(self, start, length):
        """((byte offset, rows), ...) of rows start ... start + length - 1."""
        out = []
        done = 0
        while done < length:
            chunk, within = divmod(start + done, self.chunk_rows)
            take = min(length - done, self.chunk_rows - within)
            out.append((int(self.offsets[chunk]) + 4 * within, take))
            done += take
        return tuple(out)


def _table(path):
    """{set: (_Chunks of its I/Q, {index: (start, length)})} of an HDF5 file."""
    import h5py

    out = {}
    with h5py.File(path, "r") as f:
        for name, group in f.items():
            if "iq" in group:
                rows = zip(group["start"][...].tolist(), group["length"][...].tolist())
                out[name] = (_Chunks(group["iq"]), dict(zip(group["index"][...].tolist(), rows)))
    return out


def _label_path(name):
    return ALIASES.get(name, name).split(".")


class ArrayDataset:
    """The items of the dataset written into `folder`.

    `source`: "hdf5" (DIR/<stem>.h5, or in shard mode every shard's
    items.h5; the default when they are there) or
    "sigmf" (the .sigmf-data files); `form`: "complex" (complex64, I/Q
    counts over `scale`) or "iq" (float32 of shape (2, N), I then Q);
    `length`: a fixed number of samples, longer items cropped to their
    first `length`, shorter ones padded with zeros after; `label`: None
    (items alone), "class" (the number of its class in `classes`), a label
    by its dotted path in the index ("obw_hz", "channel.realised.esn0_db";
    "snr", "esn0", "ebn0", "snr_in_band" for the realised channel's), a
    "params.<keyword>", "boxes" (a scene item's boxes, float64 of shape
    (K, 6), columns BOX_FIELDS: start, count, lower and upper edge in Hz,
    class number, realised level in dB), or a tuple of these; a missing or
    null label reads NaN. `sets`: only the items of these sets."""

    def __init__(self, folder, label="class", form="complex", length=None, source=None, scale=32767, sets=None):
        self.folder = os.fspath(folder)
        if form not in FORMS:
            raise ValueError(f"form = {form!r}: must be one of {', '.join(FORMS)}")
        if length is not None and (isinstance(length, bool) or not isinstance(length, int) or not length > 0):
            raise ValueError(f"length = {length!r}: must be a whole number of 1 or more, or None")
        if isinstance(scale, bool) or not isinstance(scale, (int, float)) or not (scale > 0 and math.isfinite(scale)):
            raise ValueError(f"scale = {scale!r}: must be a finite number above 0")
        self.form, self.length, self.scale = form, length, float(scale)
        self._scale32 = np.float32(scale)
        if float(self._scale32) != self.scale:
            raise ValueError(f"scale = {scale!r}: must be a float32 value (32767, 32768, ...)")
        with open(os.path.join(self.folder, "index.jsonl"), encoding="utf-8") as f:
            records = [json.loads(line) for line in f if line.strip()]
        self._every_record = records
        if sets is not None:
            wanted = {sets} if isinstance(sets, str) else set(sets)
            records = [r for r in records if r["set"] in wanted]
        self.records = records
        self.classes = self._classes()
        self._class_numbers = {name: k for k, name in enumerate(self.classes)}
        self.label = label
        self._labels = self._every_label(records)
        self.source = source or ("hdf5" if self._hdf5_path() or self._shards_have_hdf5() else "sigmf")
        if self.source not in SOURCES:
            raise ValueError(f"source = {source!r}: must be one of {', '.join(SOURCES)}")
        self._where = self._hdf5_rows() if self.source == "hdf5" else self._sigmf_files()
        # Items in one piece, neither cropped nor padded (every SigMF item read
        # whole; in the HDF5 file, all when equal lengths divide the chunks):
        # file, byte offset and value count, read without the general path's
        # bookkeeping.
        self._whole = [
            (name, pieces[0][0], 2 * rows) if len(pieces) == 1 and pieces[0][1] == rows else None
            for name, pieces, rows in self._where
        ]
        self._pid = None

    # --- what the items are -------------------------------------------------

    def _classes(self):
        path = os.path.join(self.folder, CLASSES)
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                return list(json.load(f)["classes"])
        # a folder written before the class list: the classes in the order they appear
        out = []
        for r in self._every_record:
            name = class_of(r["kind"], r["params"])
            if name not in out:
                out.append(name)
        return out

    def _one_label(self, record, name):
        if name == "class":
            if record["kind"] == "scene":  # classed by its boxes
                return _MISSING
            return self._class_numbers[class_of(record["kind"], record["params"])]
        if name == "boxes":
            boxes = record["labels"].get("boxes")
            return _MISSING if boxes is None else self._box_array(boxes)
        path = _label_path(name)
        node = record["params"] if path[0] == "params" else record["labels"]
        for key in path[1:] if path[0] == "params" else path:
            if not isinstance(node, dict) or key not in node:
                return _MISSING
            node = node[key]
        return math.nan if node is None else node

    def _box_array(self, boxes):
        """float64 (K, 6): start, count, lower and upper edge (Hz), class
        number, level (dB, realised) of each box."""
        out = np.empty((len(boxes), len(BOX_FIELDS)), dtype=np.float64)
        for k, box in enumerate(boxes):
            level = box["level_db"]
            out[k] = (
                box["start"],
                box["count"],
                box["lower_hz"],
                box["upper_hz"],
                self._class_numbers[box["class"]],
                math.nan if level is None else level,
            )
        return out

    def _every_label(self, records):
        """Each record's label; a name that no item has is refused (a typo
        would otherwise read NaN throughout)."""
        if self.label is None:
            return [None] * len(records)
        names = self.label if isinstance(self.label, tuple) else (self.label,)
        columns = []
        for name in names:
            column = [self._one_label(r, name) for r in records]
            if records and all(v is _MISSING for v in column):
                raise ValueError(f"label = {name!r}: no item of {self.folder} has it")
            columns.append([math.nan if v is _MISSING else v for v in column])
        rows = list(zip(*columns))
        return rows if isinstance(self.label, tuple) else [row[0] for row in rows]

    def labels(self):
        """Every item's label, in order (no samples are read)."""
        return list(self._labels)

    def label_of(self, k):
        return self._labels[k]

    # --- where the samples are ----------------------------------------------

    def _hdf5_path(self):
        names = [n for n in os.listdir(self.folder) if n.endswith(".h5")]
        return os.path.join(self.folder, names[0]) if len(names) == 1 else None

    def _shards_have_hdf5(self):
        """A shard-mode tree written with hdf5 (its first item's shard holds an items.h5)."""
        try:
            names = self._stream_names()
        except (FileNotFoundError, ValueError):
            return False
        return bool(names) and os.path.isfile(os.path.join(os.path.dirname(next(iter(names.values()))), HDF5))

    def _hdf5_rows(self):
        """Where each item is in DIR/<stem>.h5, or (a shard-mode run written
        with hdf5) in its shard's items.h5."""
        path = self._hdf5_path()
        self._path = path
        if path is None:
            shards = {key: os.path.dirname(name) for key, name in self._stream_names().items()}
            files = {key: os.path.join(shard, HDF5) for key, shard in shards.items()}
            if not all(os.path.isfile(name) for name in files.values()):
                raise FileNotFoundError(
                    f"{self.folder}: no single <stem>.h5, nor an items.h5 in every shard "
                    "(write them with --hdf5, or use source='sigmf')"
                )
        tables = {}  # file (None: DIR/<stem>.h5) -> {set: (chunks, {index: (start, length)})}
        where = []
        for r in self.records:
            name = None if path is not None else files[(r["set"], r["index"])]
            if name not in tables:
                tables[name] = _table(path if name is None else name)
            chunks, rows = tables[name].get(r["set"], (None, {}))
            start, length = rows.get(r["index"], (None, None))
            if start is None:
                raise ValueError(f"{path or name}: holds no item {r['set']}/{r['index']} of the index")
            where.append((name, chunks.pieces(start, self._taken(length)), self._rows(length)))
        return where

    def _taken(self, total):
        return total if self.length is None else min(total, self.length)

    def _rows(self, total):
        return total if self.length is None else self.length

    def _stream_names(self):
        """{(set, index): the item's files without suffix}, from the collection."""
        collection = [n for n in os.listdir(self.folder) if n.endswith(".sigmf-collection")]
        if len(collection) != 1:
            raise FileNotFoundError(f"{self.folder}: no single <stem>.sigmf-collection to find the items' files by")
        with open(os.path.join(self.folder, collection[0]), encoding="utf-8") as f:
            streams = json.load(f)["collection"]["core:streams"]
        if len(streams) != len(self._every_record):
            raise ValueError(f"{self.folder}: the collection and the index list different items")
        # The collection lists the index's items in its order, by their files (in shard mode, the shards').
        return {
            (r["set"], r["index"]): os.path.join(self.folder, *s["name"].split("/"))
            for r, s in zip(self._every_record, streams)
        }

    def _sigmf_files(self):
        names = self._stream_names()
        where = []
        for r in self.records:
            name = names[(r["set"], r["index"])] + ".sigmf-data"
            total = r["labels"]["samples"]
            where.append((name, ((0, self._taken(total)),), self._rows(total)))
        return where

    def _maps(self):
        """This process's memory maps, made again after a fork (a loader worker)."""
        if self._pid != os.getpid():
            self._pid = os.getpid()
            self._files = collections.OrderedDict()
            self._file_map = None
            if self.source == "hdf5" and self._path is not None:
                with open(self._path, "rb") as f:
                    self._file_map = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
        return self._file_map

    def _data_file(self, name):
        files = self._files
        view = files.get(name)
        if view is None:
            with open(name, "rb") as f:
                view = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) if os.fstat(f.fileno()).st_size else b""
            files[name] = view
            if len(files) > _OPEN_DATA_FILES:
                files.popitem(last=False)
        else:
            files.move_to_end(name)
        return view

    def __getstate__(self):
        state = dict(self.__dict__)
        for key in ("_files", "_file_map"):
            state.pop(key, None)
        state["_pid"] = None
        return state

    # --- reading --------------------------------------------------------------

    def __len__(self):
        return len(self.records)

    def _read(self, k, out, convert):
        """Item k's pieces, each through convert(int16 (rows, 2) view, rows
        of `out` it fills); what no piece fills stays as `out` came (zeros)."""
        name, pieces, _ = self._where[k]
        whole = self._maps()  # first: after a fork it makes this process's maps
        view = whole if name is None else self._data_file(name)
        row = 0
        for offset, rows in pieces:
            if rows:
                convert(
                    np.frombuffer(view, dtype="<i2", count=2 * rows, offset=offset).reshape(rows, 2),
                    slice(row, row + rows),
                )
            row += rows
        return out

    def _item(self, k):
        n = len(self.records)
        if not -n <= k < n:
            raise IndexError(f"item {k}: the dataset holds {n}")
        return k if k >= 0 else k + n

    def iq(self, k):
        """Item k's int16 I/Q values, shape (N, 2), cropped or padded to `length`."""
        k = self._item(k)
        out = np.zeros((self._where[k][2], 2), dtype="<i2")

        def copy(values, rows):
            out[rows] = values

        return self._read(k, out, copy)

    def samples(self, k):
        """Item k as `form` asks: complex64 (N,) or float32 (2, N). Each value
        is its count divided by `scale` in float, which gives the bits that
        dividing in double and rounding once to float (Waveform.samples) gives."""
        k = self._item(k)
        whole = self._whole[k]
        if whole is not None:
            name, offset, count = whole
            view = self._maps()  # first: after a fork it makes this process's maps
            if name is not None:
                view = self._data_file(name)
            values = np.frombuffer(view, dtype="<i2", count=count, offset=offset)
            if self.form == "complex":
                out = np.empty(count, dtype=np.float32)
                np.divide(values, self._scale32, out=out, dtype=np.float32)
                return out.view(np.complex64)
            out = np.empty((2, count // 2), dtype=np.float32)
            np.divide(values.reshape(-1, 2).T, self._scale32, out=out, dtype=np.float32)
            return out
        _, pieces, n = self._where[k]
        # zeros only where a short item is padded
        make = np.empty if sum(rows for _, rows in pieces) == n else np.zeros
        if self.form == "complex":
            out = make((n, 2), dtype=np.float32)

            def to_complex(values, rows):
                np.divide(values, self._scale32, out=out[rows], dtype=np.float32)

            return self._read(k, out, to_complex).view(np.complex64).reshape(-1)
        out = make((2, n), dtype=np.float32)

        def to_rails(values, rows):
            np.divide(values.T, self._scale32, out=out[:, rows], dtype=np.float32)

        return self._read(k, out, to_rails)

    def __getitem__(self, k):
        x = self.samples(k)
        return x if self.label is None else (x, self._labels[k])
