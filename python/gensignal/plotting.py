"""One page of pictures of a waveform (matplotlib, Agg: no display needed).
`gensignal.plot(wf)` and `wf.plot()` draw it; matplotlib is needed only here."""
import numpy as np
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

FIGSIZE = (12, 8)  # inches
DPI = 100
SEAM = 48  # samples shown on each side of the loop seam
LOOPED = 4096  # shorter buffers are repeated (they loop) for the spectra


def _symbol_rate(wf):
    """Symbols (or chips) per second and the oversampling, when the kind has them."""
    p = wf.params
    if wf.kind == "digital" and "symbolRate" in p:
        return p["symbolRate"], p.get("samplesPerSymbol", 1)
    if wf.kind == "dss" and "bitRate" in p and "pnOrder" in p:
        return p["bitRate"] * (2.0 ** p["pnOrder"] - 1), p.get("samplesPerChip", 1)
    return None, None


def _shown(wf):
    """How many samples the time panel shows: a few symbols or periods."""
    p, rate, n = wf.params, wf.sample_rate, len(wf)
    symbol_rate, _ = _symbol_rate(wf)
    span = 1000.0
    if symbol_rate:
        span = rate / symbol_rate * (20 if wf.kind == "digital" else 50)
    elif wf.kind in ("am", "fm") and p.get("modFrequency", 0) > 0:
        span = rate / p["modFrequency"] * 3
    elif wf.kind in ("multitone", "pulse", "rampsweep"):
        span = n
    elif wf.kind == "stepsweep" and p.get("dwellTime", 0) > 0:
        span = rate * p["dwellTime"] * 3
    elif wf.kind == "awgn":
        span = 500
    elif wf.kind == "ofdm" and "fftSize" in p:
        span = p["fftSize"] * (1 + p.get("cpPercent", 0) / 100) * 2
    return int(min(n, max(16, min(span, 50000))))


def _time_unit(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6)):
        if seconds >= 2 * scale:
            return unit, scale
    return "ns", 1e-9


def welch_dbfs(samples, sample_rate, segment=1024):
    """Power spectrum in dBFS (a full-scale complex tone reads 0 dBFS):
    Hann-windowed segments, half overlapping, averaged. Frequencies in Hz
    relative to the centre."""
    n = len(samples)
    size = min(segment, 1 << max(n.bit_length() - 1, 0))
    window = np.hanning(size) if size > 1 else np.ones(1)
    step = max(size // 2, 1)
    starts = range(0, n - size + 1, step)
    power = np.zeros(size)
    for s in starts:
        x = np.fft.fft(samples[s : s + size] * window)
        power += x.real * x.real + x.imag * x.imag
    power /= len(starts) * window.sum() ** 2
    freqs = np.fft.fftshift(np.fft.fftfreq(size, 1.0 / sample_rate))
    return freqs, 10 * np.log10(np.fft.fftshift(power) + 1e-20)


def _constellation(ax, wf, x):
    symbol_rate, sps = _symbol_rate(wf)
    fsk = wf.kind == "digital" and str(wf.params.get("modType", "")).startswith("fsk")
    locked = symbol_rate and not fsk and abs(sps * symbol_rate - wf.sample_rate) <= 1e-6
    if locked and sps > 1:
        # The symbol instants: the sampling phase with the most energy.
        phase = int(np.argmax([np.mean(np.abs(x[k::sps]) ** 2) for k in range(sps)]))
        points, what = x[phase::sps], f"at the symbol instants (every {sps} samples)"
    elif locked:
        points, what = x, "at the symbol instants"
    else:
        points, what = x, "all samples"
    points = points[:20000]
    ax.scatter(points.real, points.imag, s=4, alpha=0.5)
    ax.set_title(f"Constellation, {what}")
    ax.set_xlabel("I (full scale)")
    ax.set_ylabel("Q (full scale)")
    ax.set_aspect("equal", adjustable="datalim")
    ax.grid(True, alpha=0.3)


def _spectrogram(ax, wf, x):
    size = int(min(256, max(16, 1 << max(len(x).bit_length() - 4, 4))))
    with np.errstate(divide="ignore"):  # silent stretches have no power at all
        ax.specgram(x, NFFT=size, Fs=wf.sample_rate, noverlap=size // 2, sides="twosided", cmap="viridis")
    ax.set_title("Spectrogram")
    ax.set_xlabel("time (s)")
    ax.set_ylabel("frequency (Hz)")


def plot(wf, path=None):
    """Draws the waveform's page; writes it to `path` (PNG) when given and returns the figure."""
    fig = Figure(figsize=FIGSIZE, dpi=DPI)
    FigureCanvasAgg(fig)
    title = wf.description() if wf.kind else "recording"
    fig.suptitle(f"{title}\n{len(wf)} samples at {wf.sample_rate:.10g} samples/s")
    axes = fig.subplots(2, 2)
    x = wf.samples.astype(np.complex128)
    rate = wf.sample_rate

    ax = axes[0, 0]
    shown = _shown(wf)
    unit, scale = _time_unit(shown / rate)
    t = np.arange(shown) / rate / scale
    ax.plot(t, x[:shown].real, label="I", linewidth=1)
    ax.plot(t, x[:shown].imag, label="Q", linewidth=1)
    ax.set_title("I and Q")
    ax.set_xlabel(f"time ({unit})")
    ax.set_ylabel("amplitude (full scale)")
    ax.legend(loc="upper right")
    ax.grid(True, alpha=0.3)

    looped = np.tile(x, -(-LOOPED // len(x))) if 0 < len(x) < LOOPED else x

    ax = axes[0, 1]
    freqs, dbfs = welch_dbfs(looped, rate)
    ax.plot(freqs, dbfs, linewidth=1)
    ax.set_title("Power spectrum (Welch)")
    ax.set_xlabel("frequency relative to the centre (Hz)")
    ax.set_ylabel("power (dBFS)")
    ax.grid(True, alpha=0.3)

    if wf.kind in ("fm", "stepsweep", "rampsweep"):
        _spectrogram(axes[1, 0], wf, looped)
    else:
        _constellation(axes[1, 0], wf, x)

    ax = axes[1, 1]
    k = min(SEAM, len(x) // 2)
    offsets = np.arange(-k, k)
    joined = np.concatenate([x[len(x) - k :], x[:k]])
    ax.plot(offsets, joined.real, ".-", label="I", linewidth=1)
    ax.plot(offsets, joined.imag, ".-", label="Q", linewidth=1)
    ax.axvline(-0.5, color="grey", linestyle="--", linewidth=1)
    ax.set_title("Loop seam: the last samples, then the first")
    ax.set_xlabel("samples from the start of the buffer")
    ax.set_ylabel("amplitude (full scale)")
    ax.legend(loc="upper right")
    ax.grid(True, alpha=0.3)

    fig.tight_layout()
    if path is not None:
        fig.savefig(path, format="png")
    return fig
