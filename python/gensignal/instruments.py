"""Named instrument families and the lengths each one takes (the table
wavegen builds in, instruments.json): each maps to the library's
granularity, minimum length and memory options, as granularity=,
min_length= and max_samples=."""
import json
import pathlib

from . import _loop as loop
from ._library import GenSignalError

TABLE = json.loads(pathlib.Path(__file__).with_name("instruments.json").read_text())
# The three lengths a family sets, by the keywords of the library's options.
KEYWORDS = ("granularity", "min_length", "max_samples")


def names():
    return sorted(TABLE)


def settings(name):
    """{'granularity': G, 'min_length': L, 'max_samples': M} of a family."""
    if name not in TABLE:
        raise GenSignalError(-1, f"instrument = {name!r}: expected one of {', '.join(names())}", "instrument")
    return {key: TABLE[name][key] for key in KEYWORDS}


def options(name):
    """[(option number, value), ...] in the order they are set on a handle."""
    numbers = loop.table()
    return [(numbers[key].number, float(value)) for key, value in settings(name).items()]


def accepts(name, samples):
    """Whether the family takes a loop of `samples` samples."""
    s = settings(name)
    return (
        samples % s["granularity"] == 0
        and samples >= max(s["min_length"], 1)
        and (s["max_samples"] == 0 or samples <= s["max_samples"])
    )
