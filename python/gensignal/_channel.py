"""A channel of impairments in physical units, applied to any buffer or
Waveform, that keeps a loop a loop: amplifier, multipath fading, timing
offset, carrier frequency and phase offset, phase noise, additive noise with
an exactly realised level, I/Q imbalance and DC offset (GenSignalApplyChannel);
or, with channel= on any kind, as a stage of the generation itself
(GenSignalSetChannel), before the waveform is scaled to int16.

    ch = gensignal.Channel(fading="eva", doppler_hz=70, esn0_db=15,
                           phase_noise=[(1e3, -80), (1e5, -100)], channel_seed=7)
    rx = gensignal.impair(wf, channel=ch)          # or gensignal.impair(wf, esn0_db=15, ...)
    rx.channel["realised"]["snr_db"], rx.samples   # unrounded floats, rx.iq the int16 values
"""
import ctypes
import math
import numbers

import numpy as np

from . import _library
from ._library import GenSignalError

MAX_TAPS, MAX_MASK_POINTS, NOTE_CAPACITY = 48, 16, 256
PA_MODELS = {"rapp": 1, "saleh": 2}
FADINGS = {
    "epa": 1,
    "eva": 2,
    "etu": 3,
    "tdl-a": 4,
    "tdl-b": 5,
    "tdl-c": 6,
    "tdl-d": 7,
    "tdl-e": 8,
    "rayleigh": 9,
    "rician": 10,
    "taps": 11,
}
NOISE_KEYS = {"snr_db": 1, "esn0_db": 2, "ebn0_db": 3, "cn_db": 4}
# The keywords (wavegen's options in snake case) and the record field each sets.
REAL_FIELDS = {
    "pa_backoff_db": "paBackoffDb",
    "pa_smoothness": "paSmoothness",
    "saleh_alpha_a": "salehAlphaA",
    "saleh_beta_a": "salehBetaA",
    "saleh_alpha_phi": "salehAlphaPhi",
    "saleh_beta_phi": "salehBetaPhi",
    "delay_spread": "delaySpread",
    "doppler_hz": "dopplerHz",
    "rician_k_db": "ricianKDb",
    "timing_offset": "timingOffset",
    "cfo_hz": "cfoHz",
    "phase_offset_deg": "phaseOffsetDeg",
    "noise_bandwidth": "noiseBandwidthHz",
    "samples_per_symbol": "samplesPerSymbol",
    "bits_per_symbol": "bitsPerSymbol",
    "iq_gain_db": "iqGainDb",
    "iq_phase_deg": "iqPhaseDeg",
    "dc_phase_deg": "dcPhaseDeg",
}
KEYS = ("pa", "fading", "taps", "phase_noise", "dc_dbc", "channel_seed") + tuple(REAL_FIELDS) + tuple(NOISE_KEYS)


class ChannelTap(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("delay", ctypes.c_double),
        ("powerDb", ctypes.c_double),
        ("kFactorDb", ctypes.c_double),
        ("rician", ctypes.c_int32),
    ]


class GenSignalChannel(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("seed", ctypes.c_uint64),
        ("paModel", ctypes.c_int32),
        ("paBackoffDb", ctypes.c_double),
        ("paSmoothness", ctypes.c_double),
        ("salehAlphaA", ctypes.c_double),
        ("salehBetaA", ctypes.c_double),
        ("salehAlphaPhi", ctypes.c_double),
        ("salehBetaPhi", ctypes.c_double),
        ("fading", ctypes.c_int32),
        ("delaySpread", ctypes.c_double),
        ("dopplerHz", ctypes.c_double),
        ("ricianKDb", ctypes.c_double),
        ("tapCount", ctypes.c_int32),
        ("taps", ChannelTap * MAX_TAPS),
        ("timingOffset", ctypes.c_double),
        ("cfoHz", ctypes.c_double),
        ("phaseOffsetDeg", ctypes.c_double),
        ("phaseNoisePoints", ctypes.c_int32),
        ("phaseNoiseOffsetHz", ctypes.c_double * MAX_MASK_POINTS),
        ("phaseNoiseDbcHz", ctypes.c_double * MAX_MASK_POINTS),
        ("noiseMode", ctypes.c_int32),
        ("noiseDb", ctypes.c_double),
        ("noiseBandwidthHz", ctypes.c_double),
        ("samplesPerSymbol", ctypes.c_double),
        ("bitsPerSymbol", ctypes.c_double),
        ("iqGainDb", ctypes.c_double),
        ("iqPhaseDeg", ctypes.c_double),
        ("dcEnabled", ctypes.c_int32),
        ("dcDbc", ctypes.c_double),
        ("dcPhaseDeg", ctypes.c_double),
        ("reserved", ctypes.c_uint8 * 32),
    ]


_REALISED_DOUBLES = ("inputPower", "outputPower", "paGainDb", "fadingPowerDb", "fadingGainDb")


class GenSignalChannelRealised(ctypes.Structure):
    _pack_ = 1
    _fields_ = (
        [("samples", ctypes.c_int64), ("sampleRate", ctypes.c_double)]
        + [(name, ctypes.c_double) for name in _REALISED_DOUBLES]
        + [
            ("fadingTaps", ctypes.c_int32),
            ("dopplerLines", ctypes.c_int32),
            ("dopplerSpacingHz", ctypes.c_double),
            ("dopplerLowestHz", ctypes.c_double),
            ("dopplerHighestHz", ctypes.c_double),
            ("timingOffset", ctypes.c_double),
            ("cfoHz", ctypes.c_double),
            ("phaseOffsetDeg", ctypes.c_double),
            ("cfoCloses", ctypes.c_int32),
            ("phaseNoiseBins", ctypes.c_int32),
            ("phaseNoiseRmsDeg", ctypes.c_double),
            ("phaseNoiseResolutionHz", ctypes.c_double),
        ]
        + [
            (name, ctypes.c_double)
            for name in (
                "signalPower",
                "noisePower",
                "noisePowerInBand",
                "snrDb",
                "snrInBandDb",
                "esn0Db",
                "ebn0Db",
                "cnDb",
                "iqImageRejectionDb",
                "dcPower",
            )
        ]
        + [("noteLength", ctypes.c_int32), ("note", ctypes.c_char * NOTE_CAPACITY)]
    )


# For the layout test against the C header.
RECORDS = {
    "GenSignalChannelTap": ChannelTap,
    "GenSignalChannel": GenSignalChannel,
    "GenSignalChannelRealised": GenSignalChannelRealised,
}


def _snake(name):
    return "".join("_" + c.lower() if c.isupper() else c for c in name)


def _number(key, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"channel {key} = {value!r}: must be a number")
    return float(value)


def _named(key, value, names):
    if not isinstance(value, str) or value.lower() not in names:
        raise GenSignalError(-1, f"{key} = {value!r}: must be one of {', '.join(names)}", key)
    return names[value.lower()]


def _pairs(key, value, width):
    """A list of tuples of numbers (or a dict of pairs)."""
    items = list(value.items()) if isinstance(value, dict) else list(value)
    out = []
    for item in items:
        item = tuple(item) if not isinstance(item, (str, bytes)) and hasattr(item, "__len__") else (item,)
        if len(item) not in width:
            raise GenSignalError(
                -1, f"{key} = {value!r}: each entry must hold {' or '.join(map(str, width))} numbers", key
            )
        out.append(tuple(_number(key, v) for v in item))
    return out


class Channel:
    """The settings of a channel, by wavegen's option names in snake case:
    pa ('rapp' or 'saleh'), pa_backoff_db, pa_smoothness, saleh_alpha_a,
    saleh_beta_a, saleh_alpha_phi, saleh_beta_phi; fading ('epa', 'eva',
    'etu', 'tdl-a' ... 'tdl-e', 'rayleigh', 'rician', 'taps'), delay_spread
    [s], doppler_hz (0: static taps), rician_k_db, taps [(delay s, power dB)
    or (delay s, power dB, K dB) for a Rician tap]; timing_offset [samples];
    cfo_hz, phase_offset_deg; phase_noise [(offset Hz, dBc/Hz), ...]; one of
    snr_db, esn0_db, ebn0_db, cn_db (with noise_bandwidth [Hz]),
    samples_per_symbol, bits_per_symbol (default: the record's); iq_gain_db,
    iq_phase_deg; dc_dbc, dc_phase_deg; channel_seed (0 ... 2^64 - 1).
    Every stage is off unless its settings are given."""

    def __init__(self, **settings):
        for key in settings:
            if key not in KEYS:
                raise TypeError(f"Channel() got an unexpected keyword argument '{key}'")
        noise = [key for key in NOISE_KEYS if settings.get(key) is not None]
        if len(noise) > 1:
            raise GenSignalError(-1, f"{', '.join(noise)}: give one noise level", noise[1])
        self.settings = {key: value for key, value in settings.items() if value is not None}
        self.record()  # refuses what cannot be written into the record

    def __repr__(self):
        return "Channel(" + ", ".join(f"{k}={v!r}" for k, v in self.settings.items()) + ")"

    def __eq__(self, other):
        return isinstance(other, Channel) and self.to_dict() == other.to_dict()

    def to_dict(self):
        """The settings, lists as lists of lists (JSON's shape)."""
        out = {}
        for key, value in self.settings.items():
            if key in ("taps", "phase_noise"):
                out[key] = [list(p) for p in _pairs(key, value, (2, 3))]
            elif isinstance(value, str):
                out[key] = value.lower()
            else:
                out[key] = value
        return out

    def record(self):
        """The GenSignalChannel record (ctypes)."""
        s = self.settings
        r = GenSignalChannel()
        seed = s.get("channel_seed", 0)
        if isinstance(seed, bool) or not isinstance(seed, numbers.Integral) or not 0 <= seed < 2**64:
            raise GenSignalError(
                -1, f"channel_seed = {seed!r}: must be a whole number from 0 to 2^64 - 1", "channel_seed"
            )
        r.seed = int(seed)
        if "pa" in s:
            r.paModel = _named("pa", s["pa"], PA_MODELS)
        if "fading" in s:
            r.fading = _named("fading", s["fading"], FADINGS)
        for key, field in REAL_FIELDS.items():
            if key in s:
                setattr(r, field, _number(key, s[key]))
        if "taps" in s:
            taps = _pairs("taps", s["taps"], (2, 3))
            if len(taps) > MAX_TAPS:
                raise GenSignalError(-1, f"taps: {len(taps)} taps, at most {MAX_TAPS}", "taps")
            r.tapCount = len(taps)
            for i, tap in enumerate(taps):
                r.taps[i].delay, r.taps[i].powerDb = tap[0], tap[1]
                if len(tap) == 3:
                    r.taps[i].kFactorDb, r.taps[i].rician = tap[2], 1
            if "fading" not in s:
                r.fading = FADINGS["taps"]
        if "phase_noise" in s:
            mask = _pairs("phase_noise", s["phase_noise"], (2,))
            if len(mask) > MAX_MASK_POINTS:
                raise GenSignalError(-1, f"phase_noise: {len(mask)} points, at most {MAX_MASK_POINTS}", "phase_noise")
            r.phaseNoisePoints = len(mask)
            for i, (offset, level) in enumerate(mask):
                r.phaseNoiseOffsetHz[i], r.phaseNoiseDbcHz[i] = offset, level
        for key, mode in NOISE_KEYS.items():
            if key in s:
                r.noiseMode, r.noiseDb = mode, _number(key, s[key])
        if "dc_dbc" in s:
            r.dcEnabled, r.dcDbc = 1, _number("dc_dbc", s["dc_dbc"])
        return r

    def key_of(self, field):
        """The keyword a record field (as the library names it) stands for."""
        field = field.split("[")[0].split(".")[0]
        if field in ("noiseMode", "noiseDb"):
            return next((k for k in NOISE_KEYS if k in self.settings), "snr_db")
        special = {
            "seed": "channel_seed",
            "paModel": "pa",
            "tapCount": "taps",
            "taps": "taps",
            "phaseNoisePoints": "phase_noise",
            "phaseNoiseOffsetHz": "phase_noise",
            "phaseNoiseDbcHz": "phase_noise",
            "dcEnabled": "dc_dbc",
            "dcDbc": "dc_dbc",
        }
        if field in special:
            return special[field]
        return {v: k for k, v in REAL_FIELDS.items()}.get(field, _snake(field))


def channel_of(value):
    """A Channel from a Channel, a dict of its settings, or None."""
    if value is None or isinstance(value, Channel):
        return value
    if isinstance(value, dict):
        return Channel(**value)
    raise TypeError(f"channel = {value!r}: must be a gensignal.Channel or a dict of its settings")


def realised_dict(r):
    """The realised values by snake-case names, NaN as None."""
    out = {}
    for name, _ in GenSignalChannelRealised._fields_:
        if name in ("noteLength",):
            continue
        value = getattr(r, name)
        if name == "note":
            out[name] = value.decode(errors="replace")
        elif name == "cfoCloses":
            out["cfo_closes"] = bool(value)
        elif isinstance(value, float):
            out[_snake(name)] = value if math.isfinite(value) else None
        else:
            out[_snake(name)] = int(value)
    return out


_declared = False
_handle_declared = False


def _handle_entries(lib):
    global _handle_declared
    if not _handle_declared:
        lib.GenSignalSetChannel.argtypes = [ctypes.c_int, ctypes.POINTER(GenSignalChannel)]
        lib.GenSignalSetChannel.restype = ctypes.c_int
        lib.GenSignalGetChannelRealised.argtypes = [ctypes.c_int, ctypes.POINTER(GenSignalChannelRealised)]
        lib.GenSignalGetChannelRealised.restype = ctypes.c_int
        _handle_declared = True


def refusal(chosen, rc, message):
    """The library's refusal as a GenSignalError naming the channel keyword
    a GenSignalChannel field stands for (or no keyword)."""
    key, text = None, message
    if chosen is not None and message.startswith("GenSignalChannel."):
        path = message.partition(" = ")[0]
        key = chosen.key_of(path[len("GenSignalChannel.") :])
        text = f"{key}: {message}"
    return GenSignalError(rc, message, key, f"{text} (result code {rc})")


def set_on_handle(handle, chosen):
    """Makes `chosen` (a Channel, or None for none) the channel every
    generation call on the handle applies (GenSignalSetChannel)."""
    lib = _library.library()
    _handle_entries(lib)
    record = chosen.record() if chosen is not None else None
    rc = lib.GenSignalSetChannel(handle, ctypes.byref(record) if record is not None else None)
    if rc != 0:
        raise refusal(chosen, rc, _library.last_error() or f"result code {rc}")


def realised_on_handle(handle):
    """What the handle's channel did in its last call, by snake-case names,
    or None when that call applied none."""
    lib = _library.library()
    _handle_entries(lib)
    r = GenSignalChannelRealised()
    return realised_dict(r) if lib.GenSignalGetChannelRealised(handle, ctypes.byref(r)) == 0 else None


def _entry():
    global _declared
    lib = _library.library()
    if not _declared:
        from ._measurement import GenSignalMeasureInput

        lib.GenSignalApplyChannel.argtypes = [
            ctypes.c_int,
            ctypes.POINTER(GenSignalChannel),
            ctypes.POINTER(GenSignalMeasureInput),
            ctypes.POINTER(ctypes.c_float),
            ctypes.POINTER(ctypes.POINTER(ctypes.c_int16)),
            ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(GenSignalChannelRealised),
        ]
        lib.GenSignalApplyChannel.restype = ctypes.c_int
        _declared = True
    return lib.GenSignalApplyChannel


def _buffer_of(source, sample_rate):
    """The library's input for `source` and how often the result repeats:
    a Waveform's one loop with its kind and record, or an array at
    `sample_rate`."""
    from ._measurement import RECORD_KINDS, _Buffer, _record
    from ._waveform import Waveform

    if not isinstance(source, Waveform):
        if sample_rate is None:
            raise TypeError("impair(): an array needs sample_rate")
        return _Buffer(source, sample_rate), 1
    if sample_rate is not None:
        raise TypeError("impair(): sample_rate is the waveform's own; pass it only with an array")
    period = len(source.period)
    array = source._samples[:period] if source._samples is not None else source.period
    buffer = _Buffer(array, source.sample_rate)
    buffer.kind, buffer.params = source.kind, source.params
    buffer.record_kind = RECORD_KINDS.get(source.kind, 0)
    if buffer.record_kind:
        buffer.record, buffer.argument = _record(source.kind, source.params)
    return buffer, source.repeat


def impair(source, sample_rate=None, channel=None, loop="defined", peak_dbfs=0.0, **settings):
    """`source` (a Waveform, complex samples with 1.0 = 32767 counts, or int16
    I/Q pairs of shape (n, 2)) through a channel: `channel` (a Channel or a
    dict) or its settings as keywords. The buffer is taken as one loop
    (loop='exact' refuses what would break it, 'defined' applies it with a
    note, issued as a warning); the result is scaled as the waveform kinds
    scale (its peak to 32766, or peak_dbfs below). Returns a Waveform: `iq`
    the int16 values, `samples` the same values before rounding, `channel`
    {'settings': ..., 'realised': ...}. A Waveform keeps its kind and record
    (Es/N0 and Eb/N0 take its samples and bits per symbol) and its repeats:
    the buffer is impaired once and repeated."""
    import warnings

    from ._waveform import Waveform

    if channel is not None and settings:
        raise TypeError("impair(): give channel= or the channel's settings as keywords, not both")
    chosen = channel_of(channel) if channel is not None else Channel(**settings)
    buffer, repeat = _buffer_of(source, sample_rate)
    record = chosen.record()
    handle = _library.thread_handle()
    settings_given = {"loop": loop, "peak_dbfs": peak_dbfs}
    from . import _loop as loop_options

    loop_options.apply(handle, loop_options.values("impair", settings_given))
    values = buffer.values.size
    floats = np.empty(values, dtype=np.float32)
    iq = ctypes.POINTER(ctypes.c_int16)()
    count = ctypes.c_int(0)
    realised = GenSignalChannelRealised()
    rc = _entry()(
        handle,
        ctypes.byref(record),
        ctypes.byref(buffer.input()),
        floats.ctypes.data_as(ctypes.POINTER(ctypes.c_float)),
        ctypes.byref(iq),
        ctypes.byref(count),
        ctypes.byref(realised),
    )
    if rc != 0:
        raise refusal(chosen, rc, _library.last_error() or f"result code {rc}")
    data = np.ctypeslib.as_array(iq, shape=(count.value,)).copy().reshape(-1, 2)
    samples = floats.view(np.complex64)
    info = realised_dict(realised)
    if info["note"]:
        warnings.warn(info["note"], stacklevel=2)
    made = Waveform(
        data,
        buffer.sample_rate,
        buffer.kind,
        buffer.params,
        samples=samples,
        channel={"settings": chosen.to_dict(), "realised": info},
    )
    return made.repeated(repeat) if repeat > 1 else made
