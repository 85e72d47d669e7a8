"""Dataset manifests without an engine: what is refused (and where), how
items draw their values, and what one item writes."""
import copy
import hashlib
import json
import math

import numpy as np
import pytest

import gensignal
from gensignal import _sigmf as sigmf
from gensignal.batch import ManifestError, load
from gensignal.batch._draws import item_rng
from gensignal.batch._items import make_item, params_of_item, written_item

BASE = {
    "seed": 7,
    "sets": [
        {
            "name": "psk",
            "kind": "digital",
            "count": 40,
            "params": {
                "mod_type": ["BPSK", "qpsk", 7],
                "filter_type": "RRCOS",
                "rolloff": {"uniform": [0.2, 0.5]},
                "symbol_rate": {"log_uniform": [1e4, 1e6]},
                "sample_rate": 4e6,
                "symbol_count": {"integers": [64, 512]},
            },
        },
        {
            "name": "tones",
            "kind": "multitone",
            "count": 5,
            "params": {"tone_count": {"integers": [2, 32]}, "tone_spacing": 10000, "sample_rate": 1e6},
        },
        {
            "name": "wide",
            "kind": "scene",
            "count": 4,
            "params": {"sample_rate": 1e6, "parts": {"integers": [1, 3]}},
            "settings": {"loop": "defined"},
            "parts": [
                {
                    "kind": "digital",
                    "params": {"mod_type": ["qpsk", "qam16"], "symbol_rate": {"uniform": [2e4, 5e4]}},
                    "placement": {"level_db": {"uniform": [-10, 0]}, "burst_on": 1e-4},
                    "channel": {"cfo_hz": {"uniform": [-100, 100]}},
                }
            ],
        },
    ],
}


def _with(path, value):
    """BASE with the value at a dotted path replaced (or removed, for ...)."""
    manifest = copy.deepcopy(BASE)
    *parents, last = path
    node = manifest
    for key in parents:
        node = node[key]
    if value is ...:
        del node[last]
    else:
        node[last] = value
    return manifest


REFUSALS = [
    # (where, new value, the path the refusal names)
    (("colour",), "blue", "colour"),
    (("seed",), -1, "seed"),
    (("seed",), 1.5, "seed"),
    (("sets",), [], "sets"),
    (("sets", 0, "kind"), "dgital", "sets[0].kind"),
    (("sets", 0, "name"), "a/b", "sets[0].name"),
    (("sets", 1, "name"), "psk", "sets[1].name"),
    (("sets", 0, "name"), ..., "sets[0].name"),
    (("sets", 0, "count"), 0, "sets[0].count"),
    (("sets", 0, "count"), "10", "sets[0].count"),
    (("sets", 0, "colour"), 1, "sets[0].colour"),
    (("sets", 1, "params", "tone_cnt"), 4, "sets[1].params.tone_cnt"),
    (("sets", 0, "params", "rolloff", "uniform"), [0.5, 0.2], "sets[0].params.rolloff.uniform"),
    (("sets", 0, "params", "rolloff", "uniform"), [0.2], "sets[0].params.rolloff.uniform"),
    (("sets", 0, "params", "rolloff", "uniform"), [0.2, "x"], "sets[0].params.rolloff.uniform"),
    (("sets", 0, "params", "rolloff", "uniform"), [0.2, math.inf], "sets[0].params.rolloff.uniform"),
    (("sets", 0, "params", "rolloff"), {"gaussian": [0, 1]}, "sets[0].params.rolloff.gaussian"),
    (("sets", 0, "params", "rolloff"), {"uniform": [0, 1], "integers": [0, 1]}, "sets[0].params.rolloff"),
    (("sets", 0, "params", "symbol_rate", "log_uniform"), [0, 1e6], "sets[0].params.symbol_rate.log_uniform"),
    (("sets", 0, "params", "symbol_count"), {"uniform": [64, 512]}, "sets[0].params.symbol_count.uniform"),
    (("sets", 0, "params", "symbol_count", "integers"), [64.5, 512], "sets[0].params.symbol_count.integers"),
    (("sets", 0, "params", "symbol_count", "integers"), [1, 2**31], "sets[0].params.symbol_count.integers"),
    (("sets", 0, "params", "mod_type"), {"integers": [1, 3]}, "sets[0].params.mod_type.integers"),
    (("sets", 0, "params", "mod_type", 1), "qpsk4", "sets[0].params.mod_type[1]"),
    (("sets", 0, "params", "mod_type"), [], "sets[0].params.mod_type"),
    (("sets", 0, "params", "filter_type"), 9, "sets[0].params.filter_type"),
    (("sets", 0, "params", "sample_rate"), True, "sets[0].params.sample_rate"),
    (("sets", 0, "params", "pn_order"), 9.5, "sets[0].params.pn_order"),
    (("sets", 0, "settings"), {"loop": "closed"}, "sets[0].settings.loop"),
    (("sets", 0, "settings"), {"peak_dbfs": 3}, "sets[0].settings.peak_dbfs"),
    (("sets", 0, "settings"), {"tone_phases": "newman"}, "sets[0].settings.tone_phases"),
    (("sets", 0, "settings"), {"lop": "exact"}, "sets[0].settings.lop"),
    (("sets", 0, "settings"), {"snap": "yes"}, "sets[0].settings.snap"),
    (("sets", 0, "settings"), {"granularity": 0}, "sets[0].settings.granularity"),
    (("sets", 0, "settings"), {"min_length": 1.5}, "sets[0].settings.min_length"),
    (("sets", 0, "settings"), {"min_loop_duration": math.nan}, "sets[0].settings.min_loop_duration"),
    (("sets", 0, "settings"), [], "sets[0].settings"),
    (("sets", 0, "measure"), "no", "sets[0].measure"),
    (("sets", 0, "measure"), 0, "sets[0].measure"),
    (("sets", 2, "measure"), False, "sets[2].measure"),
    # scene sets: their parts, placements and part channels
    (("sets", 2, "channel"), {"snr_db": 10}, "sets[2].channel"),
    (("sets", 2, "parts"), [], "sets[2].parts"),
    (("sets", 2, "parts"), ..., "sets[2].parts"),
    (("sets", 2, "params", "parts"), {"integers": [0, 3]}, "sets[2].params.parts"),
    (("sets", 2, "params", "parts"), 65, "sets[2].params.parts"),
    (("sets", 2, "params", "parts"), 1.5, "sets[2].params.parts"),
    (("sets", 2, "params", "bandwidth"), 1e5, "sets[2].params.bandwidth"),
    (("sets", 2, "settings"), {"snap": True}, "sets[2].settings.snap"),
    (("sets", 2, "settings"), {"loop": "closed"}, "sets[2].settings.loop"),
    (("sets", 2, "parts", 0, "kind"), "scene", "sets[2].parts[0].kind"),
    # a noise part is a part like any other: its parameters are its own
    (("sets", 2, "parts", 0, "kind"), "awgn", "sets[2].parts[0].params.mod_type"),
    (("sets", 2, "parts", 0, "kind"), ..., "sets[2].parts[0].kind"),
    (("sets", 2, "parts", 0, "colour"), 1, "sets[2].parts[0].colour"),
    (("sets", 2, "parts", 0, "params", "sample_rate"), 2e6, "sets[2].parts[0].params.sample_rate"),
    (("sets", 2, "parts", 0, "params", "mod_type", 1), "qam17", "sets[2].parts[0].params.mod_type[1]"),
    (
        ("sets", 2, "parts", 0, "params", "symbol_rate"),
        {"grid": [1e4, 3e4, 1e4]},
        "sets[2].parts[0].params.symbol_rate.grid",
    ),
    (("sets", 2, "parts", 0, "placement", "level"), -3, "sets[2].parts[0].placement.level"),
    (
        ("sets", 2, "parts", 0, "placement", "level_db", "uniform"),
        [0, "x"],
        "sets[2].parts[0].placement.level_db.uniform",
    ),
    (("sets", 2, "parts", 0, "placement", "burst_on"), math.inf, "sets[2].parts[0].placement.burst_on"),
    (("sets", 2, "parts", 0, "channel", "channel_seed"), 1, "sets[2].parts[0].channel.channel_seed"),
    (("sets", 2, "parts", 0, "channel", "cfo"), 1, "sets[2].parts[0].channel.cfo"),
    (("sets", 2, "parts", 0, "channel", "snr_db"), {"grid": [0, 10, 5]}, "sets[2].parts[0].channel"),
]


@pytest.mark.parametrize("where, value, path", REFUSALS, ids=[f"{r[2]}={r[1]!r}" for r in REFUSALS])
def test_refusals_name_their_place(where, value, path):
    with pytest.raises(ManifestError) as refused:
        load(_with(where, value))
    assert refused.value.path == path
    assert str(refused.value).startswith(path + ": ")


def test_a_near_miss_is_named():
    with pytest.raises(ManifestError, match="did you mean tone_count"):
        load(_with(("sets", 1, "params", "tone_cnt"), 4))


def test_files_json_and_yaml(tmp_path):
    (tmp_path / "a.json").write_text(json.dumps(BASE))
    (tmp_path / "b.yaml").write_text(
        "seed: 7\nsets:\n  - {name: t, kind: AM, count: 2, params: {mod_depth: [10, 90]}}\n"
    )
    (tmp_path / "twice.json").write_text('{"seed": 1, "seed": 2, "sets": []}')
    assert load(tmp_path / "a.json").stem == "a"
    manifest = load(tmp_path / "b.yaml")
    assert (manifest.stem, manifest.sets[0].kind, manifest.count) == ("b", "am", 2)
    with pytest.raises(ManifestError, match="seed: given twice"):
        load(tmp_path / "twice.json")


def test_item_values_come_from_its_own_seed_sequence():
    manifest = load(BASE)
    psk = manifest.sets[0]
    rng = item_rng(7, 0, 3)  # SeedSequence(7, spawn_key=(0, 3)); keywords drawn in name order
    expected = {"mod_type": ["bpsk", "qpsk", "psk8"][int(rng.integers(3))], "rolloff": float(rng.uniform(0.2, 0.5))}
    u = float(rng.random())
    expected["symbol_count"] = int(rng.integers(64, 512, endpoint=True))
    expected["symbol_rate"] = math.exp(math.log(1e4) + (math.log(1e6) - math.log(1e4)) * u)
    params = params_of_item(psk, 7, 3)
    assert {key: params[key] for key in expected} == expected
    assert params["filter_type"] == "rrcos" and params["sample_rate"] == 4e6 and params["pn_order"] == 9

    # The same item whatever comes before or after it, and whatever the key order in the file.
    shuffled = copy.deepcopy(BASE)
    shuffled["sets"][0]["params"] = dict(reversed(list(BASE["sets"][0]["params"].items())))
    shuffled["sets"].append({"name": "more", "kind": "am", "count": 3})
    shuffled["sets"][1]["count"] = 99
    assert params_of_item(load(shuffled).sets[0], 7, 3) == params
    assert params_of_item(psk, 8, 3) != params and params_of_item(psk, 7, 4) != params


def test_draws_stay_within_their_ranges():
    psk = load(BASE).sets[0]
    drawn = [params_of_item(psk, 7, i) for i in range(200)]
    assert {p["mod_type"] for p in drawn} == {"bpsk", "qpsk", "psk8"}
    assert all(0.2 <= p["rolloff"] <= 0.5 and 1e4 <= p["symbol_rate"] <= 1e6 for p in drawn)
    counts = {p["symbol_count"] for p in drawn}
    assert min(counts) >= 64 and max(counts) <= 512 and all(isinstance(c, int) for c in counts)
    # integers for a real keyword hand over floats; a one-point range is that point
    tones = load(
        {
            "sets": [
                {
                    "name": "t",
                    "kind": "multitone",
                    "count": 1,
                    "params": {"tone_spacing": {"integers": [1000, 1000]}, "sample_rate": {"log_uniform": [3e5, 3e5]}},
                }
            ]
        }
    ).sets[0]
    params = params_of_item(tones, 0, 0)
    assert params["tone_spacing"] == 1000.0 and isinstance(params["tone_spacing"], float)
    assert params["sample_rate"] == 3e5


def test_an_item_writes_what_wavegen_writes(wavegen, tmp_path):
    manifest = load(
        {
            "seed": 3,
            "sets": [
                {
                    "name": "d",
                    "kind": "digital",
                    "count": 2,
                    "params": {"mod_type": ["qam16", "fsk4"], "symbol_count": 100},
                },
                {"name": "n", "kind": "awgn", "count": 2, "params": {"duration": 1e-3}},
            ],
        }
    )
    for item_set in manifest.sets:
        item = make_item(item_set, manifest.seed, 1)
        args = [item_set.kind]
        for key, value in item.params.items():
            if value is not None:
                args += [
                    "--" + key.replace("_", "-"),
                    ("true" if value else "false") if isinstance(value, bool) else repr(value).strip("'"),
                ]
        assert wavegen(*args, "-o", item_set.name).returncode == 0
        assert (tmp_path / f"{item_set.name}.sigmf-data").read_bytes() == item.data
        assert (tmp_path / f"{item_set.name}.sigmf-meta").read_text() == item.meta
    assert "seed" in item.params and json.loads(item.meta)["global"]["gensignal:seed"] == item.params["seed"]


def test_labels_are_measured_on_the_waveform():
    item_set = load(
        {
            "sets": [
                {
                    "name": "t",
                    "kind": "multitone",
                    "count": 1,
                    "params": {"tone_count": 8, "tone_spacing": 1e4, "sample_rate": 1e6},
                }
            ]
        }
    ).sets[0]
    item = make_item(item_set, 0, 0)
    iq = np.frombuffer(item.data, "<i2").reshape(-1, 2).astype(float)
    power = iq[:, 0] ** 2 + iq[:, 1] ** 2
    spectrum = np.abs(np.fft.fftshift(np.fft.fft(iq[:, 0] + 1j * iq[:, 1]))) ** 2
    occupied = np.flatnonzero(spectrum > spectrum.max() * 1e-3)
    bin_hz = 1e6 / len(iq)
    labels = item.labels
    assert labels["samples"] == len(iq) and labels["duration_s"] == len(iq) / 1e6
    assert labels["papr_db"] == pytest.approx(10 * np.log10(power.max() / power.mean()), abs=1e-9)
    # eight tones 10 kHz apart, symmetric about 0 Hz: the band spans them, to within a bin
    assert labels["obw_lower_hz"] == pytest.approx((occupied[0] - len(iq) // 2) * bin_hz, abs=bin_hz)
    assert labels["obw_upper_hz"] == pytest.approx((occupied[-1] - len(iq) // 2) * bin_hz, abs=bin_hz)
    assert labels["obw_hz"] == labels["obw_upper_hz"] - labels["obw_lower_hz"]
    annotation = json.loads(item.meta)["annotations"][0]
    assert (annotation["core:freq_lower_edge"], annotation["core:freq_upper_edge"]) == (
        labels["obw_lower_hz"],
        labels["obw_upper_hz"],
    )


# (kind, params, settings, EVM defined, natural periods in the buffer, whole)
LABELLED = [
    ("digital", {"mod_type": "QAM16", "symbol_rate": 1e5, "sample_rate": 8e5, "symbol_count": 256}, {}, True, 1, True),
    (
        "digital",
        {"mod_type": "QPSK", "symbol_rate": 1.023e6, "sample_rate": 10e6, "symbol_count": 100},
        {"loop": "exact"},
        True,
        1023,
        True,
    ),  # resampled: EVM at the symbol instants
    ("dss", {}, {}, True, 1, True),
    ("ofdm", {"num_symbols": 4}, {}, True, 1, True),
    ("fm", {}, {}, False, 1, True),
    ("multitone", {"tone_count": 2, "tone_spacing": 1000, "sample_rate": 44100}, {}, False, 1, False),
]


@pytest.mark.parametrize("kind,params,settings,evm,periods,whole", LABELLED)
def test_labels_are_the_libraries_measurement_and_loop(kind, params, settings, evm, periods, whole):
    item_set = load({"sets": [{"name": "t", "kind": kind, "count": 1, "params": params, "settings": settings}]}).sets[0]
    item = make_item(item_set, 0, 0)
    assert item.reason is None
    iq = np.frombuffer(item.data, "<i2").reshape(-1, 2)
    rate = json.loads(item.meta)["global"]["core:sample_rate"]
    # the array alone has no record to compare symbols with: EVM apart, the same numbers
    alone = gensignal.measure(iq, sample_rate=rate).to_dict()
    for key in (
        "peak_dbfs",
        "rms_dbfs",
        "papr_db",
        "ccdf_db",
        "obw_hz",
        "obw_lower_hz",
        "obw_upper_hz",
        "seam_ratio",
        "seam_prediction",
    ):
        assert item.labels[key] == alone[key], key
    assert (item.labels["evm_percent"] is not None) == evm
    if evm:
        assert 0 <= item.labels["evm_percent"] < 1 and item.labels["mer_db"] > 40
    loop = json.loads(item.meta)["global"]["gensignal:loop"]
    assert item.labels["periods"] == loop["periods"] and item.labels["whole_periods"] == whole
    assert item.labels["periods"] == periods
    if whole:
        assert item.labels["samples_per_period"] * periods == pytest.approx(len(iq))


def test_refused_items_carry_the_reason():
    item_set = load({"sets": [{"name": "t", "kind": "digital", "count": 1, "params": {"pn_order": 40}}]}).sets[0]
    item = make_item(item_set, 0, 0)
    assert item.data is None and item.params["pn_order"] == 40
    assert item.reason.startswith("pn_order = 40: must be 4 to 32")


def test_written_files_are_recognised_only_when_exact():
    item_set = load(
        {"sets": [{"name": "t", "kind": "am", "count": 2, "params": {"mod_depth": {"uniform": [10, 90]}}}]}
    ).sets[0]
    item = make_item(item_set, 5, 1)
    meta = item.meta.encode()
    assert written_item(item_set, 5, 1, meta, item.data).labels == item.labels
    other = make_item(item_set, 5, 0)
    assert written_item(item_set, 5, 1, other.meta.encode(), other.data) is None  # another item's files
    broken = bytearray(item.data)
    broken[10] ^= 1
    assert written_item(item_set, 5, 1, meta, bytes(broken)) is None
    assert written_item(item_set, 5, 1, meta, item.data[:-4]) is None
    assert written_item(item_set, 5, 1, meta.replace(b"\n", b"\r\n"), item.data) is None
    meta = json.loads(item.meta)
    assert meta["global"]["core:sha512"] == hashlib.sha512(item.data).hexdigest()
    assert sigmf.dumps(meta) == item.meta


@pytest.mark.parametrize("streams", [0, 1, 3])
def test_the_collection_is_written_as_json_dumps_would(streams):
    import io

    from gensignal.batch._outputs import _Collection

    item_set = load({"sets": [{"name": "t", "kind": "am", "count": 3}]}).sets[0]
    metas = [make_item(item_set, 0, i).meta for i in range(streams)]
    f = io.StringIO()
    collection = _Collection(f, 'a "quoted" description')
    for i, meta in enumerate(metas):
        collection.add(f"t/{i}", meta)
    collection.close()
    parsed = json.loads(f.getvalue())
    assert f.getvalue() == json.dumps(parsed, indent=2, sort_keys=True) + "\n"
    assert parsed["collection"]["core:streams"] == [
        {"name": f"t/{i}", "hash": hashlib.sha512(meta.encode()).hexdigest()} for i, meta in enumerate(metas)
    ]
    assert parsed["collection"]["core:version"] == json.loads(make_item(item_set, 0, 0).meta)["global"]["core:version"]


def test_settings_reach_the_generator():
    manifest = load(
        {
            "seed": 3,
            "sets": [
                {
                    "name": "t",
                    "kind": "multitone",
                    "count": 2,
                    "params": {"tone_count": 64, "tone_spacing": 10e3, "sample_rate": 30.72e6},
                    "settings": {"loop": "exact", "tone_phases": "newman", "peak_dbfs": -1},
                }
            ],
        }
    )
    item_set = manifest.sets[0]
    item = make_item(item_set, manifest.seed, 0)
    assert item.reason is None
    loop = json.loads(item.meta)["global"]["gensignal:loop"]
    assert loop["mode"] == "exact" and loop["tone_phases"] == "newman" and loop["periods"] == 1
    assert written_item(item_set, manifest.seed, 0, item.meta.encode(), item.data).labels == item.labels


def test_a_settings_range_is_the_librarys():
    with pytest.raises(ManifestError, match=r"settings.peak_dbfs: 3: must be -90 to 0 dBFS"):
        load(_with(("sets", 0, "settings"), {"peak_dbfs": 3}))
    with pytest.raises(ManifestError, match=r"max_samples: -1: must be a whole number from 0 to 1073741823"):
        load(_with(("sets", 0, "settings"), {"max_samples": -1}))


def test_snap_makes_clean_loops_with_evm_that_regenerate():
    # random symbol rates: none closes as drawn, every one after the snap
    item_set = load(
        {
            "seed": 1,
            "sets": [
                {
                    "name": "psk",
                    "kind": "digital",
                    "count": 3,
                    "params": {
                        "mod_type": "qpsk",
                        "symbol_rate": {"log_uniform": [1e5, 1e6]},
                        "sample_rate": 4e6,
                        "symbol_count": 256,
                    },
                    "settings": {"loop": "EXACT", "snap": True},
                }
            ],
        }
    ).sets[0]
    assert item_set.settings == {"loop": "exact", "snap": True}
    for index in range(3):
        item = make_item(item_set, 1, index)
        assert item.reason is None, item.reason
        loop = json.loads(item.meta)["global"]["gensignal:loop"]
        assert loop["snap"] is True and loop["whole_periods"] and loop["snapped"]["field"] == "symbolRate"
        assert loop["snapped"]["asked"] == item.params["symbol_rate"]
        assert item.labels["evm_percent"] is not None and item.labels["whole_periods"]
        params = item.index_line(item_set.settings)["params"]
        assert gensignal.digital(**params).iq.astype("<i2").tobytes() == item.data


def test_a_set_without_measurement_writes_the_same_samples_and_null_measured_labels():
    measured = load(BASE).sets[0]
    lean = load(_with(("sets", 0, "measure"), False)).sets[0]
    for index in range(3):
        full, item = make_item(measured, 7, index), make_item(lean, 7, index)
        assert item.data == full.data and item.params == full.params
        assert full.labels["obw_hz"] is not None and full.labels["evm_percent"] is not None
        assert all(item.labels[key] is None for key in ("obw_hz", "papr_db", "evm_percent", "seam_ratio"))
        assert item.labels["ccdf_db"] == dict.fromkeys(full.labels["ccdf_db"])
        same = ("samples", "periods", "whole_periods")
        assert {k: item.labels[k] for k in same} == {k: full.labels[k] for k in same}
        # one line of JSON, the same values but the measurement
        assert item.meta.count("\n") == 1 and item.meta.endswith("\n")
        meta, full_meta = json.loads(item.meta), json.loads(full.meta)
        assert meta["global"].pop("gensignal:measured") is None
        full_meta["global"].pop("gensignal:measured")
        assert meta["global"] == full_meta["global"]
        assert written_item(lean, 7, index, item.meta.encode(), item.data).labels == item.labels
        assert written_item(lean, 7, index, full.meta.encode(), full.data) is None
        assert written_item(measured, 7, index, item.meta.encode(), item.data) is None
