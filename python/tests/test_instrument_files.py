"""The instrument formats: wavegen's and the package's files read by an
independent reader written from the documentation (wv_reference), levels,
checksums, markers, round trips and refusals; the instrument families."""
import json
import math

import numpy as np
import pytest

import gensignal
from gensignal import instruments
from gensignal import InstrumentFileError
from conftest import KIND_CASES, wavegen_args
import wv_reference as ref


def levels(values):
    """RMS and peak magnitudes of int16 I/Q pairs, measured here."""
    i, q = np.asarray(values[0::2], float), np.asarray(values[1::2], float)
    power = i * i + q * q
    return math.sqrt(power.mean()), math.sqrt(power.max())


def expected_period_starts(samples, periods, every):
    return [-(-j * samples // periods) for j in range(0, periods, every)]


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_wv_of_every_kind_reads_back_by_the_documentation(kind, wavegen, tmp_path):
    args = wavegen_args(kind, KIND_CASES[kind])
    markers = ["--marker", "1:start:3", "--marker", "4:period:1"]
    assert wavegen(*args, "--format", "wv", "-o", "w", *markers).returncode == 0
    assert wavegen(*args, "--format", "raw", "-o", "w").returncode == 0
    assert wavegen(*args, "-o", "w").returncode == 0
    raw = (tmp_path / "w.raw").read_bytes()
    tags, payload = ref.read_tagged((tmp_path / "w.wv").read_bytes())
    n = len(raw) // 4
    assert payload == raw  # byte for byte the library's buffer
    magic, stated = tags["TYPE"].split(",")
    assert magic == "SMU-WV" and int(stated) == ref.checksum(payload)
    assert float(tags["CLOCK"]) == KIND_CASES[kind]["sample_rate"]
    assert int(tags["SAMPLES"]) == n and int(tags["CONTROL LENGTH"]) == n
    rms, peak = levels(ref.samples_le(payload))
    rms_offset, peak_offset = (float(x) for x in tags["LEVEL OFFS"].split(","))
    assert abs(rms_offset - -20 * math.log10(rms / 32767)) < 0.01
    assert abs(peak_offset - -20 * math.log10(peak / 32767)) < 0.01
    assert ref.marker_states(tags["MARKER LIST 1"], n) == [1, 1, 1] + [0] * (n - 3)
    loop = json.loads((tmp_path / "w.sigmf-meta").read_text())["global"]["gensignal:loop"]
    states = ref.marker_states(tags["MARKER LIST 4"], n)
    if loop["whole_periods"]:
        starts = set(expected_period_starts(n, loop["periods"], 1))
    else:
        starts = {math.ceil(j * loop["samples_per_period"]) for j in range(loop["periods"])}
    assert [s for s in range(n) if states[s]] == sorted(s for s in starts if s < n)


def test_exact_loops_at_instrument_rates_mark_every_other_period(wavegen, tmp_path):
    args = ["digital", "--symbol-rate", "3.84e6", "--symbol-count", "40", "--sample-rate", "30.72e6", "--loop", "exact"]
    assert wavegen(*args, "--format", "iqbin", "-o", "d", "--marker", "2:period:2").returncode == 0
    assert wavegen(*args, "--format", "raw", "-o", "d").returncode == 0
    raw = (tmp_path / "d.raw").read_bytes()
    data = (tmp_path / "d.iqbin").read_bytes()
    assert ref.samples_be(data) == list(np.frombuffer(raw, "<i2"))
    marks = (tmp_path / "d.marker").read_bytes()
    assert len(marks) == len(raw) // 4
    assert all(byte & 0xF0 == 0 for byte in marks)  # the reserved bits
    line = ref.marker_file_states(marks, 2)
    assert all(ref.marker_file_states(marks, other) == [0] * len(marks) for other in (1, 3, 4))
    meta_args = [*args, "-o", "d"]
    assert wavegen(*meta_args).returncode == 0
    loop = json.loads((tmp_path / "d.sigmf-meta").read_text())["global"]["gensignal:loop"]
    assert loop["whole_periods"]
    assert [s for s, v in enumerate(line) if v] == expected_period_starts(len(marks), loop["periods"], 2)


def test_the_package_writes_wavegens_bytes(wavegen, tmp_path):
    kwargs = KIND_CASES["multitone"]
    args = [
        *wavegen_args("multitone", kwargs),
        "--loop",
        "exact",
        "--repeat",
        "3",
        "--datetime",
        "2026-06-22T12:00:00Z",
        "--marker",
        "1:start:2",
        "--marker",
        "3:period:2",
    ]
    assert wavegen(*args, "--format", "wv", "-o", "m").returncode == 0
    assert wavegen(*args, "--format", "iqbin", "-o", "m").returncode == 0
    wf = gensignal.multitone(**kwargs, loop="exact").repeated(3)
    marks = ["1:start:2", "3:period:2"]
    wf.to_wv(tmp_path / "p", markers=marks, datetime="2026-06-22T12:00:00Z")
    wf.to_iqbin(tmp_path / "p", markers=marks)
    for suffix in (".wv", ".iqbin", ".marker"):
        assert (tmp_path / ("p" + suffix)).read_bytes() == (tmp_path / ("m" + suffix)).read_bytes(), suffix
    tags, payload = ref.read_tagged((tmp_path / "p.wv").read_bytes())
    assert int(tags["SAMPLES"]) == 3 * int(tags["CONTROL LENGTH"])  # the lists repeat with the buffer
    assert tags["DATE"] == "2026-06-22;12:00:00"
    assert not list(tmp_path.glob("*.partial"))


def test_files_round_trip_through_both_readers(wavegen, tmp_path):
    wf = gensignal.ofdm(**KIND_CASES["ofdm"])
    wf.to_wv(tmp_path / "o", markers=["2:start:10"])
    wf.to_iqbin(tmp_path / "o", markers=["1:start"])
    back = gensignal.read_wv(tmp_path / "o.wv")
    assert np.array_equal(back.iq, wf.iq) and back.sample_rate == wf.sample_rate
    assert back.markers == {2: [(0, 10)]}
    other = gensignal.read_iqbin(tmp_path / "o.iqbin", wf.sample_rate)
    assert np.array_equal(other.iq, wf.iq) and other.markers == {1: [(0, 1)]}
    for name, extra in (("o.wv", []), ("o.iqbin", ["--sample-rate", "2e6"])):
        done = wavegen("measure", name, "--json", *extra)
        assert done.returncode == 0, done.stderr
        assert json.loads(done.stdout)["samples"] == len(wf)
    done = wavegen("measure", "o.iqbin")
    assert done.returncode == 2 and "give --sample-rate" in done.stderr


def _spoil(path, at, byte):
    data = bytearray(path.read_bytes())
    data[at] = byte
    path.write_bytes(bytes(data))


@pytest.mark.parametrize(
    "fault, says",
    [
        ("checksum", "does not match"),
        ("truncated", "truncated?"),
        ("samples", "SAMPLES"),
        ("marker file", "marker bytes"),
    ],
)
def test_spoiled_files_are_refused_by_both_readers(fault, says, wavegen, tmp_path):
    wf = gensignal.am(**KIND_CASES["am"])
    wf.to_wv(tmp_path / "a")
    wf.to_iqbin(tmp_path / "a", markers=["1:start"])
    wv, name, extra = tmp_path / "a.wv", "a.wv", []
    if fault == "checksum":
        _spoil(wv, len(wv.read_bytes()) - 3, 0x55)
    elif fault == "truncated":
        wv.write_bytes(wv.read_bytes()[:-9])
    elif fault == "samples":
        wv.write_bytes(wv.read_bytes().replace(b"{SAMPLES: 32}", b"{SAMPLES: 33}"))
    else:
        (tmp_path / "a.marker").write_bytes(b"\x01" * 5)
        name, extra = "a.iqbin", ["--sample-rate", "8000"]
    done = wavegen("measure", name, *extra)
    assert done.returncode == 2 and says in done.stderr, done.stderr
    with pytest.raises(InstrumentFileError, match=says.replace("?", r"\?")):
        if name.endswith(".wv"):
            gensignal.read_wv(tmp_path / name)
        else:
            gensignal.read_iqbin(tmp_path / name, 8000)


def test_a_marker_file_of_an_earlier_waveform_goes(wavegen, tmp_path):
    assert wavegen("am", "--format", "iqbin", "-o", "x", "--marker", "1:start").returncode == 0
    assert (tmp_path / "x.marker").exists()
    done = wavegen("am", "--format", "iqbin", "-o", "x")
    assert done.returncode == 0 and "removed x.marker" in done.stderr
    assert not (tmp_path / "x.marker").exists()


def test_a_failed_write_leaves_the_earlier_files(wavegen, tmp_path):
    assert wavegen("am", "--format", "iqbin", "-o", "x", "--marker", "1:start").returncode == 0
    (tmp_path / "x.marker").unlink()
    (tmp_path / "x.marker").mkdir()  # the marker file cannot be made

    def files():
        return {p.name: (p.read_bytes() if p.is_file() else "folder") for p in tmp_path.iterdir()}

    before = files()
    done = wavegen("fm", "--format", "iqbin", "-o", "x", "--marker", "1:start")
    assert done.returncode == 1 and "cannot write x.marker" in done.stderr
    assert files() == before


def test_markers_are_refused_where_no_periods_or_lines_fit():
    wf = gensignal.am(**KIND_CASES["am"])
    for bad in ("5:start", "1:period:0", "1:bursts", "1:bursts:2", "1:stop"):
        with pytest.raises(gensignal.GenSignalError):
            wf.to_wv("unused", markers=[bad])
    with pytest.raises(gensignal.GenSignalError, match="given twice"):
        wf.to_wv("unused", markers=["1:start", "1:period:1"])


@pytest.mark.parametrize("name", instruments.names())
def test_each_instrument_family_maps_to_the_three_length_options(name):
    entry = instruments.TABLE[name]
    assert entry["source"] and entry["family"]
    assert [number for number, _ in instruments.options(name)] == [6, 7, 8]
    g, low, high = (int(value) for _, value in instruments.options(name))
    assert g >= 1 and low >= 0 and (high == 0 or high >= low)
    shortest = max(-(-low // g) * g, g)
    assert instruments.accepts(name, shortest)
    assert not instruments.accepts(name, shortest - g)
    if g > 1:
        assert not instruments.accepts(name, shortest + 1)
    if high:
        assert instruments.accepts(name, high // g * g)
        assert not instruments.accepts(name, high // g * g + g)


def test_wavegen_knows_the_same_families(wavegen):
    done = wavegen("am", "--instrument", "nosuch")
    assert done.returncode == 2
    assert done.stderr.strip().endswith("expected one of " + ", ".join(instruments.names()))
