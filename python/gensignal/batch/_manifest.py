"""Reading a dataset manifest and refusing, before any work, anything it
cannot mean: every refusal names its place in the manifest
(`sets[0].params.rolloff.uniform`)."""
import dataclasses
import difflib
import json
import math
import numbers
import os
import pathlib
import re

from .. import _channel as channel_module
from .. import _loop as loop
from .._kinds import KINDS, snake
from ._draws import Choice, Constant, Grid, Integers, LogUniform, Uniform
from ._settings import rules as setting_rules

_SET_NAME = re.compile(r"[A-Za-z0-9_-]+")
_INT32 = (-(2**31), 2**31 - 1)
_INT64 = (-(2**63), 2**63 - 2)  # numpy's integers() draws to high + 1
_SEED = (0, 2**32 - 1)
_DISTRIBUTIONS = {"uniform": Uniform, "log_uniform": LogUniform, "integers": Integers}


class ManifestError(ValueError):
    """A manifest refused before any work: `path` is the place in it
    (`sets[1].params.tone_cnt`), `reason` what is wrong there."""

    def __init__(self, path, reason):
        super().__init__(f"{path}: {reason}" if path else reason)
        self.path = path
        self.reason = reason


@dataclasses.dataclass(frozen=True)
class Field:
    """One keyword of a kind: its name, type (real, integer, choice, flag,
    seed) and, for choices, the (name, number) pairs."""

    key: str
    type: str
    choices: tuple = ()


@dataclasses.dataclass(frozen=True)
class ItemSet:
    """One set of the manifest, validated: `params` maps every keyword the
    kind takes (the sample rate included) to how its value is chosen."""

    position: int
    name: str
    kind: str
    count: int  # every item of the set: per_point times the grid's points
    params: dict
    settings: dict
    channel: dict = dataclasses.field(default_factory=dict)  # setting -> how its value is chosen
    per_point: int = None  # items per grid point; None: no grid
    parts: tuple = ()  # a scene set's part templates (scenes.PartTemplate)
    measure: bool = True  # False: no library measurement, its labels null (the channel's are kept)

    @property
    def grids(self):
        """((section, key), Grid) for every swept value, the first one the
        slowest: params before channel, each in name order."""
        out = [(("params", key), rule) for key, rule in sorted(self.params.items()) if isinstance(rule, Grid)]
        out += [(("channel", key), rule) for key, rule in sorted(self.channel.items()) if isinstance(rule, Grid)]
        return out


@dataclasses.dataclass(frozen=True)
class Manifest:
    seed: int
    sets: tuple
    stem: str

    @property
    def count(self):
        return sum(s.count for s in self.sets)


def fields_of(kind):
    """The kind's keywords, as its Python function takes them."""
    out = {
        snake(f["name"]): Field(snake(f["name"]), f["type"], tuple(map(tuple, f.get("choices", ()))))
        for f in KINDS[kind]["fields"]
    }
    out["sample_rate"] = Field("sample_rate", "real")
    return out


def channel_fields():
    """The channel's settings a set may give, as gensignal.Channel takes
    them; its seed is not one of them: each item draws its own."""
    out = {
        "pa": Field("pa", "choice", tuple(channel_module.PA_MODELS.items())),
        "fading": Field("fading", "choice", tuple(channel_module.FADINGS.items())),
        "taps": Field("taps", "pairs", (2, 3)),
        "phase_noise": Field("phase_noise", "pairs", (2,)),
    }
    for key in channel_module.KEYS:
        if key not in out and key != "channel_seed":
            out[key] = Field(key, "real")
    return out


def defaults_of(kind):
    """The keyword defaults, as wavegen and the kind's function have them,
    in the form the index records (None: no default, the noise seed)."""
    fields = fields_of(kind)
    out = {snake(f["name"]): f["default"] for f in KINDS[kind]["fields"]}
    out["sample_rate"] = KINDS[kind]["sampleRate"]
    return {key: None if value is None else canonical(fields[key], value, key) for key, value in out.items()}


def seed_key_of(kind):
    """The keyword that seeds the kind's noise, or None."""
    return next((key for key, field in fields_of(kind).items() if field.type == "seed"), None)


def _shown(value):
    """The value as the manifest would spell it."""
    try:
        return json.dumps(value)
    except (TypeError, ValueError):  # a YAML date, say
        return repr(value)


def _is_number(value):
    return isinstance(value, numbers.Real) and not isinstance(value, bool)


def _integral(value):
    """An integer, or a float that holds one (1e4), as an int; else None."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        return None
    if isinstance(value, numbers.Integral):
        return int(value)
    return int(value) if math.isfinite(value) and float(value).is_integer() else None


def _within(path, value, bounds):
    if not bounds[0] <= value <= bounds[1]:
        raise ManifestError(path, f"{value} is outside {bounds[0]} ... {bounds[1]}")
    return value


def canonical(field, value, path):
    """One constant for `field` in the form the index records: reals as
    floats, integers as ints, choices by their lower-case name, flags as
    booleans."""
    if field.type == "real":
        if not _is_number(value) or not math.isfinite(value):
            raise ManifestError(path, f"{_shown(value)} is not a finite number")
        return float(value)
    if field.type in ("integer", "seed"):
        number = _integral(value)
        if number is None:
            raise ManifestError(path, f"{_shown(value)} is not an integer")
        return _within(path, number, _SEED if field.type == "seed" else _INT32)
    if field.type == "pairs":
        return _pairs(field, value, path)
    if field.type == "flag":
        if value in (0, 1) and (isinstance(value, bool) or _integral(value) is not None):
            return bool(value)
        raise ManifestError(path, f"{_shown(value)} is not true or false")
    # a choice: its name in any case, or its number
    if isinstance(value, str):
        for name, _ in field.choices:
            if name == value.lower():
                return name
    else:
        number = _integral(value)
        for name, n in field.choices:
            if number == n:
                return name
    names = ", ".join(name for name, _ in field.choices)
    raise ManifestError(path, f"{_shown(value)} is not one of {names} (in any case), nor their numbers")


def _pairs(field, value, path):
    """A list of entries of finite numbers, each as wide as the field takes."""
    widths = " or ".join(map(str, field.choices))
    if not isinstance(value, list) or not value:
        raise ManifestError(path, f"{_shown(value)}: must be a list of [{widths} numbers] entries")
    out = []
    for k, entry in enumerate(value):
        if (
            not isinstance(entry, list)
            or len(entry) not in field.choices
            or not all(_is_number(v) and math.isfinite(v) for v in entry)
        ):
            raise ManifestError(f"{path}[{k}]", f"{_shown(entry)}: must be a list of {widths} finite numbers")
        out.append([float(v) for v in entry])
    return out


def _grid(field, value, path):
    """[start, stop, step]: start, start + step, ... up to stop (included
    when the steps reach it)."""
    if field.type not in ("real", "integer"):
        raise ManifestError(path, f"{field.key} is a {field.type}: sweep it with a list")
    if not isinstance(value, list) or len(value) != 3 or not all(_is_number(v) and math.isfinite(v) for v in value):
        raise ManifestError(path, "must be [start, stop, step], three finite numbers")
    start, stop, step = value
    if field.type == "integer" and any(_integral(v) is None for v in value):
        raise ManifestError(path, f"{field.key} takes integers: start, stop and step must be integers")
    if not step > 0:
        raise ManifestError(path, f"step {step} must be above 0")
    if not stop >= start:
        raise ManifestError(path, f"stop {stop} is below start {start}")
    points = math.floor((stop - start) / step * (1 + 1e-12)) + 1
    if points >= 2**31:
        raise ManifestError(path, f"{points} points: at most 2147483647")
    if field.type == "integer":
        values = [int(start) + k * int(step) for k in range(points)]
        return Grid(tuple(_within(path, v, _INT32) for v in values))
    # 15 digits: 0.1 steps give 0.3, not 0.30000000000000004
    return Grid(tuple(float(f"{start + k * step:.15g}") for k in range(points)))


def _bounds(field, name, value, path):
    if not isinstance(value, list) or len(value) != 2:
        raise ManifestError(path, "must be [low, high]")
    low, high = value
    if name == "integers":
        if field.type not in ("integer", "seed", "real"):
            raise ManifestError(path, f"{field.key} is a {field.type}: use a constant or a list")
        low_i, high_i = _integral(low), _integral(high)
        if low_i is None or high_i is None:
            raise ManifestError(path, "low and high must be integers")
        limits = {"seed": _SEED, "integer": _INT32, "real": _INT64}[field.type]
        _within(path, low_i, limits)
        _within(path, high_i, limits)
        low, high = low_i, high_i
    else:
        if field.type != "real":
            takes = "integers" if field.type in ("integer", "seed") else "a constant or a list"
            raise ManifestError(path, f"{field.key} takes {takes}, not real numbers")
        if not (_is_number(low) and _is_number(high) and math.isfinite(low) and math.isfinite(high)):
            raise ManifestError(path, "low and high must be finite numbers")
        if name == "log_uniform" and not low > 0:
            raise ManifestError(path, "low must be above 0")
    if not low <= high:
        raise ManifestError(path, f"low {low} is above high {high}")
    if name == "integers":
        return Integers(low, high, real=field.type == "real")
    return _DISTRIBUTIONS[name](float(low), float(high))


def _list_of_lists_of_lists(value):
    return (
        isinstance(value, list) and value and isinstance(value[0], list) and value[0] and isinstance(value[0][0], list)
    )


def _value_rule(field, value, path):
    if field.type == "pairs" and not isinstance(value, dict) and not _list_of_lists_of_lists(value):
        return Constant(canonical(field, value, path))  # one list of entries; a list of such lists chooses
    if isinstance(value, list):
        if not value:
            raise ManifestError(path, "an empty list has nothing to choose from")
        return Choice(tuple(canonical(field, v, f"{path}[{k}]") for k, v in enumerate(value)))
    if isinstance(value, dict):
        if len(value) != 1:
            raise ManifestError(path, "must hold exactly one of uniform, log_uniform, integers, grid")
        ((name, bounds),) = value.items()
        if name == "grid":
            return _grid(field, bounds, f"{path}.grid")
        if name not in _DISTRIBUTIONS:
            raise ManifestError(f"{path}.{name}", "not a distribution: uniform, log_uniform, integers or grid")
        if field.type == "pairs":
            raise ManifestError(f"{path}.{name}", f"{field.key} takes a list of entries, or a list of such lists")
        return _bounds(field, name, bounds, f"{path}.{name}")
    return Constant(canonical(field, value, path))


def _unknown(path, key, known, what):
    close = difflib.get_close_matches(key, known, n=1)
    hint = f"; did you mean {close[0]}?" if close else f" ({', '.join(known)})" if known else ""
    return ManifestError(f"{path}.{key}" if path else key, f"not {what}{hint}")


def _keys(obj, path, allowed, what):
    if not isinstance(obj, dict):
        raise ManifestError(path, "must be an object")
    for key in obj:
        if key not in allowed:
            raise _unknown(path, key, list(allowed), what)


def _set(position, obj, seen):
    path = f"sets[{position}]"
    if not isinstance(obj, dict):
        raise ManifestError(path, "must be an object")
    scene = isinstance(obj.get("kind"), str) and obj["kind"].lower() == "scene"
    if not scene:
        _keys(obj, path, ("name", "kind", "count", "params", "settings", "channel", "measure"), "a key of a set")
    for key in ("name", "kind", "count"):
        if key not in obj:
            raise ManifestError(f"{path}.{key}", "missing")
    name = obj["name"]
    if not isinstance(name, str) or not _SET_NAME.fullmatch(name):
        raise ManifestError(f"{path}.name", f"{_shown(name)}: use letters, digits, _ and - (it names a folder)")
    if name in seen:
        raise ManifestError(f"{path}.name", f"{name!r} already names sets[{seen[name]}]")
    seen[name] = position
    kind = obj["kind"]
    if not scene and (not isinstance(kind, str) or kind.lower() not in KINDS):
        raise ManifestError(f"{path}.kind", f"{_shown(kind)} is not a kind: {', '.join(KINDS)}, scene")
    kind = kind.lower()
    count = _integral(obj["count"])
    if count is None or not 1 <= count < 2**31:
        raise ManifestError(f"{path}.count", f"{_shown(obj['count'])}: must be an integer from 1 to 2147483647")
    if scene:
        from ._scenes import parse_set

        return parse_set(position, obj, path, name, count)
    fields = fields_of(kind)
    given = obj.get("params", {})
    _keys(given, f"{path}.params", list(fields), f"a parameter of {kind}")
    params = {key: _value_rule(fields[key], value, f"{path}.params.{key}") for key, value in given.items()}
    settings = obj.get("settings", {})
    rules = setting_rules()
    _keys(settings, f"{path}.settings", list(rules), "a setting")
    settings = {key: rules[key](value, f"{path}.settings.{key}") for key, value in settings.items()}
    for key in settings:
        if key not in loop.keywords(kind):
            raise ManifestError(f"{path}.settings.{key}", f"{kind} takes no {key}")
    channel = _channel(obj.get("channel", {}), f"{path}.channel")
    measure = obj.get("measure", True)
    if not isinstance(measure, bool):
        raise ManifestError(f"{path}.measure", f"{_shown(measure)} is not true or false")
    item_set = ItemSet(position, name, kind, count, params, settings, channel, measure=measure)
    return _with_grids(item_set, path)


def _with_grids(item_set, path):
    """The set with `count` items at every grid point, when it sweeps."""
    count = item_set.count
    points = math.prod(len(rule.values) for _, rule in item_set.grids)
    if item_set.grids:
        if count * points >= 2**31:
            raise ManifestError(
                f"{path}.count", f"{count} items at each of {points} grid points: " "at most 2147483647 in all"
            )
        item_set = dataclasses.replace(item_set, count=count * points, per_point=count)
    return item_set


def _channel(given, path):
    fields = channel_fields()
    if "channel_seed" in (given if isinstance(given, dict) else {}):
        raise ManifestError(f"{path}.channel_seed", "each item draws its own channel seed from its key")
    _keys(given, path, list(fields), "a channel setting")
    noise = [key for key in channel_module.NOISE_KEYS if key in given]
    if len(noise) > 1:
        raise ManifestError(f"{path}.{noise[1]}", f"give one noise level ({', '.join(noise)} are given)")
    return {key: _value_rule(fields[key], value, f"{path}.{key}") for key, value in given.items()}


def validate(obj, stem="dataset"):
    """The Manifest for a parsed manifest object, or ManifestError."""
    _keys(obj, "", ("seed", "sets"), "a key of a manifest")
    seed = _integral(obj.get("seed", 0))
    if seed is None or seed < 0:
        raise ManifestError("seed", f"{_shown(obj.get('seed'))}: must be an integer of 0 or more")
    sets = obj.get("sets")
    if not isinstance(sets, list) or not sets:
        raise ManifestError("sets", "must be a list of at least one set")
    seen = {}
    return Manifest(seed, tuple(_set(k, s, seen) for k, s in enumerate(sets)), stem)


def _refuse_duplicates(pairs):
    out = {}
    for key, value in pairs:
        if key in out:
            raise ManifestError(key, "given twice in one object")
        out[key] = value
    return out


def load(source, stem=None):
    """A Manifest from a path (JSON, or YAML for .yaml/.yml) or from an
    already parsed dict. `stem` names the collection (default: the file's
    stem, or "dataset")."""
    if isinstance(source, Manifest):
        return source
    if isinstance(source, dict):
        return validate(source, stem or "dataset")
    path = pathlib.Path(os.fspath(source))
    text = path.read_text(encoding="utf-8")
    if path.suffix.lower() in (".yaml", ".yml"):
        try:
            import yaml
        except ImportError:
            raise ManifestError("", f"{path}: YAML manifests need PyYAML (Debian's python3-yaml)") from None
        try:
            obj = yaml.safe_load(text)
        except yaml.YAMLError as e:
            raise ManifestError("", f"{path}: not YAML: {e}") from None
    else:
        try:
            obj = json.loads(text, object_pairs_hook=_refuse_duplicates)
        except json.JSONDecodeError as e:
            raise ManifestError("", f"{path}: not JSON: {e}") from None
    return validate(obj, stem or path.stem)
