"""The library's measurements of a waveform or of any I/Q array: peak, RMS
and PAPR, the CCDF, the occupied band, adjacent-channel power, SFDR, the
loop seam and EVM against the record's own symbols.

    m = gensignal.measure(wf)                      # or wf.measure()
    m.papr_db, m.ccdf_db["1e-4"], m.evm_percent
    m.to_dict()                                    # as `wavegen measure --json`
    gensignal.measure(samples, sample_rate=8e6)    # complex or int16 (n, 2) arrays
"""
import ctypes
import dataclasses
import math
import numbers

import numpy as np

from . import _library, _records as records

FORMAT_CI16, FORMAT_CF32 = 1, 2
# The GENSIGNAL_RECORD_ numbers, by wavegen's kind names.
RECORD_KINDS = {
    "digital": 1,
    "dss": 2,
    "am": 3,
    "fm": 4,
    "multitone": 5,
    "pulse": 6,
    "stepsweep": 7,
    "rampsweep": 8,
    "awgn": 9,
    "ofdm": 10,
}
# GENSIGNAL_EVM_: why EVM has a value or none.
EVM_STATUS = {
    0: "measured",
    1: "no record to compare with",
    2: "none defined for this kind",
    3: "resampled: the symbol instants are not on the sample grid",
    4: "the samples are not what the record makes",
    5: "one OFDM symbol: a gain per subcarrier fits anything",
}
CCDF_KEYS = ("1e-1", "1e-2", "1e-3", "1e-4")
OPTIONS = ("channel_bandwidth", "channel_spacing", "obw_percent")


class GenSignalMeasureInput(ctypes.Structure):
    _fields_ = [
        ("samples", ctypes.c_void_p),
        ("valueCount", ctypes.c_int64),
        ("format", ctypes.c_int32),
        ("recordKind", ctypes.c_int32),
        ("record", ctypes.c_void_p),
        ("argument", ctypes.c_int32),
        ("reserved", ctypes.c_int32),
        ("sampleRate", ctypes.c_double),
    ]


class GenSignalMeasureOptions(ctypes.Structure):
    _fields_ = [
        ("obwPercent", ctypes.c_double),
        ("channelBandwidth", ctypes.c_double),
        ("channelSpacing", ctypes.c_double),
    ]


class GenSignalModulationDescription(ctypes.Structure):
    _fields_ = [
        ("modType", ctypes.c_int32),
        ("filterType", ctypes.c_int32),
        ("symbolRate", ctypes.c_double),
        ("rolloff", ctypes.c_double),
    ]


class GenSignalMeasurement(ctypes.Structure):
    _fields_ = (
        [
            ("samples", ctypes.c_int64),
            ("sampleRate", ctypes.c_double),
            ("peakDbfs", ctypes.c_double),
            ("rmsDbfs", ctypes.c_double),
            ("paprDb", ctypes.c_double),
            ("ccdfDb", ctypes.c_double * 4),
        ]
        + [
            (name, ctypes.c_double)
            for name in (
                "obwHz",
                "obwLowerHz",
                "obwUpperHz",
                "channelBandwidthHz",
                "channelSpacingHz",
                "acprLowerDb",
                "acprUpperDb",
                "sfdrDb",
                "seamRatio",
                "evmPercent",
                "evmPeakPercent",
                "merDb",
            )
        ]
        + [("evmStatus", ctypes.c_int32), ("symbols", ctypes.c_int32)]
    )


# For the layout test against the C header.
RECORDS = {
    cls.__name__: cls
    for cls in (GenSignalMeasureInput, GenSignalMeasureOptions, GenSignalMeasurement, GenSignalModulationDescription)
}
DESCRIPTION = ("mod", "symbol_rate", "rrc", "rcos")

_declared = False


def _channel_names():
    names, lib = [], _library.library()
    lib.GenSignalMeasureChannelName.restype = ctypes.c_char_p
    while (name := lib.GenSignalMeasureChannelName(len(names))) is not None:
        names.append(name.decode())
    return tuple(names)


def _lib():
    global _declared
    lib = _library.library()
    if not _declared:
        pointer = ctypes.POINTER
        lib.GenSignalMeasure.argtypes = [
            pointer(GenSignalMeasureInput),
            pointer(GenSignalMeasureOptions),
            pointer(GenSignalMeasurement),
        ]
        lib.GenSignalMeasureCcdf.argtypes = [
            pointer(GenSignalMeasureInput),
            pointer(ctypes.c_double),
            ctypes.c_int,
            pointer(ctypes.c_double),
        ]
        lib.GenSignalMeasureConstellation.argtypes = [
            pointer(GenSignalMeasureInput),
            pointer(ctypes.c_double),
            pointer(ctypes.c_double),
            ctypes.c_int,
            pointer(ctypes.c_int),
            pointer(ctypes.c_int),
        ]
        lib.GenSignalMeasureChannelPreset.argtypes = [
            ctypes.c_char_p,
            pointer(ctypes.c_double),
            pointer(ctypes.c_double),
        ]
        lib.GenSignalMeasureChannelName.argtypes = [ctypes.c_int]
        lib.GenSignalMeasureChannelName.restype = ctypes.c_char_p
        lib.GenSignalMeasureDescribed.argtypes = [
            pointer(GenSignalMeasureInput),
            pointer(GenSignalMeasureOptions),
            pointer(GenSignalModulationDescription),
            pointer(GenSignalMeasurement),
        ]
        lib.GenSignalMeasureSeam.argtypes = [pointer(GenSignalMeasureInput), pointer(ctypes.c_double)]
        for fn in (
            lib.GenSignalMeasure,
            lib.GenSignalMeasureCcdf,
            lib.GenSignalMeasureConstellation,
            lib.GenSignalMeasureSeam,
            lib.GenSignalMeasureChannelPreset,
            lib.GenSignalMeasureDescribed,
        ):
            fn.restype = ctypes.c_int
        _declared = True
    return lib


def _value(v):
    return float(v) if math.isfinite(v) else None


@dataclasses.dataclass
class Measurement:
    """The numbers (None where one does not apply). `to_dict()` gives the keys
    of `wavegen measure --json`; `ccdf_curve`, the channel used and the EVM
    status are attributes besides."""

    samples: int
    sample_rate: float
    peak_dbfs: float
    rms_dbfs: float
    papr_db: float
    ccdf_db: dict
    obw_hz: float
    obw_lower_hz: float
    obw_upper_hz: float
    acpr_db: dict
    sfdr_db: float
    seam_ratio: float
    evm_percent: float
    evm_peak_percent: float
    mer_db: float
    seam_prediction: float = None
    channel_bandwidth_hz: float = None
    channel_spacing_hz: float = None
    obw_percent: float = 99.0
    evm_status: str = EVM_STATUS[1]
    symbols: int = 0
    _buffer: object = dataclasses.field(default=None, repr=False, compare=False)
    _curve: object = dataclasses.field(default=None, repr=False, compare=False)

    KEYS = (
        "samples",
        "sample_rate",
        "peak_dbfs",
        "rms_dbfs",
        "papr_db",
        "ccdf_db",
        "obw_hz",
        "obw_lower_hz",
        "obw_upper_hz",
        "acpr_db",
        "sfdr_db",
        "seam_ratio",
        "seam_prediction",
        "evm_percent",
        "evm_peak_percent",
        "mer_db",
    )

    def to_dict(self):
        out = {key: getattr(self, key) for key in self.KEYS}
        out["ccdf_db"] = dict(self.ccdf_db)
        out["acpr_db"] = dict(self.acpr_db)
        return out

    @property
    def ccdf_curve(self):
        """(probabilities, levels in dB above mean power): the CCDF from 0.9
        down to one sample in the buffer, 200 points."""
        if self._curve is None:
            self._curve = ccdf(self._buffer, 200)
        return self._curve


class _Buffer:
    """An array, its format and what made it, as the library takes them."""

    def __init__(self, source, sample_rate, record=None):
        from ._waveform import Waveform

        self.kind, self.params, self.record, self.argument = None, {}, None, 0
        if record is not None:
            if not isinstance(record, Waveform) or record.kind is None:
                raise TypeError("measure(): record must be a gensignal Waveform that carries its record")
            if isinstance(source, Waveform):
                source = source.period
            if sample_rate is None:
                sample_rate = record.sample_rate
        if isinstance(source, Waveform):
            if sample_rate is not None:
                raise TypeError("measure(): sample_rate is the waveform's own; pass it only with an array")
            # The generated buffer, once, however many times the waveform repeats it.
            self.kind, self.params, sample_rate = source.kind, _params_made(source), source.sample_rate
            array = source.made
        else:
            if sample_rate is None:
                raise TypeError("measure(): an array needs sample_rate")
            array = np.asarray(source)
        if isinstance(sample_rate, bool) or not isinstance(sample_rate, numbers.Real):
            raise TypeError(f"measure(): sample_rate = {sample_rate!r}: must be a number")
        self.sample_rate = float(sample_rate)
        if np.iscomplexobj(array):
            self.format, self.values = FORMAT_CF32, np.ascontiguousarray(array, dtype=np.complex64).view(np.float32)
        elif array.dtype == np.int16 and (array.ndim == 1 or array.shape[-1] == 2):
            self.format, self.values = FORMAT_CI16, np.ascontiguousarray(array).reshape(-1)
        else:
            raise TypeError(
                f"measure(): an array of {array.dtype} {array.shape}: give complex samples or int16 "
                "I/Q pairs of shape (n, 2)"
            )
        if record is not None:
            self.kind, self.params = record.kind, _params_made(record)
        self.record_kind = RECORD_KINDS.get(self.kind, 0)
        if self.record_kind:
            self.record, self.argument = _record(self.kind, self.params)

    def input(self):
        return GenSignalMeasureInput(
            self.values.ctypes.data,
            self.values.size,
            self.format,
            self.record_kind,
            ctypes.addressof(self.record) if self.record is not None else None,
            self.argument,
            0,
            self.sample_rate,
        )


def _params_made(waveform):
    """The record's values the call used: those asked, with what snap changed."""
    params = dict(waveform.params)
    snapped = waveform.snapped
    if snapped and snapped["field"] in params:
        asked = params[snapped["field"]]
        params[snapped["field"]] = int(snapped["taken"]) if isinstance(asked, int) else snapped["taken"]
    return params


def _record(kind_name, params):
    """The parameter record (and extra argument) the params describe
    (enumerations by name or number)."""
    from ._library import GenSignalError
    from ._kinds import KINDS, params_of

    kind = KINDS[kind_name]
    missing = [f["name"] for f in kind["fields"] if f["target"] != "program" and f["name"] not in params]
    if missing:
        raise GenSignalError(-1, f"the {kind_name} record lacks {', '.join(missing)}: cannot measure against it")
    values, _ = params_of(kind_name, **params)
    record, argument = records.build(kind, values)
    return record, 0 if argument is None else argument


def _call(fn, *args):
    if fn(*args) != 0:
        from ._library import GenSignalError

        raise GenSignalError(-1, _library.last_error() or "the measurement was refused")


def _description(mod=None, symbol_rate=None, rrc=None, rcos=None):
    """The described modulation: mod by name ("qpsk") or number, the symbol
    rate, and the roll-off of an RRC (or RCOS) pulse; neither: rectangular."""
    from ._kinds import KINDS

    field = next(f for f in KINDS["digital"]["fields"] if f["name"] == "modType")
    numbers_by_name = {name: number for name, number in field["choices"]}
    if mod is None or symbol_rate is None:
        raise TypeError("measure(): a described modulation needs mod and symbol_rate")
    if rrc is not None and rcos is not None:
        raise TypeError("measure(): give rrc or rcos, not both")
    number = numbers_by_name.get(str(mod).lower(), mod) if not isinstance(mod, bool) else None
    if not isinstance(number, int):
        raise TypeError(f"measure() argument mod = {mod!r}: one of {', '.join(numbers_by_name)}")
    filter_type, rolloff = (3, rrc) if rrc is not None else (2, rcos) if rcos is not None else (1, 0.0)
    for key, value in (("symbol_rate", symbol_rate), ("rolloff", rolloff)):
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise TypeError(f"measure() argument {key} = {value!r}: must be a number")
    return GenSignalModulationDescription(number, filter_type, float(symbol_rate), float(rolloff))


def channel_preset(name):
    """(bandwidth, spacing) in Hz of an adjacent-channel preset: "lte5",
    "nr20", ... (CHANNEL_PRESETS lists them)."""
    bandwidth, spacing = ctypes.c_double(), ctypes.c_double()
    if not isinstance(name, str):
        raise TypeError(f"channel = {name!r}: must be a preset's name")
    if _lib().GenSignalMeasureChannelPreset(name.encode(), ctypes.byref(bandwidth), ctypes.byref(spacing)) != 0:
        from ._library import GenSignalError

        raise GenSignalError(-1, _library.last_error().replace("channel preset ", "channel = ", 1), "channel")
    return bandwidth.value, spacing.value


def _options_of(options):
    """measure()'s keywords, checked: the library's [channel_bandwidth,
    channel_spacing, obw_percent] (a preset filling what is not given) and
    the capture's modulation as described."""
    options = dict(options)
    preset = options.pop("channel", None)
    described = {key: options.pop(key) for key in DESCRIPTION if key in options}
    for key in options:
        if key not in OPTIONS:
            raise TypeError(f"measure() got an unexpected keyword argument '{key}'")
    chosen = []
    for key in OPTIONS:
        value = options.get(key, 0.0)
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise TypeError(f"measure() argument {key} = {value!r}: must be a number")
        chosen.append(float(value))
    if "obw_percent" in options and not chosen[2] > 0:  # the library's 0 is its default; the caller's is 0
        from ._library import GenSignalError

        raise GenSignalError(
            -1, f"obw_percent = {options['obw_percent']!r}: must be above 0 and at most 100", "obw_percent"
        )
    if preset is not None:
        bandwidth, spacing = channel_preset(preset)
        chosen[0] = chosen[0] if "channel_bandwidth" in options else bandwidth
        chosen[1] = chosen[1] if "channel_spacing" in options else spacing
    return chosen, described


def _measurement_of(out, seam, chosen, buffer):
    return Measurement(
        samples=int(out.samples),
        sample_rate=float(out.sampleRate),
        peak_dbfs=_value(out.peakDbfs),
        rms_dbfs=_value(out.rmsDbfs),
        papr_db=_value(out.paprDb),
        ccdf_db={key: _value(v) for key, v in zip(CCDF_KEYS, out.ccdfDb)},
        obw_hz=_value(out.obwHz),
        obw_lower_hz=_value(out.obwLowerHz),
        obw_upper_hz=_value(out.obwUpperHz),
        acpr_db={"lower": _value(out.acprLowerDb), "upper": _value(out.acprUpperDb)},
        sfdr_db=_value(out.sfdrDb),
        seam_ratio=_value(out.seamRatio),
        seam_prediction=_value(seam),
        evm_percent=_value(out.evmPercent),
        evm_peak_percent=_value(out.evmPeakPercent),
        mer_db=_value(out.merDb),
        channel_bandwidth_hz=_value(out.channelBandwidthHz),
        channel_spacing_hz=_value(out.channelSpacingHz),
        obw_percent=chosen[2] or 99.0,
        evm_status=EVM_STATUS.get(out.evmStatus, "none"),
        symbols=int(out.symbols),
        _buffer=buffer,
    )


def measure(waveform_or_array, sample_rate=None, record=None, **options):
    """The library's measurements of a Waveform, a complex array (1.0 = 32767
    counts) or int16 I/Q pairs. Keywords: channel_bandwidth and
    channel_spacing in Hz, or channel, a standard's preset ("lte5", "nr20":
    CHANNEL_PRESETS), obw_percent; sample_rate for arrays; mod, symbol_rate
    and rrc (or rcos: the roll-off) to describe a capture's modulation. EVM is
    measured against the Waveform's record when it has one, or against
    `record`, the Waveform an array is a copy of (a noisy or impaired
    capture of it, at its rate unless sample_rate says otherwise). Without a
    record but with the modulation described (mod="qpsk",
    symbol_rate=1e6, rrc=0.35), EVM is measured decision-directed and the
    channel defaults to symbol_rate x (1 + roll-off)."""
    chosen, described = _options_of(options)
    buffer = _Buffer(waveform_or_array, sample_rate, record)
    out = GenSignalMeasurement()
    choices = GenSignalMeasureOptions(chosen[2], chosen[0], chosen[1])
    if described:
        _call(
            _lib().GenSignalMeasureDescribed,
            ctypes.byref(buffer.input()),
            ctypes.byref(choices),
            ctypes.byref(_description(**described)),
            ctypes.byref(out),
        )
    else:
        _call(_lib().GenSignalMeasure, ctypes.byref(buffer.input()), ctypes.byref(choices), ctypes.byref(out))
    seam = ctypes.c_double()
    _call(_lib().GenSignalMeasureSeam, ctypes.byref(buffer.input()), ctypes.byref(seam))
    return _measurement_of(out, seam.value, chosen, buffer)


def _buffer(source, sample_rate=None):
    return source if isinstance(source, _Buffer) else _Buffer(source, sample_rate)


def ccdf(source, points=200, sample_rate=None):
    """(probabilities, levels): the level in dB above mean power that the
    instantaneous power exceeds with each probability, from 0.9 down to
    1 / samples, log-spaced."""
    buffer = _buffer(source, sample_rate if sample_rate is not None else 1.0)
    n = buffer.values.size // 2
    if n == 0:
        return np.zeros(0), np.zeros(0)
    probabilities = np.logspace(math.log10(0.9), math.log10(min(0.9, 1.0 / n)), points)
    levels = np.empty(points)
    pointer = ctypes.POINTER(ctypes.c_double)
    _call(
        _lib().GenSignalMeasureCcdf,
        ctypes.byref(buffer.input()),
        probabilities.ctypes.data_as(pointer),
        points,
        levels.ctypes.data_as(pointer),
    )
    levels[~np.isfinite(levels)] = np.nan
    return probabilities, levels


def constellation(source, sample_rate=None):
    """(received, references, status): the points EVM compares, after the
    receive filter and the best complex gain, and the record's own, as complex
    arrays (empty when EVM has none; status says why)."""
    buffer = _buffer(source, sample_rate)
    lib = _lib()
    count, status = ctypes.c_int(0), ctypes.c_int(0)
    _call(
        lib.GenSignalMeasureConstellation,
        ctypes.byref(buffer.input()),
        None,
        None,
        0,
        ctypes.byref(count),
        ctypes.byref(status),
    )
    received = np.zeros(2 * count.value)
    references = np.zeros(2 * count.value)
    if count.value:
        pointer = ctypes.POINTER(ctypes.c_double)
        _call(
            lib.GenSignalMeasureConstellation,
            ctypes.byref(buffer.input()),
            received.ctypes.data_as(pointer),
            references.ctypes.data_as(pointer),
            count.value,
            ctypes.byref(count),
            ctypes.byref(status),
        )

    def as_complex(v):
        return v[0::2] + 1j * v[1::2]

    return as_complex(received), as_complex(references), EVM_STATUS.get(status.value, "none")


def __getattr__(name):
    if name == "CHANNEL_PRESETS":  # read from the library when first asked for
        return _channel_names()
    raise AttributeError(name)
