"""Items that regenerate: an index line's params, the set's settings
included, make the item again through gensignal.<kind>(**params); the HDF5
file reads back with text columns as str."""
import json

import numpy as np
import pytest

import gensignal
from gensignal.batch import read_hdf5
from gensignal.batch._hdf5 import HDF5Writer
from gensignal.batch._items import make_item
from gensignal.batch._manifest import fields_of, load

SETS = [
    {
        "name": "tones",
        "kind": "multitone",
        "count": 3,
        "params": {"tone_count": {"integers": [2, 9]}},
        "settings": {"loop": "exact", "tone_phases": "newman", "peak_dbfs": -6},
    },
    {
        "name": "psk",
        "kind": "digital",
        "count": 3,
        "params": {"mod_type": ["bpsk", "qpsk", "psk8"], "symbol_rate": 1e6, "sample_rate": 8e6, "symbol_count": 64},
        "settings": {"peak_dbfs": -3},
    },
    {
        "name": "noise",
        "kind": "awgn",
        "count": 2,
        "params": {"bandwidth": 1e5, "duration": 1e-3},
        "settings": {"loop": "exact"},
    },
]


@pytest.fixture(scope="module")
def items():
    manifest = load({"seed": 9, "sets": SETS})
    return manifest, [(s, make_item(s, manifest.seed, i)) for s in manifest.sets for i in range(s.count)]


def test_index_params_make_the_item_again(items):
    manifest, made = items
    for item_set, item in made:
        assert item.reason is None
        line = json.loads(json.dumps(item.index_line(item_set.settings)))
        for key, value in item_set.settings.items():
            assert line["params"][key] == value
        again = getattr(gensignal, item.kind)(**line["params"])
        assert again.iq.astype("<i2").tobytes() == item.data, (item.set, item.index)


def test_hdf5_text_columns_read_as_str(items, tmp_path):
    pytest.importorskip("h5py")
    manifest, made = items
    writer = HDF5Writer(tmp_path / "d.h5", manifest, {s.name: fields_of(s.kind) for s in manifest.sets})
    for _, item in made:
        writer.add(item)
    writer.close()
    table = read_hdf5(tmp_path / "d.h5")
    modulations = list(table["psk"]["params"]["mod_type"])
    assert modulations == [item.params["mod_type"] for s, item in made if s.name == "psk"]
    assert all(type(m) is str for m in modulations)
    assert table["tones"]["iq"].dtype == np.int16 and isinstance(table["psk"]["labels"]["ccdf_db"], dict)
