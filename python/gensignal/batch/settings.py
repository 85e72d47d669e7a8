"""The per-generator settings a manifest's `settings` object may hold: name
-> a function (value, path) that returns the value as the kind functions
take it, or raises ManifestError naming the path. They are the library's
opt-in settings (`loop`, `peak_dbfs`; `tone_phases`, `phase_seed` for the
multitone), one value per set."""
import math
import numbers

from .. import loop


def _error(path, reason):
    from .manifest import ManifestError

    return ManifestError(path, reason)


def _named(names):
    def check(value, path):
        if not isinstance(value, str) or value.lower() not in names:
            raise _error(path, f"{value!r}: must be one of {', '.join(names)}")
        return value.lower()

    return check


def _peak(value, path):
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not -90 <= value <= 0:
        raise _error(path, f"{value!r}: must be a number from -90 to 0 (dBFS)")
    return float(value)


def _seed(value, path):
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or value != math.floor(value) \
            or not 0 <= value < 2**32:
        raise _error(path, f"{value!r}: must be a whole number from 0 to 4294967295")
    return int(value)


SETTINGS = {
    "loop": _named(loop.LOOP_MODES),
    "peak_dbfs": _peak,
    "tone_phases": _named(loop.TONE_PHASES),
    "phase_seed": _seed,
}
