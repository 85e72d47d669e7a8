"""The opt-in settings as keywords: the same files as wavegen's options, the
defined mode's note as a warning, refusals that name the keyword, settings
that do not outlive their call; and an exact digital loop against the ideal
periodic band-limited resampling of its period, by numpy's FFT."""
import inspect

import numpy as np
import pytest

import gensignal
from conftest import wavegen_args
from gensignal import _kinds as kinds
from gensignal import _loop as options_table


def test_exact_multitone_same_files_as_wavegen(wavegen, tmp_path):
    options = dict(tone_count=64, tone_spacing=10e3, sample_rate=30.72e6)
    done = wavegen(*wavegen_args("multitone", options), "--loop", "exact", "--tone-phases", "newman", "-o", "w")
    assert done.returncode == 0, done.stderr
    wf = gensignal.multitone(**options, loop="exact", tone_phases="newman")
    wf.to_sigmf(tmp_path / "p")
    assert (tmp_path / "p.sigmf-data").read_bytes() == (tmp_path / "w.sigmf-data").read_bytes()
    assert (tmp_path / "p.sigmf-meta").read_text() == (tmp_path / "w.sigmf-meta").read_text()
    assert wf.loop == {
        "mode": "exact",
        "peak_dbfs": 0.0,
        "tone_phases": "newman",
        "phase_seed": 0,
        "periods": 1,
        "samples_per_period": 6144.0,
        "duration": 0.0002,
        "whole_periods": True,
        "snap": False,
        "granularity": 1,
        "min_length": 0,
        "max_samples": 0,
        "min_loop_duration": 0.0,
    }
    again = gensignal.read_sigmf(tmp_path / "p")
    assert again.loop == wf.loop and "loop" not in again.params
    assert again.regenerate().iq.tobytes() == wf.iq.tobytes()


def test_note_warns_in_the_defined_mode_and_exact_refuses(wavegen):
    options = dict(tone_count=8, tone_spacing=30e3, sample_rate=200e3)
    expected = "tone_spacing = 30000: the highest of 8 tones, 105000 Hz, lies at or above half the sample rate"
    with pytest.warns(UserWarning, match=expected):
        gensignal.multitone(**options)
    done = wavegen(*wavegen_args("multitone", options), "-o", "w")
    assert done.returncode == 0 and "wavegen: note: --tone-spacing 30000: the highest" in done.stderr
    with pytest.raises(gensignal.GenSignalError) as refused:
        gensignal.multitone(**options, loop="exact")
    assert refused.value.argument == "tone_spacing" and expected in str(refused.value)
    done = wavegen(*wavegen_args("multitone", options), "--loop", "exact", "-o", "w")
    assert done.returncode == 2 and "--tone-spacing 30000: the highest" in done.stderr


@pytest.mark.parametrize(
    "call, argument",
    [
        (lambda: gensignal.am(peak_dbfs=3), "peak_dbfs"),
        (lambda: gensignal.am(peak_dbfs=float("nan")), "peak_dbfs"),
        (lambda: gensignal.multitone(phase_seed=2**32), "phase_seed"),
    ],
)
def test_settings_out_of_range_name_the_keyword(call, argument):
    with pytest.raises(gensignal.GenSignalError) as refused:
        call()
    assert refused.value.argument == argument


def test_keywords_where_they_apply():
    for name in kinds.KINDS:
        parameters = inspect.signature(getattr(gensignal, name)).parameters
        assert parameters["loop"].default == "defined" and parameters["peak_dbfs"].default == 0.0
        assert ("tone_phases" in parameters) == (name == "multitone")
    with pytest.raises(TypeError):
        gensignal.am(tone_phases="newman")
    with pytest.raises(gensignal.GenSignalError) as refused:
        gensignal.am(loop="closed")
    assert refused.value.argument == "loop"


def test_settings_do_not_outlive_their_call():
    plain = gensignal.multitone(tone_count=4, tone_spacing=1000, sample_rate=44100)
    gensignal.multitone(
        tone_count=4,
        tone_spacing=1000,
        sample_rate=44100,
        loop="exact",
        tone_phases="random",
        phase_seed=5,
        peak_dbfs=-6,
    )
    again = gensignal.multitone(tone_count=4, tone_spacing=1000, sample_rate=44100)
    np.testing.assert_array_equal(plain.iq, again.iq)
    assert again.loop["mode"] == "defined" and not again.loop["whole_periods"]


def test_peak_level_lowers_the_peak():
    wf = gensignal.am(mod_frequency=1000, mod_depth=100, sample_rate=48000, peak_dbfs=-6)
    assert np.abs(wf.iq[:, 0]).max() == round(32766 * 10 ** (-6 / 20))


def test_exact_qpsk_is_the_ideal_periodic_resampling_of_its_period():
    # 341 symbols of 1.023 Msym/s at 8 per symbol: the period at 8.184 MS/s,
    # and three periods at 10 MS/s (10000 samples).
    options = dict(mod_type="qpsk", symbol_rate=1.023e6, samples_per_symbol=8, symbol_count=341)
    period = gensignal.digital(**options, sample_rate=8.184e6).iq.astype(float) @ [1, 1j]
    loop = gensignal.digital(**options, sample_rate=10e6, loop="exact")
    assert len(period) == 2728 and len(loop) == 10000 and loop.loop["periods"] == 3
    y = loop.iq.astype(float) @ [1, 1j]
    L, M, P = len(period), len(y), 3
    # Harmonic k of the period lies at bin k P (mod M) of the loop's DFT.
    X, Y = np.fft.fft(period) / L, np.fft.fft(y) / M
    k = np.fft.fftfreq(L, 1 / L).astype(int)
    band = np.abs(k) < 0.9 * L / 2
    want, got = X[band], Y[(k[band] * P) % M]
    gain = np.vdot(want, got) / np.vdot(want, want)
    error = np.sum(np.abs(got - gain * want) ** 2) / np.sum(np.abs(want) ** 2)
    assert 10 * np.log10(error) < -70


ODD_TONES = dict(tone_count=4, tone_spacing=1000.3, sample_rate=48000)


def test_snap_takes_the_nearest_spacing_that_closes_as_wavegen_does(wavegen, tmp_path):
    with pytest.raises(gensignal.GenSignalError):
        gensignal.multitone(**ODD_TONES, loop="exact")
    wf = gensignal.multitone(**ODD_TONES, loop="exact", snap=True)
    assert wf.snapped == {"field": "toneSpacing", "asked": 1000.3, "taken": 1000.3125}
    assert wf.loop["snap"] is True and wf.loop["whole_periods"]
    assert len(wf) == wf.loop["periods"] * wf.loop["samples_per_period"]
    assert wf.params["toneSpacing"] == 1000.3  # what was asked: params with snap= make it again
    assert wf.regenerate().iq.tobytes() == wf.iq.tobytes()
    done = wavegen(*wavegen_args("multitone", ODD_TONES), "--loop", "exact", "--snap", "-o", "w")
    assert done.returncode == 0 and "snapped --tone-spacing 1000.3 to 1000.3125" in done.stdout, done.stderr
    wf.to_sigmf(tmp_path / "p")
    assert (tmp_path / "p.sigmf-meta").read_text() == (tmp_path / "w.sigmf-meta").read_text()
    assert gensignal.read_sigmf(tmp_path / "p").snapped == wf.snapped
    # nothing to snap: the record as it is, and no snapped entry
    assert (
        gensignal.multitone(tone_count=4, tone_spacing=1000, sample_rate=48000, loop="exact", snap=True).snapped is None
    )


@pytest.mark.parametrize("keyword, value", [("loop", "EXACT"), ("tone_phases", "Newman")])
def test_choices_are_taken_in_any_case_by_both_hosts(wavegen, tmp_path, keyword, value):
    options = dict(tone_count=4, tone_spacing=1000, sample_rate=48000)
    wf = gensignal.multitone(**options, **{keyword: value})
    assert wf.loop["mode" if keyword == "loop" else keyword] == value.lower()
    done = wavegen(*wavegen_args("multitone", options), "--" + keyword.replace("_", "-"), value, "-o", "w")
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "w.sigmf-data").read_bytes() == wf.iq.astype("<i2").tobytes()


def test_every_option_of_the_table_is_a_keyword_with_its_range():
    table = options_table.table()
    assert {"loop", "snap", "granularity", "min_length", "max_samples", "min_loop_duration"} <= set(table)
    parameters = inspect.signature(gensignal.digital).parameters
    assert "noise_source" in inspect.signature(gensignal.awgn).parameters and "noise_source" not in parameters
    for keyword, option in options_table.options_of("digital").items():
        assert parameters[keyword].default == option.default
        if option.type in (options_table.TYPE_WHOLE, options_table.TYPE_REAL):
            with pytest.raises(gensignal.GenSignalError) as refused:
                gensignal.digital(**{keyword: option.maximum + 1})
            assert refused.value.argument == keyword and f"{option.maximum:.10g}" in str(refused.value)
