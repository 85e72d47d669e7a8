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


def item_rng(seed, set_position, index):
    """The generator of item `index` of the set at `set_position`."""
    return np.random.default_rng(np.random.SeedSequence(seed, spawn_key=(set_position, index)))


def item_params(item_set, defaults, seed_key, seed, index):
    """The keyword arguments of one item: the defaults, overridden by the
    set's values, drawn in the order of their names (so that the order in
    the file does not matter); for the noise kind a per-item seed last,
    unless the set gives one."""
    rng = item_rng(seed, item_set.position, index)
    params = dict(defaults)
    for key in sorted(item_set.params):
        params[key] = item_set.params[key].draw(rng)
    if seed_key is not None and seed_key not in item_set.params:
        params[seed_key] = int(rng.integers(0, 2**32))
    return params
