"""The kind functions: the same waveform and files as wavegen for the same
options, one field table shared with wavegen, refusals that name the
argument."""
import inspect
import json
import pathlib

import numpy as np
import pytest

import gensignal
from conftest import KIND_CASES, wavegen_args
from gensignal import _kinds as kinds, _records as records


def test_field_table_is_wavegens(wavegen):
    done = wavegen("--describe-fields")
    assert done.returncode == 0, done.stderr
    assert (
        json.loads(done.stdout) == kinds.TABLE
    ), "python/gensignal/fields.json is stale: regenerate it with `wavegen --describe-fields`"


@pytest.mark.parametrize("kind", sorted(kinds.KINDS))
def test_table_fills_every_record_field(kind):
    table = kinds.KINDS[kind]
    named = {f["name"] for f in table["fields"] if f["target"] == "record"}
    declared = {name for name, _ in records.RECORDS[table["record"]]._fields_ if not name.startswith("reserved")}
    assert named == declared


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_same_files_as_wavegen(kind, wavegen, tmp_path):
    options = KIND_CASES[kind]
    done = wavegen(*wavegen_args(kind, options), "-o", "w")
    assert done.returncode == 0, done.stderr
    wf = getattr(gensignal, kind)(**options)
    wf.to_sigmf(tmp_path / "p")
    data = (tmp_path / "w.sigmf-data").read_bytes()
    assert wf.iq.astype("<i2").tobytes() == data
    assert (tmp_path / "p.sigmf-data").read_bytes() == data
    assert (tmp_path / "p.sigmf-meta").read_text() == (tmp_path / "w.sigmf-meta").read_text()


@pytest.mark.parametrize("kind", sorted(kinds.KINDS))
def test_defaults_are_wavegens(kind, wavegen, tmp_path):
    done = wavegen(kind, "--format", "raw", "-o", "w")
    assert done.returncode == 0, done.stderr
    if kind == "awgn":
        pytest.skip("unseeded noise continues the process's rand() stream")
    assert getattr(gensignal, kind)().iq.astype("<i2").tobytes() == (tmp_path / "w.raw").read_bytes()


def test_waveform_fields():
    wf = gensignal.am(mod_frequency=1000, sample_rate=48000)
    assert wf.iq.dtype == np.int16 and wf.iq.shape == (48, 2)
    assert wf.samples.dtype == np.complex64
    np.testing.assert_array_equal(wf.samples.real, (wf.iq[:, 0] / 32767).astype(np.float32))
    assert len(wf) == 48 and wf.duration == 0.001 and wf.sample_rate == 48000 and wf.kind == "am"
    assert wf.params == {"modFrequency": 1000.0, "modDepth": 50.0, "modShape": "sine"}
    # A copy: a later call on this thread's handle must not change it.
    before = wf.iq.copy()
    gensignal.am(mod_frequency=2000, mod_depth=100, sample_rate=48000)
    np.testing.assert_array_equal(wf.iq, before)


def test_enumerations_by_name_or_number():
    by_name = gensignal.digital(mod_type="PI4_DQPSK", filter_type="half_sine", symbol_count=40)
    by_number = gensignal.digital(mod_type=6, filter_type=5, symbol_count=40)
    np.testing.assert_array_equal(by_name.iq, by_number.iq)
    assert by_name.params["modType"] == by_number.params["modType"] == "pi4_dqpsk"


def test_signature_lists_wavegens_options_and_defaults():
    sig = inspect.signature(gensignal.digital)
    assert sig.parameters["mod_type"].default == "qpsk"
    assert sig.parameters["symbol_count"].default == 1000
    assert sig.parameters["sample_rate"].default == 8e6
    assert "null_dc" in inspect.signature(gensignal.ofdm).parameters


@pytest.mark.parametrize(
    "call, error, names",
    [
        (lambda: gensignal.am(mod_frequncy=1), TypeError, "mod_frequncy"),
        (lambda: gensignal.digital(pn_order=4.5), gensignal.GenSignalError, "pn_order"),
        (lambda: gensignal.am(mod_depth="deep"), TypeError, "mod_depth"),
        (lambda: gensignal.am(mod_shape="wobble"), ValueError, "mod_shape"),
        (lambda: gensignal.digital(pn_order=2**40), ValueError, "pn_order"),
        (lambda: gensignal.ofdm(windowing=2), ValueError, "windowing"),
        (lambda: gensignal.awgn(seed=-1), ValueError, "seed"),
    ],
)
def test_arguments_python_refuses_are_named(call, error, names):
    with pytest.raises(error, match=names):
        call()


@pytest.mark.parametrize(
    "kind, kwargs, argument",
    [
        ("digital", dict(pn_order=40), "pn_order"),
        ("digital", dict(pn_order=4, symbol_count=3), "symbol_count"),
        ("am", dict(mod_shape=9), "mod_shape"),
        ("am", dict(sample_rate=float("nan")), "sample_rate"),
        ("dss", dict(bit_count=0), "bit_count"),
        ("ofdm", dict(cp_percent=150), "cp_percent"),
    ],
)
def test_library_refusals_raise_with_code_and_reason(kind, kwargs, argument):
    with pytest.raises(gensignal.GenSignalError) as caught:
        getattr(gensignal, kind)(**kwargs)
    e = caught.value
    assert e.code == -1
    assert e.message
    assert e.argument == argument
    assert str(e).startswith(f"{argument} = ")


def test_result_too_long_keeps_the_librarys_words():
    with pytest.raises(gensignal.GenSignalError) as caught:
        gensignal.awgn(duration=1e9)
    assert caught.value.code == -1
    assert caught.value.message == "result of 1e+15 samples: must be finite and below 2^30"
    assert caught.value.argument is None


def test_seeded_noise_repeats():
    first = gensignal.awgn(seed=3, duration=1e-3)
    gensignal.awgn(duration=1e-3)  # moves rand() on
    np.testing.assert_array_equal(gensignal.awgn(seed=3, duration=1e-3).iq, first.iq)


def _in_fresh_python(code, **env):
    import os
    import subprocess
    import sys

    from conftest import ROOT

    return subprocess.run(
        [sys.executable, "-c", code],
        capture_output=True,
        text=True,
        env={**os.environ, "PYTHONPATH": str(ROOT / "python"), **env},
    )


def test_gensignal_library_chooses_the_library(tmp_path):
    done = _in_fresh_python("import gensignal; gensignal.am()", GENSIGNAL_LIBRARY=str(tmp_path / "nowhere.so"))
    assert done.returncode != 0
    assert "nowhere.so" in done.stderr and "GENSIGNAL_LIBRARY" in done.stderr
    done = _in_fresh_python(
        "import gensignal; print(len(gensignal.am()))",
        GENSIGNAL_LIBRARY=str(pathlib.Path(kinds.__file__).parents[2] / "build/release/libgensignal.so.1"),
    )
    assert done.stdout == "48\n", done.stderr


def test_handles_are_released_at_exit():
    # Each thread's generator object is released when the thread's storage
    # goes, the rest at exit: a fresh object afterwards has the next id.
    code = """
import ctypes, threading, gensignal
from gensignal import _library
t = threading.Thread(target=gensignal.am)
t.start()
t.join()
gensignal.am()
import gc; gc.collect()
print(sorted(_library._live))
"""
    done = _in_fresh_python(code)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() in ("[0]", "[1]")  # the main thread's only
