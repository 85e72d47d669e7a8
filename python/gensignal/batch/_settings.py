"""The per-generator settings a manifest's `settings` object may hold: name
-> a function (value, path) that returns the value as the kind functions
take it, or raises ManifestError naming the path. They are the library's
opt-in settings, read from its option table (`loop`, `peak_dbfs`, `snap`,
`granularity`, ...; `tone_phases`, `phase_seed` for the multitone), one
value per set."""
from .. import _loop as loop


def _error(path, reason):
    from ._manifest import ManifestError

    return ManifestError(path, reason)


def _rule(option):
    def check(value, path):
        number = option.number_of(value, lambda reason: _error(path, reason))
        return option.shown(number)

    return check


def rules():
    """The rule of every setting by its keyword, from the library's table."""
    return {keyword: _rule(option) for keyword, option in loop.table().items()}
