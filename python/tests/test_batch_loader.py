"""Reading a written dataset for training: every item read through the
numpy and the torch datasets, from the HDF5 file and from the SigMF files,
is the file's samples; labels are the index's; loader workers change no
batch."""
import json
import math

import numpy as np
import pytest

from gensignal.batch import ArrayDataset, load, run
from gensignal.batch._classes import class_of, classes_of
from gensignal import Waveform

pytest.importorskip("distributed")
pytest.importorskip("h5py")

MANIFEST = {
    "seed": 5,
    "sets": [
        # 2 x 6 SNR points; 1,024 samples each
        {
            "name": "psk",
            "kind": "digital",
            "count": 2,
            "params": {
                "mod_type": ["qpsk", "bpsk", "qam16"],
                "symbol_count": 256,
                "symbol_rate": 1e6,
                "sample_rate": 4e6,
            },
            "channel": {"snr_db": {"grid": [0, 25, 5]}, "cfo_hz": {"uniform": [-1e4, 1e4]}},
        },
        # 10,000 samples: an item spans the HDF5 file's chunks (8,192 rows)
        {"name": "long", "kind": "digital", "count": 3, "params": {"mod_type": "psk8", "symbol_count": 2500}},
        # a negative bandwidth is refused: the failed items are in no reader, their class stays listed
        {
            "name": "noise",
            "kind": "awgn",
            "count": 6,
            "params": {"bandwidth": [-1e5, 2e5], "duration": 5e-4, "sample_rate": 1e6},
        },
        {"name": "am", "kind": "am", "count": 2, "params": {"mod_depth": [30, 60]}},
    ],
}


@pytest.fixture(scope="module")
def written(tmp_path_factory):
    out = tmp_path_factory.mktemp("loader") / "out"
    summary = run(MANIFEST, out, workers=1, hdf5=True, progress=False)
    assert summary.failed > 0 and summary.written > 0
    index = [json.loads(line) for line in (out / "index.jsonl").read_text().splitlines()]
    return out, index


def _file_iq(out, record):
    width = len(str(load(MANIFEST).sets[[s["name"] for s in MANIFEST["sets"]].index(record["set"])].count - 1))
    data = (out / record["set"] / (str(record["index"]).zfill(width) + ".sigmf-data")).read_bytes()
    return np.frombuffer(data, "<i2").reshape(-1, 2)


def test_the_class_list_follows_the_manifest(written):
    out, index = written
    listed = json.loads((out / "classes.json").read_text())["classes"]
    assert listed == ["qpsk", "bpsk", "qam16", "psk8", "awgn", "am"] == classes_of(load(MANIFEST))
    data = ArrayDataset(out, label="class")
    assert data.classes == listed
    assert data.labels() == [listed.index(class_of(r["kind"], r["params"])) for r in index]
    assert set(data.labels()) == set(range(len(listed)))  # noise items fail only half the time


@pytest.mark.parametrize("source", ["hdf5", "sigmf"])
@pytest.mark.parametrize("length", [None, 700, 1024, 12000])
def test_every_item_is_the_files_samples(written, source, length):
    out, index = written
    data = ArrayDataset(out, label=None, source=source, length=length)
    iq_data = ArrayDataset(out, label=None, source=source, length=length, form="iq")
    assert len(data) == len(index)
    for k, record in enumerate(index):
        expected = _file_iq(out, record)
        n = len(expected) if length is None else length
        if length is not None:
            expected = np.concatenate([expected[:n], np.zeros((max(0, n - len(expected)), 2), np.int16)])
        assert np.array_equal(data.iq(k), expected), (source, k)
        samples = data[k]
        assert samples.dtype == np.complex64 and samples.shape == (n,)
        assert np.array_equal(samples, Waveform(expected, 1.0).samples)
        pair = iq_data[k]
        assert pair.dtype == np.float32 and pair.shape == (2, n)
        assert np.array_equal(pair[0] + 1j * pair[1], samples)


def test_labels_by_path_alias_and_tuple(written):
    out, index = written
    data = ArrayDataset(out, label=("class", "snr", "channel.realised.cfo_hz", "params.mod_depth", "obw_hz"))
    for k, record in enumerate(index):
        cls, snr, cfo, depth, obw = data[k][1]
        channel = record["labels"].get("channel")
        if channel is None:
            assert math.isnan(snr) and math.isnan(cfo)
        else:
            assert (snr, cfo) == (channel["realised"]["snr_db"], channel["realised"]["cfo_hz"])
        assert depth == record["params"]["mod_depth"] if record["kind"] == "am" else math.isnan(depth)
        assert obw == record["labels"]["obw_hz"]
    only = ArrayDataset(out, label="snr", sets="psk")
    assert len(only) == 12 and [round(v) for v in only.labels()] == [5 * (k // 2) for k in range(12)]


REFUSED = [
    (dict(form="polar"), "form"),
    (dict(length=0), "length"),
    (dict(length=2.5), "length"),
    (dict(source="csv"), "source"),
    (dict(scale=math.nan), "scale"),
    (dict(scale=0), "scale"),
    (dict(label="snr_dB"), "label"),
    (dict(label=("class", "params.mod_dept")), "label"),
]


@pytest.mark.parametrize("options, word", REFUSED, ids=[r[1] + "=" + repr(r[0]) for r in REFUSED])
def test_refused_options_name_themselves(written, options, word):
    with pytest.raises(ValueError, match=f"^{word} = "):
        ArrayDataset(written[0], **options)


def test_out_of_range_items_are_refused(written):
    data = ArrayDataset(written[0])
    with pytest.raises(IndexError):
        data[len(data)]
    assert np.array_equal(data[-1][0], data[len(data) - 1][0])


def test_torch_loader_workers_yield_the_same_batches(written):
    torch = pytest.importorskip("torch")
    from gensignal.batch import TorchDataset

    out, index = written
    data = TorchDataset(out, label="class", form="iq", length=1024, source="hdf5")
    x, y = data[0]
    assert x.dtype == torch.float32 and x.shape == (2, 1024) and y == ArrayDataset(out).labels()[0]
    complex_items = TorchDataset(out, label=("snr", "class"), length=1024, source="sigmf")
    z, (snr, _) = complex_items[0]
    assert z.dtype == torch.complex64 and torch.equal(torch.view_as_real(z).T, x)
    batch = next(iter(torch.utils.data.DataLoader(complex_items, batch_size=3)))
    assert batch[1][0].dtype == torch.float32 and batch[1][1].dtype == torch.int64
    assert batch[1][0][0] == snr and batch[0].shape == (3, 1024)

    def batches(workers, shuffle):
        generator = torch.Generator().manual_seed(3)
        loader = torch.utils.data.DataLoader(
            data, batch_size=4, num_workers=workers, shuffle=shuffle, generator=generator
        )
        return [(bx.clone(), by.clone()) for bx, by in loader]

    for shuffle in (False, True):
        reference = batches(0, shuffle)
        assert sum(len(by) for _, by in reference) == len(index)
        for workers in (1, 2):
            got = batches(workers, shuffle)
            assert len(got) == len(reference)
            assert all(torch.equal(a, c) and torch.equal(b, d) for (a, b), (c, d) in zip(got, reference))
    first = batches(0, False)[0]
    assert torch.equal(first[0][1], torch.from_numpy(ArrayDataset(out, form="iq", length=1024)[1][0]))
