"""Draws the README's pictures: python3 docs/make_pictures.py (after a build)."""
import pathlib
import sys

here = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(here.parent / "python"))

import io  # noqa: E402

from PIL import Image  # noqa: E402  (Pillow comes with Debian's matplotlib)

import gensignal  # noqa: E402

PICTURES = {
    "digital.png": lambda: gensignal.digital(mod_type="qpsk", symbol_rate=1e6, sample_rate=8e6),
    "fm.png": lambda: gensignal.fm(mod_frequency=1000, freq_deviation=5000, sample_rate=48000),
    "ofdm.png": lambda: gensignal.ofdm(fft_size=64, num_symbols=20, mod_type="qam16", sample_rate=20e6),
}



def loop_spectra():
    """8 tones 100 kHz apart at 30.72 MS/s, played in a loop: the defined
    buffer (615 samples, not one whole period) and the exact one (5 periods,
    3072 samples), each repeated to 2^17 samples."""
    import numpy as np
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    from gensignal.plot import welch_dbfs

    options = dict(tone_count=8, tone_spacing=100e3, sample_rate=30.72e6)
    fig = Figure(figsize=(12, 5))
    FigureCanvasAgg(fig)
    axes = fig.subplots(1, 2, sharey=True)
    for ax, loop in zip(axes, ("defined", "exact")):
        wf = gensignal.multitone(**options, loop=loop)
        x = np.tile(wf.samples.astype(np.complex128), -(-(1 << 17) // len(wf)))
        freqs, dbfs = welch_dbfs(x, wf.sample_rate)
        ax.plot(freqs / 1e6, dbfs, linewidth=1)
        ax.set_title(f"loop={loop!r}: {len(wf)} samples, played in a loop")
        ax.set_xlabel("frequency relative to the centre (MHz)")
        ax.grid(True, alpha=0.3)
    axes[0].set_ylabel("power (dBFS)")
    fig.suptitle("8 tones 100 kHz apart at 30.72 MS/s")
    fig.tight_layout()
    return fig


def save(name, fig):
    png = io.BytesIO()
    fig.savefig(png, dpi=60)
    # A 64-colour palette keeps the committed files small.
    Image.open(png).convert("RGB").quantize(64).save(here / name, optimize=True)
    print(here / name)


for name, make in PICTURES.items():
    save(name, make().plot())  # 720 x 480
save("loop.png", loop_spectra())
