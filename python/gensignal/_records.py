"""The ten parameter records, laid out byte for byte as the C header packs them."""
import ctypes

_c_double = ctypes.c_double
_c_int32 = ctypes.c_int32
_c_uint8 = ctypes.c_uint8


class _Record(ctypes.Structure):
    _pack_ = 1


class DigitalModParams(_Record):
    _fields_ = [
        ("modType", _c_int32),
        ("symbolRate", _c_double),
        ("freqDeviation", _c_double),
        ("pnOrder", _c_int32),
        ("pnSeed", _c_int32),
        ("filterType", _c_int32),
        ("filterSpan", _c_int32),
        ("samplesPerSymbol", _c_int32),
        ("rolloff", _c_double),
    ]


class DSSParams(_Record):
    _fields_ = [
        ("bitRate", _c_double),
        ("modType", _c_int32),
        ("pnOrder", _c_int32),
        ("filterSpan", _c_int32),
        ("samplesPerChip", _c_int32),
        ("rolloff", _c_double),
        ("pnSeed", _c_int32),
        ("filterType", _c_int32),
    ]


class AMModParams(_Record):
    _fields_ = [("modFrequency", _c_double), ("modDepth", _c_double), ("modShape", _c_int32)]


class FMModParams(_Record):
    _fields_ = [("modFrequency", _c_double), ("freqDeviation", _c_double), ("modShape", _c_int32)]


class MultitoneParams(_Record):
    _fields_ = [("reserved", _c_uint8 * 8), ("toneCount", _c_int32), ("toneSpacing", _c_double)]


class PulseParams(_Record):
    _fields_ = [("pulseWidth", _c_double), ("pulsePeriod", _c_double)]


class StepSweepParams(_Record):
    _fields_ = [
        ("startFrequency", _c_double),
        ("stopFrequency", _c_double),
        ("stepCount", _c_int32),
        ("dwellTime", _c_double),
    ]


class RampSweepParams(_Record):
    _fields_ = [("sweepBandwidth", _c_double), ("sweepTime", _c_double), ("duration", _c_double)]


class AWGNParams(_Record):
    _fields_ = [("bandwidth", _c_double), ("duration", _c_double)]


class OFDMParams(_Record):
    _fields_ = [
        ("reserved0", _c_uint8 * 8),
        ("fftSize", _c_int32),
        ("numSymbols", _c_int32),
        ("guardLow", _c_int32),
        ("guardHigh", _c_int32),
        ("cpPercent", _c_int32),
        ("reserved1", _c_uint8 * 4),
        ("windowing", _c_uint8),
        ("modType", _c_int32),
        ("nullDC", _c_uint8),
    ]


RECORDS = {
    cls.__name__: cls
    for cls in (
        DigitalModParams,
        DSSParams,
        AMModParams,
        FMModParams,
        MultitoneParams,
        PulseParams,
        StepSweepParams,
        RampSweepParams,
        AWGNParams,
        OFDMParams,
    )
}


def build(kind, values):
    """The record a kind's table entry (fields.json) describes, filled from
    `values` (header names; choices as numbers), and the entry point's extra
    argument (the count of symbols or bits), or None when it takes none."""
    record = RECORDS[kind["record"]]()
    argument = None
    for field in kind["fields"]:
        if field["target"] == "record":
            setattr(record, field["name"], values[field["name"]])
        elif field["target"] == "argument":
            argument = values[field["name"]]
    return record, argument
