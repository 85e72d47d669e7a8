"""The classes a model is trained to tell apart: an item's class follows
from its kind and modulation, and a run's list of classes from its manifest
alone, so that a class keeps its number whichever items failed."""
from ._draws import Choice, Constant
from ._manifest import defaults_of

# Kinds whose class is their modulation (a prefix tells the spread and
# multicarrier ones apart from the single-carrier digital kinds).
_BY_MODULATION = {"digital": "", "dss": "dss-", "ofdm": "ofdm-"}


def class_of(kind, params):
    """The class name of an item of `kind` with these keyword arguments:
    the modulation for digital ("qpsk"), dss-<modulation>, ofdm-<modulation>,
    else the kind ("am")."""
    if kind in _BY_MODULATION:
        return _BY_MODULATION[kind] + str(params["mod_type"])
    return kind


def classes_of(manifest):
    """Every class the manifest's sets can make, in the order they first
    appear (sets in order, listed modulations in order)."""
    out = []
    for item_set in manifest.sets:
        # a scene's items are classed by their boxes, each a part's class
        for kind, params in [(t.kind, t.params) for t in item_set.parts] or [(item_set.kind, item_set.params)]:
            names = [kind]
            if kind in _BY_MODULATION:
                rule = params.get("mod_type", Constant(defaults_of(kind)["mod_type"]))
                values = rule.values if isinstance(rule, Choice) else (rule.value,)
                names = [class_of(kind, {"mod_type": value}) for value in values]
            out.extend(name for name in names if name not in out)
    return out
