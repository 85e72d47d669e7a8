"""SigMF 1.2 metadata of every kind, from wavegen and from Python alike:
valid by the minimal schema check, the gensignal and signal extensions
optional, enumerations by name, a centre frequency at RF."""
import copy
import json

import pytest

import gensignal
from conftest import KIND_CASES, wavegen_args
from sigmf_schema import check


def _wavegen_meta(wavegen, tmp_path, kind, *extra):
    done = wavegen(*wavegen_args(kind, KIND_CASES[kind]), *extra, "-o", "w")
    assert done.returncode == 0, done.stderr
    return json.loads((tmp_path / "w.sigmf-meta").read_text())


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_every_kind_is_valid_sigmf_1_2(kind, wavegen, tmp_path):
    meta = _wavegen_meta(wavegen, tmp_path, kind, "--center-frequency", "915e6", "--datetime", "now", "--repeat", "2")
    assert check(meta) == []
    glob = meta["global"]
    assert glob["core:version"] == "1.2.0"
    assert glob["core:recorder"] == f"gensignal {gensignal.__version__}"
    assert meta["annotations"][0]["core:generator"] == glob["core:recorder"]
    assert all(e["optional"] for e in glob["core:extensions"])
    # Every enumeration by name.
    for field in gensignal.KINDS[kind]["fields"]:
        if field["type"] == "choice":
            assert glob[f"gensignal:{field['name']}"] in [name for name, _ in field["choices"]]


def test_python_writes_the_same_valid_metadata(wavegen, tmp_path):
    _wavegen_meta(wavegen, tmp_path, "ofdm", "--center-frequency", "-2.5e3", "--repeat", "3")
    wf = gensignal.ofdm(**KIND_CASES["ofdm"]).repeated(3)
    wf.to_sigmf(tmp_path / "p", center_frequency=-2.5e3)
    assert (tmp_path / "p.sigmf-meta").read_text() == (tmp_path / "w.sigmf-meta").read_text()
    assert (tmp_path / "p.sigmf-data").read_bytes() == (tmp_path / "w.sigmf-data").read_bytes()
    assert check(json.loads((tmp_path / "p.sigmf-meta").read_text())) == []


def test_band_edges_are_at_rf_with_a_centre_frequency(tmp_path):
    wf = gensignal.am()
    lower, upper = wf.occupied_band()
    wf.to_sigmf(tmp_path / "c", center_frequency=100e6)
    meta = json.loads((tmp_path / "c.sigmf-meta").read_text())
    assert meta["captures"][0]["core:frequency"] == 100e6
    annotation = meta["annotations"][0]
    assert (annotation["core:freq_lower_edge"], annotation["core:freq_upper_edge"]) == (lower + 100e6, upper + 100e6)
    assert gensignal.read_sigmf(tmp_path / "c").center_frequency == 100e6


@pytest.mark.parametrize("centre", [float("nan"), float("inf"), 1.5e12])
def test_centre_frequencies_sigmf_cannot_hold_are_refused(centre, tmp_path):
    with pytest.raises(gensignal.GenSignalError, match="center_frequency"):
        gensignal.am().to_sigmf(tmp_path / "x", center_frequency=centre)
    assert not (tmp_path / "x.sigmf-data").exists()


def _broken(change):
    def make(meta):
        meta = copy.deepcopy(meta)
        change(meta)
        return meta

    return make


# Each breaks one rule; the check must name it.
BROKEN = {
    "no version": (_broken(lambda m: m["global"].pop("core:version")), "core:version is required"),
    "version shape": (_broken(lambda m: m["global"].update({"core:version": "v1.2"})), "core:version"),
    "datatype": (_broken(lambda m: m["global"].update({"core:datatype": "ci17"})), "core:datatype"),
    "rate type": (_broken(lambda m: m["global"].update({"core:sample_rate": "8e6"})), "core:sample_rate"),
    "undeclared namespace": (_broken(lambda m: m["global"]["core:extensions"].pop()), "not declared"),
    "extension field": (_broken(lambda m: m["global"]["core:extensions"][0].update({"x": 1})), "exactly"),
    "no sample start": (_broken(lambda m: m["captures"][0].pop("core:sample_start")), "core:sample_start"),
    "one edge": (_broken(lambda m: m["annotations"][0].pop("core:freq_upper_edge")), "go together"),
    "count type": (_broken(lambda m: m["annotations"][0].update({"core:sample_count": 1.5})), "core:sample_count"),
    "frequency range": (_broken(lambda m: m["captures"][0].update({"core:frequency": 2e12})), "core:frequency"),
    "detail word": (_broken(lambda m: m["annotations"][0]["signal:detail"].update({"mod_class": "apsk"})), "mod_class"),
    "detail order": (_broken(lambda m: m["annotations"][0]["signal:detail"].update({"order": -4})), "order"),
    "extra object": (_broken(lambda m: m.update({"extra": {}})), "not a SigMF object"),
}


@pytest.mark.parametrize("case", sorted(BROKEN))
def test_the_check_catches_broken_metadata(case, tmp_path):
    gensignal.digital(symbol_count=64).to_sigmf(tmp_path / "d")
    meta = json.loads((tmp_path / "d.sigmf-meta").read_text())
    assert check(meta) == []
    make, named = BROKEN[case]
    faults = check(make(meta))
    assert faults and any(named in f for f in faults), faults
