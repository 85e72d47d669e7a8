"""The seam measure that tells: 50 seamless loops of every kind (the exact
mode's, noise included) read within [0.5, 2]; the glitched loops a new user
met, and a seamless loop cut short, read above 10."""
import math

import numpy as np
import pytest

import gensignal

SEAMLESS = (
    [
        ("digital", dict(mod_type=m, sample_rate=r, symbol_rate=s, pn_seed=i + 3))
        for i, (m, r, s) in enumerate(
            [
                ("qpsk", 8e6, 1e6),
                ("qpsk", 30.72e6, 5e6),
                ("qam16", 10e6, 1e6),
                ("psk8", 5e6, 1e6),
                ("fsk2", 8e6, 1e6),
                ("fsk4", 30.72e6, 1e6),
                ("qpsk", 10e6, 1.023e6),
            ]
        )
    ]
    + [("dss", dict(sample_rate=r, bit_rate=b)) for r, b in [(508000, 1000), (1e6, 1000), (10e6, 1000), (2e6, 3000)]]
    + [
        ("am", dict(sample_rate=r, mod_frequency=f, mod_shape=s))
        for r, f, s in [(48000, 1000, "sine"), (44100, 700, "triangle"), (1e6, 1234, "square"), (48000, 300, "sine")]
    ]
    + [
        ("fm", dict(sample_rate=r, mod_frequency=f, mod_shape=s))
        for r, f, s in [(48000, 1000, "sine"), (48000, 500, "triangle"), (1e6, 1234, "square"), (96000, 250, "sine")]
    ]
    + [
        ("multitone", dict(tone_count=c, tone_spacing=d, sample_rate=r, tone_phases=p))
        for c, d, r, p in [
            (4, 1000, 1e6, "zero"),
            (2, 1234.5, 1e6, "zero"),
            (8, 3000, 1e6, "newman"),
            (16, 10e3, 2e6, "schroeder"),
            (3, 777, 48000, "random"),
        ]
    ]
    + [
        ("pulse", dict(pulse_width=w, pulse_period=p, sample_rate=r))
        for w, p, r in [(1e-3, 4e-3, 1e6), (2e-4, 1e-3, 48000), (1e-5, 1e-4, 10e6)]
    ]
    + [
        ("stepsweep", dict(step_count=c, dwell_time=d, sample_rate=r))
        for c, d, r in [(11, 1e-3, 10e6), (4, 1e-4, 10e6), (5, 1e-4, 2.5e6)]
    ]
    + [
        ("rampsweep", dict(sweep_time=t, duration=d, sample_rate=r))
        for t, d, r in [(1e-3, 2e-3, 10e6), (1e-3, 1e-3, 10e6), (5e-4, 1e-3, 4e6), (2e-4, 6e-4, 3e6)]
    ]
    + [
        ("awgn", dict(seed=s, bandwidth=b, duration=d))
        for s, b, d in [
            (1, 2e5, 1e-2),
            (2, 1e5, 2e-3),
            (3, 5e5, 1e-2),
            (4, 4.9e5, 2e-3),
            (5, 2e5, 1e-2),
            (6, 3e5, 2e-3),
            (7, 1e4, 1e-2),
            (8, 2e5, 2e-3),
            (9, 4e5, 1e-2),
            (10, 5e4, 2e-3),
            (11, 1.5e5, 1e-2),
            (12, 2.5e5, 5e-3),
        ]
    ]
    + [
        ("ofdm", dict(fft_size=f, num_symbols=n, cp_percent=c, windowing=w))
        for f, n, c, w in [(64, 100, 25, 0), (128, 20, 10, 1), (256, 10, 25, 0), (64, 30, 0, 0)]
    ]
)

GLITCHED = {
    "dss --bit-rate 1000 --pn-order 10 --sample-rate 10e6": ("dss", dict(bit_rate=1000, pn_order=10, sample_rate=10e6)),
    "FSK2 at 30.72 MS/s": ("digital", dict(mod_type="fsk2", sample_rate=30.72e6)),
    "QPSK 1.023 Msym/s into 10 MS/s": ("digital", dict(symbol_rate=1.023e6, sample_rate=10e6)),
    "two tones that do not close": ("multitone", dict(tone_count=2, tone_spacing=1234.5, sample_rate=1e6)),
}


def test_there_are_fifty_seamless_loops_of_every_kind():
    assert len(SEAMLESS) == 50
    assert {kind for kind, _ in SEAMLESS} == set(gensignal.KINDS)


@pytest.mark.parametrize("kind,params", SEAMLESS, ids=[f"{k}-{i}" for i, (k, _) in enumerate(SEAMLESS)])
def test_a_seamless_loop_reads_near_one(kind, params):
    wf = gensignal.generate(kind, loop="exact", **params)
    assert 0.5 <= wf.measure().seam_prediction <= 2


@pytest.mark.parametrize("case", GLITCHED)
def test_a_glitched_loop_reads_above_ten(case):
    kind, params = GLITCHED[case]
    m = gensignal.generate(kind, **params).measure()
    assert m.seam_prediction > 10


@pytest.mark.parametrize(
    "index,cut", [(9, 7), (18, 7), (19, 100), (27, 7), (38, 7)], ids=["dss", "fm", "multitone", "stepsweep", "noise"]
)
def test_a_seamless_loop_cut_short_reads_above_ten(index, cut):
    # A cut shows as far as the signal predicts itself: not in OFDM, white
    # across its band, nor in a pulse's or a sweep's silence (the README says so).
    kind, params = SEAMLESS[index]
    wf = gensignal.generate(kind, loop="exact", **params)
    assert gensignal.measure(wf.iq[:-cut], sample_rate=wf.sample_rate).seam_prediction > 10


def test_the_measure_does_not_depend_on_where_the_buffer_starts_for_a_seamless_loop():
    wf = gensignal.generate("digital", loop="exact", sample_rate=30.72e6, symbol_rate=5e6)
    for shift in (1, 1000, 12345):
        rotated = np.roll(wf.iq, shift, axis=0)
        assert 0.5 <= gensignal.measure(rotated, sample_rate=wf.sample_rate).seam_prediction <= 2


def test_silent_and_short_buffers_have_none():
    assert gensignal.measure(np.zeros((4096, 2), np.int16), sample_rate=1e6).seam_prediction is None
    short = gensignal.multitone().iq[:31]
    assert gensignal.measure(short, sample_rate=1e6).seam_prediction is None
    assert gensignal.measure(gensignal.multitone().iq[:32], sample_rate=1e6).seam_prediction is not None


def test_int16_and_float_views_agree():
    wf = gensignal.generate("digital", sample_rate=30.72e6, mod_type="fsk2")
    as_float = (wf.iq[:, 0] + 1j * wf.iq[:, 1]) / 32767
    a = gensignal.measure(wf.iq, sample_rate=wf.sample_rate).seam_prediction
    b = gensignal.measure(as_float, sample_rate=wf.sample_rate).seam_prediction
    assert math.isclose(a, b, rel_tol=1e-4)
