"""The package's conventions: its version, refusals as ValueErrors that name
the argument, integral floats for integer fields, `generate` by any name,
params and recordings that make their waveform again, plots from a fresh
import."""
import subprocess
import sys

import numpy as np
import pytest

import gensignal
from conftest import KIND_CASES, ROOT, wavegen_args


def test_version_is_wavegens(wavegen):
    done = wavegen("--version")
    assert done.returncode == 0, done.stderr
    first, second = done.stdout.splitlines()
    assert first == f"wavegen {gensignal.__version__}"
    assert second == f"algorithm version {gensignal.algorithm_version()}"
    assert gensignal.__version__.count(".") == 2 and "_" not in gensignal.__version__


@pytest.mark.parametrize(
    "call, argument",
    [
        (lambda: gensignal.digital(pn_order=2**40), "pn_order"),
        (lambda: gensignal.digital(pn_order=4.5), "pn_order"),
        (lambda: gensignal.digital(symbol_count=float("nan")), "symbol_count"),
        (lambda: gensignal.am(mod_shape="wobble"), "mod_shape"),
        (lambda: gensignal.ofdm(windowing=2), "windowing"),
        (lambda: gensignal.awgn(seed=-1), "seed"),
        (lambda: gensignal.awgn(seed=2**32), "seed"),
        (lambda: gensignal.generate("chirp"), "kind"),
        (lambda: gensignal.am().repeated(0), "times"),
        (lambda: gensignal.am().complex_samples(1000), "scale"),
        (lambda: gensignal.am(sample_rate=48000.5).to_wav("/nonexistent/x"), "sample_rate"),
        (lambda: gensignal.am().to_sigmf("/nonexistent/x", datetime="yesterday"), "datetime"),
        # The library's refusals too.
        (lambda: gensignal.digital(pn_order=40), "pn_order"),
        (lambda: gensignal.ofdm(cp_percent=150), "cp_percent"),
    ],
)
def test_every_range_refusal_is_a_gensignal_error_and_a_value_error(call, argument):
    with pytest.raises(gensignal.GenSignalError) as caught:
        call()
    assert isinstance(caught.value, ValueError)
    assert caught.value.argument == argument
    assert caught.value.code == -1
    assert str(caught.value).startswith(f"{argument} = ")


@pytest.mark.parametrize(
    "call",
    [
        lambda: gensignal.am(mod_depth="deep"),
        lambda: gensignal.digital(pn_order="9"),
        lambda: gensignal.am(mod_frequency=True),
        lambda: gensignal.am(mod_frequncy=1),
        lambda: gensignal.digital(pn_order=9, pnOrder=9),
    ],
)
def test_type_errors_stay_type_errors(call):
    with pytest.raises(TypeError):
        call()


def test_integral_floats_for_integer_fields():
    whole = gensignal.digital(pn_order=9, symbol_count=64, samples_per_symbol=4)
    floats = gensignal.digital(pn_order=9.0, symbol_count=np.float64(64), samples_per_symbol=np.int64(4))
    np.testing.assert_array_equal(floats.iq, whole.iq)
    assert floats.params == whole.params and isinstance(floats.params["pnOrder"], int)
    ofdm = gensignal.ofdm(cp_percent=12.0, num_symbols=4)
    assert ofdm.params["cpPercent"] == 12
    np.testing.assert_array_equal(ofdm.iq, gensignal.ofdm(cp_percent=12, num_symbols=4).iq)


def test_generate_takes_keyword_names_header_names_and_enum_names_or_numbers():
    by_keywords = gensignal.generate("digital", mod_type="dqpsk", filter_type="rcos", symbol_count=64)
    by_header = gensignal.generate("digital", modType=4, filterType="RCOS", symbolCount=64.0)
    by_function = gensignal.digital(modType="dqpsk", filter_type=2, symbol_count=64)
    np.testing.assert_array_equal(by_header.iq, by_keywords.iq)
    np.testing.assert_array_equal(by_function.iq, by_keywords.iq)
    assert by_header.params == by_keywords.params
    assert by_keywords.params["modType"] == "dqpsk" and by_keywords.params["filterType"] == "rcos"


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_params_make_the_waveform_again(kind):
    wf = getattr(gensignal, kind)(**KIND_CASES[kind])
    again = gensignal.generate(wf.kind, sample_rate=wf.sample_rate, **wf.params)
    assert again.iq.tobytes() == wf.iq.tobytes()
    assert again.params == wf.params
    assert getattr(gensignal, kind)(sample_rate=wf.sample_rate, **wf.params).iq.tobytes() == wf.iq.tobytes()


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_a_recording_from_wavegen_regenerates_its_bytes(kind, wavegen, tmp_path):
    done = wavegen(*wavegen_args(kind, KIND_CASES[kind]), "--repeat", "2", "-o", "w")
    assert done.returncode == 0, done.stderr
    read = gensignal.read_sigmf(tmp_path / "w")
    assert read.repeat == 2 and len(read) == 2 * len(read.period)
    again = read.regenerate()
    assert again.iq.tobytes() == (tmp_path / "w.sigmf-data").read_bytes()
    again.to_sigmf(tmp_path / "p")
    assert (tmp_path / "p.sigmf-meta").read_text() == (tmp_path / "w.sigmf-meta").read_text()


def test_older_recordings_with_enum_numbers_regenerate(tmp_path):
    import json

    wf = gensignal.digital(mod_type="psk8", filter_type="gaussian", symbol_count=64)
    wf.to_sigmf(tmp_path / "old")
    meta = json.loads((tmp_path / "old.sigmf-meta").read_text())
    meta["global"].update({"core:version": "1.0.0", "gensignal:modType": 7, "gensignal:filterType": 4})
    (tmp_path / "old.sigmf-meta").write_text(json.dumps(meta))
    read = gensignal.read_sigmf(tmp_path / "old")
    assert read.params == wf.params
    assert read.regenerate().iq.tobytes() == wf.iq.tobytes()


def test_a_recording_from_elsewhere_cannot_regenerate(tmp_path):
    gensignal.Waveform(np.zeros((4, 2), np.int16), 1000).to_sigmf(tmp_path / "plain")
    with pytest.raises(gensignal.SigMFError, match="no gensignal record"):
        gensignal.read_sigmf(tmp_path / "plain").regenerate()


def test_plot_works_from_a_fresh_import(tmp_path):
    code = """
import gensignal
wf = gensignal.am()
assert callable(gensignal.plot)
gensignal.plot(wf, "a.png")
wf.plot("b.png")
gensignal.plot(wf, "c.png")   # still the function after wf.plot() imported the module
print("ok")
"""
    done = subprocess.run(
        [sys.executable, "-c", code],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        env={"PYTHONPATH": str(ROOT / "python"), "PATH": "/usr/bin:/bin"},
    )
    assert done.stdout == "ok\n", done.stderr
    assert all((tmp_path / f"{name}.png").stat().st_size > 0 for name in "abc")
