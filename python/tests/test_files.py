"""Files: wav and cf32 read back by other readers, SigMF round trips, and
recordings that are not what they claim refused clearly."""
import hashlib
import json
import wave

import numpy as np
import pytest

import gensignal
from conftest import KIND_CASES, wavegen_args
from gensignal import _formats as formats, _sigmf as sigmf


@pytest.fixture(scope="module")
def ofdm():
    return gensignal.ofdm(**KIND_CASES["ofdm"])


def test_wav_reads_back_with_the_wave_module(ofdm, tmp_path):
    ofdm.to_wav(tmp_path / "o.wav")
    with wave.open(str(tmp_path / "o.wav")) as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (2, 2, 2000000)
        frames = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").reshape(-1, 2)
    np.testing.assert_array_equal(frames, ofdm.iq)


def test_wav_like_wavegens(wavegen, tmp_path):
    options = KIND_CASES["am"]
    assert wavegen(*wavegen_args("am", options), "--format", "wav", "-o", "w").returncode == 0
    gensignal.am(**options).to_wav(tmp_path / "p.wav")
    assert (tmp_path / "p.wav").read_bytes() == (tmp_path / "w.wav").read_bytes()


@pytest.mark.parametrize("rate", [48000.5, 0.0, float("nan"), 2e9])
def test_wav_refuses_a_rate_its_header_cannot_say(rate, tmp_path):
    wf = gensignal.Waveform(np.zeros((4, 2), np.int16), rate)
    with pytest.raises(gensignal.GenSignalError, match="sample_rate"):
        wf.to_wav(tmp_path / "x.wav")
    assert not (tmp_path / "x.wav").exists()


def test_wav_refuses_more_data_than_its_size_fields_hold():
    assert formats.wav_refusal(48000, 2 * 1073741814) is None
    assert "at most 1073741814 samples" in formats.wav_refusal(48000, 2 * 1073741815)


def test_cf32_reads_back_with_fromfile(ofdm, tmp_path, wavegen):
    ofdm.to_cf32(tmp_path / "p.cf32")
    back = np.fromfile(tmp_path / "p.cf32", dtype=np.complex64)
    np.testing.assert_array_equal(back, ofdm.samples)
    np.testing.assert_array_equal(np.rint(back.real * 32767).astype(np.int16), ofdm.iq[:, 0])
    assert wavegen(*wavegen_args("ofdm", KIND_CASES["ofdm"]), "--format", "cf32", "-o", "w").returncode == 0
    assert (tmp_path / "w.cf32").read_bytes() == (tmp_path / "p.cf32").read_bytes()


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_sigmf_round_trip_keeps_samples_and_fields(kind, tmp_path):
    wf = getattr(gensignal, kind)(**KIND_CASES[kind])
    wf.to_sigmf(tmp_path / "r.sigmf-meta")  # a suffix given is not doubled
    back = gensignal.read_sigmf(tmp_path / "r")
    np.testing.assert_array_equal(back.iq, wf.iq)
    assert (back.kind, back.sample_rate, back.params) == (wf.kind, wf.sample_rate, wf.params)
    meta = json.loads((tmp_path / "r.sigmf-meta").read_text())
    data = (tmp_path / "r.sigmf-data").read_bytes()
    assert meta["global"]["core:sha512"] == hashlib.sha512(data).hexdigest()
    (annotation,) = meta["annotations"]
    assert annotation["core:label"] == kind
    assert annotation["core:sample_count"] == len(wf)
    assert annotation["core:freq_lower_edge"] < annotation["core:freq_upper_edge"]
    assert "core:datetime" not in meta["captures"][0]


def test_datetime_only_when_asked(tmp_path):
    wf = gensignal.am()
    wf.to_sigmf(tmp_path / "t", datetime="2026-06-22T12:00:00Z")
    assert json.loads((tmp_path / "t.sigmf-meta").read_text())["captures"][0]["core:datetime"] == "2026-06-22T12:00:00Z"
    with pytest.raises(gensignal.GenSignalError, match="datetime"):
        wf.to_sigmf(tmp_path / "u", datetime="yesterday")
    assert not (tmp_path / "u.sigmf-data").exists()


def test_band_holds_99_percent_of_the_power():
    # Four equal tones at +-500 and +-1500 Hz, one period of 2000 samples (bins
    # of 500 Hz): the 0.5 % tails end inside the outer tones' bins.
    wf = gensignal.multitone(tone_count=4, tone_spacing=1000, sample_rate=1e6)
    assert len(wf) == 2000
    assert wf.occupied_band() == (-1750.0, 1750.0)
    # A single complex tone at +1 bin of an 8-point buffer.
    tone = np.exp(2j * np.pi * np.arange(8) / 8) * 30000
    iq = np.stack([np.rint(tone.real), np.rint(tone.imag)], axis=1)
    assert sigmf.occupied_band(iq, 8000) == (500.0, 1500.0)


def _write_plain(tmp_path, datatype, data, **glob):
    meta = {
        "global": {"core:datatype": datatype, "core:sample_rate": 1000.0, "core:version": "1.0.0", **glob},
        "captures": [{"core:sample_start": 0}],
        "annotations": [],
    }
    (tmp_path / "x.sigmf-meta").write_text(json.dumps(meta))
    (tmp_path / "x.sigmf-data").write_bytes(data)
    return tmp_path / "x.sigmf-meta"


def test_plain_recordings_from_elsewhere(tmp_path):
    values = np.array([[1000, -2000], [32767, -32768]], dtype="<i2")
    wf = gensignal.read_sigmf(_write_plain(tmp_path, "ci16_le", values.tobytes()))
    np.testing.assert_array_equal(wf.iq, values)
    assert (wf.kind, wf.params, wf.sample_rate) == (None, {}, 1000.0)

    floats = np.array([0.5 - 0.25j, 1.5 + 0j], dtype="<c8")
    wf = gensignal.read_sigmf(_write_plain(tmp_path, "cf32_le", floats.tobytes()))
    np.testing.assert_array_equal(wf.samples, floats)
    np.testing.assert_array_equal(wf.iq, [[16384, -8192], [32767, 0]])  # clipped to int16


@pytest.mark.parametrize(
    "datatype, data, glob, reason",
    [
        ("ri16_le", b"\0" * 8, {}, "core:datatype 'ri16_le' is not supported"),
        ("cf64_le", b"\0" * 16, {}, "not supported"),
        ("ci16_le", b"\0" * 7, {}, "not a whole number of ci16_le samples"),
        ("cf32_le", b"\0" * 12, {}, "not a whole number of cf32_le samples"),
        ("ci16_le", b"\0" * 8, {"gensignal:samples": 3}, "holds 2 samples, the metadata describes 3"),
        ("ci16_le", b"\0" * 8, {"core:sha512": "00" * 64}, "does not match core:sha512"),
        ("ci16_le", b"\0" * 8, {"core:num_channels": 2}, "single-channel"),
    ],
)
def test_recordings_that_are_not_what_they_claim(tmp_path, datatype, data, glob, reason):
    with pytest.raises(gensignal.SigMFError, match=reason):
        gensignal.read_sigmf(_write_plain(tmp_path, datatype, data, **glob))


@pytest.mark.parametrize(
    "meta",
    [
        {"annotations": [{"core:sample_start": "0", "core:sample_count": None}, 3]},
        {"annotations": {"core:sample_count": 9}},
        {"captures": {"core:frequency": 1e9}},
        {"captures": ["here"]},
    ],
)
def test_entries_of_other_types_describe_nothing(tmp_path, meta):
    # Such entries describe no samples and no centre: the data is read as it is.
    path = _write_plain(tmp_path, "ci16_le", b"\0" * 8, **{"gensignal:samples": "5", "core:sha512": 7})
    written = json.loads(path.read_text())
    path.write_text(json.dumps(dict(written, **meta)))
    wf = gensignal.read_sigmf(path)
    assert (len(wf), wf.center_frequency) == (2, None)


@pytest.mark.parametrize(
    "glob, reason",
    [
        ({"gensignal:repeat": "2"}, 'gensignal:repeat "2" is not a whole number from 1 up'),
        ({"gensignal:repeat": 0}, "gensignal:repeat 0 is not"),
        ({"core:sample_rate": "fast"}, "no core:sample_rate"),
    ],
)
def test_metadata_refused_as_wavegen_refuses_it(tmp_path, glob, reason):
    with pytest.raises(gensignal.SigMFError, match=reason):
        gensignal.read_sigmf(_write_plain(tmp_path, "ci16_le", b"\0" * 8, **glob))


def test_truncated_data_of_a_written_recording(tmp_path):
    gensignal.am().to_sigmf(tmp_path / "a")
    data = (tmp_path / "a.sigmf-data").read_bytes()
    (tmp_path / "a.sigmf-data").write_bytes(data[:-4])
    with pytest.raises(gensignal.SigMFError, match="truncated"):
        gensignal.read_sigmf(tmp_path / "a.sigmf-data")


def test_reads_wavegens_files(wavegen, tmp_path):
    assert wavegen(*wavegen_args("digital", KIND_CASES["digital"]), "-o", "w").returncode == 0
    wf = gensignal.read_sigmf(tmp_path / "w.sigmf-meta")
    np.testing.assert_array_equal(wf.iq, gensignal.digital(**KIND_CASES["digital"]).iq)
    assert wf.params["modType"] == "psk8" and wf.params["symbolCount"] == 64


@pytest.mark.parametrize(
    "writer, name, files",
    [
        ("to_raw", "x", ["x.raw"]),
        ("to_raw", "x.raw", ["x.raw"]),
        ("to_raw", "x.wav", ["x.wav.raw"]),
        ("to_wav", "b", ["b.wav"]),
        ("to_cf32", "b.cf32", ["b.cf32"]),
        ("to_sigmf", "s.sigmf-meta", ["s.sigmf-data", "s.sigmf-meta"]),
        ("to_sigmf", "s.sigmf", ["s.sigmf-data", "s.sigmf-meta"]),
    ],
)
def test_writers_name_files_as_wavegen_does(writer, name, files, wavegen, tmp_path):
    fmt = {"to_raw": "raw", "to_wav": "wav", "to_cf32": "cf32", "to_sigmf": "sigmf"}[writer]
    (tmp_path / "w").mkdir()
    (tmp_path / "p").mkdir()
    assert wavegen("am", "--format", fmt, "-o", f"w/{name}").returncode == 0
    written = getattr(gensignal.am(), writer)(tmp_path / "p" / name)
    assert written == str(tmp_path / "p" / files[0])
    assert sorted(f.name for f in (tmp_path / "w").iterdir()) == sorted(files)
    for f in files:
        assert (tmp_path / "p" / f).read_bytes() == (tmp_path / "w" / f).read_bytes(), f


def test_cf32_scale_32768_matches_wavegens_and_a_sigmf_readers_view(wavegen, tmp_path):
    assert wavegen("am", "--format", "cf32", "--cf32-scale", "32768", "-o", "w").returncode == 0
    wf = gensignal.am()
    wf.to_cf32(tmp_path / "p", scale=32768)
    assert (tmp_path / "p.cf32").read_bytes() == (tmp_path / "w.cf32").read_bytes()
    # What a reader that scales ci16_le by 1/32768 sees.
    view = (wf.iq[:, 0] / 32768.0).astype(np.float32) + 1j * (wf.iq[:, 1] / 32768.0).astype(np.float32)
    np.testing.assert_array_equal(np.fromfile(tmp_path / "p.cf32", dtype="<c8"), view.astype(np.complex64))


def test_repeat_is_wavegens(wavegen, tmp_path):
    assert (
        wavegen(*wavegen_args("dss", KIND_CASES["dss"]), "--repeat", "4", "--format", "raw", "-o", "w").returncode == 0
    )
    wf = gensignal.dss(**KIND_CASES["dss"])
    looped = wf.repeated(4)
    assert looped.repeat == 4 and len(looped) == 4 * len(wf)
    assert looped.to_raw(tmp_path / "p") and (tmp_path / "p.raw").read_bytes() == (tmp_path / "w.raw").read_bytes()
    assert looped.occupied_band() == wf.occupied_band()


def test_a_failed_metadata_file_takes_its_data_file_along(tmp_path):
    (tmp_path / "m.sigmf-meta").mkdir()
    with pytest.raises(IsADirectoryError):
        gensignal.am().to_sigmf(tmp_path / "m")
    assert not (tmp_path / "m.sigmf-data").exists() and (tmp_path / "m.sigmf-meta").is_dir()
