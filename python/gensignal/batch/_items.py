"""Making items: what a worker does for each one (choose its values,
generate, describe and measure it) and how the client recognises an item
that an earlier run already wrote."""
import dataclasses
import functools
import hashlib
import json
import warnings

import numpy as np

from .. import _channel as channel_module
from .. import _kinds as kinds, _loop as loop, _sigmf as sigmf
from .._library import GenSignalError
from .._waveform import Waveform
from . import _scenes as scenes
from ._draws import item_channel, item_params
from ._labels import labels
from ._manifest import defaults_of, seed_key_of


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
    channel: dict = None  # the channel's settings, its seed included; None: a clean item
    samples: int = None  # in shard mode, where `data` stays with the shard
    base: str = None  # in shard mode: its files' path without suffix, below the shards' folder

    @property
    def sample_count(self):
        return self.samples if self.data is None else len(self.data) // 4

    def index_line(self, settings=None):
        """The index's line: `params` with the set's settings (loop, tone
        phases, peak level), so that gensignal.<kind>(**params) is the item,
        and for an impaired item `channel`, so that gensignal.impair(that,
        channel=channel, loop=..., peak_dbfs=...) is."""
        params = dict(self.params, **(settings or {}))
        line = {"set": self.set, "index": self.index, "kind": self.kind, "params": params}
        if self.channel is not None:
            line["channel"] = self.channel
        line["labels"] = self.labels
        return line

    def error_line(self):
        line = {"set": self.set, "index": self.index, "kind": self.kind, "params": self.params}
        if self.channel is not None:
            line["channel"] = self.channel
        line["reason"] = self.reason
        return line


@functools.lru_cache(maxsize=None)
def _kind_facts(kind):
    return defaults_of(kind), seed_key_of(kind)


def params_of_item(item_set, seed, index):
    if item_set.kind == "scene":
        return scenes.scene_params(item_set, seed, index)
    defaults, seed_key = _kind_facts(item_set.kind)
    return item_params(item_set, defaults, seed_key, seed, index)


def _arguments(item_set, params):
    arguments = {key: value for key, value in params.items() if value is not None}
    arguments.update(item_set.settings)
    return arguments


def impaired(item_set, clean, settings):
    """The clean item through its channel, scaled and looped as the set's
    settings say; the defined loop's notes are kept in the labels, not warned."""
    given = {key: item_set.settings[key] for key in ("loop", "peak_dbfs") if key in item_set.settings}
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        rx = channel_module.impair(clean, channel=settings, **given)
    # Measured as written: the int16 values, not the floats before rounding.
    return Waveform(rx.iq, rx.sample_rate, rx.kind, rx.params, repeat=rx.repeat, loop=clean.loop, channel=rx.channel)


class _NotMeasured(Waveform):
    """An item of a set that asks for no measurement: its metadata records
    gensignal:measured null (and band edges 0), as for a waveform the
    library cannot measure, and its measured labels are null."""

    def measure(self, **options):
        raise GenSignalError(-1, "the set asks for no measurement (measure: false)")


def _metadata(item_set, wf, sha512):
    """The item's metadata and its .sigmf-meta text: wavegen's, or for a set
    that asks for no measurement one line (indenting takes longer than the item)."""
    if item_set.measure:
        text = sigmf.metadata_text(wf, sha512)
        return json.loads(text), text
    unmeasured = _NotMeasured(
        wf.iq, wf.sample_rate, wf.kind, wf.params, repeat=wf.repeat, loop=wf.loop, channel=wf.channel
    )
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # "not measured": asked for
        meta = sigmf.metadata(unmeasured, sha512)
    return meta, json.dumps(meta, sort_keys=True, ensure_ascii=False, separators=(",", ":")) + "\n"


def make_item(item_set, seed, index):
    if item_set.kind == "scene":
        return scenes.make_scene_item(item_set, seed, index)
    params = params_of_item(item_set, seed, index)
    settings = item_channel(item_set, seed, index)
    try:
        wf = kinds.generate(item_set.kind, **_arguments(item_set, params))
        if settings is not None:
            wf = impaired(item_set, wf, settings)
    except Exception as e:  # a refused record or channel is an item's fault, not the run's
        reason = str(e) if isinstance(e, (GenSignalError, ValueError)) else f"{type(e).__name__}: {e}"
        return Item(item_set.name, index, item_set.kind, params, reason=reason, channel=settings)
    data = wf.iq.astype("<i2").tobytes()
    meta, text = _metadata(item_set, wf, hashlib.sha512(data).hexdigest())
    return Item(item_set.name, index, item_set.kind, params, text, data, labels(wf, meta), channel=settings)


def make_items(item_set, seed, indices):
    """One task: the items `indices` of the set `item_set`."""
    return [make_item(item_set, seed, index) for index in indices]


def written_item(item_set, seed, index, meta_bytes, data):
    """The Item for files an earlier run wrote, or None unless they are
    exactly what this item writes: the data matches its SHA-512 and the
    metadata is, byte for byte, what this item's values give for that data."""
    if item_set.kind == "scene":
        return scenes.written_scene_item(item_set, seed, index, meta_bytes, data)
    params = params_of_item(item_set, seed, index)
    settings = item_channel(item_set, seed, index)
    try:
        values, rate = kinds.params_of(item_set.kind, **_arguments(item_set, params))
    except (TypeError, ValueError):
        return None
    if len(data) % 4:
        return None
    # The loop a generation made, and what a channel realised, cannot be
    # known without making them: they are taken from the written metadata,
    # once its settings are this item's.
    try:
        glob = json.loads(meta_bytes)["global"]
        made, channel = glob.get("gensignal:loop"), glob.get("gensignal:channel")
    except (ValueError, KeyError, TypeError, AttributeError):
        return None
    given = {key: value for key, value in item_set.settings.items() if key in loop.keywords(item_set.kind)}
    expected = loop.settings_of(item_set.kind, given)
    if not isinstance(made, dict) or {key: made.get(key) for key in expected} != expected:
        return None
    if settings is None:
        channel = None
    elif not (
        isinstance(channel, dict)
        and isinstance(channel.get("realised"), dict)
        and channel.get("settings") == _applied(settings)
    ):
        return None
    wf = Waveform(
        np.frombuffer(data, dtype="<i2"),
        rate,
        item_set.kind,
        kinds.waveform_params(item_set.kind, values),
        loop=made,
        channel=channel,
    )
    meta, text = _metadata(item_set, wf, hashlib.sha512(data).hexdigest())
    if text.encode("utf-8") != meta_bytes:
        return None
    return Item(
        item_set.name, index, item_set.kind, params, text, data, labels(wf, meta), resumed=True, channel=settings
    )


def _applied(settings):
    """The settings as the metadata records them (JSON's shapes)."""
    try:
        return json.loads(json.dumps(channel_module.Channel(**settings).to_dict()))
    except (TypeError, ValueError):
        return None
