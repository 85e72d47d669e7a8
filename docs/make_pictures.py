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

for name, make in PICTURES.items():
    png = io.BytesIO()
    make().plot().savefig(png, dpi=60)  # 720 x 480
    # A 64-colour palette keeps the committed files small.
    Image.open(png).convert("RGB").quantize(64).save(here / name, optimize=True)
    print(here / name)
