"""A minimal check of SigMF 1.2 metadata: the required fields and the types
and ranges of the fields gensignal writes, in the core namespace and the
signal extension's detail object, and that every namespace used is core or
declared in core:extensions. Returns a list of faults (empty: valid)."""
import re

_INDEX = (0, 2**64 - 1)
_FREQUENCY = (-1e12, 1e12)
_DATATYPE = re.compile(r"^(c|r)(f32|f64|i32|i16|u32|u16|i8|u8)(_le|_be)?$")
_VERSION = re.compile(r"^\d+\.\d+\.\d+$")
_SHA512 = re.compile(r"^[0-9a-fA-F]{128}$")
_DATETIME = re.compile(r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?Z$")

_DETAIL_WORDS = {
    "type": {"analog", "digital"},
    "mod_class": {"am", "fm", "pm", "ssb", "dsb", "vsb", "ask", "fsk", "psk", "qam", "ook", "cpm", "msk"},
    "carrier_variant": {"with_carrier", "suppressed_carrier", "reduced_carrier", "single_carrier", "multi_carrier"},
    "symbol_variant": {"differential", "offset"},
    "duplexing": {"tdd", "fdd"},
    "multiplexing": {"tdm", "fdm", "cdm", "ofdm", "sdm", "pdm"},
    "multiple_access": {"fdma", "ofdma", "tdma", "cdma", "sdma", "pdma"},
    "spreading": {"fhss", "thss", "dsss", "css"},
}
_DETAIL_STRINGS = {"standard", "class_variant"}
_DETAIL_UINTS = {"order", "channel"}


def _is_int(v):
    return isinstance(v, int) and not isinstance(v, bool)


def _is_number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


class _Checker:
    def __init__(self):
        self.faults = []

    def fault(self, where, text):
        self.faults.append(f"{where}: {text}")

    def field(self, obj, where, key, kind, bounds=None, pattern=None, required=False):
        if key not in obj:
            if required:
                self.fault(where, f"{key} is required")
            return
        v = obj[key]
        ok = {
            "int": _is_int,
            "number": _is_number,
            "string": lambda x: isinstance(x, str),
            "bool": lambda x: isinstance(x, bool),
            "object": lambda x: isinstance(x, dict),
            "array": lambda x: isinstance(x, list),
        }[kind](v)
        if not ok:
            self.fault(where, f"{key} = {v!r} is not of type {kind}")
        elif bounds and not bounds[0] <= v <= bounds[1]:
            self.fault(where, f"{key} = {v!r} is outside {bounds}")
        elif pattern and not pattern.match(v):
            self.fault(where, f"{key} = {v!r} does not match {pattern.pattern}")

    def namespaces(self, obj, where, declared):
        for key in obj:
            namespace = key.partition(":")[0] if ":" in key else None
            if namespace is None:
                self.fault(where, f"{key} has no namespace")
            elif namespace != "core" and namespace not in declared:
                self.fault(where, f"{key}: namespace {namespace} is not declared in core:extensions")

    def segments(self, meta, name, check, declared):
        if not isinstance(meta.get(name), list):
            self.fault("top", f"{name} must be an array")
            return
        starts = []
        for i, segment in enumerate(meta[name]):
            where = f"{name}[{i}]"
            if not isinstance(segment, dict):
                self.fault(where, "must be an object")
                continue
            self.field(segment, where, "core:sample_start", "int", _INDEX, required=True)
            starts.append(segment.get("core:sample_start", 0))
            self.namespaces(segment, where, declared)
            check(segment, where)
        if starts != sorted(starts):
            self.fault(name, "segments must be sorted by core:sample_start")

    def capture(self, c, where):
        self.field(c, where, "core:frequency", "number", _FREQUENCY)
        self.field(c, where, "core:global_index", "int", _INDEX)
        self.field(c, where, "core:header_bytes", "int", _INDEX)
        self.field(c, where, "core:datetime", "string", pattern=_DATETIME)

    def annotation(self, a, where):
        self.field(a, where, "core:sample_count", "int", _INDEX)
        for key in ("core:freq_lower_edge", "core:freq_upper_edge"):
            self.field(a, where, key, "number", _FREQUENCY)
        if ("core:freq_lower_edge" in a) != ("core:freq_upper_edge" in a):
            self.fault(where, "core:freq_lower_edge and core:freq_upper_edge go together")
        for key in ("core:label", "core:comment", "core:generator", "core:uuid"):
            self.field(a, where, key, "string")
        self.field(a, where, "signal:detail", "object")
        detail = a.get("signal:detail")
        if isinstance(detail, dict):
            for key, v in detail.items():
                if key in _DETAIL_WORDS:
                    if v not in _DETAIL_WORDS[key]:
                        self.fault(where, f"signal:detail {key} = {v!r} is not one of the extension's words")
                elif key in _DETAIL_UINTS:
                    self.field(detail, f"{where} signal:detail", key, "int", (0, 2**64 - 1))
                elif key in _DETAIL_STRINGS:
                    self.field(detail, f"{where} signal:detail", key, "string")
                elif key == "channel_bw":
                    self.field(detail, f"{where} signal:detail", key, "number")
                else:
                    self.fault(where, f"signal:detail has no field {key}")


def check(meta):
    c = _Checker()
    if not isinstance(meta, dict):
        return ["top: must be an object"]
    for key in meta:
        if key not in ("global", "captures", "annotations"):
            c.fault("top", f"{key} is not a SigMF object")
    glob = meta.get("global")
    if not isinstance(glob, dict):
        c.fault("top", "global must be an object")
        return c.faults
    c.field(glob, "global", "core:datatype", "string", pattern=_DATATYPE, required=True)
    c.field(glob, "global", "core:version", "string", pattern=_VERSION, required=True)
    c.field(glob, "global", "core:sample_rate", "number", (1, 1e12))
    c.field(glob, "global", "core:num_channels", "int", (1, 1000))
    c.field(glob, "global", "core:sha512", "string", pattern=_SHA512)
    c.field(glob, "global", "core:offset", "int", _INDEX)
    for key in ("core:description", "core:author", "core:recorder", "core:hw", "core:license", "core:collection"):
        c.field(glob, "global", key, "string")
    c.field(glob, "global", "core:metadata_only", "bool")
    c.field(glob, "global", "core:extensions", "array")
    declared = set()
    for i, e in enumerate(glob.get("core:extensions") or []):
        where = f"global core:extensions[{i}]"
        if not isinstance(e, dict) or set(e) != {"name", "version", "optional"}:
            c.fault(where, "must hold exactly name, version and optional")
            continue
        c.field(e, where, "name", "string")
        c.field(e, where, "version", "string")
        c.field(e, where, "optional", "bool")
        declared.add(e["name"])
    c.namespaces(glob, "global", declared)
    for name, check_segment in (("captures", c.capture), ("annotations", c.annotation)):
        c.segments(meta, name, check_segment, declared)
    return c.faults
