"""Scenes from Python: the labels as the C API gives them, the same bytes as
wavegen's scene, refusals that name the part, and the spectrogram with a box
per burst."""
import json
import pathlib
import subprocess
import warnings

import numpy as np
import pytest

import gensignal
from conftest import WAVEGEN
from gensignal import plotting

PARTS = [
    dict(
        kind="digital",
        mod_type="qpsk",
        symbol_rate=50e3,
        samples_per_symbol=4,
        filter_type="rrcos",
        symbol_count=500,
        frequency_offset=-200e3,
        label="qpsk",
    ),
    dict(
        kind="multitone",
        tone_count=4,
        tone_spacing=10e3,
        frequency_offset=250e3,
        level_db=-6,
        burst_on=2e-3,
        burst_off=3e-3,
        burst_start=1e-3,
        burst_ramp=1e-4,
    ),
]


def test_labels_and_report_come_back_with_the_waveform():
    wf = gensignal.scene(PARTS, sample_rate=1e6, cfr=5.5, loop_mode="exact")
    assert isinstance(wf, gensignal.Waveform)
    whole = [p for p in wf.parts if p["burst"] < 0]
    bursts = [p for p in wf.parts if p["burst"] >= 0]
    assert [p["label"] for p in whole] == ["qpsk", "multitone"]
    assert all(p["sample_count"] == len(wf) for p in whole)
    # 2 ms on of every 5 ms from 1 ms: starts 1, 6, ... ms within the loop.
    assert [(p["sample_start"], p["sample_count"]) for p in bursts] == [
        (1000 + 5000 * k, 2000) for k in range(len(wf) // 5000)
    ]
    assert whole[0]["freq_upper_edge"] < 0 < whole[1]["freq_lower_edge"]
    assert wf.scene_report["papr_after_db"] <= 5.5 < wf.scene_report["papr_before_db"]
    assert all(0 < p["evm_cost_percent"] < 10 for p in wf.parts)
    # The other method, by name, with its dip's length.
    windowed = gensignal.scene(
        PARTS, sample_rate=1e6, cfr={"target_papr_db": 5.5, "method": "peak_window", "window_s": 3.3e-5}
    )
    assert windowed.scene_report["papr_after_db"] <= 5.5 < windowed.scene_report["papr_before_db"]
    assert not np.array_equal(windowed.iq[: len(wf.iq)], wf.iq[: len(windowed.iq)])


def test_the_same_bytes_as_wavegen_scene(tmp_path):
    if not pathlib.Path(WAVEGEN).exists():
        pytest.skip("wavegen not built")
    scene = {"sample_rate": 1e6, "parts": PARTS, "cfr": {"target_papr_db": 6}}
    (tmp_path / "s.json").write_text(json.dumps(scene))
    subprocess.run([WAVEGEN, "scene", "s.json", "-o", "s"], cwd=tmp_path, check=True, capture_output=True)
    written = np.fromfile(tmp_path / "s.sigmf-data", dtype="<i2").reshape(-1, 2)
    with pytest.warns(UserWarning):  # the parts' resamplers do not wrap in the defined mode
        wf = gensignal.scene(PARTS, sample_rate=1e6, cfr=6)
    assert np.array_equal(written, wf.iq)
    # Noise parts under a seed: the same draws in both hosts.
    noisy = {"sample_rate": 1e6, "parts": PARTS + [dict(kind="awgn", bandwidth=5e4, duration=1e-2)], "noise_seed": 9}
    (tmp_path / "n.json").write_text(json.dumps(noisy))
    subprocess.run([WAVEGEN, "scene", "n.json", "-o", "n"], cwd=tmp_path, check=True, capture_output=True)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        made = gensignal.scene(noisy["parts"], sample_rate=1e6, noise_seed=9)
    assert np.array_equal(np.fromfile(tmp_path / "n.sigmf-data", dtype="<i2").reshape(-1, 2), made.iq)
    meta = json.loads((tmp_path / "s.sigmf-meta").read_text())
    assert len(meta["annotations"]) == 1 + sum(p["burst"] >= 0 for p in wf.parts)
    with pytest.warns(UserWarning):
        again = gensignal.read_sigmf(tmp_path / "s").regenerate()
    assert np.array_equal(again.iq, written)


@pytest.mark.parametrize(
    "parts, cfr, says",
    [
        ([dict(kind="tone")], None, "parts[0].kind = 'tone'"),
        ([dict(kind="am", level_db="high")], None, "parts[0].level_db = 'high'"),
        ([dict(kind="am", loop="sometimes")], None, "parts[0].loop = 'sometimes'"),
        ([dict(kind="am", mod_shape=9)], None, "GenSignalScene.parts[0] (GenerateAmWaveform)"),
        ([dict(kind="am", frequency_offset=1e7)], None, "GenSignalScene.parts[0].frequencyOffset"),
        ([dict(kind="am")], {"target_papr_db": 3, "target": 1}, "cfr: ['target'] not settings"),
        ([dict(kind="am")], {"target_papr_db": 3, "method": "round"}, "cfr.method = 'round': expected one of"),
        ([dict(kind="am")], {"target_papr_db": 3, "method": "peak_window", "window_s": 1e-6}, "cfrWindow = 1e-06"),
        ([dict(kind="am", channel={"snr": 3})], None, "parts[0].channel: Channel() got an unexpected keyword"),
        ([dict(kind="am", channel={"snr_db": 3, "cn_db": 4})], None, "parts[0].channel: snr_db, cn_db"),
    ],
)
def test_refusals_name_the_part(parts, cfr, says):
    with pytest.raises(gensignal.GenSignalError) as e:
        gensignal.scene(parts, sample_rate=1e6, cfr=cfr)
    assert says in str(e.value)


def test_the_spectrogram_draws_a_box_per_burst(tmp_path):
    wf = gensignal.scene(PARTS, sample_rate=1e6, loop_mode="exact")
    fig = plotting.scene_spectrogram(wf, tmp_path / "scene.png")
    ax = fig.axes[0]
    boxes = [p for p in ax.patches]
    assert len(boxes) == 1 + sum(p["burst"] >= 0 for p in wf.parts)
    assert {t.get_text().strip() for t in ax.texts} == {"qpsk", "multitone"}
    assert (tmp_path / "scene.png").stat().st_size > 10000
    with pytest.raises(ValueError):
        plotting.scene_spectrogram(gensignal.am())


def test_to_sigmf_records_the_scene_and_regenerate_gives_the_same_bytes(tmp_path):
    parts = [dict(PARTS[0], channel={"snr_db": 25, "cfo_hz": 100, "channel_seed": 7}), PARTS[1]]
    wf = gensignal.scene(parts, sample_rate=1e6, cfr=6, loop_mode="exact", channel={"iq_gain_db": 0.3})
    wf.to_sigmf(tmp_path / "s")
    meta = json.loads((tmp_path / "s.sigmf-meta").read_text())
    assert meta["global"]["gensignal:scene"]["parts"][0]["channel"]["snr_db"] == 25
    notes = meta["annotations"]
    assert len(notes) == 1 + sum(p["burst"] >= 0 for p in wf.parts)
    assert all(n["signal:detail"]["mod_class"] == "psk" for n in notes if n["gensignal:part"] == 0)
    assert not any("signal:detail" in n for n in notes if n["gensignal:part"] == 1)
    again = gensignal.read_sigmf(tmp_path / "s").regenerate()
    assert np.array_equal(again.iq, wf.iq)
    # The channels count: without them the bytes differ.
    plain = gensignal.scene(PARTS, sample_rate=1e6, cfr=6, loop_mode="exact")
    assert not np.array_equal(plain.iq, wf.iq)


def test_to_sigmf_writes_what_wavegen_scene_writes(tmp_path):
    if not pathlib.Path(WAVEGEN).exists():
        pytest.skip("wavegen not built")
    parts = [dict(PARTS[0], channel={"snr_db": 30, "channel_seed": 2}), PARTS[1]]
    (tmp_path / "s.json").write_text(json.dumps({"sample_rate": 1e6, "parts": parts}))
    subprocess.run(
        [WAVEGEN, "scene", "s.json", "-o", "w", "--loop", "exact"], cwd=tmp_path, check=True, capture_output=True
    )
    gensignal.scene(parts, sample_rate=1e6, loop_mode="exact").to_sigmf(tmp_path / "p")
    written = json.loads((tmp_path / "w.sigmf-meta").read_text())
    ours = json.loads((tmp_path / "p.sigmf-meta").read_text())
    assert (tmp_path / "w.sigmf-data").read_bytes() == (tmp_path / "p.sigmf-data").read_bytes()
    assert ours["annotations"] == written["annotations"]
    assert ours["global"]["gensignal:scene_report"] == written["global"]["gensignal:scene_report"]
    assert ours["global"]["gensignal:labels"] == written["global"]["gensignal:labels"]
    assert gensignal.read_sigmf(tmp_path / "w").parts == gensignal.read_sigmf(tmp_path / "p").parts


@pytest.mark.parametrize("centre, repeat", [(None, 1), (2.4e9 + 0.1, 1), (915e6, 3)])
def test_read_sigmf_gives_the_labels_and_report_back(tmp_path, centre, repeat):
    wf = gensignal.scene(PARTS, sample_rate=1e6, cfr=5.5, loop_mode="exact")
    wf = wf.repeated(repeat) if repeat > 1 else wf
    wf.to_sigmf(tmp_path / "s", center_frequency=centre)
    back = gensignal.read_sigmf(tmp_path / "s")
    # All of them, the bursting part's whole-part label too, and the edges
    # as made even where the annotations shift them to RF.
    assert any(p["burst"] < 0 and p["part"] == 1 for p in back.parts)
    assert back.parts == wf.parts
    assert back.scene_report == wf.scene_report
    assert np.array_equal(back.regenerate().iq, wf.iq)


def test_a_recording_without_the_labels_key_gives_its_annotated_labels(tmp_path):
    wf = gensignal.scene(PARTS, sample_rate=1e6, loop_mode="exact")
    wf.to_sigmf(tmp_path / "s")
    meta_path = tmp_path / "s.sigmf-meta"
    meta = json.loads(meta_path.read_text())
    del meta["global"]["gensignal:labels"]  # as earlier versions write it
    meta_path.write_text(json.dumps(meta))
    back = gensignal.read_sigmf(tmp_path / "s")
    annotated = [p for p in wf.parts if (p["part"] == 1) == (p["burst"] >= 0)]
    assert len(annotated) == len(wf.parts) - 1
    assert back.parts == annotated
    assert back.scene_report == wf.scene_report
    # Spoiled metadata is refused by name, never a TypeError from inside.
    meta["annotations"][0]["core:freq_lower_edge"] = "low"
    meta_path.write_text(json.dumps(meta))
    with pytest.raises(gensignal.SigMFError, match=r"annotations\[0\].core:freq_lower_edge"):
        gensignal.read_sigmf(tmp_path / "s")
    meta["global"]["gensignal:labels"] = {"part": 0}
    meta_path.write_text(json.dumps(meta))
    with pytest.raises(gensignal.SigMFError, match="gensignal:labels"):
        gensignal.read_sigmf(tmp_path / "s")


def test_recordings_that_are_no_scene_have_no_labels(tmp_path):
    gensignal.am(sample_rate=8000).to_sigmf(tmp_path / "am")
    iq = np.zeros((64, 2), dtype="<i2")
    (tmp_path / "f.sigmf-data").write_bytes(iq.tobytes())
    foreign = {
        "global": {"core:datatype": "ci16_le", "core:sample_rate": 1e6, "core:version": "1.2.0"},
        "captures": [{"core:sample_start": 0, "core:frequency": 1e8}],
        "annotations": [{"core:sample_start": 0, "core:sample_count": 64, "core:label": "x", "gensignal:part": 0}],
    }
    (tmp_path / "f.sigmf-meta").write_text(json.dumps(foreign))
    for name in ("am", "f"):
        back = gensignal.read_sigmf(tmp_path / name)
        assert back.parts is None and back.scene_report is None


def test_a_bursts_marker_is_high_while_a_burst_is_on(tmp_path):
    wf = gensignal.scene(PARTS, sample_rate=1e6, loop_mode="exact")
    wf.to_iqbin(tmp_path / "s", markers=["2:bursts"])
    marks = np.fromfile(tmp_path / "s.marker", dtype=np.uint8)
    on = np.zeros(len(wf), dtype=bool)
    for p in wf.parts:
        if p["burst"] >= 0:
            on[p["sample_start"] : p["sample_start"] + p["sample_count"]] = True
    assert on.any() and not on.all()
    assert np.array_equal(marks, np.where(on, 2, 0).astype(np.uint8))
