"""Impaired dataset items: a set's channel drawn per item from keys of its
own, swept over grids, labelled with what was applied and what was
realised; what a manifest's channel and grids may not say."""
import copy
import json
import math

import numpy as np
import pytest

import gensignal
from gensignal.batch import ManifestError, load
from gensignal.batch._draws import item_channel
from gensignal.batch._items import make_item, params_of_item, written_item

PSK = {
    "name": "psk",
    "kind": "digital",
    "count": 15,
    "params": {
        "mod_type": ["bpsk", "qpsk"],
        "symbol_count": 64,
        "symbol_rate": 1e6,
        "sample_rate": 4e6,
        "rolloff": {"uniform": [0.2, 0.5]},
    },
    "channel": {
        "snr_db": {"grid": [-10, 30, 2]},
        "cfo_hz": {"uniform": [-2e4, 2e4]},
        "phase_offset_deg": {"uniform": [0, 360]},
    },
}


def _set(**changes):
    item_set = copy.deepcopy(PSK)
    item_set.update(changes)
    return item_set


REFUSALS = [
    # (the set's channel or params, the path the refusal names)
    ({"channel": []}, "sets[0].channel"),
    ({"channel": {"snr": 10}}, "sets[0].channel.snr"),
    ({"channel": {"channel_seed": 3}}, "sets[0].channel.channel_seed"),
    ({"channel": {"snr_db": 10, "esn0_db": 12}}, "sets[0].channel.esn0_db"),
    ({"channel": {"snr_db": "high"}}, "sets[0].channel.snr_db"),
    ({"channel": {"snr_db": math.nan}}, "sets[0].channel.snr_db"),
    ({"channel": {"fading": "evb"}}, "sets[0].channel.fading"),
    ({"channel": {"fading": {"uniform": [1, 3]}}}, "sets[0].channel.fading.uniform"),
    ({"channel": {"taps": [[0, 0], [1e-6]]}}, "sets[0].channel.taps[1]"),
    ({"channel": {"taps": [[0, 0, 0, 0]]}}, "sets[0].channel.taps[0]"),
    ({"channel": {"phase_noise": [[1e3, -80, 2]]}}, "sets[0].channel.phase_noise[0]"),
    ({"channel": {"taps": {"uniform": [0, 1]}}}, "sets[0].channel.taps.uniform"),
    ({"channel": {"snr_db": {"grid": [0, 10]}}}, "sets[0].channel.snr_db.grid"),
    ({"channel": {"snr_db": {"grid": [0, 10, 0]}}}, "sets[0].channel.snr_db.grid"),
    ({"channel": {"snr_db": {"grid": [0, 10, math.nan]}}}, "sets[0].channel.snr_db.grid"),
    ({"channel": {"snr_db": {"grid": [10, 0, 1]}}}, "sets[0].channel.snr_db.grid"),
    ({"channel": {"snr_db": {"grid": [0, 1, 1e-12]}}}, "sets[0].channel.snr_db.grid"),
    ({"channel": {"pa": {"grid": [1, 2, 1]}}}, "sets[0].channel.pa.grid"),
    ({"channel": {"snr_db": {"grid": [0, 10, 1], "uniform": [0, 1]}}}, "sets[0].channel.snr_db"),
    ({"params": {"symbol_count": {"grid": [64, 128, 0.5]}}}, "sets[0].params.symbol_count.grid"),
    ({"params": {"mod_type": {"grid": [1, 3, 1]}}}, "sets[0].params.mod_type.grid"),
    ({"params": {"windowing": {"grid": [0, 1, 1]}}}, "sets[0].params.windowing"),
    ({"count": 2**30, "channel": {"snr_db": {"grid": [0, 1, 1]}}}, "sets[0].count"),
]


@pytest.mark.parametrize("change, path", REFUSALS, ids=[r[1] + "=" + json.dumps(r[0]) for r in REFUSALS])
def test_refusals_name_their_place(change, path):
    with pytest.raises(ManifestError) as refused:
        load({"sets": [_set(**change)]})
    assert refused.value.path == path
    assert str(refused.value).startswith(path + ": ")


def test_a_channel_changes_no_record_value_and_each_item_has_its_own_seed():
    with_channel = load({"seed": 4, "sets": [PSK]}).sets[0]
    clean = load({"seed": 4, "sets": [_set(channel={}, count=with_channel.count)]}).sets[0]
    assert with_channel.count == 21 * 15 and with_channel.per_point == 15
    for index in range(0, with_channel.count, 7):
        assert params_of_item(with_channel, 4, index) == params_of_item(clean, 4, index)
    channels = [item_channel(with_channel, 4, i) for i in range(with_channel.count)]
    # the grid: 15 items at each point, in order; the draws within their ranges
    assert [c["snr_db"] for c in channels] == [-10.0 + 2 * (i // 15) for i in range(len(channels))]
    assert all(-2e4 <= c["cfo_hz"] <= 2e4 and 0 <= c["phase_offset_deg"] <= 360 for c in channels)
    assert len({c["channel_seed"] for c in channels}) == len(channels)
    assert len({c["cfo_hz"] for c in channels}) == len(channels)
    # adding a channel value moves neither the other values nor the seed
    more = load({"seed": 4, "sets": [_set(channel=dict(PSK["channel"], iq_gain_db=0.5))]}).sets[0]
    again = item_channel(more, 4, 33)
    assert again.pop("iq_gain_db") == 0.5 and again == channels[33]
    assert item_channel(with_channel, 5, 33) != channels[33]


def test_grids_over_params_and_channel_make_every_combination():
    item_set = load(
        {
            "sets": [
                {
                    "name": "t",
                    "kind": "multitone",
                    "count": 2,
                    "params": {"tone_count": {"grid": [2, 6, 2]}},
                    "channel": {"snr_db": {"grid": [0, 0.3, 0.1]}},
                }
            ]
        }
    ).sets[0]
    assert item_set.count == 3 * 4 * 2
    seen = [
        (params_of_item(item_set, 0, i)["tone_count"], item_channel(item_set, 0, i)["snr_db"])
        for i in range(item_set.count)
    ]
    expected = [(t, s) for t in (2, 4, 6) for s in (0.0, 0.1, 0.2, 0.3) for _ in range(2)]
    assert seen == expected


def _clean_twin(item):
    """The item's record made again without the channel, in counts."""
    wf = gensignal.generate(item.kind, **{k: v for k, v in item.params.items() if v is not None})
    return wf.iq[:, 0].astype(float) + 1j * wf.iq[:, 1].astype(float)


def test_realised_snr_labels_hold_for_the_files_samples():
    item_set = load({"seed": 21, "sets": [PSK]}).sets[0]
    checked = 0
    for index in range(item_set.count):
        item = make_item(item_set, 21, index)
        assert item.reason is None, item.reason
        realised = item.labels["channel"]["realised"]
        applied = item.labels["channel"]["applied"]
        assert applied == json.loads(json.dumps(item.channel))
        assert realised["fading_power_db"] is None and realised["pa_gain_db"] is None  # stages that are off
        iq = np.frombuffer(item.data, "<i2").reshape(-1, 2).astype(float)
        y = iq[:, 0] + 1j * iq[:, 1]
        twin = _clean_twin(item)
        n = np.arange(len(twin))
        phase = 2 * math.pi * realised["cfo_hz"] * n / item.params["sample_rate"]
        s = twin * np.exp(1j * (phase + math.radians(realised["phase_offset_deg"])))
        p_s = np.mean(np.abs(s) ** 2)
        # the output's scale from the signal power the label gives; what is left is the noise
        g = math.sqrt(realised["signal_power"] / p_s)
        p_n = np.mean(np.abs(y / g - s) ** 2)
        assert 10 * math.log10(p_s / p_n) == pytest.approx(realised["snr_db"], abs=0.1), index
        assert realised["snr_db"] == pytest.approx(applied["snr_db"], abs=0.01)
        checked += 1
    assert checked >= 300


def test_a_wrong_scale_or_offset_is_caught_by_the_check():
    # the check above fails for labels that are off: a tenth of a dB of signal, a degree of phase
    item = make_item(load({"seed": 21, "sets": [PSK]}).sets[0], 21, 300)
    realised = item.labels["channel"]["realised"]
    iq = np.frombuffer(item.data, "<i2").reshape(-1, 2).astype(float)
    y = iq[:, 0] + 1j * iq[:, 1]
    twin = _clean_twin(item)
    n = np.arange(len(twin))

    def snr(signal_db, phase_deg):
        s = twin * np.exp(1j * (2 * math.pi * realised["cfo_hz"] * n / 4e6 + math.radians(phase_deg)))
        g = math.sqrt(realised["signal_power"] * 10 ** (signal_db / 10) / np.mean(np.abs(s) ** 2))
        return 10 * math.log10(np.mean(np.abs(s) ** 2) / np.mean(np.abs(y / g - s) ** 2))

    assert snr(0, realised["phase_offset_deg"]) == pytest.approx(realised["snr_db"], abs=0.1)
    assert abs(snr(0.5, realised["phase_offset_deg"]) - realised["snr_db"]) > 0.1
    assert abs(snr(0, realised["phase_offset_deg"] + 1) - realised["snr_db"]) > 0.1


def test_an_impaired_item_is_recognised_on_disk_and_remade_from_its_index_line():
    item_set = load(
        {
            "seed": 2,
            "sets": [_set(channel={"esn0_db": [5, 15], "fading": "rayleigh", "doppler_hz": 0, "taps": [[0, 0]]})],
        }
    ).sets[0]
    item = make_item(item_set, 2, 3)
    assert item.reason is None
    meta = item.meta.encode()
    again = written_item(item_set, 2, 3, meta, item.data)
    assert again is not None and again.labels == item.labels and again.resumed
    realised = item.labels["channel"]["realised"]
    assert realised["esn0_db"] == pytest.approx(item.channel["esn0_db"], abs=1e-6)
    assert realised["fading_power_db"] is not None
    # metadata of another channel, or none, is not this item's
    other = json.loads(item.meta)
    other["global"]["gensignal:channel"]["settings"]["channel_seed"] += 1
    assert written_item(item_set, 2, 3, gensignal._sigmf.dumps(other).encode(), item.data) is None
    del other["global"]["gensignal:channel"]
    assert written_item(item_set, 2, 3, gensignal._sigmf.dumps(other).encode(), item.data) is None

    line = json.loads(json.dumps(item.index_line(item_set.settings)))
    remade = gensignal.impair(gensignal.generate(line["kind"], **line["params"]), channel=line["channel"])
    assert remade.iq.astype("<i2").tobytes() == item.data


def _tree(folder):
    import hashlib

    return {
        str(p.relative_to(folder)): hashlib.sha512(p.read_bytes()).hexdigest()
        for p in sorted(folder.rglob("*"))
        if p.is_file()
    }


def test_impaired_runs_are_the_same_bytes_on_one_and_two_workers(tmp_path):
    pytest.importorskip("distributed")
    pytest.importorskip("h5py")
    from gensignal.batch import read_hdf5, run

    manifest = {
        "seed": 3,
        "sets": [
            _set(
                count=4,
                channel={
                    "snr_db": {"grid": [0, 20, 10]},
                    "fading": ["epa", "rayleigh"],
                    "doppler_hz": 5,
                    "timing_offset": {"uniform": [0, 2]},
                    "cfo_hz": {"uniform": [-1e4, 1e4]},
                },
            ),
            {
                "name": "tones",
                "kind": "multitone",
                "count": 5,
                "params": {"tone_count": {"integers": [2, 9]}},
                "channel": {"taps": [[[0, 0], [1e-5, -3]], [[0, 0]]], "cn_db": 10, "noise_bandwidth": 1e5},
            },
        ],
    }
    trees = []
    for workers in (1, 2):
        out = tmp_path / f"w{workers}"
        summary = run(manifest, out, workers=workers, hdf5=True, progress=False)
        assert (summary.items, summary.failed) == (12 + 5, 0)
        trees.append(_tree(out))
    assert trees[0] == trees[1]
    index = [json.loads(line) for line in (tmp_path / "w1" / "index.jsonl").read_text().splitlines()]
    table = read_hdf5(tmp_path / "w1" / "dataset.h5")
    for name in ("psk", "tones"):
        rows = [r for r in index if r["set"] == name]
        labels = table[name]["labels"]["channel"]
        assert list(labels["applied"]["channel_seed"]) == [r["channel"]["channel_seed"] for r in rows]
        assert labels["realised"]["snr_db"].tolist() == [r["labels"]["channel"]["realised"]["snr_db"] for r in rows]
    assert [json.loads(t) for t in table["tones"]["labels"]["channel"]["applied"]["taps"]] == [
        r["channel"]["taps"] for r in index if r["set"] == "tones"
    ]
    assert list(table["psk"]["labels"]["channel"]["applied"]["fading"]) == [
        r["channel"]["fading"] for r in index if r["set"] == "psk"
    ]
    cn = [r["labels"]["channel"]["realised"]["cn_db"] for r in index if r["set"] == "tones"]
    assert cn == pytest.approx([10] * 5, abs=1e-6)


def test_a_resumed_items_index_line_is_the_same_text():
    item_set = load({"seed": 2, "sets": [_set(channel={"snr_db": 20, "cfo_hz": 100.0, "iq_gain_db": 0.1})]}).sets[0]
    item = make_item(item_set, 2, 0)
    again = written_item(item_set, 2, 0, item.meta.encode(), item.data)
    assert json.dumps(again.index_line(item_set.settings)) == json.dumps(item.index_line(item_set.settings))
