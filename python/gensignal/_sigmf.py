"""SigMF recordings: what the package records of a waveform, written by the
library's metadata writer as it writes wavegen's (byte for byte the same),
and reading recordings back."""
import datetime as _dt
import hashlib
import json
import numbers
import re

import numpy as np

from . import _files
from ._library import GenSignalError, text
from ._formats import sigmf_base

# SigMF bounds core:frequency and the annotation edges to this.
FREQUENCY_LIMIT = 1e12
_ISO_UTC = re.compile(r"\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?Z")
_DATATYPES = {"ci16_le": np.dtype("<i2"), "cf32_le": np.dtype("<f4")}


def occupied_band(iq, sample_rate):
    """Edges (Hz, relative to the centre) of the band holding 99 % of the
    power of int16 I/Q pairs, as the library measures it ((0.0, 0.0) for
    silence)."""
    from ._measurement import measure

    m = measure(np.asarray(iq, dtype=np.int16).reshape(-1, 2), sample_rate=sample_rate)
    return (m.obw_lower_hz, m.obw_upper_hz) if m.obw_hz is not None else (0.0, 0.0)


def _measured(waveform):
    """The measurements of the generated buffer and its 99 % band edges for
    the metadata; none (and edges 0, 0) when the library cannot measure it,
    as wavegen."""
    import warnings

    try:
        m = waveform.measure()
    except GenSignalError as e:
        warnings.warn(f"not measured: {e.message}")
        return None, (0.0, 0.0)
    edges = (m.obw_lower_hz, m.obw_upper_hz) if m.obw_hz is not None else (0.0, 0.0)
    return m.to_dict(), edges


def description(kind, params):
    """ "am: mod-frequency 1000 Hz, mod-depth 50 %, mod-shape sine", as wavegen."""
    from ._kinds import KINDS, choice_name

    if kind not in KINDS:
        return "recording"
    words = []
    for field in KINDS[kind]["fields"]:
        if not field["main"] or field["name"] not in params:
            continue
        value = params[field["name"]]
        if field["type"] == "real":
            text = "%.10g" % value
        elif field["type"] == "flag":
            text = "yes" if value else "no"
        elif field["type"] == "choice":
            text = str(choice_name(field, value) if not isinstance(value, str) else value)
        else:
            text = str(value)
        unit = f" {field['unit']}" if field["unit"] else ""
        words.append(f"{field['option'][2:]} {text}{unit}")
    return f"{kind}: " + ", ".join(words)


def signal_detail(kind, params):
    """What the SigMF signal extension says of the waveform ({} when nothing):
    the kind's entries, then those of its modulation."""
    from ._kinds import KINDS

    if kind not in KINDS:
        return {}
    table = KINDS[kind]
    detail = dict(table.get("signalDetail", {}))
    for field in table["fields"]:
        chosen = params.get(field["name"])
        if isinstance(chosen, str) and chosen in field.get("signalDetail", {}):
            detail.update(field["signalDetail"][chosen])
    return detail


def _datetime_text(when):
    if when is None:
        return None
    if when == "now":
        when = _dt.datetime.now(_dt.timezone.utc)
    if isinstance(when, _dt.datetime):
        if when.tzinfo is not None:
            when = when.astimezone(_dt.timezone.utc)
        return when.strftime("%Y-%m-%dT%H:%M:%SZ")
    if not isinstance(when, str) or not _ISO_UTC.fullmatch(when):
        raise GenSignalError(
            -1,
            f'datetime = {when!r}: must be "now", a datetime or an ISO 8601 UTC time such as 2026-06-22T12:00:00Z',
            "datetime",
        )
    return when


def _center_frequency(value):
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"center_frequency = {value!r}: must be a number")
    if not abs(value) <= FREQUENCY_LIMIT:
        raise GenSignalError(-1, f"center_frequency = {value!r}: must be from -1e12 to 1e12 Hz", "center_frequency")
    return float(value)


def recording_fields(sample_rate, sha512, description, samples, repeat=1, center_frequency=None, datetime=None):
    """The fields of every recording for the library's metadata writer:
    int16 I/Q at the rate, the data's hash, what it is, its length and
    where and when it was taken; the writer adds its own "global" entries
    and its "annotations"."""
    fields = {
        "sample_rate": float(sample_rate),
        "sha512": sha512,
        "description": description,
        "samples": samples,
        "repeat": repeat,
    }
    if center_frequency is not None:
        fields["center_frequency"] = center_frequency
    if datetime:
        fields["datetime"] = datetime
    return fields


def recording_text(recording):
    """The .sigmf-meta text of a recording (recording_fields with the
    writer's entries), as every gensignal host writes it."""
    return text("GenSignalSigmfMetadata", recording)


def _scene_annotations(waveform):
    """One annotation per burst, and one for each part that is always on,
    as wavegen scene writes them."""
    bursting = [float(p.get("burst_on", 0) or 0) > 0 for p in waveform.scene["parts"]]
    out = []
    for label in waveform.parts or []:
        if bursting[label["part"]] != (label["burst"] >= 0):
            continue
        a = {
            "core:sample_start": label["sample_start"],
            "core:sample_count": label["sample_count"],
            "core:freq_lower_edge": label["freq_lower_edge"],
            "core:freq_upper_edge": label["freq_upper_edge"],
            "core:label": label["label"],
            "gensignal:part": label["part"],
            "gensignal:kind": label["kind"],
            "gensignal:level_db": label["level_db"],
            "gensignal:power_dbfs": label["power_dbfs"],
            "gensignal:evm_cost_percent": label["evm_cost_percent"],
        }
        if label["burst"] >= 0:
            a["gensignal:burst"] = label["burst"]
        if label.get("detail"):
            a["signal:detail"] = label["detail"]
        out.append(a)
    return out


def _scene_recording(waveform, fields):
    """A scene's recording: the scene under gensignal:scene (regenerate()
    makes it again from there) and an annotation per burst."""
    glob = {"gensignal:scene": waveform.scene}
    if waveform.scene_report is not None:
        glob["gensignal:scene_report"] = waveform.scene_report
    if waveform.parts is not None:
        # Every label as made: the annotations leave out a bursting part's
        # whole-part label and hold the edges at RF, shifted by the centre.
        glob["gensignal:labels"] = waveform.parts
    if waveform.loop:
        glob["gensignal:loop"] = waveform.loop
    return dict(
        fields,
        description=f"scene of {len(waveform.scene['parts'])} parts",
        **{"global": glob, "annotations": _scene_annotations(waveform)},
    )


def _recording(waveform, sha512, datetime, center_frequency):
    """The recording of a waveform, with the same entries wavegen writes."""
    centre = _center_frequency(center_frequency)
    fields = recording_fields(
        waveform.sample_rate, sha512, None, len(waveform.period), waveform.repeat, centre, _datetime_text(datetime)
    )
    if waveform.scene is not None:
        return _scene_recording(waveform, fields)
    measured, (lower, upper) = _measured(waveform)
    glob = {"gensignal:measured": measured}
    if waveform.kind is not None:
        glob["gensignal:kind"] = waveform.kind
        for name, value in waveform.params.items():
            glob[f"gensignal:{name}"] = value
    if waveform.loop:
        glob["gensignal:loop"] = waveform.loop
    if waveform.channel:  # as wavegen impair records it: what was applied and what it realised
        glob["gensignal:channel"] = waveform.channel
    annotation = {
        "core:sample_start": 0,
        "core:sample_count": len(waveform),
        "core:freq_lower_edge": lower,
        "core:freq_upper_edge": upper,
        "core:label": waveform.kind or "recording",
    }
    detail = signal_detail(waveform.kind, waveform.params)
    if detail:
        annotation["signal:detail"] = detail
    return dict(fields, description=waveform.description(), annotations=[annotation], **{"global": glob})


def dumps(meta):
    """A metadata dictionary's text, as the library writes it: sorted keys,
    two-space indent, final newline."""
    return text("GenSignalJsonText", meta) + "\n"


def sigmf_version():
    """The SigMF version the library's recordings carry."""
    empty = recording_fields(1.0, "0" * 128, "", 0)
    return json.loads(recording_text(empty))["global"]["core:version"]


def metadata_text(waveform, sha512, datetime=None, center_frequency=None):
    """The .sigmf-meta text wavegen writes for the waveform."""
    return recording_text(_recording(waveform, sha512, datetime, center_frequency))


def metadata(waveform, sha512, datetime=None, center_frequency=None):
    """The metadata dictionary, with the same fields wavegen writes."""
    return json.loads(metadata_text(waveform, sha512, datetime, center_frequency))


def write(waveform, path, datetime=None, center_frequency=None):
    base = sigmf_base(path)
    if center_frequency is None:
        center_frequency = waveform.center_frequency
    # Refuse a bad time or centre before writing anything.
    stamp = _datetime_text(datetime)
    _center_frequency(center_frequency)
    data = waveform.iq.astype("<i2").tobytes()
    meta = metadata_text(waveform, hashlib.sha512(data).hexdigest(), stamp, center_frequency)
    # Both whole before either is renamed, the data first: a failure leaves the earlier pair as it was.
    _files.write_files([(base + ".sigmf-data", data), (base + ".sigmf-meta", meta)])
    return base + ".sigmf-data"


class SigMFError(ValueError):
    """A recording that cannot be read as it claims to be."""


def _params(kind, glob):
    """The record's fields a recording carries, choices by name (older
    recordings hold their numbers)."""
    from ._kinds import KINDS, choice_name

    if kind not in KINDS:
        return {}
    params = {}
    for field in KINDS[kind]["fields"]:
        key = f"gensignal:{field['name']}"
        if key in glob:
            value = glob[key]
            params[field["name"]] = choice_name(field, value) if field["type"] == "choice" else value
    return params


def _edge(a, key, shift, meta_path, index):
    value = a.get(key, 0.0)
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise SigMFError(f"{meta_path}: annotations[{index}].{key} {value!r} is not a number")
    return value - shift


def _annotated_labels(meta, shift, meta_path):
    """The labels the annotations of a scene recording hold (one per burst
    and per part always on), the edges less the centre; None when none
    carries its part."""
    labels = []
    annotations = meta.get("annotations", [])
    if not isinstance(annotations, list):
        raise SigMFError(f"{meta_path}: annotations is not a list")
    for index, a in enumerate(annotations):
        if not isinstance(a, dict) or "gensignal:part" not in a:
            continue
        labels.append(
            {
                "part": a["gensignal:part"],
                "burst": a.get("gensignal:burst", -1),
                "sample_start": a.get("core:sample_start", 0),
                "sample_count": a.get("core:sample_count", 0),
                "freq_lower_edge": _edge(a, "core:freq_lower_edge", shift, meta_path, index),
                "freq_upper_edge": _edge(a, "core:freq_upper_edge", shift, meta_path, index),
                "kind": a.get("gensignal:kind"),
                "label": a.get("core:label"),
                "level_db": a.get("gensignal:level_db"),
                "power_dbfs": a.get("gensignal:power_dbfs"),
                "evm_cost_percent": a.get("gensignal:evm_cost_percent"),
                "detail": a.get("signal:detail", {}),
            }
        )
    return labels or None


def _scene_labels(meta, glob, centre, meta_path):
    """A scene recording's labels: all of them, exactly, from
    gensignal:labels; from a recording without it (a dataset's, older
    ones) those its annotations hold."""
    if "gensignal:labels" not in glob:
        return _annotated_labels(meta, centre or 0.0, meta_path)
    labels = glob["gensignal:labels"]
    if not isinstance(labels, list) or not all(isinstance(label, dict) for label in labels):
        raise SigMFError(f"{meta_path}: gensignal:labels is not a list of labels (objects)")
    return labels


def read_sigmf(path):
    """Reads PATH.sigmf-meta and PATH.sigmf-data (either may be named) into a
    Waveform: files written by wavegen or `to_sigmf`, or any single-channel
    ci16_le or cf32_le recording (its `params` then empty). For a scene,
    `parts` and `scene_report` as the metadata holds them (every label
    from `to_sigmf`'s files, those the annotations hold from others); None
    for other recordings."""
    from ._waveform import Waveform

    base = sigmf_base(path)
    meta_path, data_path = base + ".sigmf-meta", base + ".sigmf-data"
    with open(meta_path, encoding="utf-8") as f:
        try:
            meta = json.load(f)
        except json.JSONDecodeError as e:
            raise SigMFError(f"{meta_path}: not JSON: {e}") from None
    try:
        facts = json.loads(text("GenSignalSigmfRead", meta))
    except GenSignalError as e:
        raise SigMFError(f"{meta_path}: {e.message}") from None
    glob = meta["global"]
    datatype = facts["datatype"]
    if facts["floats"] is None:
        raise SigMFError(f"{meta_path}: core:datatype {datatype!r} is not supported (only ci16_le and cf32_le)")
    rate, repeat = facts["sample_rate"], facts["repeat"]
    with open(data_path, "rb") as f:
        data = f.read()
    sample_bytes = 2 * _DATATYPES[datatype].itemsize
    if len(data) % sample_bytes:
        raise SigMFError(f"{data_path}: {len(data)} bytes is not a whole number of {datatype} samples; truncated?")
    samples = len(data) // sample_bytes
    if samples < facts["described"]:
        raise SigMFError(
            f"{data_path}: holds {samples} samples, the metadata describes {facts['described']}; truncated?"
        )
    if facts["sha512"] is not None and hashlib.sha512(data).hexdigest() != facts["sha512"]:
        raise SigMFError(f"{data_path}: its SHA-512 does not match core:sha512 of {meta_path}")
    values = np.frombuffer(data, dtype=_DATATYPES[datatype]).reshape(-1, 2)
    kind = glob.get("gensignal:kind")
    captures = meta.get("captures")
    first = captures[0] if isinstance(captures, list) and captures and isinstance(captures[0], dict) else {}
    centre = first.get("core:frequency")
    extra = dict(
        repeat=repeat,
        center_frequency=centre,
        metadata=meta,
        loop=glob.get("gensignal:loop"),
        channel=glob.get("gensignal:channel"),
        scene=glob.get("gensignal:scene") if kind is None else None,
    )
    if datatype == "ci16_le":
        wf = Waveform(values, rate, kind, _params(kind, glob), **extra)
    else:
        samples64 = np.empty(len(values), dtype=np.complex64)
        samples64.real, samples64.imag = values[:, 0], values[:, 1]
        iq = np.clip(np.rint(values.astype(np.float64) * 32767), -32768, 32767).astype(np.int16)
        wf = Waveform(iq, rate, kind, _params(kind, glob), samples=samples64, **extra)
    if isinstance(extra["scene"], dict):
        wf.parts = _scene_labels(meta, glob, centre, meta_path)
        wf.scene_report = glob.get("gensignal:scene_report")
    return wf
