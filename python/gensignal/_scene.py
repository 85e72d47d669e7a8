"""Scenes: several waveforms on one loop (GenerateSceneWaveform), each part a
kind with its fields (as the kind functions take them) and its placement,
with the labels of every part and burst and the crest-factor report."""
import ctypes
import math
import warnings

from . import _library, _kinds as kinds, _loop as loop, _records as records
from . import _channel as channel_module
from ._library import GenSignalError
from ._waveform import Waveform

_PLACEMENT = {
    "frequency_offset": "frequencyOffset",
    "level_db": "levelDb",
    "delay": "delay",
    "phase_deg": "phaseDeg",
    "burst_on": "burstOn",
    "burst_off": "burstOff",
    "burst_start": "burstStart",
    "burst_ramp": "burstRamp",
}
_PART_LOOPS = ("scene", "defined", "exact")
_RECORD_KINDS = {
    name: i + 1
    for i, name in enumerate(
        ("digital", "dss", "am", "fm", "multitone", "pulse", "stepsweep", "rampsweep", "awgn", "ofdm")
    )
}


class _Packed(ctypes.Structure):
    _pack_ = 1


class _Part(_Packed):
    _fields_ = [
        ("recordKind", ctypes.c_int32),
        ("record", ctypes.c_void_p),
        ("argument", ctypes.c_int32),
        ("loopMode", ctypes.c_int32),
        ("tonePhases", ctypes.c_int32),
        ("phaseSeed", ctypes.c_uint32),
        ("channel", ctypes.c_void_p),
        ("frequencyOffset", ctypes.c_double),
        ("levelDb", ctypes.c_double),
        ("delay", ctypes.c_double),
        ("phaseDeg", ctypes.c_double),
        ("burstOn", ctypes.c_double),
        ("burstOff", ctypes.c_double),
        ("burstStart", ctypes.c_double),
        ("burstRamp", ctypes.c_double),
        ("reserved", ctypes.c_uint8 * 16),
    ]


class _Scene(_Packed):
    _fields_ = [
        ("sampleRate", ctypes.c_double),
        ("partCount", ctypes.c_int32),
        ("parts", ctypes.POINTER(_Part)),
        ("channel", ctypes.c_void_p),
        ("cfrMethod", ctypes.c_int32),
        ("cfrTargetPaprDb", ctypes.c_double),
        ("cfrProbability", ctypes.c_double),
        ("cfrIterations", ctypes.c_int32),
        ("cfrWindow", ctypes.c_double),
        ("reserved", ctypes.c_uint8 * 24),
    ]


class _Label(_Packed):
    _fields_ = [
        ("part", ctypes.c_int32),
        ("burst", ctypes.c_int32),
        ("sampleStart", ctypes.c_int64),
        ("sampleCount", ctypes.c_int64),
        ("freqLowerEdge", ctypes.c_double),
        ("freqUpperEdge", ctypes.c_double),
        ("recordKind", ctypes.c_int32),
        ("modType", ctypes.c_int32),
        ("levelDb", ctypes.c_double),
        ("powerDbfs", ctypes.c_double),
        ("evmCostPercent", ctypes.c_double),
    ]


class _Report(_Packed):
    _fields_ = [
        ("samples", ctypes.c_int64),
        ("parts", ctypes.c_int32),
        ("labels", ctypes.c_int32),
        ("iterations", ctypes.c_int32),
        ("reserved", ctypes.c_int32),
        ("paprBeforeDb", ctypes.c_double),
        ("paprAfterDb", ctypes.c_double),
        ("peakBeforeDb", ctypes.c_double),
        ("peakAfterDb", ctypes.c_double),
        ("acprLowerBeforeDb", ctypes.c_double),
        ("acprLowerAfterDb", ctypes.c_double),
        ("acprUpperBeforeDb", ctypes.c_double),
        ("acprUpperAfterDb", ctypes.c_double),
    ]


assert ctypes.sizeof(_Part) == 116 and ctypes.sizeof(_Scene) == 84
assert ctypes.sizeof(_Label) == 72 and ctypes.sizeof(_Report) == 88

_declared = False


def _declare(lib):
    global _declared
    if _declared:
        return
    lib.GenerateSceneWaveform.argtypes = [
        ctypes.c_int,
        ctypes.POINTER(_Scene),
        ctypes.POINTER(ctypes.POINTER(ctypes.c_int16)),
        ctypes.POINTER(ctypes.c_int),
    ]
    lib.GenerateSceneWaveform.restype = ctypes.c_int
    lib.GenSignalGetSceneLabels.argtypes = [ctypes.c_int, ctypes.POINTER(_Label), ctypes.c_int]
    lib.GenSignalGetSceneLabels.restype = ctypes.c_int
    lib.GenSignalGetSceneReport.argtypes = [ctypes.c_int, ctypes.POINTER(_Report)]
    lib.GenSignalGetSceneReport.restype = ctypes.c_int
    _declared = True


def _channel_record(where, settings, keep):
    """A channel's record from its settings (a Channel or a dict of them),
    kept alive in `keep`; its settings as a dict, for the manifest."""
    try:
        chosen = channel_module.channel_of(settings)
    except (TypeError, GenSignalError) as e:
        raise GenSignalError(-1, f"{where}: {e}", where) from None
    record = chosen.record()
    keep.append(record)
    return ctypes.cast(ctypes.pointer(record), ctypes.c_void_p), chosen.to_dict()


def _detail(table, values):
    """The part's signal:detail words: the kind's, then its choices'."""
    detail = dict(table.get("signalDetail", {}))
    for field in table["fields"]:
        words = field.get("signalDetail", {})
        if field["type"] == "choice" and field["name"] in values:
            name = kinds.choice_name(field, values[field["name"]])
            if name in words:
                detail.update(words[name])
    return detail


def _part(index, spec, keep):
    """The descriptor of one part, its signal:detail and its channel's
    settings; its record and channel are kept alive in `keep`."""
    where = f"parts[{index}]"
    if not isinstance(spec, dict) or "kind" not in spec:
        raise GenSignalError(-1, f"{where}: must be a dict with a kind and its fields", where)
    spec = dict(spec)
    kind = spec.pop("kind")
    if kind not in kinds.KINDS:
        raise GenSignalError(-1, f"{where}.kind = {kind!r}: must be one of " + ", ".join(kinds.KINDS), where)
    part = _Part()
    for key, field in _PLACEMENT.items():
        value = spec.pop(key, 0.0)
        if isinstance(value, bool) or not isinstance(value, (int, float)):
            raise GenSignalError(-1, f"{where}.{key} = {value!r}: must be a number", f"{where}.{key}")
        setattr(part, field, float(value))
    mode = spec.pop("loop", "scene")
    if mode not in _PART_LOOPS:
        raise GenSignalError(-1, f"{where}.loop = {mode!r}: must be one of " + ", ".join(_PART_LOOPS), where)
    part.loopMode = _PART_LOOPS.index(mode)
    phases = loop.table()["tone_phases"]
    part.tonePhases = int(
        phases.number_of(
            spec.pop("tone_phases", "zero"),
            lambda reason: GenSignalError(-1, f"{where}.tone_phases = {reason}", f"{where}.tone_phases"),
        )
    )
    part.phaseSeed = int(spec.pop("phase_seed", 0))
    spec.pop("label", None)
    settings = spec.pop("channel", None)
    if settings is not None:
        part.channel, settings = _channel_record(f"{where}.channel", settings, keep)
    table = kinds.KINDS[kind]
    try:
        values, _ = kinds.params_of(kind, **spec)
    except TypeError as e:
        raise GenSignalError(-1, f"{where}: {e}", where) from None
    for field in table["fields"]:
        if field["target"] == "program" and values.get(field["name"]) is not None:
            raise GenSignalError(-1, f"{where}.{kinds.snake(field['name'])}: a scene takes no seed", where)
    record, argument = records.build(table, values)
    if argument is not None:
        part.argument = argument
    keep.append(record)
    part.recordKind = _RECORD_KINDS[kind]
    part.record = ctypes.cast(ctypes.pointer(record), ctypes.c_void_p)
    return part, _detail(table, values), settings


_CFR_METHODS = {"clip_filter": 1, "peak_window": 2}
_CFR_SETTINGS = ("target_papr_db", "method", "probability", "iterations", "window_s")


def _cfr(scene, cfr):
    """Sets the reduction; returns its settings as a scene file spells them."""
    if cfr is None:
        return None
    if isinstance(cfr, (int, float)) and not isinstance(cfr, bool):
        cfr = {"target_papr_db": cfr}
    if not isinstance(cfr, dict) or "target_papr_db" not in cfr:
        raise GenSignalError(-1, f"cfr = {cfr!r}: must be a target PAPR in dB or a dict with target_papr_db", "cfr")
    unknown = set(cfr) - set(_CFR_SETTINGS)
    if unknown:
        raise GenSignalError(-1, f"cfr: {sorted(unknown)} not settings ({', '.join(_CFR_SETTINGS)})", "cfr")
    method = cfr.get("method", "clip_filter")
    if not isinstance(method, str) or method not in _CFR_METHODS:
        raise GenSignalError(-1, f"cfr.method = {method!r}: expected one of {sorted(_CFR_METHODS)}", "cfr.method")
    scene.cfrMethod = _CFR_METHODS[method]
    scene.cfrTargetPaprDb = float(cfr["target_papr_db"])
    scene.cfrProbability = float(cfr.get("probability", 0))
    scene.cfrIterations = int(cfr.get("iterations", 0))
    scene.cfrWindow = float(cfr.get("window_s", 0))
    return dict(cfr)


def _number(v):
    return v if math.isfinite(v) else None


def _manifest(specs, sample_rate, cfr, settings, channel, noise_seed=None):
    """The scene as a scene file (and gensignal:scene) holds it."""
    parts = []
    for spec, chosen in zip(specs, settings):
        part = dict(spec)
        if chosen is not None:
            part["channel"] = chosen
        parts.append(part)
    out = {"sample_rate": float(sample_rate), "parts": parts}
    if cfr is not None:
        out["cfr"] = cfr
    if channel is not None:
        out["channel"] = channel
    if noise_seed is not None:
        out["noise_seed"] = noise_seed
    return out


def _labels_of(lib, handle, specs, details):
    """The scene's labels on `handle`, a dict each, as the scene file names
    its parts."""
    n = lib.GenSignalGetSceneLabels(handle, None, 0)
    got = (_Label * max(n, 1))()
    lib.GenSignalGetSceneLabels(handle, got, n)
    names = {v: k for k, v in _RECORD_KINDS.items()}
    labels = []
    for label in got[:n]:
        spec = specs[label.part]
        labels.append(
            {
                "part": label.part,
                "burst": label.burst,
                "sample_start": label.sampleStart,
                "sample_count": label.sampleCount,
                "freq_lower_edge": label.freqLowerEdge,
                "freq_upper_edge": label.freqUpperEdge,
                "kind": names[label.recordKind],
                "label": spec.get("label", names[label.recordKind]),
                "level_db": _number(label.levelDb),
                "power_dbfs": _number(label.powerDbfs),
                "evm_cost_percent": label.evmCostPercent,
                "detail": details[label.part],
            }
        )
    return labels


def _report_of(lib, handle):
    """The reduction's report on `handle` (None where a figure does not apply)."""
    report = _Report()
    lib.GenSignalGetSceneReport(handle, ctypes.byref(report))
    return {
        "samples": report.samples,
        "iterations": report.iterations,
        "papr_before_db": _number(report.paprBeforeDb),
        "papr_after_db": _number(report.paprAfterDb),
        "peak_before_db": _number(report.peakBeforeDb),
        "peak_after_db": _number(report.peakAfterDb),
        "acpr_lower_before_db": _number(report.acprLowerBeforeDb),
        "acpr_lower_after_db": _number(report.acprLowerAfterDb),
        "acpr_upper_before_db": _number(report.acprUpperBeforeDb),
        "acpr_upper_after_db": _number(report.acprUpperAfterDb),
    }


def scene(parts, sample_rate, cfr=None, loop_mode="defined", peak_dbfs=0.0, channel=None, noise_seed=None):
    """Several waveforms on one loop. `parts`: dicts with a `kind` and its
    fields (as the kind functions take them: pn_order=..., mod_type="qpsk"),
    and the placement: frequency_offset (Hz), level_db (relative to the
    first part), delay (s), phase_deg, burst_on / burst_off / burst_start /
    burst_ramp (s), loop ("scene", "defined" or "exact"), tone_phases,
    phase_seed, label, channel (a gensignal.Channel or a dict of its
    settings: the part's own, before the sum). `cfr`: a target PAPR in dB,
    or a dict of target_papr_db, probability (1e-4), iterations (8).
    `loop_mode`: the scene's, "defined" or "exact". `channel`: the whole
    scene's, after the sum. `noise_seed` (0 ... 2^64 - 1): the noise parts
    draw from the counter-based generator under it, part i its own stream,
    so the scene repeats; without it they take rand()'s next values.

    Returns a Waveform whose `parts` holds a dict per part and burst (part,
    burst (-1 for the part as a whole), sample_start, sample_count,
    freq_lower_edge, freq_upper_edge, kind, label, level_db, power_dbfs,
    evm_cost_percent, detail: its signal:detail words), whose
    `scene_report` holds what the reduction did and whose `scene` holds the
    scene as a scene file spells it (to_sigmf records it, regenerate()
    makes it again)."""
    lib = _library.library()
    _declare(lib)
    specs = list(parts)
    keep = []
    descriptors = (_Part * max(len(specs), 1))()
    details, settings = [], []
    for i, spec in enumerate(specs):
        descriptors[i], detail, chosen = _part(i, spec, keep)
        details.append(detail)
        settings.append(chosen)
    s = _Scene()
    s.sampleRate = float(sample_rate)
    s.partCount = len(specs)
    s.parts = descriptors
    cfr = _cfr(s, cfr)
    if channel is not None:
        s.channel, channel = _channel_record("channel", channel, keep)
    seeded = None if noise_seed is None else channel_module.Channel(channel_seed=noise_seed)
    handle = _library.thread_handle()
    loop.apply(handle, loop.values("digital", {"loop": loop_mode, "peak_dbfs": peak_dbfs}))
    if seeded is not None:
        loop.apply(handle, {kinds.NOISE_SOURCE_OPTION: 1})
    channel_module.set_on_handle(handle, seeded)  # only its seed reaches a scene
    iq = ctypes.POINTER(ctypes.c_int16)()
    count = ctypes.c_int(0)
    rc = lib.GenerateSceneWaveform(handle, ctypes.byref(s), ctypes.byref(iq), ctypes.byref(count))
    if rc != 0:
        message = _library.last_error() or f"result code {rc}"
        raise GenSignalError(rc, message, None, f"{message} (result code {rc})")
    data = kinds._copy(iq, count.value)
    note = loop.note(handle)
    if note:
        warnings.warn(note, stacklevel=2)
    labels = _labels_of(lib, handle, specs, details)
    report = _report_of(lib, handle)
    wf = Waveform(
        data,
        sample_rate,
        loop={"mode": loop_mode, "samples": len(data), "peak_dbfs": peak_dbfs},
        scene=_manifest(specs, sample_rate, cfr, settings, channel, noise_seed),
    )
    wf.parts = labels
    wf.scene_report = report
    return wf
