"""What a run writes into its folder: each item's SigMF pair as soon as it
arrives, and, in manifest order whatever the order of arrival, the index,
the error list, the SigMF collection, the class list and optionally the
HDF5 file."""
import contextlib
import hashlib
import json
import os


from .. import _sigmf as sigmf
from . import _files as files
from ._classes import classes_of
from ._manifest import fields_of
from ._scenes import scene_fields

CLASSES = "classes.json"  # {"classes": [name, ...]}: a class's number is its place in the list


def item_base(out_dir, item_set, index):
    """DIR/<set>/<index>, the index zero-padded to the width of the set's last."""
    return os.path.join(out_dir, item_set.name, str(index).zfill(len(str(item_set.count - 1))))


def _sigmf_version(meta_text=None):
    """The SigMF version the recordings carry, and so the collection: that of
    a recording's metadata, or of one made up when none was written."""
    if meta_text is None:
        return sigmf.sigmf_version()
    return json.loads(meta_text)["global"]["core:version"]


class _Collection:
    """DIR/<stem>.sigmf-collection, streamed: the text json.dumps(indent=2,
    sort_keys=True) gives, written one stream at a time."""

    def __init__(self, f, description):
        self.f = f
        self.streams = 0
        self.first_meta = None
        f.write('{\n  "collection": {\n    "core:description": %s,\n    "core:streams": [' % json.dumps(description))

    def add(self, name, meta_text):
        digest = hashlib.sha512(meta_text.encode("utf-8")).hexdigest()
        self.first_meta = self.first_meta or meta_text
        self.f.write(
            ("," if self.streams else "")
            + '\n      {\n        "hash": "%s",\n        "name": %s\n      }' % (digest, json.dumps(name))
        )
        self.streams += 1

    def close(self):
        version = json.dumps(_sigmf_version(self.first_meta))
        self.f.write(("\n    ]" if self.streams else "]") + ',\n    "core:version": %s\n  }\n}\n' % version)


class Outputs:
    """Positions are the items' places in the manifest, counted over all
    sets; `put` takes them in any order, `flush` writes the contiguous run
    from the start."""

    def __init__(self, out_dir, manifest, hdf5=False, resume=False, shard_root=None):
        self.out_dir = os.fspath(out_dir)
        self.shard_root = shard_root  # shard mode: the items' files are there, the tasks' to write
        self.manifest = manifest
        self.item_sets = {item_set.name: item_set for item_set in manifest.sets}
        self.flushed = 0
        self.pending = {}
        self.written = self.resumed = self.failed = self.samples = 0
        self._open = []
        stem = os.path.join(self.out_dir, manifest.stem)
        self.finals = [
            os.path.join(self.out_dir, "index.jsonl"),
            os.path.join(self.out_dir, "errors.jsonl"),
            stem + ".sigmf-collection",
            os.path.join(self.out_dir, CLASSES),
        ]
        if hdf5:
            self.finals.append(stem + ".h5")
        if resume:  # an earlier run's index no longer tells what is complete
            for path in self.finals:
                with contextlib.suppress(FileNotFoundError):
                    os.unlink(path)
        try:
            self.index = self._partial(self.finals[0])
            self.errors = self._partial(self.finals[1])
            sets = ", ".join(f"{s.name} ({s.kind}, {s.count})" for s in manifest.sets)
            self.collection = _Collection(self._partial(self.finals[2]), f"gensignal dataset {manifest.stem}: {sets}")
            # class numbers follow the manifest alone: the same whichever items fail
            self._partial(self.finals[3]).write(json.dumps({"classes": classes_of(manifest)}, indent=2) + "\n")
            self.hdf5 = None
            if hdf5:
                from ._hdf5 import HDF5Writer

                self.hdf5 = HDF5Writer(
                    files.partial_name(stem + ".h5"),
                    manifest,
                    {s.name: scene_fields() if s.kind == "scene" else fields_of(s.kind) for s in manifest.sets},
                )
        except BaseException:
            self.abandon()
            raise

    def _partial(self, path):
        f = open(files.partial_name(path), "w", encoding="utf-8")
        self._open.append(f)
        return f

    def write_item(self, item_set, item):
        """The item's own files, data first: a metadata file means its data
        is whole. True when it wrote them."""
        if item.reason is not None or item.resumed or item.data is None:
            return False
        base = item_base(self.out_dir, item_set, item.index)
        files.write_pair(base, item.data, item.meta)
        return True

    def put(self, position, item):
        self.pending[position] = item

    def flush(self):
        """Writes the items now contiguous from the start; returns how many."""
        start = self.flushed
        while self.flushed in self.pending:
            item = self.pending.pop(self.flushed)
            self.flushed += 1
            if item.reason is not None:
                self.failed += 1
                self.errors.write(json.dumps(item.error_line()) + "\n")
                continue
            if item.resumed:
                self.resumed += 1
            else:
                self.written += 1
            self.samples += item.sample_count
            self.index.write(json.dumps(item.index_line(self.item_sets[item.set].settings)) + "\n")
            self.collection.add(self._stream_name(item), item.meta)
            if self.hdf5 is not None:
                self.hdf5.add(item)
        return self.flushed - start

    def _stream_name(self, item):
        """The item's files without suffix, relative to the collection."""
        if item.base is not None:
            return os.path.relpath(os.path.join(self.shard_root, item.base), self.out_dir).replace(os.sep, "/")
        item_set = self.item_sets[item.set]
        return f"{item_set.name}/{os.path.basename(item_base(self.out_dir, item_set, item.index))}"

    def finish(self):
        """Completes every file and gives it its final name."""
        try:
            self.collection.close()
            for f in self._open:
                f.close()
            if self.hdf5 is not None:
                self.hdf5.close()
            for path in self.finals:
                os.replace(files.partial_name(path), path)
        except BaseException:
            self.abandon()
            raise

    def abandon(self):
        """Removes the temporary files: an interrupted run leaves none. A
        close that cannot write what it held (a full disk) must not hide
        the error that stopped the run: the files go anyway."""
        for f in self._open:
            with contextlib.suppress(OSError):
                f.close()
        if getattr(self, "hdf5", None) is not None:
            with contextlib.suppress(OSError):
                self.hdf5.abandon()
        for path in self.finals:
            with contextlib.suppress(FileNotFoundError):
                os.unlink(files.partial_name(path))
