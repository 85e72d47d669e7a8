"""The opt-in settings of the library's generator objects as keyword
arguments, built from the library's own option table (GenSignalListOptions):
loop=, peak_dbfs=, snap=, granularity=, ... (the table's keywords), with
its types, ranges and choices; and what a call made: its loop, what snap
changed, and the note a defined call leaves (issued as a warning)."""
import ctypes
import dataclasses
import functools
import math
import numbers

from . import _library
from ._library import GenSignalError

TYPE_CHOICE, TYPE_WHOLE, TYPE_REAL, TYPE_FLAG = 1, 2, 3, 4
_LOOP_MODE = "GENSIGNAL_OPTION_LOOP_MODE"


class OptionInfo(ctypes.Structure):
    _fields_ = [
        ("option", ctypes.c_int32),
        ("type", ctypes.c_int32),
        ("kinds", ctypes.c_uint32),
        ("reserved", ctypes.c_int32),
        ("minimum", ctypes.c_double),
        ("maximum", ctypes.c_double),
        ("defaultValue", ctypes.c_double),
        ("name", ctypes.c_char_p),
        ("keyword", ctypes.c_char_p),
        ("choices", ctypes.c_char_p),
        ("unit", ctypes.c_char_p),
        ("help", ctypes.c_char_p),
    ]


class LoopInfo(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("samples", ctypes.c_int32),
        ("periods", ctypes.c_int32),
        ("samplesPerPeriod", ctypes.c_double),
        ("loopDuration", ctypes.c_double),
        ("wholePeriods", ctypes.c_int32),
    ]


class SnapInfo(ctypes.Structure):
    _fields_ = [("field", ctypes.c_char * 64), ("requested", ctypes.c_double), ("used", ctypes.c_double)]


@dataclasses.dataclass(frozen=True)
class Option:
    """One entry of the library's table: `keyword` is the Python keyword
    (wavegen's option in kebab case), `key` its name in a loop dict."""

    number: int
    type: int
    kinds: int
    minimum: float
    maximum: float
    default: object
    name: str
    keyword: str
    choices: tuple
    unit: str
    help: str

    @property
    def key(self):
        return "mode" if self.name == _LOOP_MODE else self.keyword

    def range_words(self):
        """What a value must be: "one of defined, exact", "-90 to 0 dBFS"."""
        unit = f" {self.unit}" if self.unit else ""
        if self.type == TYPE_CHOICE:
            return f"one of {', '.join(self.choices)}"
        if self.type == TYPE_FLAG:
            return "True or False"
        low, high = f"{self.minimum:.10g}", f"{self.maximum:.10g}"
        return f"a whole number from {low} to {high}{unit}" if self.type == TYPE_WHOLE else f"{low} to {high}{unit}"

    def number_of(self, value, refused):
        """The value as the library takes it; `refused(reason)` raises."""
        if self.type == TYPE_CHOICE:
            if isinstance(value, str) and value.lower() in self.choices:
                return float(self.choices.index(value.lower()))
            if isinstance(value, numbers.Integral) and not isinstance(value, bool) and 0 <= value < len(self.choices):
                return float(value)
        elif self.type == TYPE_FLAG:
            if isinstance(value, (bool, numbers.Integral)) and value in (0, 1):
                return float(value)
        elif isinstance(value, numbers.Real) and not isinstance(value, bool):
            whole = self.type != TYPE_WHOLE or (math.isfinite(value) and value == math.floor(value))
            if whole and self.minimum <= value <= self.maximum:
                return float(value)
        raise refused(f"{value!r}: must be {self.range_words()}")

    def shown(self, number):
        """A setting as a loop dict holds it: choices by name, flags as bool."""
        if self.type == TYPE_CHOICE:
            return self.choices[int(number)]
        if self.type == TYPE_FLAG:
            return bool(number)
        return int(number) if self.type == TYPE_WHOLE else float(number)


def _declare(lib):
    if getattr(lib, "_loop_declared", False):
        return
    lib.GenSignalSetOption.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_double]
    lib.GenSignalSetOption.restype = ctypes.c_int
    lib.GenSignalListOptions.argtypes = [ctypes.POINTER(OptionInfo), ctypes.c_int]
    lib.GenSignalListOptions.restype = ctypes.c_int
    lib.GenSignalGetLoopInfo.argtypes = [ctypes.c_int, ctypes.POINTER(LoopInfo)]
    lib.GenSignalGetLoopInfo.restype = ctypes.c_int
    lib.GenSignalGetSnap.argtypes = [ctypes.c_int, ctypes.POINTER(SnapInfo)]
    lib.GenSignalGetSnap.restype = ctypes.c_int
    lib.GenSignalGetNote.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
    lib.GenSignalGetNote.restype = ctypes.c_int
    lib._loop_declared = True


def _text(raw):
    return raw.decode() if raw else ""


@functools.lru_cache(maxsize=None)
def table():
    """The library's options, in its order, by keyword."""
    lib = _library.library()
    _declare(lib)
    count = lib.GenSignalListOptions(None, 0)
    infos = (OptionInfo * max(count, 0))()
    lib.GenSignalListOptions(infos, count)
    out = {}
    for info in infos:
        choices = tuple(_text(info.choices).split(",")) if info.choices else ()
        option = Option(
            info.option,
            info.type,
            info.kinds,
            info.minimum,
            info.maximum,
            None,
            _text(info.name),
            _text(info.keyword),
            choices,
            _text(info.unit),
            _text(info.help),
        )
        out[option.keyword] = dataclasses.replace(option, default=option.shown(info.defaultValue))
    return out


def _kind_bits(kind_name):
    """The kind's bit in an option's `kinds`; without a kind ("impair"),
    the bits of every kind, so that only options that shape them all apply."""
    from ._measurement import RECORD_KINDS

    if kind_name in RECORD_KINDS:
        return 1 << RECORD_KINDS[kind_name]
    return sum(1 << number for number in RECORD_KINDS.values())


def options_of(kind_name):
    """The options that shape a kind, by keyword."""
    bits = _kind_bits(kind_name)
    return {keyword: o for keyword, o in table().items() if o.kinds & bits == bits}


def keywords(kind_name):
    """The option keywords a kind takes, with their defaults."""
    return {keyword: o.default for keyword, o in options_of(kind_name).items()}


def by_key(kind_name):
    """The options of a kind by their names in a loop dict ("mode" for loop)."""
    return {o.key: o for o in options_of(kind_name).values()}


def values(kind_name, given):
    """The option values to set, by option number, for these keywords (the
    defaults for the others: a handle keeps its settings between calls)."""
    out = {}
    for keyword, o in options_of(kind_name).items():
        value = given.get(keyword, o.default)

        def refused(reason, keyword=keyword):
            return GenSignalError(-1, f"{keyword} = {reason}", keyword)

        out[o.number] = o.number_of(value, refused)
    # Options of other kinds back to their defaults: the handle is shared.
    for o in table().values():
        out.setdefault(o.number, o.number_of(o.default, None))
    return out


def apply(handle, settings):
    """Sets the options on the handle; raises GenSignalError naming the keyword."""
    lib = _library.library()
    _declare(lib)
    names = {o.name: o.keyword for o in table().values()}
    for option, value in settings.items():
        if lib.GenSignalSetOption(handle, option, value) != 0:
            message = _library.last_error()
            path, sep, rest = message.partition(" = ")
            key = names.get(path) if sep else None
            text = f"{key} = {rest}" if key else message
            raise GenSignalError(-1, message, key, f"{text} (result code -1)")


def settings_of(kind_name, given):
    """The settings part of a loop dict for these keywords (defaults for the
    others): every option of the kind by its key, choices by name."""
    settings = {}
    for keyword, o in options_of(kind_name).items():
        value = given.get(keyword, o.default)
        settings[o.key] = o.shown(o.number_of(value, lambda reason: GenSignalError(-1, reason, keyword)))
    return settings


def keywords_of_loop(kind_name, loop):
    """The keywords that make a loop dict's settings again (for regenerate)."""
    return {o.keyword: loop[key] for key, o in by_key(kind_name).items() if key in (loop or {})}


def snapped(handle):
    """What snap changed in the last call on the handle, as {field, asked,
    taken} (the field as the record names it), or None."""
    lib = _library.library()
    _declare(lib)
    snap = SnapInfo()
    if lib.GenSignalGetSnap(handle, ctypes.byref(snap)) != 0 or not snap.field:
        return None
    return {"field": snap.field.decode().rpartition(".")[2], "asked": snap.requested, "taken": snap.used}


def loop_of(handle, kind_name, given):
    """The loop the last call on the handle made, with the settings it was
    made with, as a dict (wavegen's gensignal:loop)."""
    lib = _library.library()
    _declare(lib)
    info = LoopInfo()
    lib.GenSignalGetLoopInfo(handle, ctypes.byref(info))
    loop = {
        **settings_of(kind_name, given),
        "periods": info.periods,
        "samples_per_period": info.samplesPerPeriod,
        "duration": info.loopDuration,
        "whole_periods": info.wholePeriods == 1,
    }
    changed = snapped(handle)
    if changed:
        loop["snapped"] = changed
    return loop


def note(handle):
    """The note the last call on the handle left ("" for none)."""
    lib = _library.library()
    _declare(lib)
    buffer = ctypes.create_string_buffer(512)
    return buffer.value.decode(errors="replace") if lib.GenSignalGetNote(handle, buffer, len(buffer)) > 0 else ""
