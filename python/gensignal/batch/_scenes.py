"""Wideband items: a set of kind `scene` draws a scene per item, a number of
parts each made from one of the set's part templates, placed in the band
with its own level, bursts and channel; its labels are the scene's boxes.

    {"name": "wide", "kind": "scene", "count": 1000,
     "params": {"sample_rate": 2e6, "parts": {"integers": [1, 4]}},
     "settings": {"loop": "defined"},
     "parts": [{"kind": "digital",
                "params": {"mod_type": ["qpsk", "qam16"], "symbol_rate": {"uniform": [2e4, 1e5]}},
                "placement": {"frequency_offset": {"uniform": [-6e5, 6e5]}, "level_db": {"uniform": [-10, 0]}},
                "channel": {"cfo_hz": {"uniform": [-500, 500]}}}]}

Each part p of item i draws from its own spawn key (set, i, 3, p): which
template, then its values in name order; its channel from (set, i, 3, p, 1)
and its channel seed from (set, i, 3, p, 2): giving a part a channel changes
none of its values, and no part's values depend on how many parts follow."""
import dataclasses
import hashlib
import warnings

import numpy as np

from .. import _sigmf as sigmf
from .._library import GenSignalError
from ._classes import class_of
from ._draws import grid_values, item_rng

# What a part's placement may give, all in the scene's units (Hz, dB, s, degrees).
PLACEMENT = ("frequency_offset", "level_db", "delay", "phase_deg", "burst_on", "burst_off", "burst_start", "burst_ramp")
# A part without a frequency_offset of its own lands within this fraction of the rate either side.
_OFFSET_SPAN = 0.25
_PART_STREAM = 3
_NOISE_STREAM = 4  # the counter noise of an item's noise parts
_SET_KEYS = ("name", "kind", "count", "params", "settings", "parts")
_PART_KEYS = ("kind", "params", "placement", "channel")
_SETTINGS = ("loop", "peak_dbfs")
_LOOPS = ("defined", "exact")
MAX_PARTS = 64  # GENSIGNAL_SCENE_MAX_PARTS
DEFAULT_RATE = 1e6


@dataclasses.dataclass(frozen=True)
class PartTemplate:
    """One entry of a scene set's `parts`: a kind and how its values, its
    placement and its channel are chosen."""

    kind: str
    params: dict
    placement: dict
    channel: dict


def scene_fields():
    """The columns a scene set's items have in the index's params (and the HDF5 file)."""
    from ._manifest import Field

    return {"parts": Field("parts", "json"), "sample_rate": Field("sample_rate", "real")}


def parse_set(position, obj, path, name, count):
    """The ItemSet of a manifest's scene set (its name and count checked already)."""
    from . import _manifest as m

    m._keys(obj, path, _SET_KEYS, "a key of a scene set")
    given = obj.get("params", {})
    m._keys(given, f"{path}.params", ("parts", "sample_rate"), "a parameter of a scene")
    params = {"sample_rate": m.Constant(DEFAULT_RATE), "parts": m.Constant(1)}
    if "sample_rate" in given:
        params["sample_rate"] = m._value_rule(
            m.Field("sample_rate", "real"), given["sample_rate"], f"{path}.params.sample_rate"
        )
    if "parts" in given:
        where = f"{path}.params.parts"
        params["parts"] = m._value_rule(m.Field("parts", "integer"), given["parts"], where)
        low, high = _integer_span(params["parts"])
        if not (1 <= low and high <= MAX_PARTS):
            raise m.ManifestError(where, f"a scene holds 1 to {MAX_PARTS} parts ({low} ... {high} given)")
    settings = obj.get("settings", {})
    m._keys(settings, f"{path}.settings", _SETTINGS, "a setting of a scene")
    rules = m.setting_rules()
    settings = {key: rules[key](value, f"{path}.settings.{key}") for key, value in settings.items()}
    if settings.get("loop", "defined") not in _LOOPS:
        raise m.ManifestError(f"{path}.settings.loop", f"a scene loops {' or '.join(_LOOPS)}")
    templates = obj.get("parts")
    if not isinstance(templates, list) or not templates:
        raise m.ManifestError(f"{path}.parts", "must be a list of at least one part (a kind and its values)")
    parts = tuple(_template(t, f"{path}.parts[{k}]") for k, t in enumerate(templates))
    item_set = m.ItemSet(position, name, "scene", count, params, settings, parts=parts)
    return m._with_grids(item_set, path)


def _integer_span(rule):
    from ._draws import Choice, Constant, Grid

    if isinstance(rule, Constant):
        return rule.value, rule.value
    if isinstance(rule, (Choice, Grid)):
        return min(rule.values), max(rule.values)
    return rule.low, rule.high  # integers


def _template(obj, path):
    from . import _manifest as m

    m._keys(obj, path, _PART_KEYS, "a key of a part")
    kind = obj.get("kind")
    if not isinstance(kind, str) or kind.lower() not in m.KINDS:
        raise m.ManifestError(f"{path}.kind", f"{m._shown(kind)} is not a kind: {', '.join(m.KINDS)}")
    kind = kind.lower()
    fields = {key: f for key, f in m.fields_of(kind).items() if key != "sample_rate"}
    given = obj.get("params", {})
    if isinstance(given, dict) and "sample_rate" in given:
        raise m.ManifestError(f"{path}.params.sample_rate", "a part is made at the scene's sample_rate")
    m._keys(given, f"{path}.params", list(fields), f"a parameter of {kind}")
    params = {key: m._value_rule(fields[key], value, f"{path}.params.{key}") for key, value in given.items()}
    placement = obj.get("placement", {})
    m._keys(placement, f"{path}.placement", PLACEMENT, "a placement of a part")
    placement = {
        key: m._value_rule(m.Field(key, "real"), value, f"{path}.placement.{key}") for key, value in placement.items()
    }
    for where, rules in (("params", params), ("placement", placement)):
        for key, rule in rules.items():
            if isinstance(rule, m.Grid):
                raise m.ManifestError(f"{path}.{where}.{key}.grid", "a part's values are drawn; sweep the scene's")
    channel = m._channel(obj.get("channel", {}), f"{path}.channel")
    if any(isinstance(rule, m.Grid) for rule in channel.values()):
        raise m.ManifestError(f"{path}.channel", "a part's channel is drawn, not swept")
    return PartTemplate(kind, params, placement, channel)


def _drawn(rules, rng):
    return {key: rules[key].draw(rng) for key in sorted(rules)}


def scene_params(item_set, seed, index):
    """{"sample_rate", "parts"} of one item: the parts as gensignal.scene takes them."""
    from ._manifest import defaults_of

    rng = item_rng(seed, item_set.position, index)
    swept = grid_values(item_set, index)
    top = {
        key: swept[("params", key)] if ("params", key) in swept else item_set.params[key].draw(rng)
        for key in sorted(item_set.params)
    }
    rate = float(top["sample_rate"])
    parts = []
    for p in range(int(top["parts"])):
        key = (item_set.position, index, _PART_STREAM, p)
        part_rng = np.random.default_rng(np.random.SeedSequence(seed, spawn_key=key))
        template = item_set.parts[int(part_rng.integers(len(item_set.parts)))]
        values = dict(defaults_of(template.kind))
        values.pop("sample_rate", None)
        values.update(_drawn(template.params, part_rng))
        part = {"kind": template.kind}
        part.update((k, v) for k, v in values.items() if v is not None)
        part.update(_drawn(template.placement, part_rng))
        if "frequency_offset" not in template.placement:
            part["frequency_offset"] = float(part_rng.uniform(-_OFFSET_SPAN, _OFFSET_SPAN)) * rate
        if template.channel:
            channel_rng = np.random.default_rng(np.random.SeedSequence(seed, spawn_key=key + (1,)))
            channel = _drawn(template.channel, channel_rng)
            channel["channel_seed"] = int(
                np.random.SeedSequence(seed, spawn_key=key + (2,)).generate_state(1, np.uint64)[0]
            )
            part["channel"] = channel
        parts.append(part)
    out = {"sample_rate": rate, "parts": parts}
    if any(part["kind"] == "awgn" for part in parts):
        # Noise parts draw under the item's own seed: the items repeat.
        key = (item_set.position, index, _NOISE_STREAM)
        out["noise_seed"] = int(np.random.SeedSequence(seed, spawn_key=key).generate_state(1, np.uint64)[0])
    return out


def _boxes(wf, parts):
    """One box per burst (a part that is always on: one for the whole part),
    from the library's labels of the scene as delivered."""
    out = []
    for label in wf.parts:
        part = parts[label["part"]]
        if (part.get("burst_on", 0) > 0) != (label["burst"] >= 0):
            continue
        out.append(
            {
                "start": label["sample_start"],
                "count": label["sample_count"],
                "lower_hz": label["freq_lower_edge"],
                "upper_hz": label["freq_upper_edge"],
                "class": class_of(part["kind"], part),
                "level_db": label["level_db"],
                "power_dbfs": label["power_dbfs"],
                "part": label["part"],
                "burst": label["burst"],
            }
        )
    return out


def metadata_text(wf, params, settings, boxes, sha512):
    """The .sigmf-meta text of a scene item: the scene it regenerates from and
    an annotation per box."""
    glob = {"gensignal:scene": {key: params[key] for key in ("sample_rate", "parts", "noise_seed") if key in params}}
    glob["gensignal:scene_report"] = wf.scene_report
    glob["gensignal:loop"] = {
        "mode": settings.get("loop", "defined"),
        "peak_dbfs": settings.get("peak_dbfs", 0.0),
        "samples": len(wf),
    }
    annotations = [
        {
            "core:sample_start": b["start"],
            "core:sample_count": b["count"],
            "core:freq_lower_edge": b["lower_hz"],
            "core:freq_upper_edge": b["upper_hz"],
            "core:label": b["class"],
            "gensignal:part": b["part"],
            "gensignal:kind": params["parts"][b["part"]]["kind"],
            "gensignal:level_db": b["level_db"],
            "gensignal:power_dbfs": b["power_dbfs"],
            **({"gensignal:burst": b["burst"]} if b["burst"] >= 0 else {}),
        }
        for b in boxes
    ]
    description = f"scene of {len(params['parts'])} parts"
    fields = sigmf.recording_fields(params["sample_rate"], sha512, description, len(wf))
    return sigmf.recording_text(dict(fields, annotations=annotations, **{"global": glob}))


def make_scene_item(item_set, seed, index):
    from .._scene import scene
    from ._items import Item

    params = scene_params(item_set, seed, index)
    settings = item_set.settings
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # the defined mode's note on where the loop breaks
            wf = scene(
                params["parts"],
                params["sample_rate"],
                loop_mode=settings.get("loop", "defined"),
                peak_dbfs=settings.get("peak_dbfs", 0.0),
                noise_seed=params.get("noise_seed"),
            )
    except (GenSignalError, ValueError, TypeError) as e:
        return Item(item_set.name, index, "scene", params, reason=str(e))
    data = wf.iq.astype("<i2").tobytes()
    boxes = _boxes(wf, params["parts"])
    meta = metadata_text(wf, params, settings, boxes, hashlib.sha512(data).hexdigest())
    labels = {"samples": len(wf), "duration_s": wf.duration, "parts": len(params["parts"]), "boxes": boxes}
    return Item(item_set.name, index, "scene", params, meta, data, labels)


def written_scene_item(item_set, seed, index, meta_bytes, data):
    """The item again, when files on disk are exactly what it writes; else None.
    A scene's labels come only from making it, so it is made."""
    import dataclasses as dc

    item = make_scene_item(item_set, seed, index)
    if item.reason is not None or item.data != data or item.meta.encode("utf-8") != meta_bytes:
        return None
    return dc.replace(item, resumed=True)
