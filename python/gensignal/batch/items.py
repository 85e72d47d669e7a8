"""Making items: what a worker does for each one (choose its values,
generate, describe and measure it) and how the client recognises an item
that an earlier run already wrote."""
import dataclasses
import functools
import hashlib
import json

import numpy as np

from .. import kinds, loop, sigmf
from .._library import GenSignalError
from ..waveform import Waveform
from .draws import item_params
from .labels import labels
from .manifest import defaults_of, seed_key_of


@dataclasses.dataclass
class Item:
    """One item's outcome: `params` are its keyword arguments; a written
    item has `meta` (the .sigmf-meta text), `data` (the .sigmf-data bytes)
    and `labels`, a failed one `reason`."""

    set: str
    index: int
    kind: str
    params: dict
    meta: str = None
    data: bytes = None
    labels: dict = None
    reason: str = None
    resumed: bool = False  # found complete on disk, left untouched

    def index_line(self, settings=None):
        """The index's line: `params` with the set's settings (loop, tone
        phases, peak level), so that gensignal.<kind>(**params) is the item."""
        params = dict(self.params, **(settings or {}))
        return {"set": self.set, "index": self.index, "kind": self.kind, "params": params, "labels": self.labels}

    def error_line(self):
        return {"set": self.set, "index": self.index, "kind": self.kind, "params": self.params, "reason": self.reason}


@functools.lru_cache(maxsize=None)
def _kind_facts(kind):
    return defaults_of(kind), seed_key_of(kind)


def params_of_item(item_set, seed, index):
    defaults, seed_key = _kind_facts(item_set.kind)
    return item_params(item_set, defaults, seed_key, seed, index)


def _arguments(item_set, params):
    arguments = {key: value for key, value in params.items() if value is not None}
    arguments.update(item_set.settings)
    return arguments


def make_item(item_set, seed, index):
    params = params_of_item(item_set, seed, index)
    try:
        wf = kinds.generate(item_set.kind, **_arguments(item_set, params))
    except Exception as e:  # a refused record is an item's fault, not the run's
        reason = str(e) if isinstance(e, (GenSignalError, ValueError)) else f"{type(e).__name__}: {e}"
        return Item(item_set.name, index, item_set.kind, params, reason=reason)
    data = wf.iq.astype("<i2").tobytes()
    meta = sigmf.metadata(wf, hashlib.sha512(data).hexdigest())
    return Item(item_set.name, index, item_set.kind, params, sigmf.dumps(meta), data, labels(wf, meta))


def make_items(item_set, seed, indices):
    """One task: the items `indices` of the set `item_set`."""
    return [make_item(item_set, seed, index) for index in indices]


def written_item(item_set, seed, index, meta_bytes, data):
    """The Item for files an earlier run wrote, or None unless they are
    exactly what this item writes: the data matches its SHA-512 and the
    metadata is, byte for byte, what this item's values give for that data."""
    params = params_of_item(item_set, seed, index)
    try:
        values, rate = kinds.params_of(item_set.kind, **_arguments(item_set, params))
    except (TypeError, ValueError):
        return None
    if len(data) % 4:
        return None
    # The loop a generation made cannot be known without making it: it is
    # taken from the written metadata, once its settings are this item's.
    try:
        made = json.loads(meta_bytes)["global"].get("gensignal:loop")
    except (ValueError, KeyError, TypeError, AttributeError):
        return None
    given = {key: value for key, value in item_set.settings.items() if key in loop.keywords(item_set.kind)}
    expected = loop.settings_of(item_set.kind, given)
    if not isinstance(made, dict) or {key: made.get(key) for key in expected} != expected:
        return None
    wf = Waveform(
        np.frombuffer(data, dtype="<i2"), rate, item_set.kind, kinds.waveform_params(item_set.kind, values), loop=made
    )
    meta = sigmf.metadata(wf, hashlib.sha512(data).hexdigest())
    text = sigmf.dumps(meta)
    if text.encode("utf-8") != meta_bytes:
        return None
    return Item(item_set.name, index, item_set.kind, params, text, data, labels(wf, meta), resumed=True)
