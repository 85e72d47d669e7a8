"""Shard mode: each task writes its items itself, as one folder that
appears whole or not at all, on a file system every worker sees; the client
only learns each item's metadata and labels.

A shard is SHARDS/<set>/<first>-<last>: item i's SigMF pair as <i>.sigmf-meta
and .sigmf-data and items.jsonl, the index or error line of each of its
items in order, and with hdf5 items.h5, its written items as one group of
the HDF5 layout. Shards hold a fixed number of items, counted from the start
of their set, so the folders are the same bytes whatever the number of
workers and whichever machine a task runs on."""
import contextlib
import dataclasses
import hashlib
import json
import os
import shutil
import socket
import uuid

from ._draws import item_channel
from ._files import PARTIAL, read_pair, write_pair
from ._items import Item, make_items, params_of_item

SHARD_ITEMS = 256  # per shard: a few megabytes for short items
LINES = "items.jsonl"
HDF5 = "items.h5"  # with hdf5: the shard's items as the client's HDF5 file holds a set's


def _width(item_set):
    return len(str(item_set.count - 1))


def shard_name(item_set, first, count):
    """<set>/<first>-<last>, the shard's path below the shards' folder."""
    width = _width(item_set)
    return f"{item_set.name}/{str(first).zfill(width)}-{str(first + count - 1).zfill(width)}"


def shard_folder(root, item_set, first, count):
    return os.path.join(root, shard_name(item_set, first, count))


def item_path(folder, item_set, index):
    return os.path.join(folder, str(index).zfill(_width(item_set)))


def _line(item, item_set):
    return item.error_line() if item.reason is not None else item.index_line(item_set.settings)


def _summary(item, item_set, first, count):
    """What the client keeps of an item: everything but its samples."""
    base = None
    if item.reason is None:
        base = f"{shard_name(item_set, first, count)}/{str(item.index).zfill(_width(item_set))}"
    return dataclasses.replace(item, data=None, samples=item.sample_count if item.reason is None else 0, base=base)


def _write_hdf5(path, item_set, items):
    from ._hdf5 import HDF5Writer
    from ._manifest import Manifest, fields_of
    from ._scenes import scene_fields

    fields = scene_fields() if item_set.kind == "scene" else fields_of(item_set.kind)
    writer = HDF5Writer(path, Manifest(0, (item_set,), item_set.name), {item_set.name: fields}, whole=True)
    try:
        for item in items:
            if item.reason is None:
                writer.add(item)
    finally:
        writer.close()


def make_shard(item_set, seed, first, count, root, hdf5=False):
    """One task in shard mode: makes items first ... first + count - 1,
    writes their shard (with `hdf5` its items.h5 too) and returns them
    without their samples."""
    items = make_items(item_set, seed, range(first, first + count))
    final = shard_folder(root, item_set, first, count)
    # A name of this attempt's own: the scheduler may run a task again while a worker it took for lost
    # still writes. What a dead worker leaves, the client removes once the run ends.
    partial = f"{final}.{socket.gethostname()}-{os.getpid()}-{uuid.uuid4().hex}{PARTIAL}"
    os.makedirs(partial)
    try:
        for item in items:
            if item.reason is None:
                write_pair(item_path(partial, item_set, item.index), item.data, item.meta)
        with open(os.path.join(partial, LINES), "w", encoding="utf-8") as f:
            f.writelines(json.dumps(_line(item, item_set)) + "\n" for item in items)
        if hdf5:
            _write_hdf5(os.path.join(partial, HDF5), item_set, items)
        try:
            os.rename(partial, final)
        except OSError:
            # Written already by another attempt at the same task: the same bytes.
            if not os.path.isdir(final):
                raise
            shutil.rmtree(partial, ignore_errors=True)
    except BaseException:
        shutil.rmtree(partial, ignore_errors=True)
        raise
    return [_summary(item, item_set, first, count) for item in items]


def written_shard(root, item_set, seed, first, count, hdf5=False):
    """The items of a whole shard an earlier run wrote, as make_shard
    returns them, or None unless every line is this item's (its values,
    its channel), every data file matches its metadata's SHA-512 and, with
    `hdf5`, its items.h5 is there (whole: the shard is renamed last)."""
    folder = shard_folder(root, item_set, first, count)
    if hdf5 and not os.path.isfile(os.path.join(folder, HDF5)):
        return None
    try:
        with open(os.path.join(folder, LINES), encoding="utf-8") as f:
            lines = [json.loads(text) for text in f]
    except (OSError, ValueError):
        return None
    if [line.get("index") for line in lines] != list(range(first, first + count)):
        return None
    items = []
    for line in lines:
        index = line["index"]
        params = params_of_item(item_set, seed, index)
        channel = item_channel(item_set, seed, index)
        expected = dict(params, **item_set.settings) if "reason" not in line else params
        if (
            line.get("set") != item_set.name
            or line.get("params") != json.loads(json.dumps(expected))
            or line.get("channel") != (json.loads(json.dumps(channel)) if channel is not None else None)
        ):
            return None
        if "reason" in line:
            items.append(
                Item(item_set.name, index, item_set.kind, params, reason=line["reason"], channel=channel, resumed=True)
            )
            continue
        pair = read_pair(item_path(folder, item_set, index))
        if pair is None:
            return None
        meta, data = pair
        with contextlib.suppress(ValueError, KeyError, TypeError):
            if json.loads(meta)["global"]["core:sha512"] == hashlib.sha512(data).hexdigest():
                base = f"{shard_name(item_set, first, count)}/{str(index).zfill(_width(item_set))}"
                items.append(
                    Item(
                        item_set.name,
                        index,
                        item_set.kind,
                        params,
                        meta.decode("utf-8"),
                        None,
                        line["labels"],
                        resumed=True,
                        channel=channel,
                        samples=len(data) // 4,
                        base=base,
                    )
                )
                continue
        return None
    return items


def remove_shard(root, item_set, first, count):
    """Removes a shard that is not what its items write (a resumed run then writes it again)."""
    shutil.rmtree(shard_folder(root, item_set, first, count), ignore_errors=True)


def remove_partials(root):
    """Removes the shards left under temporary names by an interrupted run
    or by workers that died."""
    with contextlib.suppress(FileNotFoundError):
        for set_name in os.listdir(root):
            folder = os.path.join(root, set_name)
            if not os.path.isdir(folder) or os.path.islink(folder):
                continue
            for name in os.listdir(folder):
                if name.endswith(PARTIAL):
                    shutil.rmtree(os.path.join(folder, name), ignore_errors=True)
