"""How one item's values are chosen: a generator seeded by (seed, set,
item) alone, so that an item is the same whichever worker makes it, in
whichever order, and whatever else the run holds."""
import dataclasses
import math

import numpy as np


@dataclasses.dataclass(frozen=True)
class Constant:
    value: object

    def draw(self, rng):
        return self.value


@dataclasses.dataclass(frozen=True)
class Choice:
    values: tuple

    def draw(self, rng):
        return self.values[int(rng.integers(len(self.values)))]


@dataclasses.dataclass(frozen=True)
class Uniform:
    low: float
    high: float

    def draw(self, rng):
        return float(rng.uniform(self.low, self.high))


@dataclasses.dataclass(frozen=True)
class LogUniform:
    low: float
    high: float

    def draw(self, rng):
        u = float(rng.random())
        if self.low == self.high:
            return float(self.low)
        # math (the C library), not numpy's vector exp/log, whose bits may follow the CPU
        value = math.exp(math.log(self.low) + (math.log(self.high) - math.log(self.low)) * u)
        return min(max(value, float(self.low)), float(self.high))


@dataclasses.dataclass(frozen=True)
class Integers:
    low: int
    high: int
    real: bool = False  # drawn for a real-valued keyword: handed over as a float

    def draw(self, rng):
        value = int(rng.integers(self.low, self.high, endpoint=True))
        return float(value) if self.real else value


@dataclasses.dataclass(frozen=True)
class Grid:
    """A swept value: item i of a set takes its grid point from i alone
    (ItemSet.grids), never from a draw."""

    values: tuple


# The spawn keys below an item's own: its channel's values and its channel's
# seed, so that neither moves the other nor the item's record values.
_CHANNEL_VALUES, _CHANNEL_SEED = 1, 2


def item_rng(seed, set_position, index, stream=None):
    """The generator of item `index` of the set at `set_position` (of its
    channel's values with stream=1)."""
    key = (set_position, index) if stream is None else (set_position, index, stream)
    return np.random.default_rng(np.random.SeedSequence(seed, spawn_key=key))


def grid_values(item_set, index):
    """{(section, key): value} of the grid point item `index` sits at:
    `per_point` items per point, the first grid the slowest."""
    if not item_set.per_point:
        return {}
    point = index // item_set.per_point
    out = {}
    for where, grid in reversed(item_set.grids):
        point, k = divmod(point, len(grid.values))
        out[where] = grid.values[k]
    return out


def _drawn(rules, rng, swept, section):
    # in the order of their names, so that the order in the file does not matter
    return {
        key: swept[(section, key)] if isinstance(rules[key], Grid) else rules[key].draw(rng) for key in sorted(rules)
    }


def item_params(item_set, defaults, seed_key, seed, index):
    """The keyword arguments of one item: the defaults, overridden by the
    set's values, drawn in the order of their names (so that the order in
    the file does not matter); for the noise kind a per-item seed last,
    unless the set gives one."""
    rng = item_rng(seed, item_set.position, index)
    params = dict(defaults)
    params.update(_drawn(item_set.params, rng, grid_values(item_set, index), "params"))
    if seed_key is not None and seed_key not in item_set.params:
        params[seed_key] = int(rng.integers(0, 2**32))
    return params


def item_channel(item_set, seed, index):
    """The channel settings of one item (gensignal.Channel's keywords), its
    channel_seed included; None for a set without a channel."""
    if not item_set.channel:
        return None
    rng = item_rng(seed, item_set.position, index, _CHANNEL_VALUES)
    settings = _drawn(item_set.channel, rng, grid_values(item_set, index), "channel")
    key = (item_set.position, index, _CHANNEL_SEED)
    settings["channel_seed"] = int(np.random.SeedSequence(seed, spawn_key=key).generate_state(1, np.uint64)[0])
    return settings
