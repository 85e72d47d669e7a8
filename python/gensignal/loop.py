"""The opt-in settings of the library's generator objects (loop mode, tone
phases, phase seed, peak level) as keyword arguments, and what a call made:
its loop, and the note a defined call leaves (issued as a warning)."""
import ctypes
import numbers

from . import _library
from ._library import GenSignalError

LOOP_MODES = {"defined": 0, "exact": 1}
TONE_PHASES = {"zero": 0, "newman": 1, "schroeder": 2, "random": 3}
# The option numbers of the C header, with the keyword each one is.
OPTIONS = {"loop": 1, "tone_phases": 2, "phase_seed": 3, "peak_dbfs": 4}
_OPTION_NAMES = {
    "GENSIGNAL_OPTION_LOOP_MODE": "loop",
    "GENSIGNAL_OPTION_TONE_PHASES": "tone_phases",
    "GENSIGNAL_OPTION_PHASE_SEED": "phase_seed",
    "GENSIGNAL_OPTION_PEAK_DBFS": "peak_dbfs",
}
# Every kind takes loop= and peak_dbfs=; the multitone also its phases.
DEFAULTS = {"loop": "defined", "peak_dbfs": 0.0}
TONE_DEFAULTS = {"tone_phases": "zero", "phase_seed": 0}


class LoopInfo(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("samples", ctypes.c_int32),
        ("periods", ctypes.c_int32),
        ("samplesPerPeriod", ctypes.c_double),
        ("loopDuration", ctypes.c_double),
        ("wholePeriods", ctypes.c_int32),
    ]


def keywords(kind_name):
    """The option keywords a kind takes, with their defaults."""
    return dict(DEFAULTS, **(TONE_DEFAULTS if kind_name == "multitone" else {}))


def _declare(lib):
    if getattr(lib, "_loop_declared", False):
        return
    lib.GenSignalSetOption.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_double]
    lib.GenSignalSetOption.restype = ctypes.c_int
    lib.GenSignalGetLoopInfo.argtypes = [ctypes.c_int, ctypes.POINTER(LoopInfo)]
    lib.GenSignalGetLoopInfo.restype = ctypes.c_int
    lib.GenSignalGetNote.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
    lib.GenSignalGetNote.restype = ctypes.c_int
    lib._loop_declared = True


def _number(kind, key, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{kind}() argument {key} = {value!r}: must be a number")
    return float(value)


def _named(kind, key, value, names):
    if not isinstance(value, str) or value.lower() not in names:
        raise GenSignalError(-1, f"{key} = {value!r}: must be one of {', '.join(names)}", key)
    return names[value.lower()]


def values(kind_name, given):
    """The option values to set, by option number, for these keywords (the
    defaults for the others: a handle keeps its settings between calls)."""
    chosen = dict(keywords(kind_name), **given)
    out = {
        OPTIONS["loop"]: _named(kind_name, "loop", chosen["loop"], LOOP_MODES),
        OPTIONS["peak_dbfs"]: _number(kind_name, "peak_dbfs", chosen["peak_dbfs"]),
        OPTIONS["tone_phases"]: 0,
        OPTIONS["phase_seed"]: 0,
    }
    if "tone_phases" in chosen:
        out[OPTIONS["tone_phases"]] = _named(kind_name, "tone_phases", chosen["tone_phases"], TONE_PHASES)
        seed = chosen["phase_seed"]
        if isinstance(seed, bool) or not isinstance(seed, numbers.Integral):
            raise TypeError(f"{kind_name}() argument phase_seed = {seed!r}: must be an integer")
        out[OPTIONS["phase_seed"]] = float(seed)
    return out


def apply(handle, settings):
    """Sets the options on the handle; raises GenSignalError naming the keyword."""
    lib = _library.library()
    _declare(lib)
    for option, value in settings.items():
        if lib.GenSignalSetOption(handle, option, value) != 0:
            message = _library.last_error()
            path, sep, rest = message.partition(" = ")
            key = _OPTION_NAMES.get(path) if sep else None
            text = f"{key} = {rest}" if key else message
            raise GenSignalError(-1, message, key, f"{text} (result code -1)")


def settings_of(kind_name, given):
    """The settings part of a loop dict for these keywords (defaults for the
    others): mode, peak_dbfs, and for the multitone tone_phases, phase_seed."""
    chosen = dict(keywords(kind_name), **given)
    settings = {"mode": str(chosen["loop"]).lower(), "peak_dbfs": float(chosen["peak_dbfs"])}
    if "tone_phases" in chosen:
        settings.update(tone_phases=str(chosen["tone_phases"]).lower(), phase_seed=int(chosen["phase_seed"]))
    return settings


def loop_of(handle, kind_name, given):
    """The loop the last call on the handle made, with the settings it was
    made with, as a dict (wavegen's gensignal:loop)."""
    lib = _library.library()
    _declare(lib)
    info = LoopInfo()
    lib.GenSignalGetLoopInfo(handle, ctypes.byref(info))
    return {
        **settings_of(kind_name, given),
        "periods": info.periods,
        "samples_per_period": info.samplesPerPeriod,
        "duration": info.loopDuration,
        "whole_periods": info.wholePeriods == 1,
    }


def note(handle):
    """The note the last call on the handle left ("" for none)."""
    lib = _library.library()
    _declare(lib)
    buffer = ctypes.create_string_buffer(512)
    return buffer.value.decode(errors="replace") if lib.GenSignalGetNote(handle, buffer, len(buffer)) > 0 else ""
