"""SFDR only for waveforms made of tones; adjacent-channel presets of the
standards, in the library, wavegen and Python alike; an occupied-band share
of 0 refused instead of read as the default."""
import json

import pytest

import gensignal
from gensignal import CHANNEL_PRESETS

PRESETS = {
    "lte1.4": (1.08e6, 1.4e6),
    "lte5": (4.5e6, 5e6),
    "lte10": (9e6, 10e6),
    "lte20": (18e6, 20e6),
    "nr10": (9.36e6, 10e6),
    "nr20": (19.08e6, 20e6),
    "nr100": (98.28e6, 100e6),
    "wcdma": (3.84e6, 5e6),
}


@pytest.mark.parametrize(
    "kind,tones",
    [
        ("multitone", True),
        ("am", True),
        ("fm", True),
        ("digital", False),
        ("dss", False),
        ("ofdm", False),
        ("pulse", False),
        ("awgn", False),
        ("stepsweep", False),
        ("rampsweep", False),
    ],
)
def test_sfdr_only_for_tones(kind, tones):
    wf = gensignal.generate(kind, **({"seed": 1} if kind == "awgn" else {}))
    assert (wf.measure().sfdr_db is not None) == tones
    # an array without a record may be anything: the number is given
    assert gensignal.measure(wf.iq, sample_rate=wf.sample_rate).sfdr_db is not None


@pytest.mark.parametrize("name", PRESETS)
def test_presets_are_the_standards_numbers(name):
    assert gensignal.channel_preset(name) == pytest.approx(PRESETS[name])
    wf = gensignal.ofdm(sample_rate=61.44e6)
    m = wf.measure(channel=name)
    assert (m.channel_bandwidth_hz, m.channel_spacing_hz) == pytest.approx(PRESETS[name])
    assert wf.measure(channel=name, channel_spacing=7e6).channel_spacing_hz == 7e6


def test_every_preset_is_listed_and_an_unknown_one_refused():
    assert set(PRESETS) <= set(CHANNEL_PRESETS)
    with pytest.raises(gensignal.GenSignalError, match="channel = lte7: not one of lte1.4, .*wcdma"):
        gensignal.multitone().measure(channel="lte7")


def test_lte5_in_wavegen(wavegen, tmp_path):
    assert wavegen("ofdm", "--sample-rate", "15.36e6", "-o", "o").returncode == 0
    done = wavegen("measure", "o", "--channel", "lte5", "--json")
    assert done.returncode == 0
    m = gensignal.read_sigmf(tmp_path / "o").measure(channel="lte5")
    assert json.loads(done.stdout)["acpr_db"] == m.acpr_db
    refused = wavegen("measure", "o", "--channel", "lte7")
    assert refused.returncode == 2 and "--channel lte7: not one of" in refused.stderr


def test_an_occupied_band_share_of_zero_is_refused(wavegen, tmp_path):
    with pytest.raises(gensignal.GenSignalError, match="obw_percent = 0"):
        gensignal.multitone().measure(obw_percent=0)
    assert wavegen("multitone", "-o", "t").returncode == 0
    refused = wavegen("measure", "t", "--obw-percent", "0")
    assert refused.returncode == 2 and "--obw-percent 0: must be above 0" in refused.stderr
