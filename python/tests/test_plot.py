"""Pictures: a page of the expected size, no panel left blank; the panels
that show the numbers (spectrum units and RBW, the CCDF with its Gaussian
reference, the constellation with its EVM, colorbars); panels into given
axes; the format from the file's suffix."""
import subprocess
import sys

import matplotlib.image
import numpy as np
import pytest

import gensignal
from conftest import KIND_CASES, ROOT, wavegen_args
from gensignal import plotting

WIDTH, HEIGHT = plotting.FIGSIZE[0] * plotting.DPI, plotting.FIGSIZE[1] * plotting.DPI


def colour_variance(png, ax):
    """Variance of the colourfulness inside a panel's frame: grid lines, frame
    and white background are grey, so a panel without data has none."""
    box = ax.get_window_extent()
    top, bottom = int(png.shape[0] - box.y1) + 4, int(png.shape[0] - box.y0) - 4
    inside = png[top:bottom, int(box.x0) + 4 : int(box.x1) - 4, :3]
    return float(np.var(inside.max(axis=2) - inside.min(axis=2)))


@pytest.mark.parametrize("kind", sorted(KIND_CASES))
def test_every_panel_has_something_drawn(kind, tmp_path):
    wf = getattr(gensignal, kind)(**KIND_CASES[kind])
    fig = wf.plot(tmp_path / "p.png")
    png = matplotlib.image.imread(tmp_path / "p.png")
    assert png.shape[:2] == (HEIGHT, WIDTH)
    panels = [ax.gensignal_panel for ax in fig.axes if hasattr(ax, "gensignal_panel")]
    assert panels == plotting.default_panels(wf)
    for ax in fig.axes:  # the panels and the spectrogram's colorbar
        assert colour_variance(png, ax) > 1e-5, ax.get_title()
    assert kind in fig.texts[0].get_text()


def test_blank_panel_is_caught(tmp_path):
    fig = gensignal.am().plot()
    fig.axes[-1].clear()
    fig.savefig(tmp_path / "b.png")
    png = matplotlib.image.imread(tmp_path / "b.png")
    assert colour_variance(png, fig.axes[-1]) == 0


def test_command_line_plots_a_recording(wavegen, tmp_path):
    assert wavegen(*wavegen_args("stepsweep", KIND_CASES["stepsweep"]), "-o", "s").returncode == 0
    env_path = str(ROOT / "python")
    for args, png in ([["s.sigmf-meta"], "s.png"], [["s.sigmf-meta", "-o", "t.png"], "t.png"]):
        done = subprocess.run(
            [sys.executable, "-m", "gensignal", "plot", *args],
            cwd=tmp_path,
            capture_output=True,
            text=True,
            env={"PYTHONPATH": env_path, "PATH": "/usr/bin:/bin"},
        )
        assert done.returncode == 0, done.stderr
        assert matplotlib.image.imread(tmp_path / png).shape[:2] == (HEIGHT, WIDTH)


def test_command_line_refuses_a_bad_recording(tmp_path):
    (tmp_path / "x.sigmf-meta").write_text('{"global": {"core:datatype": "cu8"}}')
    done = subprocess.run(
        [sys.executable, "-m", "gensignal", "plot", "x.sigmf-meta"],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        env={"PYTHONPATH": str(ROOT / "python")},
    )
    assert done.returncode == 1
    assert "core:datatype 'cu8' is not supported" in done.stderr


def panel(fig, name):
    return next(ax for ax in fig.axes if getattr(ax, "gensignal_panel", None) == name)


@pytest.mark.parametrize("rate,unit", [(8e6, "MHz"), (48000, "kHz"), (1000, "Hz")])
def test_spectrum_in_fitting_units_with_its_rbw_and_100_db(rate, unit):
    wf = gensignal.multitone(tone_count=4, tone_spacing=rate / 40, sample_rate=rate)
    ax = panel(wf.plot(panels=["spectrum"]), "spectrum")
    assert f"({unit})" in ax.get_xlabel()
    assert "RBW" in ax.get_title()
    low, high = ax.get_ylim()
    assert high - low == pytest.approx(105)


def test_constellation_shows_what_evm_compares():
    for wf, words in (
        (gensignal.digital(), "symbols, matched filter"),
        (gensignal.ofdm(mod_type="qam16"), "OFDM subcarriers"),
    ):
        m = wf.measure()
        title = panel(wf.plot(panels=["constellation"]), "constellation").get_title()
        assert words in title and f"EVM {m.evm_percent:.3g} %" in title
    fsk = gensignal.digital(mod_type="fsk2")
    assert "no EVM: none defined" in panel(fsk.plot(panels=["constellation"]), "constellation").get_title()


def test_ccdf_has_the_gaussian_reference_and_spectrogram_a_colorbar():
    fig = gensignal.awgn(seed=3).plot(panels=["ccdf", "spectrogram"])
    ccdf = panel(fig, "ccdf")
    assert [line.get_label() for line in ccdf.get_lines()] == ["waveform", "complex Gaussian"]
    # Band-limited noise follows the Gaussian curve closely.
    probabilities, levels = gensignal.awgn(seed=3).measure().ccdf_curve
    gaussian = 10 * np.log10(-np.log(probabilities))
    middle = (probabilities > 1e-2) & (probabilities < 0.5)
    assert np.max(np.abs(levels[middle] - gaussian[middle])) < 0.5
    assert any(ax.get_ylabel() == "power (dB)" for ax in fig.axes)  # the colorbar


def test_panels_into_given_axes():
    from matplotlib.figure import Figure

    fig = Figure()
    axes = fig.subplots(1, 2)
    assert gensignal.digital().plot(panels=["ccdf", "seam"], ax=axes) is fig
    assert [ax.gensignal_panel for ax in axes] == ["ccdf", "seam"]
    with pytest.raises(ValueError, match="choose from"):
        gensignal.am().plot(panels=["bode"])
    with pytest.raises(ValueError, match="2 axes for 1 panels"):
        gensignal.am().plot(panels=["ccdf"], ax=axes)


@pytest.mark.parametrize("suffix,magic", [(".png", b"\x89PNG"), (".svg", b"<?xml"), (".pdf", b"%PDF")])
def test_format_follows_the_suffix(suffix, magic, tmp_path):
    gensignal.am().plot(tmp_path / f"p{suffix}", panels=["time", "ccdf"])
    assert (tmp_path / f"p{suffix}").read_bytes().startswith(magic)


def test_command_line_writes_svg_with_chosen_panels(wavegen, tmp_path):
    assert wavegen("-o", "d").returncode == 0
    done = subprocess.run(
        [sys.executable, "-m", "gensignal", "plot", "d", "-o", "d.svg", "--panels", "ccdf", "constellation"],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        env={"PYTHONPATH": str(ROOT / "python"), "PATH": "/usr/bin:/bin"},
    )
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "d.svg").read_bytes().startswith(b"<?xml")
    refused = subprocess.run(
        [sys.executable, "-m", "gensignal", "plot", "d", "-o", "d.gif"],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        env={"PYTHONPATH": str(ROOT / "python")},
    )
    assert refused.returncode == 1 and ".png, .svg or .pdf" in refused.stderr


@pytest.mark.parametrize("kind", ["digital", "fm", "multitone", "awgn"])
def test_every_page_fills_its_six_panels(kind):
    wf = gensignal.generate(kind, **({"mod_type": "fsk2"} if kind == "digital" else {}))
    fig = wf.plot()
    assert [a.gensignal_panel for a in fig.axes if hasattr(a, "gensignal_panel")] == list(gensignal.plotting.PANELS)


def test_a_narrowband_spectrum_is_shown_around_its_band():
    wf = gensignal.fm(mod_frequency=1000, freq_deviation=2000, sample_rate=1e6)
    ax = panel(wf.plot(panels=["spectrum"]), "spectrum")
    low, high = ax.get_xlim()
    assert "kHz" in ax.get_xlabel() and 5 < high < 100 and low == -high
    wide = panel(gensignal.ofdm().plot(panels=["spectrum"]), "spectrum")
    assert wide.get_xlim()[1] == pytest.approx(10)  # MHz: the whole band of 20 MS/s
