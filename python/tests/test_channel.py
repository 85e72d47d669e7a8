"""The channel through the Python package: the deterministic stages sample
by sample against numpy formulas (of the definitions, not of the library's
arithmetic), the keywords and their refusals, Waveforms through impair(),
and `wavegen impair` against gensignal.impair on the same file."""
import json
import math

import numpy as np
import pytest

import gensignal
from gensignal import GenSignalError

RATE = 1e6


def tone(n=4096, cycles=37, amplitude=0.5):
    m = np.arange(n)
    return (amplitude * np.exp(2j * np.pi * cycles * m / n)).astype(np.complex64)


def chirp(n=4096):
    m = np.arange(n)
    return (0.6 * np.exp(1j * (0.0004 * m * m + 0.2 * m)) * (0.5 + 0.5 * np.sin(2 * np.pi * 3 * m / n))).astype(
        np.complex64
    )


def through(x, **settings):
    """The channel's float output in the input's units: the frame rescales to
    a peak of 32766, undone here by the ratio of the peaks."""
    rx = gensignal.impair(x, sample_rate=RATE, **settings)
    return rx.samples.astype(np.complex128), rx


def unscaled(y, reference):
    """y scaled back so that the stage's own gain shows: by the known peak of
    the reference (what the frame scaled to 32766)."""
    return y * (np.abs(reference).max() / np.abs(y).max())


def counts(x):
    return x.astype(np.complex128) * 32767  # the library works in int16 counts


def test_iq_imbalance_is_its_formula_value_by_value():
    x = chirp()
    y, rx = through(x, iq_gain_db=1.5, iq_phase_deg=-7)
    v = counts(x)
    i, q = v.real.astype(np.float32).astype(np.float64), v.imag.astype(np.float32).astype(np.float64)
    gi, gq, t = 10 ** (1.5 / 40), 10 ** (-1.5 / 40), -7 / 2 * (np.pi / 180)
    expected = (gi * i * np.cos(t) - gq * q * np.sin(t)) + 1j * (-gi * i * np.sin(t) + gq * q * np.cos(t))
    scale = np.abs(expected).max()
    np.testing.assert_allclose(y * 32767 / 32766 * scale, expected, rtol=0, atol=scale * 2e-7)
    g = 10 ** (1.5 / 20)
    c = math.cos(-7 * math.pi / 180)
    assert rx.channel["realised"]["iq_image_rejection_db"] == pytest.approx(
        10 * math.log10((1 + 2 * g * c + g * g) / (1 - 2 * g * c + g * g))
    )


@pytest.mark.parametrize("pa", ["rapp", "saleh"])
def test_amplifiers_are_their_curves_at_the_back_off(pa):
    x = chirp()
    v = counts(x)
    y, rx = through(x, pa=pa, pa_backoff_db=2, pa_smoothness=3 if pa == "rapp" else None)
    mean = np.mean(np.abs(v) ** 2)
    if pa == "rapp":
        vsat = math.sqrt(mean * 10 ** (2 / 10))
        expected = v / (1 + (np.abs(v) / vsat) ** 6) ** (1 / 6)
    else:
        aa, ba, ap, bp = 2.1587, 1.1517, 4.0033, 9.1040
        # r in units where saturation is 1 / sqrt(beta_a): the input RMS 2 dB below it.
        r2 = np.abs(v) ** 2 / (mean * 10 ** (2 / 10) * ba)
        expected = v * aa / (1 + ba * r2) * np.exp(1j * ap * r2 / (1 + bp * r2))
    scale = np.abs(expected).max() / 32766
    np.testing.assert_allclose(y * 32767 * scale, expected, rtol=0, atol=np.abs(expected).max() * 1e-6)
    gain = 10 * math.log10(np.mean(np.abs(expected) ** 2) / mean)
    assert rx.channel["realised"]["pa_gain_db"] == pytest.approx(gain, abs=1e-5)


def test_the_drive_does_not_depend_on_the_buffers_scale():
    a, _ = through(chirp(), pa="saleh", pa_backoff_db=1)
    b, _ = through((chirp() * 0.01).astype(np.complex64), pa="saleh", pa_backoff_db=1)
    np.testing.assert_allclose(a, b, atol=3e-6)


def test_carrier_and_dc_are_their_formulas():
    x = chirp()
    n = len(x)
    cfo = 7 * RATE / n  # whole cycles
    y, rx = through(x, cfo_hz=cfo, phase_offset_deg=33, dc_dbc=-20, dc_phase_deg=120)
    v = counts(x) * np.exp(1j * (2 * np.pi * cfo * np.arange(n) / RATE + 33 * math.pi / 180))
    dc = math.sqrt(np.mean(np.abs(v) ** 2) * 10 ** (-20 / 10)) * np.exp(1j * 120 * math.pi / 180)
    v = v + dc
    scale = 32766 / np.abs(v).max()  # the frame's: counts of the output per count of the channel
    np.testing.assert_allclose(y * 32767 / scale, v, atol=np.abs(v).max() * 2e-6)
    assert rx.channel["realised"]["cfo_closes"] is True
    assert rx.channel["realised"]["dc_power"] == pytest.approx(abs(dc) ** 2 * scale**2, rel=1e-5)


def kaiser_sinc_delay(v, delay, taps=32, beta=8.0):
    """The circular band-limited delay as its definition states it."""
    whole, fraction = math.floor(delay), delay - math.floor(delay)
    centre = taps // 2 - 1
    tau = np.arange(taps) - centre - fraction
    h = np.sinc(tau) * np.i0(beta * np.sqrt(1 - (tau / (taps // 2)) ** 2)) / np.i0(beta)
    h /= h.sum()
    out = np.zeros_like(v)
    for k, c in enumerate(h):
        out += c * np.roll(v, whole - centre + k)
    return out


@pytest.mark.parametrize("delay", [0.25, 5.6, -2.3])
def test_timing_offset_is_the_windowed_sinc_read_around_the_loop(delay):
    x = chirp()
    y, rx = through(x, timing_offset=delay)
    expected = kaiser_sinc_delay(counts(x), delay)
    np.testing.assert_allclose(
        y * np.abs(expected).max() / np.abs(y).max(), expected, atol=np.abs(expected).max() * 2e-6
    )
    assert rx.channel["realised"]["timing_offset"] == delay


def test_noise_is_exact_in_each_way_and_the_labels_say_so():
    wf = gensignal.digital(mod_type="qpsk", symbol_rate=1e6, sample_rate=8e6, symbol_count=2000)
    for keyword, value in (("snr_db", 10), ("esn0_db", 15), ("ebn0_db", 12), ("cn_db", 20)):
        extra = {"noise_bandwidth": 1.35e6} if keyword == "cn_db" else {}
        rx = gensignal.impair(wf, channel_seed=9, **{keyword: value}, **extra)
        r = rx.channel["realised"]
        assert r[keyword] == pytest.approx(value, abs=1e-6)
        assert r["snr_in_band_db"] == pytest.approx(
            value - (10 * math.log10(8) if keyword == "esn0_db" else 10 * math.log10(4) if keyword == "ebn0_db" else 0),
            abs=1e-6,
        )
        assert rx.kind == "digital" and rx.params == wf.params


def test_a_dict_and_a_channel_are_the_same_and_keywords_are_checked():
    settings = dict(fading="EVA", doppler_hz=0, snr_db=20, phase_noise=[(1e4, -90)], channel_seed=2**63 + 5)
    a = gensignal.impair(chirp(), sample_rate=RATE, channel=settings)
    b = gensignal.impair(chirp(), sample_rate=RATE, channel=gensignal.Channel(**settings))
    np.testing.assert_array_equal(a.iq, b.iq)
    assert a.channel["settings"] == {**settings, "fading": "eva", "phase_noise": [[1e4, -90.0]]}
    with pytest.raises(TypeError, match="unexpected keyword argument 'snr'"):
        gensignal.Channel(snr=3)
    with pytest.raises(GenSignalError, match="give one noise level"):
        gensignal.Channel(snr_db=3, cn_db=4)
    with pytest.raises(GenSignalError) as refused:
        gensignal.impair(chirp(), sample_rate=RATE, iq_phase_deg=120)
    assert refused.value.argument == "iq_phase_deg"
    assert "GenSignalChannel.iqPhaseDeg = 120" in str(refused.value)


def test_exact_loops_refuse_what_breaks_them_and_defined_ones_warn():
    x = chirp(4000)
    with pytest.raises(GenSignalError, match="the nearest that closes is 1000") as refused:
        gensignal.impair(x, sample_rate=RATE, cfo_hz=1100, loop="exact")
    assert refused.value.argument == "cfo_hz"
    with pytest.warns(UserWarning, match="not a whole number of cycles"):
        rx = gensignal.impair(x, sample_rate=RATE, cfo_hz=1100)
    assert rx.channel["realised"]["cfo_closes"] is False


def test_a_repeated_waveform_is_impaired_once_and_repeated():
    wf = gensignal.multitone(tone_count=4, tone_spacing=1e4, sample_rate=1e6).repeated(3)
    rx = gensignal.impair(wf, snr_db=30, channel_seed=4)
    period = len(wf.period)
    assert rx.repeat == 3 and len(rx) == 3 * period
    np.testing.assert_array_equal(rx.iq[:period], rx.iq[period : 2 * period])
    np.testing.assert_array_equal(rx.samples[:period], rx.samples[2 * period :])


def test_wavegen_impair_writes_what_python_makes(wavegen, tmp_path):
    wf = gensignal.digital(mod_type="qam16", symbol_rate=5e5, sample_rate=4e6, symbol_count=500)
    wf.to_sigmf(tmp_path / "clean")
    options = dict(
        fading="tdl-c",
        delay_spread=3e-7,
        doppler_hz=0,
        esn0_db=18,
        cfo_hz=8000,
        phase_noise=[(1e4, -85), (1e5, -100)],
        iq_gain_db=0.2,
        channel_seed=11,
    )
    args = [
        "impair",
        "clean",
        "-o",
        "dirty",
        "--fading",
        "tdl-c",
        "--delay-spread",
        "3e-7",
        "--doppler-hz",
        "0",
        "--esn0-db",
        "18",
        "--cfo-hz",
        "8000",
        "--phase-noise",
        "1e4:-85,1e5:-100",
        "--iq-gain-db",
        "0.2",
        "--channel-seed",
        "11",
    ]
    done = wavegen(*args)
    assert done.returncode == 0, done.stderr
    rx = gensignal.impair(wf, **options)
    read = gensignal.read_sigmf(tmp_path / "dirty")
    np.testing.assert_array_equal(read.iq, rx.iq)
    meta = json.loads((tmp_path / "dirty.sigmf-meta").read_text())["global"]
    channel = meta["gensignal:channel"]
    assert channel["settings"] == rx.channel["settings"]
    for key, value in rx.channel["realised"].items():
        assert channel["realised"][key] == (pytest.approx(value) if isinstance(value, float) else value), key
    assert meta["gensignal:kind"] == "digital" and meta["gensignal:modType"] == "qam16"


def test_wavegen_impair_refuses_in_option_terms(wavegen, tmp_path):
    (np.ones((1000, 2), np.int16) * 100).astype("<i2").tofile(tmp_path / "x.raw")
    for args, said in (
        ((), "does not say its rate: give --sample-rate"),
        (("--sample-rate", "1e6", "--taps", "1e-6"), "--taps 1e-6: expected DELAY:DB"),
        (("--sample-rate", "1e6", "--cfo-hz", "2e6"), "--cfo-hz 2000000: must lie within"),
        (("--sample-rate", "1e6", "--esn0-db", "9"), "--esn0-db (noiseMode = 2 (Es/N0): needs"),
        (
            ("--sample-rate", "1e6", "--loop", "exact", "--cfo-hz", "1500"),
            "--cfo-hz 1500: not a whole number of cycles",
        ),
    ):
        done = wavegen("impair", "x.raw", *args)
        assert done.returncode == 2 and said in done.stderr, (args, done.stderr)
    bad = tmp_path / "t.sigmf-meta"
    bad.write_text('{"global": {"core:datatype": "ci16_le", "core:sample_rate": 1e6}}')
    (tmp_path / "t.sigmf-data").write_bytes(b"\x01\x02\x03")
    done = wavegen("impair", "t", "--snr-db", "3")
    assert done.returncode == 2 and "t.sigmf-data: 3 bytes of data is not a whole number" in done.stderr
