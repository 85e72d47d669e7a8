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

    from gensignal.plotting import welch_dbfs

    options = dict(tone_count=8, tone_spacing=100e3, sample_rate=30.72e6)
    fig = Figure(figsize=(12, 5))
    FigureCanvasAgg(fig)
    axes = fig.subplots(1, 2, sharey=True)
    for ax, loop in zip(axes, ("defined", "exact")):
        wf = gensignal.multitone(**options, loop=loop)
        x = np.tile(wf.samples.astype(np.complex128), -(-(1 << 17) // len(wf)))
        freqs, dbfs, _ = welch_dbfs(x, wf.sample_rate)
        ax.plot(freqs / 1e6, dbfs, linewidth=1)
        ax.set_title(f"loop={loop!r}: {len(wf)} samples, played in a loop")
        ax.set_xlabel("frequency relative to the centre (MHz)")
        ax.grid(True, alpha=0.3)
    axes[0].set_ylabel("power (dBFS)")
    fig.suptitle("8 tones 100 kHz apart at 30.72 MS/s")
    fig.tight_layout()
    return fig


def received_symbols(wf, sps, rolloff=0.35, span=6, block=256):
    """The symbols a receiver without an equaliser sees: the samples through
    the matched root-raised-cosine filter (circularly: it is a loop), taken
    at the symbol instants (the offset with the most power), each block of
    `block` symbols scaled and turned by its own least-squares gain onto the
    QPSK points. Shows noise, phase noise and the fading's intersymbol
    interference; the gain follows the slow Doppler."""
    import numpy as np

    t = (np.arange(span * sps + 1) - span * sps / 2) / sps
    with np.errstate(divide="ignore", invalid="ignore"):
        h = (np.sin(np.pi * t * (1 - rolloff)) + 4 * rolloff * t * np.cos(np.pi * t * (1 + rolloff))) / (
            np.pi * t * (1 - (4 * rolloff * t) ** 2))
    h[t == 0] = 1 - rolloff + 4 * rolloff / np.pi
    edge = np.isclose(np.abs(t), 1 / (4 * rolloff))
    h[edge] = rolloff / np.sqrt(2) * ((1 + 2 / np.pi) * np.sin(np.pi / (4 * rolloff)) +
                                      (1 - 2 / np.pi) * np.cos(np.pi / (4 * rolloff)))
    x = wf.samples.astype(np.complex128)
    kernel = np.zeros(len(x))
    kernel[: len(h)] = h
    y = np.roll(np.fft.ifft(np.fft.fft(x) * np.fft.fft(kernel)), -(len(h) // 2))
    offset = max(range(sps), key=lambda o: np.mean(np.abs(y[o::sps]) ** 2))
    symbols = y[offset::sps]
    out = []
    for b in range(0, len(symbols) - block + 1, block):
        s = symbols[b : b + block]
        decided = (np.sign(s.real) + 1j * np.sign(s.imag)) / np.sqrt(2)
        out.append(s * (np.vdot(s, decided) / np.vdot(s, s)))
    return np.concatenate(out)


def channel_pictures():
    """A 30.72 MS/s QPSK loop (960 ksymbol/s, 32 samples per symbol, RRC
    0.35, 60000 symbols: 62.5 ms, so that 70 Hz of Doppler makes 9 lines)
    before and after EVA70, 15 dB Es/N0 and phase noise, both exact loops:
    the received symbols, the spectrum and the CCDF."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    clean = gensignal.digital(mod_type="qpsk", symbol_rate=960e3, samples_per_symbol=32, symbol_count=60000,
                              pn_order=15, sample_rate=30.72e6, loop="exact")
    impaired = gensignal.impair(clean, loop="exact", fading="eva", doppler_hz=70, esn0_db=15,
                                phase_noise=[(1e3, -85), (1e4, -95), (1e5, -110), (1e6, -130)], channel_seed=28)
    fig = Figure(figsize=(15, 9))
    FigureCanvasAgg(fig)
    axes = fig.subplots(2, 3)
    for row, (wf, title) in enumerate(((clean, "clean loop"), (impaired, "EVA70 + 15 dB Es/N0 + phase noise"))):
        points = received_symbols(wf, 32)
        ax = axes[row][0]
        ax.plot(points.real, points.imag, ".", markersize=1, alpha=0.3)
        ax.set_aspect("equal")
        ax.set_xlim(-1.6, 1.6)
        ax.set_ylim(-1.6, 1.6)
        ax.grid(True, alpha=0.3)
        ax.set_title(f"{title}: received symbols")
        ax.set_xlabel("I")
        ax.set_ylabel("Q")
        gensignal.plot(wf, panels=["spectrum", "ccdf"], ax=list(axes[row][1:]))
    r = impaired.channel["realised"]
    fig.suptitle(f"QPSK at 30.72 MS/s, a 62.5 ms exact loop, before and after the channel (realised Es/N0 "
                 f"{r['esn0_db']:.2f} dB, fading power {r['fading_power_db']:.2f} dB, phase error "
                 f"{r['phase_noise_rms_deg']:.2f} deg RMS)")
    fig.tight_layout()
    return fig


def save(name, fig):
    png = io.BytesIO()
    fig.savefig(png, dpi=60)
    # A 64-colour palette keeps the committed files small.
    Image.open(png).convert("RGB").quantize(64).save(here / name, optimize=True)
    print(here / name)


# python3 docs/make_pictures.py [NAME.png ...]: only those.
chosen = set(sys.argv[1:])
for name, make in PICTURES.items():
    if not chosen or name in chosen:
        save(name, make().plot())  # 720 x 480
if not chosen or "loop.png" in chosen:
    save("loop.png", loop_spectra())
if not chosen or "channel.png" in chosen:
    save("channel.png", channel_pictures())
