"""One function per waveform kind, made from the field table wavegen uses
(fields.json, written by `wavegen --describe-fields`), so that names and
defaults are the same in both; and `generate`, which takes any kind by name."""
import ctypes
import inspect
import json
import math
import numbers
import pathlib
import re
import threading
import warnings

from . import _library, _channel as channels, _loop as loop, _records as records
from ._library import GenSignalError
from ._waveform import Waveform

TABLE = json.loads((pathlib.Path(__file__).with_name("fields.json")).read_text())
KINDS = {kind["name"]: kind for kind in TABLE}

INT32 = (-(2**31), 2**31 - 1)
SEED = (0, 2**32 - 1)

# rand() is one stream for the whole process: a seeded call holds this lock
# from srand() to the end of the generation so that the seed means the same
# waveform whatever other threads do (through this package).
_seed_lock = threading.Lock()
_libc = ctypes.CDLL(None)


def snake(field_name):
    """ "pnOrder" -> "pn_order", "nullDC" -> "null_dc" (wavegen's --pn-order, --null-dc)."""
    return re.sub(r"(?<=[a-z])(?=[A-Z])", "_", field_name).lower()


def _refused(key, value, rule):
    return GenSignalError(-1, f"{key} = {value!r}: {rule}", key)


def _number(kind, key, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{kind}() argument {key} = {value!r}: must be a number")
    return float(value)


def whole_number(kind, key, value, bounds):
    """An integer, or a float without a fraction (9.0), within `bounds`."""
    lowest, highest = bounds
    if isinstance(value, numbers.Integral) and not isinstance(value, bool):
        whole = int(value)
    else:
        number = _number(kind, key, value)
        whole = int(number) if math.isfinite(number) and number == math.floor(number) else None
    if whole is None or not lowest <= whole <= highest:
        raise _refused(key, value, f"must be a whole number from {lowest} to {highest}")
    return whole


def choice_name(field, number):
    """The name of a choice field's number, or the number when it has none."""
    for name, n in field["choices"]:
        if n == number:
            return name
    return number


def _choice(kind, key, field, value):
    """The number the record holds for a name (any case) or a number."""
    if isinstance(value, str):
        for name, number in field["choices"]:
            if name == value.lower():
                return number
        names = [name for name, _ in field["choices"]]
        listed = ", ".join(names[:-1]) + " or " + names[-1] if len(names) > 1 else names[0]
        raise _refused(key, value, f"must be one of {listed}, or a whole number")
    return whole_number(kind, key, value, INT32)


def _value(kind, field, key, value):
    """The value as the record holds it."""
    t = field["type"]
    if t == "real":
        return _number(kind, key, value)
    if t == "choice":
        return _choice(kind, key, field, value)
    if t == "flag":
        if isinstance(value, str) or value not in (0, 1):  # True and False included
            raise _refused(key, value, "must be True or False")
        return int(value)
    if t == "seed":
        return None if value is None else whole_number(kind, key, value, SEED)
    return whole_number(kind, key, value, INT32)


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


def _kind(kind_name):
    if kind_name not in KINDS:
        raise _refused("kind", kind_name, "must be one of " + ", ".join(KINDS))
    return KINDS[kind_name]


def params_of(kind_name, **kwargs):
    """The record's values (header names; choices as numbers) for these
    keyword arguments, by their keyword names (pn_order) or their names in
    the header (pnOrder), with the defaults for the others; and the sample
    rate."""
    kind = _kind(kind_name)
    fields = {}
    for field in kind["fields"]:
        fields[snake(field["name"])] = field
        fields[field["name"]] = field
    given = {}
    options = loop.keywords(kind_name)
    for key, value in kwargs.items():
        if key == "sample_rate" or key in options:
            continue
        if key not in fields:
            raise TypeError(f"{kind_name}() got an unexpected keyword argument '{key}'")
        name = fields[key]["name"]
        if name in given:
            raise TypeError(f"{kind_name}() got {snake(name)} twice (as {given[name][0]} and {key})")
        given[name] = (key, value)
    values = {}
    for field in kind["fields"]:
        key, value = given.get(field["name"], (snake(field["name"]), field["default"]))
        value = _value(kind_name, field, key, value)
        if value is not None:
            values[field["name"]] = value
    rate = kwargs.get("sample_rate", kind["sampleRate"])
    return values, _number(kind_name, "sample_rate", rate)


def waveform_params(kind_name, values):
    """The values as Waveform.params holds them: choices by name."""
    fields = {field["name"]: field for field in KINDS[kind_name]["fields"]}
    return {
        name: choice_name(fields[name], value) if fields[name]["type"] == "choice" else value
        for name, value in values.items()
    }


NOISE_SOURCE_OPTION = 10  # GENSIGNAL_OPTION_NOISE_SOURCE


def generate(kind, **params):
    """The waveform of `kind` ("digital", "am", ...) for these parameters:
    keyword names (pn_order) or header names (pnOrder), enumerations by name
    or number, and sample_rate; channel= (a gensignal.Channel or a dict of
    its settings) puts it through a channel as it is made, and for "awgn"
    noise_source='channel' draws the noise from the channel's generator.
    `generate(wf.kind, sample_rate=wf.sample_rate, **wf.params)` makes `wf`
    again."""
    table = _kind(kind)
    params = dict(params)
    chosen = channels.channel_of(params.pop("channel", None))
    values, rate = params_of(kind, **params)
    given = {key: value for key, value in params.items() if key in loop.keywords(kind)}
    settings = loop.values(kind, given)
    source = settings.get(NOISE_SOURCE_OPTION, 0)
    record, extra = records.build(table, values)
    argument = [] if extra is None else [extra]
    fn = _library.entry_point(table["entryPoint"], table["record"], bool(argument))
    seed = values.get("seed")
    handle = _library.thread_handle()
    try:
        loop.apply(handle, settings)
        channels.set_on_handle(handle, chosen)
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
        if e.message.startswith("GenSignalChannel."):
            raise channels.refusal(chosen, e.code, e.message) from None
        argument_name, text = _named(table, e.message)
        raise GenSignalError(e.code, e.message, argument_name, f"{text} (result code {e.code})") from None
    note = loop.note(handle)
    if note:
        warnings.warn(_named(table, note)[1], stacklevel=3)
    went = None
    if chosen is not None or source:
        went = {
            "settings": chosen.to_dict() if chosen is not None else {},
            "realised": channels.realised_on_handle(handle),
            "stage": "generation",
        }
        if source:
            went["noise_source"] = "channel"
    return Waveform(
        data, rate, kind, waveform_params(kind, values), loop=loop.loop_of(handle, kind, given), channel=went
    )


def _copy(iq, count):
    import numpy as np

    # A copy: the library's buffer changes with the next call on this thread's handle.
    return np.ctypeslib.as_array(iq, shape=(count,)).copy().reshape(-1, 2) if count else np.zeros((0, 2), np.int16)


def _make(kind):
    name = kind["name"]

    def make(**kwargs):
        return generate(name, **kwargs)

    def shown_default(field):  # choices by name
        return choice_name(field, field["default"]) if "choices" in field else field["default"]

    parameters = [
        inspect.Parameter(snake(f["name"]), inspect.Parameter.KEYWORD_ONLY, default=shown_default(f))
        for f in kind["fields"]
    ]
    parameters.append(inspect.Parameter("sample_rate", inspect.Parameter.KEYWORD_ONLY, default=kind["sampleRate"]))
    try:
        settings = loop.options_of(name)
    except OSError:  # no library: the call says so
        settings = {}
    for key, option in settings.items():
        parameters.append(inspect.Parameter(key, inspect.Parameter.KEYWORD_ONLY, default=option.default))
    parameters.append(inspect.Parameter("channel", inspect.Parameter.KEYWORD_ONLY, default=None))
    make.__name__ = make.__qualname__ = name
    make.__signature__ = inspect.Signature(parameters)
    lines = [f"{kind['summary']}.", "", "Keyword arguments (wavegen's options), with their defaults:"]
    for f in kind["fields"]:
        unit = f" [{f['unit']}]" if f["unit"] else ""
        choices = (": " + ", ".join(n for n, _ in f["choices"])) if "choices" in f else ""
        lines.append(f"    {snake(f['name'])}: {f['help']}{unit}{choices}")
    lines.append("    sample_rate: samples per second")
    for key, option in settings.items():
        lines.append(f"    {key}: {option.help} ({option.range_words()})")
    lines.append("    channel: a gensignal.Channel or a dict of its settings, applied as the waveform is made")
    lines.append("        (before its scale to int16); Waveform.channel then holds the realised values")
    lines += [
        "",
        "The header's names (pnOrder) are taken too, so that `Waveform.params` can be passed back.",
        f"Returns a Waveform; raises GenSignalError (a ValueError) when a value is refused ({kind['entryPoint']}).",
    ]
    make.__doc__ = "\n".join(lines)
    return make


FUNCTIONS = {name: _make(kind) for name, kind in KINDS.items()}
