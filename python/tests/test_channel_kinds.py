"""channel= on every kind function (GenSignalSetChannel): a dict or a
Channel, the realised values on Waveform.channel, refusals naming the
keyword, the noise kind's noise_source, and the round trip through SigMF
(Python's writer and wavegen's) back to the same bytes by regenerate()."""
import json
import warnings

import numpy as np
import pytest
from conftest import KIND_CASES

import gensignal
from gensignal import GenSignalError


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_every_kind_takes_a_channel_and_realises_its_level(kind):
    make = getattr(gensignal, kind)
    settings = dict(snr_db=20, cfo_hz=-100, iq_gain_db=0.3, channel_seed=3)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # defined loops note the offset
        plain = make(**KIND_CASES[kind])
        by_dict = make(**KIND_CASES[kind], channel=settings)
        by_channel = make(**KIND_CASES[kind], channel=gensignal.Channel(**settings))
        again = make(**KIND_CASES[kind])
    np.testing.assert_array_equal(by_dict.iq, by_channel.iq)
    np.testing.assert_array_equal(again.iq, plain.iq)  # the thread's handle forgets the channel
    assert not np.array_equal(by_dict.iq, plain.iq)
    assert plain.channel is None
    assert by_dict.channel["settings"] == gensignal.Channel(**settings).to_dict()
    assert by_dict.channel["stage"] == "generation"
    assert by_dict.channel["realised"]["snr_db"] == pytest.approx(20, abs=0.01)
    assert by_dict.channel["realised"]["samples"] == len(by_dict)


def test_refusals_name_the_keyword():
    with pytest.raises(GenSignalError) as refused:
        gensignal.am(mod_frequency=1000, channel={"iq_phase_deg": 90})
    assert refused.value.argument == "iq_phase_deg" and "iqPhaseDeg = 90" in refused.value.message
    with pytest.raises(GenSignalError) as refused:
        gensignal.digital(loop="exact", symbol_count=1000, channel={"cfo_hz": 1100})
    assert refused.value.argument == "cfo_hz" and "the nearest that closes is" in refused.value.message
    with pytest.raises(GenSignalError) as refused:
        gensignal.am(mod_frequency=1000, channel={"esn0_db": 10})
    assert "needs the samples per symbol" in refused.value.message
    with pytest.raises(TypeError):
        gensignal.am(channel=7)
    with pytest.raises(TypeError):
        gensignal.am(noise_source="channel")


def test_the_noise_kind_draws_from_the_channel_seed_in_either_mode():
    for mode in ("defined", "exact"):
        first = gensignal.awgn(duration=2e-3, loop=mode, noise_source="channel", channel={"channel_seed": 5})
        second = gensignal.awgn(duration=2e-3, loop=mode, noise_source="channel", channel={"channel_seed": 5}, seed=9)
        other = gensignal.awgn(duration=2e-3, loop=mode, noise_source="channel", channel={"channel_seed": 6})
        np.testing.assert_array_equal(first.iq, second.iq)  # rand()'s seed plays no part
        assert not np.array_equal(first.iq, other.iq)
        assert first.channel["noise_source"] == "channel" and first.channel["realised"] is None
    with pytest.raises(GenSignalError) as refused:
        gensignal.awgn(noise_source="numpy")
    assert refused.value.argument == "noise_source"


# Over the default 1 ms loop: fD T = 5, the mask above fs/N = 1 kHz.
CHANNEL = dict(fading="eva", doppler_hz=5000, esn0_db=15, phase_noise=[(2e3, -80), (1e5, -100)], channel_seed=9)
FLAGS = [
    "--fading",
    "eva",
    "--doppler-hz",
    "5000",
    "--esn0-db",
    "15",
    "--phase-noise",
    "2e3:-80,1e5:-100",
    "--channel-seed",
    "9",
]


def test_python_sigmf_carries_the_channel_and_regenerates_it(tmp_path):
    wf = gensignal.digital(symbol_count=1000, loop="exact", channel=CHANNEL)
    wf.to_sigmf(tmp_path / "rx")
    read = gensignal.read_sigmf(tmp_path / "rx")
    assert read.channel["settings"] == wf.channel["settings"]
    assert read.channel["realised"]["esn0_db"] == pytest.approx(15, abs=0.01)
    np.testing.assert_array_equal(read.regenerate().iq, wf.iq)
    # Impaired after it was made: regenerate impairs the clean waveform again.
    rx = gensignal.impair(gensignal.digital(symbol_count=1000), **CHANNEL, cfo_hz=8000, loop="exact")
    rx.to_sigmf(tmp_path / "after")
    np.testing.assert_array_equal(gensignal.read_sigmf(tmp_path / "after").regenerate().iq, rx.iq)


def test_wavegen_writes_what_python_makes_with_a_channel(wavegen, tmp_path):
    done = wavegen("digital", "--symbol-count", "1000", "--loop", "exact", *FLAGS, "-o", "rx")
    assert done.returncode == 0, done.stderr
    wf = gensignal.digital(symbol_count=1000, loop="exact", channel=CHANNEL)
    read = gensignal.read_sigmf(tmp_path / "rx")
    np.testing.assert_array_equal(read.iq, wf.iq)
    meta = json.loads((tmp_path / "rx.sigmf-meta").read_text())["global"]
    channel = meta["gensignal:channel"]
    assert channel["settings"] == wf.channel["settings"] and channel["stage"] == "generation"
    for key, value in wf.channel["realised"].items():
        assert channel["realised"][key] == (pytest.approx(value) if isinstance(value, float) else value), key
    np.testing.assert_array_equal(read.regenerate().iq, wf.iq)
    # The noise kind from the channel's generator, and a refusal in option terms.
    done = wavegen("awgn", "--noise-source", "channel", "--channel-seed", "4", "--duration", "1e-3", "-o", "n")
    assert done.returncode == 0, done.stderr
    noise = gensignal.awgn(duration=1e-3, noise_source="channel", channel={"channel_seed": 4})
    np.testing.assert_array_equal(gensignal.read_sigmf(tmp_path / "n").iq, noise.iq)
    done = wavegen("awgn", "--noise-source", "5", "-o", "bad")
    assert done.returncode == 2 and "--noise-source 5: must be defined or channel" in done.stderr
    done = wavegen("digital", "--loop", "exact", "--cfo-hz", "1100", "-o", "bad")
    assert done.returncode == 2 and "--cfo-hz 1100: not a whole number of cycles" in done.stderr, done.stderr
