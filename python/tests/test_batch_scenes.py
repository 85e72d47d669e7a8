"""Wideband items: a scene per item, its parts drawn from the set's
templates, its boxes checked against each part made alone, its files
regenerated from what they record, and the loaders' boxes."""
import copy
import json
import warnings

import pytest

import gensignal
from gensignal import _kinds as kinds
from gensignal.batch import ArrayDataset, load
from gensignal.batch._items import make_item, params_of_item, written_item

RATE = 1e6
WIDE = {
    "seed": 5,
    "sets": [
        {
            "name": "wide",
            "kind": "scene",
            "count": 12,
            "params": {"sample_rate": RATE, "parts": {"integers": [1, 3]}},
            "parts": [
                {
                    "kind": "digital",
                    "params": {
                        "mod_type": ["qpsk", "qam16", "psk8"],
                        "symbol_rate": {"uniform": [2e4, 5e4]},
                        "symbol_count": {"integers": [200, 400]},
                    },
                    "placement": {"level_db": {"uniform": [-10, 0]}, "frequency_offset": {"uniform": [-3e5, 3e5]}},
                },
                {
                    "kind": "fm",
                    "params": {"mod_frequency": 2000, "freq_deviation": {"uniform": [5e3, 2e4]}},
                    "placement": {"burst_on": 3e-4, "burst_off": {"uniform": [2e-4, 6e-4]}, "burst_start": 1e-4},
                },
            ],
        }
    ],
}
_PLACEMENT = (
    "frequency_offset",
    "level_db",
    "delay",
    "phase_deg",
    "burst_on",
    "burst_off",
    "burst_start",
    "burst_ramp",
)


def _items(manifest=WIDE):
    item_set = load(manifest).sets[0]
    return item_set, [make_item(item_set, manifest["seed"], i) for i in range(item_set.count)]


@pytest.fixture(scope="module")
def items():
    return _items()


def _alone(part):
    """The part's kind made alone at the scene's rate, and its offset."""
    values = {k: v for k, v in part.items() if k not in _PLACEMENT + ("kind", "channel")}
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return kinds.generate(part["kind"], sample_rate=RATE, **values), part.get("frequency_offset", 0.0)


def test_boxes_are_each_part_measured_alone(items):
    _, made = items
    seen = set()
    for item in made:
        assert item.reason is None, item.reason
        parts, boxes, n = item.params["parts"], item.labels["boxes"], item.labels["samples"]
        assert 1 <= len(parts) <= 3 and {b["part"] for b in boxes} == set(range(len(parts)))
        for box in boxes:
            part = parts[box["part"]]
            seen.add(part["kind"])
            assert box["class"] == (part["mod_type"] if part["kind"] == "digital" else "fm")
            if part["kind"] == "digital":  # always on: one box over the whole item
                assert (box["start"], box["count"], box["burst"]) == (0, n, -1)
                wf, offset = _alone(part)
                lower, upper = wf.occupied_band()
                # within one bin of the spectrum the library measures the scene's parts on
                assert abs(box["lower_hz"] - (lower + offset)) <= RATE / 4096
                assert abs(box["upper_hz"] - (upper + offset)) <= RATE / 4096
            else:  # a box per burst: 300 samples on from sample 100, every on + off
                period = round((part["burst_on"] + part["burst_off"]) * RATE)
                k = box["burst"]
                assert box["start"] == 100 + k * period
                assert box["count"] == min(300, n - box["start"])
                assert box["lower_hz"] < part["frequency_offset"] < box["upper_hz"]
        first = [b for b in boxes if b["part"] == 0]
        assert first[0]["level_db"] == pytest.approx(0.0, abs=1e-9)  # levels are over the first part's
    assert seen == {"digital", "fm"}


def test_a_parts_values_are_its_own(items):
    """Part p draws from its own key: more parts, or a channel given to a
    template, change no part's values."""
    item_set, made = items
    more = copy.deepcopy(WIDE)
    more["sets"][0]["params"]["parts"] = {"integers": [3, 5]}
    more["sets"][0]["parts"][0]["channel"] = {"cfo_hz": {"uniform": [-50, 50]}, "phase_offset_deg": 10}
    richer = load(more).sets[0]
    for item in made:
        again = params_of_item(richer, WIDE["seed"], item.index)["parts"]
        for part, other in zip(item.params["parts"], again):
            assert {k: v for k, v in other.items() if k != "channel"} == part
            assert ("channel" in other) == (part["kind"] == "digital")
    seeds = [
        p["channel"]["channel_seed"] for i in range(12) for p in params_of_item(richer, 5, i)["parts"] if "channel" in p
    ]
    assert len(set(seeds)) == len(seeds) > 3


def test_a_scene_item_regenerates_from_its_files_and_its_index_line(items, tmp_path):
    item_set, made = items
    for item in made[:4]:
        base = tmp_path / f"{item.index}"
        (tmp_path / f"{item.index}.sigmf-data").write_bytes(item.data)
        (tmp_path / f"{item.index}.sigmf-meta").write_text(item.meta)
        recording = gensignal.read_sigmf(base)
        meta = recording.metadata
        assert [(a["core:sample_start"], a["core:sample_count"], a["core:label"]) for a in meta["annotations"]] == [
            (b["start"], b["count"], b["class"]) for b in item.labels["boxes"]
        ]
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            assert recording.regenerate().iq.tobytes() == item.data
            line = json.loads(json.dumps(item.index_line(item_set.settings)))
            wf = gensignal.scene(line["params"]["parts"], line["params"]["sample_rate"])
        assert wf.iq.tobytes() == item.data
        assert written_item(item_set, WIDE["seed"], item.index, item.meta.encode(), item.data).resumed
        spoiled = bytearray(item.data)
        spoiled[40] ^= 1
        assert written_item(item_set, WIDE["seed"], item.index, item.meta.encode(), bytes(spoiled)) is None
        assert written_item(item_set, WIDE["seed"], item.index + 1, item.meta.encode(), item.data) is None


def test_a_part_channel_reaches_the_part():
    channel = copy.deepcopy(WIDE)
    channel["sets"][0]["parts"] = [dict(WIDE["sets"][0]["parts"][0], channel={"cfo_hz": 2e4})]
    channel["sets"][0]["params"]["parts"] = 1
    clean = copy.deepcopy(channel)
    del clean["sets"][0]["parts"][0]["channel"]
    (_, shifted), (_, plain) = _items(channel), _items(clean)
    for a, b in zip(shifted, plain):
        (box_a,), (box_b,) = a.labels["boxes"], b.labels["boxes"]
        centre_a, centre_b = (box_a["lower_hz"] + box_a["upper_hz"]) / 2, (box_b["lower_hz"] + box_b["upper_hz"]) / 2
        assert centre_a - centre_b == pytest.approx(2e4, abs=RATE / 2048)


@pytest.fixture(scope="module")
def written(tmp_path_factory):
    pytest.importorskip("distributed")
    pytest.importorskip("h5py")
    out = tmp_path_factory.mktemp("wide") / "out"
    summary = gensignal.batch.run(WIDE, out, workers=1, hdf5=True, progress=False)
    assert summary.failed == 0
    return out


@pytest.mark.parametrize("source", ["hdf5", "sigmf"])
def test_the_loader_gives_each_items_boxes(written, source):
    data = ArrayDataset(written, label="boxes", source=source, length=2048)
    index = [json.loads(line) for line in (written / "index.jsonl").read_text().splitlines()]
    assert data.classes == ["qpsk", "qam16", "psk8", "fm"]
    for k, record in enumerate(index):
        x, boxes = data[k]
        assert x.shape == (2048,) and boxes.shape == (len(record["labels"]["boxes"]), 6)
        for row, box in zip(boxes, record["labels"]["boxes"]):
            assert row[:4].tolist() == [box["start"], box["count"], box["lower_hz"], box["upper_hz"]]
            assert data.classes[int(row[4])] == box["class"] and row[5] == box["level_db"]
    with pytest.raises(ValueError, match="label = 'class': no item"):
        ArrayDataset(written)  # a scene is classed by its boxes


def test_torch_batches_of_boxes_are_the_same_for_any_loader_workers(written):
    torch = pytest.importorskip("torch")
    data = gensignal.batch.TorchDataset(written, label="boxes", form="iq", length=1024)
    batches = []
    for workers in (0, 2):
        loader = torch.utils.data.DataLoader(
            data, batch_size=5, num_workers=workers, collate_fn=gensignal.batch.TorchDataset.collate
        )
        batches.append([(x, y) for x, y in loader])
    for (x0, y0), (x2, y2) in zip(*batches):
        assert x0.shape[1:] == (2, 1024) and torch.equal(x0, x2)
        assert all(a.dtype == torch.float32 and torch.equal(a, b) for a, b in zip(y0, y2))
    assert sum(len(y) for _, y in batches[0]) == len(data)


def test_noise_parts_repeat_under_each_items_own_seed(tmp_path):
    noisy = copy.deepcopy(WIDE)
    noisy["sets"][0]["count"] = 3
    noisy["sets"][0]["params"]["parts"] = 2
    noisy["sets"][0]["parts"] = [{"kind": "awgn", "params": {"bandwidth": {"uniform": [5e4, 1e5]}, "duration": 4e-3}}]
    item_set, first = _items(noisy)
    _, again = _items(noisy)
    assert all(a.reason is None for a in first)
    assert [a.data for a in first] == [b.data for b in again]
    assert len({a.params["noise_seed"] for a in first}) == 3
    assert len({a.data for a in first}) == 3
    item = first[0]
    (tmp_path / "n.sigmf-data").write_bytes(item.data)
    (tmp_path / "n.sigmf-meta").write_text(item.meta)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        assert gensignal.read_sigmf(tmp_path / "n").regenerate().iq.tobytes() == item.data
