"""One function per waveform kind, made from the field table wavegen uses
(fields.json, written by `wavegen --describe-fields`), so that names and
defaults are the same in both."""
import ctypes
import inspect
import json
import numbers
import pathlib
import re
import threading
import warnings

from . import _library, loop, records
from ._library import GenSignalError
from .waveform import Waveform

TABLE = json.loads((pathlib.Path(__file__).with_name("fields.json")).read_text())
KINDS = {kind["name"]: kind for kind in TABLE}

# rand() is one stream for the whole process: a seeded call holds this lock
# from srand() to the end of the generation so that the seed means the same
# waveform whatever other threads do (through this package).
_seed_lock = threading.Lock()
_libc = ctypes.CDLL(None)


def snake(field_name):
    """"pnOrder" -> "pn_order", "nullDC" -> "null_dc" (wavegen's --pn-order, --null-dc)."""
    return re.sub(r"(?<=[a-z])(?=[A-Z])", "_", field_name).lower()


def _int32(kind, key, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{kind}() argument {key} = {value!r}: must be an integer")
    if not -(2**31) <= value < 2**31:
        raise ValueError(f"{key} = {value}: does not fit a 32-bit field")
    return int(value)


def _value(kind, field, key, value):
    """The value as the record (and the metadata) hold it."""
    t = field["type"]
    if t == "real":
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise TypeError(f"{kind}() argument {key} = {value!r}: must be a number")
        return float(value)
    if t == "choice" and isinstance(value, str):
        for name, number in field["choices"]:
            if name == value.lower():
                return number
        names = ", ".join(name for name, _ in field["choices"])
        raise ValueError(f"{key} = {value!r}: not one of {names}, nor a number")
    if t == "flag":
        if value not in (0, 1):  # True and False included
            raise ValueError(f"{key} = {value!r}: must be True or False")
        return int(value)
    if t == "seed":
        if value is None:
            return None
        if isinstance(value, bool) or not isinstance(value, numbers.Integral):
            raise TypeError(f"{kind}() argument {key} = {value!r}: must be an integer")
        if not 0 <= value < 2**32:
            raise ValueError(f"{key} = {value}: must be 0 ... 4294967295")
        return int(value)
    return _int32(kind, key, value)


def _named(kind, message):
    """The keyword argument a library reason names, and the reason in its terms."""
    path, sep, rest = message.partition(" = ")
    if not sep:
        return None, message
    names = {"sampleRate": "sampleRate"}
    for field in kind["fields"]:
        if field["target"] == "record":
            names[f'{kind["record"]}.{field["name"]}'] = field["name"]
        elif field["target"] == "argument":
            names[field["name"]] = field["name"]
    if path not in names:
        return None, message
    key = snake(names[path])
    return key, f"{key} = {rest}"


def params_of(kind_name, **kwargs):
    """The record's fields (header names) for these keyword arguments, with
    the defaults for the others; the sample rate separately."""
    kind = KINDS[kind_name]
    keys = {snake(f["name"]): f for f in kind["fields"]}
    options = loop.keywords(kind_name)
    for key in kwargs:
        if key not in keys and key != "sample_rate" and key not in options:
            raise TypeError(f"{kind_name}() got an unexpected keyword argument '{key}'")
    params = {}
    for key, field in keys.items():
        value = _value(kind_name, field, key, kwargs.get(key, field["default"]))
        if value is not None:
            params[field["name"]] = value
    rate = kwargs.get("sample_rate", kind["sampleRate"])
    if isinstance(rate, bool) or not isinstance(rate, numbers.Real):
        raise TypeError(f"{kind_name}() argument sample_rate = {rate!r}: must be a number")
    return params, float(rate)


def generate(kind_name, **kwargs):
    """The waveform of kind `kind_name` for these keyword arguments."""
    kind = KINDS[kind_name]
    params, rate = params_of(kind_name, **kwargs)
    given = {key: value for key, value in kwargs.items() if key in loop.keywords(kind_name)}
    settings = loop.values(kind_name, given)
    record = records.RECORDS[kind["record"]]()
    argument = []
    for field in kind["fields"]:
        if field["target"] == "record":
            setattr(record, field["name"], params[field["name"]])
        elif field["target"] == "argument":
            argument = [params[field["name"]]]
    fn = _library.entry_point(kind["entryPoint"], kind["record"], bool(argument))
    seed = params.get("seed")
    handle = _library.thread_handle()
    try:
        loop.apply(handle, settings)
        if seed is None:
            iq, count = _library.call(fn, ctypes.byref(record), *argument, rate)
            data = _copy(iq, count)
        else:
            with _seed_lock:
                _libc.srand(ctypes.c_uint(seed))
                iq, count = _library.call(fn, ctypes.byref(record), *argument, rate)
                data = _copy(iq, count)
    except GenSignalError as e:
        if e.argument is not None:  # a setting, already named
            raise
        argument_name, text = _named(kind, e.message)
        raise GenSignalError(e.code, e.message, argument_name, f"{text} (result code {e.code})") from None
    note = loop.note(handle)
    if note:
        warnings.warn(_named(kind, note)[1], stacklevel=3)
    mode = given.get("loop", "defined").lower()
    return Waveform(data, rate, kind_name, params, loop=loop.loop_of(handle, mode))


def _copy(iq, count):
    import numpy as np

    # A copy: the library's buffer changes with the next call on this thread's handle.
    return np.ctypeslib.as_array(iq, shape=(count,)).copy().reshape(-1, 2) if count else np.zeros((0, 2), np.int16)


def _make(kind):
    name = kind["name"]

    def make(**kwargs):
        return generate(name, **kwargs)

    def shown_default(field):  # choices by name
        names = [n for n, number in field.get("choices", []) if number == field["default"]]
        return names[0] if names else field["default"]

    parameters = [
        inspect.Parameter(snake(f["name"]), inspect.Parameter.KEYWORD_ONLY, default=shown_default(f))
        for f in kind["fields"]
    ]
    parameters.append(inspect.Parameter("sample_rate", inspect.Parameter.KEYWORD_ONLY, default=kind["sampleRate"]))
    for key, default in loop.keywords(name).items():
        parameters.append(inspect.Parameter(key, inspect.Parameter.KEYWORD_ONLY, default=default))
    make.__name__ = make.__qualname__ = name
    make.__signature__ = inspect.Signature(parameters)
    lines = [f"{kind['summary']}.", "", "Keyword arguments (wavegen's options), with their defaults:"]
    for f in kind["fields"]:
        unit = f" [{f['unit']}]" if f["unit"] else ""
        choices = (": " + ", ".join(n for n, _ in f["choices"])) if "choices" in f else ""
        lines.append(f"    {snake(f['name'])}: {f['help']}{unit}{choices}")
    lines.append("    sample_rate: samples per second")
    lines.append("    loop: 'defined' (the waveform as defined) or 'exact' (the fewest whole periods that span whole")
    lines.append("        samples, band-limited; refused when it cannot close)")
    lines.append("    peak_dbfs: peak level, -90 to 0 dBFS (0 dBFS: a peak of 32766)")
    if name == "multitone":
        lines.append("    tone_phases: 'zero', 'newman', 'schroeder' or 'random'; phase_seed: its seed")
    lines += ["", f"Returns a Waveform; raises GenSignalError when the library refuses ({kind['entryPoint']})."]
    make.__doc__ = "\n".join(lines)
    return make


FUNCTIONS = {name: _make(kind) for name, kind in KINDS.items()}
