"""The library's measurements against the plain numpy/scipy computation of
measure_reference: PAPR and CCDF within 0.05 dB, the occupied band within
one bin, ACPR within 0.1 dB, EVM within 5 % of its value; over every
modulation kind, spread spectrum, OFDM and the analog kinds."""
import math

import numpy as np
import pytest

import gensignal
import measure_reference as ref

LINEAR = [k for k in range(1, 23) if not 15 <= k <= 18]
NAMES = {
    1: "bpsk",
    2: "dbpsk",
    3: "qpsk",
    4: "dqpsk",
    5: "oqpsk",
    6: "pi4_dqpsk",
    7: "psk8",
    8: "dpsk8",
    9: "psk16",
    10: "qam16",
    11: "qam64",
    12: "qam256",
    13: "qam1024",
    14: "ask2",
    15: "fsk2",
    16: "fsk4",
    17: "fsk8",
    18: "fsk16",
    19: "ask4",
    20: "ask8",
    21: "apsk16",
    22: "qam8",
}


def counts(wf):
    return wf.iq[:, 0].astype(np.float64) + 1j * wf.iq[:, 1].astype(np.float64)


def close(a, b, tolerance):
    if a is None or b is None:
        return a is None and b is None
    return abs(a - b) <= tolerance


def check_against_reference(wf, m, bandwidth=None, spacing=None):
    x = counts(wf)
    levels = ref.levels(x)
    for key in ("peak_dbfs", "rms_dbfs", "papr_db"):
        assert close(getattr(m, key), levels[key], 0.05), key
    for key, value in levels["ccdf_db"].items():
        assert close(m.ccdf_db[key], value, 0.05), key
    assert m.seam_ratio == pytest.approx(levels["seam_ratio"], rel=1e-9, abs=1e-12)

    spectrum = ref.spectrum(x, wf.sample_rate, bandwidth or m.channel_bandwidth_hz, spacing)
    bin_width = wf.sample_rate / len(x)
    assert abs(m.obw_lower_hz - spectrum["obw_lower_hz"]) <= bin_width * 1.0001
    assert abs(m.obw_upper_hz - spectrum["obw_upper_hz"]) <= bin_width * 1.0001
    for side in ("lower", "upper"):
        assert close(m.acpr_db[side], spectrum["acpr_db"][side], 0.1), side
    if wf.kind in ("multitone", "am", "fm"):  # the waveforms made of tones
        assert close(m.sfdr_db, spectrum["sfdr_db"], 0.1)
    else:
        assert m.sfdr_db is None


def check_evm(m, expected):
    if expected["evm_percent"] < 1e-9:  # nothing but rounding at the instants: both find (next to) none
        assert m.evm_percent < 1e-9
        return
    for key in ("evm_percent", "evm_peak_percent"):
        assert getattr(m, key) == pytest.approx(expected[key], rel=0.05), key
    assert m.mer_db == pytest.approx(expected["mer_db"], abs=20 * math.log10(1.05))


@pytest.mark.parametrize("filter_type", [3, 2])
@pytest.mark.parametrize("kind", LINEAR)
def test_linear_kinds(kind, filter_type):
    wf = gensignal.digital(mod_type=kind, filter_type=filter_type, symbol_count=600, pn_seed=77)
    m = wf.measure()
    # The record's own band: symbol rate x (1 + roll-off).
    assert m.channel_bandwidth_hz == pytest.approx(1e6 * 1.35)
    check_against_reference(wf, m)
    assert m.evm_status == "measured"
    check_evm(m, ref.digital_evm(counts(wf), wf.params))


@pytest.mark.parametrize("kind,filter_type", [(3, 1), (10, 4), (21, 4), (5, 5), (11, 1), (2, 5)])
def test_other_pulses(kind, filter_type):
    wf = gensignal.digital(mod_type=kind, filter_type=filter_type, symbol_count=500, rolloff=0.5)
    m = wf.measure()
    check_against_reference(wf, m)
    expected = ref.digital_evm(counts(wf), wf.params)
    # These floors are int16 rounding alone; compare above a tiny absolute floor.
    assert m.evm_percent == pytest.approx(expected["evm_percent"], rel=0.05, abs=1e-4)


@pytest.mark.parametrize("kind", [15, 16, 17, 18])
def test_fsk_has_no_evm(kind):
    wf = gensignal.digital(mod_type=kind, filter_type="gaussian", symbol_count=300)
    m = wf.measure()
    check_against_reference(wf, m)
    assert m.evm_percent is None and m.mer_db is None and m.evm_status == "none defined for this kind"


@pytest.mark.parametrize("filter_type", [3, 2])
def test_spread_spectrum(filter_type):
    wf = gensignal.dss(filter_type=filter_type, samples_per_chip=4, bit_count=12, sample_rate=1000 * 127 * 4)
    m = wf.measure()
    check_against_reference(wf, m)
    check_evm(m, ref.dss_evm(counts(wf), wf.params))


@pytest.mark.parametrize("windowing", [False, True])
@pytest.mark.parametrize("mod_type", ["bpsk", "qpsk", "psk8", "psk16", "qam16", "qam64", "qam256"])
def test_ofdm(mod_type, windowing):
    wf = gensignal.ofdm(
        mod_type=mod_type, windowing=windowing, num_symbols=40, fft_size=128, guard_low=10, guard_high=9
    )
    m = wf.measure()
    check_against_reference(wf, m)
    check_evm(m, ref.ofdm_evm(counts(wf), wf.params))


ANALOG = {
    "am": dict(mod_frequency=1000, mod_depth=80, sample_rate=48000),
    "fm": dict(mod_frequency=400, freq_deviation=3000, sample_rate=48000),
    "multitone": dict(tone_count=6, tone_spacing=2500, sample_rate=96000),
    "pulse": dict(pulse_width=2e-4, pulse_period=1e-3, sample_rate=48000),
    "stepsweep": dict(start_frequency=-4000, stop_frequency=4000, step_count=5, dwell_time=2e-3, sample_rate=48000),
    "rampsweep": dict(sweep_bandwidth=2e5, sweep_time=2e-3, duration=3e-3, sample_rate=1e6),
    "awgn": dict(bandwidth=2e5, duration=2e-3, seed=7, sample_rate=1e6),
}


@pytest.mark.parametrize("kind", sorted(ANALOG))
def test_analog_kinds(kind):
    wf = getattr(gensignal, kind)(**ANALOG[kind])
    m = wf.measure()
    check_against_reference(wf, m)
    assert m.evm_percent is None


@pytest.mark.parametrize("bandwidth,spacing", [(1e5, None), (3e5, 5e5), (2e6, 3.2e6)])
def test_chosen_channels(bandwidth, spacing):
    wf = gensignal.digital(mod_type="qam64", symbol_count=400)
    options = {"channel_bandwidth": bandwidth}
    if spacing:
        options["channel_spacing"] = spacing
    m = wf.measure(**options)
    check_against_reference(wf, m, bandwidth, spacing)
    beyond = (spacing or bandwidth) + bandwidth / 2 > 4e6  # the adjacent channel leaves +-rate/2
    assert (m.acpr_db["upper"] is None) == beyond and (m.acpr_db["lower"] is None) == beyond


def test_float_arrays_as_numpy_sees_them():
    rng = np.random.default_rng(5)
    x = (rng.normal(size=30011) + 1j * rng.normal(size=30011)) * 0.2
    m = gensignal.measure(x.astype(np.complex64), sample_rate=1e6)
    counted = x.astype(np.complex64).astype(np.complex128) * 32767
    levels = ref.levels(counted)
    assert m.papr_db == pytest.approx(levels["papr_db"], abs=0.05)
    for key, value in levels["ccdf_db"].items():
        assert m.ccdf_db[key] == pytest.approx(value, abs=0.05)
    spectrum = ref.spectrum(counted, 1e6, m.channel_bandwidth_hz)
    assert abs(m.obw_lower_hz - spectrum["obw_lower_hz"]) <= 1e6 / 30011 * 1.0001
    assert m.acpr_db["upper"] == pytest.approx(spectrum["acpr_db"]["upper"], abs=0.1)
