"""Pictures: one PNG page of the expected size, no panel left blank."""
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
    assert len(fig.axes) == 4
    for ax in fig.axes:
        assert colour_variance(png, ax) > 1e-5, ax.get_title()
    assert kind in fig.texts[0].get_text()


def test_blank_panel_is_caught(tmp_path):
    fig = gensignal.am().plot()
    fig.axes[3].clear()
    fig.savefig(tmp_path / "b.png")
    png = matplotlib.image.imread(tmp_path / "b.png")
    assert colour_variance(png, fig.axes[3]) == 0


def test_command_line_plots_a_recording(wavegen, tmp_path):
    assert wavegen(*wavegen_args("stepsweep", KIND_CASES["stepsweep"]), "-o", "s").returncode == 0
    env_path = str(ROOT / "python")
    for args, png in ([["s.sigmf-meta"], "s.png"], [["s.sigmf-meta", "-o", "t.png"], "t.png"]):
        done = subprocess.run([sys.executable, "-m", "gensignal", "plot", *args], cwd=tmp_path, capture_output=True,
                              text=True, env={"PYTHONPATH": env_path, "PATH": "/usr/bin:/bin"})
        assert done.returncode == 0, done.stderr
        assert matplotlib.image.imread(tmp_path / png).shape[:2] == (HEIGHT, WIDTH)


def test_command_line_refuses_a_bad_recording(tmp_path):
    (tmp_path / "x.sigmf-meta").write_text('{"global": {"core:datatype": "cu8"}}')
    done = subprocess.run([sys.executable, "-m", "gensignal", "plot", "x.sigmf-meta"], cwd=tmp_path,
                          capture_output=True, text=True, env={"PYTHONPATH": str(ROOT / "python")})
    assert done.returncode == 1
    assert "core:datatype 'cu8' is not supported" in done.stderr
