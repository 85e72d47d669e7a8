"""`wavegen measure FILE` and gensignal.measure agree: on files from
elsewhere (written by numpy, Python's wave module, cf32 without a record),
on wavegen's own SigMF (EVM against its record, the numbers the metadata
holds), with the same keys; bad and truncated files exit 2 naming the file
and the fault."""
import hashlib
import json
import math
import wave

import numpy as np
import pytest

import gensignal

KEYS = {
    "samples",
    "sample_rate",
    "peak_dbfs",
    "rms_dbfs",
    "papr_db",
    "ccdf_db",
    "obw_hz",
    "obw_lower_hz",
    "obw_upper_hz",
    "acpr_db",
    "sfdr_db",
    "seam_ratio",
    "seam_prediction",
    "evm_percent",
    "evm_peak_percent",
    "mer_db",
}


def measured_json(wavegen, *args):
    done = wavegen("measure", *args, "--json")
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


def noise_iq(n=5000, seed=3):
    rng = np.random.default_rng(seed)
    return np.clip(np.rint(rng.normal(size=(n, 2)) * 6000), -32768, 32767).astype(np.int16)


def write_raw(tmp_path):
    iq = noise_iq()
    iq.astype("<i2").tofile(tmp_path / "n.raw")
    return "n.raw", ["--sample-rate", "250000"], iq, 250000.0


def write_cf32(tmp_path):
    x = (noise_iq(4001, 4) / 32767.0).astype(np.float32)
    x.tofile(tmp_path / "c.cf32")
    return "c.cf32", ["--sample-rate", "1e6"], x[:, 0] + 1j * x[:, 1], 1e6


def write_wav(tmp_path):
    iq = noise_iq(3000, 5)
    with wave.open(str(tmp_path / "w.wav"), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(iq.astype("<i2").tobytes())
    return "w.wav", [], iq, 48000.0


def write_plain_sigmf(tmp_path):
    iq = noise_iq(2048, 6)
    data = iq.astype("<i2").tobytes()
    (tmp_path / "p.sigmf-data").write_bytes(data)
    meta = {
        "global": {
            "core:datatype": "ci16_le",
            "core:sample_rate": 2e6,
            "core:version": "1.0.0",
            "core:sha512": hashlib.sha512(data).hexdigest(),
        },
        "captures": [],
        "annotations": [],
    }
    (tmp_path / "p.sigmf-meta").write_text(json.dumps(meta))
    return "p.sigmf-meta", [], iq, 2e6


@pytest.mark.parametrize("writer", [write_raw, write_cf32, write_wav, write_plain_sigmf])
def test_files_from_elsewhere(writer, wavegen, tmp_path):
    name, args, array, rate = writer(tmp_path)
    from_wavegen = measured_json(wavegen, name, *args)
    assert set(from_wavegen) == KEYS
    assert set(from_wavegen["ccdf_db"]) == {"1e-1", "1e-2", "1e-3", "1e-4"}
    assert set(from_wavegen["acpr_db"]) == {"lower", "upper"}
    assert from_wavegen == gensignal.measure(array, sample_rate=rate).to_dict()
    assert from_wavegen["evm_percent"] is None and from_wavegen["samples"] == len(array)
    # Noise: PAPR of a complex Gaussian around 10 dB for these lengths.
    assert 6 < from_wavegen["papr_db"] < 14


@pytest.mark.parametrize("kind", ["digital", "dss", "ofdm", "am", "pulse"])
def test_wavegens_own_recordings(kind, wavegen, tmp_path):
    # The defaults: the digital and spread-spectrum ones are not resampled.
    assert wavegen(kind, "-o", "r").returncode == 0
    meta = json.loads((tmp_path / "r.sigmf-meta").read_text())
    expected = gensignal.read_sigmf(tmp_path / "r.sigmf-meta").measure().to_dict()
    for name in ("r", "r.sigmf-meta", "r.sigmf-data"):
        assert measured_json(wavegen, name) == expected
    assert meta["global"]["gensignal:measured"] == expected
    annotation = meta["annotations"][0]
    assert (annotation["core:freq_lower_edge"], annotation["core:freq_upper_edge"]) == (
        expected["obw_lower_hz"],
        expected["obw_upper_hz"],
    )
    has_evm = kind in ("digital", "dss", "ofdm")
    assert (expected["evm_percent"] is not None) == has_evm


def test_options_are_pythons_keywords(wavegen, tmp_path):
    assert wavegen("-o", "d").returncode == 0
    args = ["--channel-bandwidth", "1e6", "--channel-spacing", "1.5e6", "--obw-percent", "95"]
    from_python = gensignal.read_sigmf(tmp_path / "d.sigmf-meta").measure(
        channel_bandwidth=1e6, channel_spacing=1.5e6, obw_percent=95
    )
    assert measured_json(wavegen, "d", *args) == from_python.to_dict()
    assert from_python.channel_bandwidth_hz == 1e6 and from_python.obw_percent == 95
    table = wavegen("measure", "d")
    assert table.returncode == 0
    for words in ("PAPR", "CCDF 1e-4", "occupied band", "ACPR", "SFDR", "seam ratio", "EVM", "MER"):
        assert words in table.stdout


def test_summary_line_has_papr_and_band(wavegen):
    done = wavegen("-o", "d")
    assert "PAPR" in done.stdout and "at 1e-4" in done.stdout and "99 % band" in done.stdout


def test_cf32_recording_measures_its_floats(wavegen, tmp_path):
    assert wavegen("ofdm", "-o", "o", "--format", "cf32").returncode == 0
    x = np.fromfile(tmp_path / "o.cf32", dtype=np.complex64)
    assert measured_json(wavegen, "o.cf32", "--sample-rate", "20e6") == gensignal.measure(x, sample_rate=20e6).to_dict()


def _sigmf(tmp_path, wavegen):
    assert wavegen("-o", "s").returncode == 0
    return json.loads((tmp_path / "s.sigmf-meta").read_text())


def _bad(case, tmp_path, wavegen):
    """Makes the bad file of `case`; returns the arguments that measure it."""
    if case == "odd raw":
        (tmp_path / "b.raw").write_bytes(b"\x01\x02\x03\x04\x05\x06")
        return ["b.raw", "--sample-rate", "1000"]
    if case == "empty raw":
        (tmp_path / "b.raw").write_bytes(b"")
        return ["b.raw", "--sample-rate", "1000"]
    if case == "raw without rate":
        (tmp_path / "b.raw").write_bytes(b"\x00" * 8)
        return ["b.raw"]
    if case == "missing":
        return ["nowhere.raw", "--sample-rate", "1000"]
    if case == "unknown suffix":
        (tmp_path / "b.iq").write_bytes(b"\x00" * 8)
        return ["b.iq"]
    if case == "nan in cf32":
        np.array([0.5, 0.5, np.nan, 0.1], dtype=np.float32).tofile(tmp_path / "b.cf32")
        return ["b.cf32", "--sample-rate", "1000"]
    if case == "truncated sigmf":
        _sigmf(tmp_path, wavegen)
        data = (tmp_path / "s.sigmf-data").read_bytes()
        (tmp_path / "s.sigmf-data").write_bytes(data[: len(data) // 2])
        return ["s"]
    if case == "sha mismatch":
        _sigmf(tmp_path, wavegen)
        data = bytearray((tmp_path / "s.sigmf-data").read_bytes())
        data[100] ^= 1
        (tmp_path / "s.sigmf-data").write_bytes(bytes(data))
        return ["s"]
    if case == "not json":
        _sigmf(tmp_path, wavegen)
        (tmp_path / "s.sigmf-meta").write_text("{ nope")
        return ["s.sigmf-meta"]
    if case == "datatype":
        meta = _sigmf(tmp_path, wavegen)
        meta["global"]["core:datatype"] = "cu8"
        (tmp_path / "s.sigmf-meta").write_text(json.dumps(meta))
        return ["s"]
    if case == "bad record":
        meta = _sigmf(tmp_path, wavegen)
        meta["global"]["gensignal:pnOrder"] = 40
        (tmp_path / "s.sigmf-meta").write_text(json.dumps(meta))
        return ["s"]
    if case == "record field of text":
        meta = _sigmf(tmp_path, wavegen)
        meta["global"]["gensignal:symbolRate"] = "fast"
        (tmp_path / "s.sigmf-meta").write_text(json.dumps(meta))
        return ["s"]
    if case == "rate for sigmf":
        _sigmf(tmp_path, wavegen)
        return ["s", "--sample-rate", "1e6"]
    if case == "truncated wav":
        assert wavegen("am", "-o", "w", "--format", "wav").returncode == 0
        data = (tmp_path / "w.wav").read_bytes()
        (tmp_path / "w.wav").write_bytes(data[:-10])
        return ["w.wav"]
    if case == "mono wav":
        with wave.open(str(tmp_path / "w.wav"), "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(8000)
            w.writeframes(b"\x00\x01" * 10)
        return ["w.wav"]
    raise AssertionError(case)


BAD = {
    "odd raw": ("b.raw", "not a whole number of int16 I/Q samples"),
    "empty raw": ("b.raw", "holds no samples"),
    "raw without rate": ("b.raw", "give --sample-rate"),
    "missing": ("nowhere.raw", "cannot be read"),
    "unknown suffix": ("b.iq", "not a file wavegen reads"),
    "nan in cf32": ("b.cf32", "value 2 is nan"),
    "truncated sigmf": ("s.sigmf-data", "the metadata describes 8000; truncated?"),
    "sha mismatch": ("s.sigmf-data", "SHA-512 does not match"),
    "not json": ("s.sigmf-meta", "not JSON"),
    "datatype": ("s.sigmf-meta", 'core:datatype "cu8" is not read'),
    "bad record": ("s.sigmf-data", "DigitalModParams.pnOrder = 40: must be 4 to 32"),
    "record field of text": ("s.sigmf-meta", "gensignal:symbolRate is not a number"),
    "rate for sigmf": ("s.sigmf-data", "states its own rate"),
    "truncated wav": ("w.wav", "truncated?"),
    "mono wav": ("w.wav", "1 channels"),
}


@pytest.mark.parametrize("case", sorted(BAD))
def test_bad_files_exit_2_naming_file_and_fault(case, wavegen, tmp_path):
    args = _bad(case, tmp_path, wavegen)
    done = wavegen("measure", *args)
    file, fault = BAD[case]
    assert done.returncode == 2, done.stderr
    assert done.stdout == ""
    assert file in done.stderr and fault in done.stderr, done.stderr


def test_python_refusals():
    wf = gensignal.am()
    with pytest.raises(TypeError, match="sample_rate is the waveform's own"):
        gensignal.measure(wf, sample_rate=1e3)
    with pytest.raises(TypeError, match="needs sample_rate"):
        gensignal.measure(np.zeros(4, np.complex64))
    with pytest.raises(TypeError, match="unexpected keyword argument 'bandwidth'"):
        wf.measure(bandwidth=3)
    with pytest.raises(gensignal.GenSignalError, match="obwPercent = 120"):
        wf.measure(obw_percent=120)
    with pytest.raises(gensignal.GenSignalError, match="sampleRate = nan"):
        gensignal.measure(np.zeros((4, 2), np.int16), sample_rate=math.nan)
    with pytest.raises(TypeError, match="float64"):
        gensignal.measure(np.zeros(8), sample_rate=1e3)


def test_ccdf_curve_and_constellation():
    wf = gensignal.digital(mod_type="qam16", symbol_count=500)
    m = wf.measure()
    probabilities, levels = m.ccdf_curve
    assert probabilities[0] == pytest.approx(0.9) and probabilities[-1] == pytest.approx(1 / len(wf))
    assert np.all(np.diff(levels) >= 0)  # rarer levels lie higher
    assert levels[-1] <= m.papr_db
    from gensignal._measurement import constellation

    received, references, status = constellation(wf)
    assert status == "measured" and len(received) == len(references) == 500
    error = np.sqrt(np.sum(np.abs(received - references) ** 2) / np.sum(np.abs(references) ** 2))
    assert 100 * error == pytest.approx(m.evm_percent, rel=1e-9)
    assert constellation(gensignal.am())[2] == "none defined for this kind"
