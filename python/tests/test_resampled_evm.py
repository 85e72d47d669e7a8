"""EVM where a receiver measures it: resampled records (the exact mode's
whole periods, the defined mode's one) are sampled again at the symbol
instants, band-limited, after the matched filter; a noisy copy is measured
against the record it copies."""
import json

import numpy as np
import pytest

import gensignal

QPSK = dict(symbol_rate=5e6)


def test_exact_mode_qpsk_at_30_72_is_the_records_evm_at_whole_samples_per_symbol():
    whole = gensignal.digital(**QPSK, sample_rate=40e6).measure()  # 8 samples per symbol
    exact = gensignal.digital(**QPSK, sample_rate=30.72e6, loop="exact").measure()
    assert whole.evm_status == exact.evm_status == "measured"
    assert abs(exact.evm_percent - whole.evm_percent) < 0.02
    assert exact.symbols == whole.symbols


# Without a receive filter (RCOS) the exact mode's own resampling error,
# about 0.3 %, is not averaged away as the matched filter does.
@pytest.mark.parametrize(
    "kind,params,locked,within",
    [
        ("digital", dict(symbol_rate=1.023e6, sample_rate=10e6), 8 * 1.023e6, 0.02),
        ("digital", dict(mod_type="oqpsk", symbol_rate=1e6, sample_rate=7.68e6), 8e6, 0.02),
        ("digital", dict(mod_type="qam16", symbol_rate=1e6, sample_rate=3.84e6, filter_type="rcos"), 8e6, 0.5),
        ("dss", dict(sample_rate=10e6), 508000, 0.02),
    ],
    ids=["qpsk", "oqpsk", "qam16-rcos", "dss"],
)
def test_exact_mode_records_have_the_evm_of_their_construction(kind, params, locked, within):
    on_grid = gensignal.generate(kind, **dict(params, sample_rate=locked)).measure()
    exact = gensignal.generate(kind, loop="exact", **params).measure()
    assert exact.evm_status == "measured"
    assert exact.evm_percent == pytest.approx(on_grid.evm_percent, abs=within)
    assert exact.symbols % on_grid.symbols == 0


def test_a_defined_resampled_record_has_an_evm():
    m = gensignal.digital(symbol_rate=1.023e6, sample_rate=10e6).measure()
    assert m.evm_status == "measured" and m.evm_percent > 0


def test_a_buffer_of_another_length_is_still_a_mismatch():
    wf = gensignal.digital(**QPSK, sample_rate=30.72e6, loop="exact")
    m = gensignal.measure(wf.iq[:-1], record=wf)
    assert m.evm_status == "the samples are not what the record makes" and m.evm_percent is None


def test_a_noisy_copy_is_measured_against_its_record():
    wf = gensignal.digital(**QPSK, sample_rate=30.72e6, loop="exact")
    x = (wf.iq[:, 0] + 1j * wf.iq[:, 1]) / 32767
    rng = np.random.default_rng(5)
    noise = (rng.normal(size=len(x)) + 1j * rng.normal(size=len(x))) / np.sqrt(2)
    clean = gensignal.measure(x, record=wf).evm_percent
    m, twice = (gensignal.measure(x + sigma * noise, record=wf) for sigma in (0.05, 0.1))
    assert m.evm_status == "measured" and 5 * clean < m.evm_percent
    assert twice.evm_percent / m.evm_percent == pytest.approx(2, rel=0.1)  # the noise's share
    noisy = x + 0.05 * noise
    assert gensignal.measure(noisy, sample_rate=wf.sample_rate).evm_percent is None
    with pytest.raises(TypeError):
        gensignal.measure(noisy, record="qpsk")


# A foreign capture whose modulation is described.


@pytest.mark.parametrize(
    "mod,params",
    [
        ("qpsk", dict(symbol_rate=5e6, sample_rate=30.72e6, loop="exact")),
        ("qam16", dict(mod_type="qam16")),
        ("psk8", dict(mod_type="psk8", symbol_rate=1.25e6, sample_rate=10e6)),
    ],
)
def test_a_described_capture_is_measured_decision_directed(mod, params):
    wf = gensignal.digital(**params)
    known = wf.measure()
    x = (wf.iq[:, 0] + 1j * wf.iq[:, 1]) / 32767 * np.exp(0.7j) * 0.5  # turned and attenuated: a capture
    m = gensignal.measure(x, sample_rate=wf.sample_rate, mod=mod, symbol_rate=params.get("symbol_rate", 1e6), rrc=0.35)
    assert m.evm_status == "measured" and m.symbols == known.symbols
    assert m.evm_percent == pytest.approx(known.evm_percent, abs=0.01)
    assert m.channel_bandwidth_hz == pytest.approx(params.get("symbol_rate", 1e6) * 1.35)
    # the record, where there is one, is used instead: data-aided
    assert gensignal.measure(wf, mod=mod, symbol_rate=1e6, rrc=0.35).evm_percent == known.evm_percent


def test_noise_on_a_described_capture_raises_its_evm():
    wf = gensignal.digital()
    x = (wf.iq[:, 0] + 1j * wf.iq[:, 1]) / 32767
    noise = np.random.default_rng(2).normal(size=(len(x), 2)) @ np.array([1, 1j]) / np.sqrt(2)
    evm = [
        gensignal.measure(x + s * noise, sample_rate=8e6, mod="qpsk", symbol_rate=1e6, rrc=0.35).evm_percent
        for s in (0.02, 0.04)
    ]
    assert evm[1] / evm[0] == pytest.approx(2, rel=0.1)


@pytest.mark.parametrize(
    "options,words",
    [
        (dict(mod="fsk2", symbol_rate=1e6), "modType = 15: must be a linear"),
        (dict(mod="qpsk", symbol_rate=5e6), "symbolRate = 5000000: must be"),
        (dict(mod="qpsk", symbol_rate=1e6, rrc=0), "rolloff = 0: must be"),
    ],
)
def test_a_description_out_of_range_is_refused(options, words):
    with pytest.raises(gensignal.GenSignalError, match=words):
        gensignal.measure(gensignal.digital().iq, sample_rate=8e6, **options)


def test_wavegen_measures_a_described_capture(wavegen, tmp_path):
    assert wavegen("digital", "--format", "cf32", "-o", "cap").returncode == 0
    done = wavegen(
        "measure",
        "cap.cf32",
        "--sample-rate",
        "8e6",
        "--mod",
        "qpsk",
        "--symbol-rate",
        "1e6",
        "--rrc",
        "0.35",
        "--json",
    )
    assert done.returncode == 0, done.stderr
    assert json.loads(done.stdout)["evm_percent"] == pytest.approx(gensignal.digital().measure().evm_percent, abs=0.01)
    alone = wavegen("measure", "cap.cf32", "--sample-rate", "8e6", "--mod", "qpsk")
    assert alone.returncode == 2 and "--mod and --symbol-rate" in alone.stderr
