"""Pictures of a waveform that show its numbers (matplotlib, Agg: no display
needed): I and Q, the spectrum, a spectrogram, the CCDF with the Gaussian
reference, the constellation EVM compares (for the kinds that have EVM) and
the loop seam. `gensignal.plot(wf)` and `wf.plot()` draw them; matplotlib is
needed only here.

    gensignal.plot(wf, "page.svg")                    # every panel; format from the suffix
    gensignal.plot(wf, panels=["ccdf", "constellation"])
    wf.plot(panels=["spectrum"], ax=my_axes)
"""
import math
import textwrap

import numpy as np
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

FIGSIZE = (12, 8)  # inches
DPI = 100
SEAM = 48  # samples shown on each side of the loop seam
LOOPED = 4096  # shorter buffers are repeated (they loop) for the spectra
SPAN_DB = 100  # the spectrum shows this far below its peak
MAX_POINTS = 20000  # constellation points drawn
PANELS = ("time", "spectrum", "spectrogram", "constellation", "ccdf", "seam")
HANN_ENBW = 1.5  # equivalent noise bandwidth of the Hann window, in bins


def _symbol_rate(wf):
    """Symbols (or chips) per second and the oversampling, when the kind has them."""
    p = wf.params
    if wf.kind == "digital" and "symbolRate" in p:
        return p["symbolRate"], p.get("samplesPerSymbol", 1)
    if wf.kind == "dss" and "bitRate" in p and "pnOrder" in p:
        return p["bitRate"] * (2.0 ** p["pnOrder"] - 1), p.get("samplesPerChip", 1)
    return None, None


def _has_constellation(wf):
    """The kinds with EVM: all but FSK among the digital ones (modType by name, or number)."""
    mod = wf.params.get("modType", "")
    fsk = str(mod).startswith("fsk") or (isinstance(mod, int) and 15 <= mod <= 18)
    return wf.kind in ("dss", "ofdm") or (wf.kind == "digital" and not fsk)


def default_panels(wf):
    """The panels a page shows, six on every page: the constellation panel
    shows the symbols for the kinds with EVM, the I/Q samples for the rest."""
    return ["time", "spectrum", "spectrogram", "constellation", "ccdf", "seam"]


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


def frequency_unit(largest_hz):
    """("MHz", 1e6) and the like for an axis reaching `largest_hz`."""
    for unit, scale in (("GHz", 1e9), ("MHz", 1e6), ("kHz", 1e3)):
        if largest_hz >= scale:
            return unit, scale
    return "Hz", 1.0


def _hertz(hz):
    unit, scale = frequency_unit(abs(hz))
    return f"{hz / scale:.4g} {unit}"


def welch_dbfs(samples, sample_rate, segment=1024):
    """Power spectrum in dBFS (a full-scale complex tone reads 0 dBFS):
    Hann-windowed segments, half overlapping, averaged. Frequencies in Hz
    relative to the centre, and the resolution bandwidth in Hz."""
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
    rbw = (HANN_ENBW if size > 1 else 1.0) * sample_rate / size
    return freqs, 10 * np.log10(np.fft.fftshift(power) + 1e-20), rbw


class _Page:
    """What the panels share: the samples, the looped copy and the measurement."""

    def __init__(self, wf):
        self.wf = wf
        self.x = wf.samples.astype(np.complex128)
        self.looped = np.tile(self.x, -(-LOOPED // len(self.x))) if 0 < len(self.x) < LOOPED else self.x
        self._measured = None

    @property
    def measured(self):
        if self._measured is None:
            self._measured = self.wf.measure()
        return self._measured


def _time(ax, page):
    wf, x = page.wf, page.x
    shown = _shown(wf)
    unit, scale = _time_unit(shown / wf.sample_rate)
    t = np.arange(shown) / wf.sample_rate / scale
    ax.plot(t, x[:shown].real, label="I", linewidth=1)
    ax.plot(t, x[:shown].imag, label="Q", linewidth=1)
    ax.set_title("I and Q")
    ax.set_xlabel(f"time ({unit})")
    ax.set_ylabel("amplitude (full scale)")
    ax.legend(loc="upper right")
    ax.grid(True, alpha=0.3)


def _zoom(page):
    """Half the width the spectrum shows: all of it, or four times the
    occupied band's reach where that is a small part (narrowband FM at a
    high rate would otherwise be one spike)."""
    m, half = page.measured, page.wf.sample_rate / 2
    if m.obw_hz is None:
        return half
    reach = 4 * max(abs(m.obw_lower_hz), abs(m.obw_upper_hz))
    return reach if 0 < reach < half / 5 else half


def _spectrum(ax, page):
    rate, span = page.wf.sample_rate, _zoom(page)
    # Segments long enough to resolve the shown span in some 100 bins.
    segment = 1024 if span >= rate / 2 else int(min(65536, 1 << math.ceil(math.log2(100 * rate / (2 * span)))))
    freqs, dbfs, rbw = welch_dbfs(page.looped, rate, segment)
    unit, scale = frequency_unit(span)
    ax.plot(freqs / scale, dbfs, linewidth=1)
    ax.set_xlim(-span / scale, span / scale)
    top = float(dbfs.max())
    ax.set_ylim(top - SPAN_DB, top + 5)
    m = page.measured
    if m.obw_hz is not None:
        ax.axvspan(
            m.obw_lower_hz / scale,
            m.obw_upper_hz / scale,
            color="C1",
            alpha=0.12,
            label=f"99 % band {_hertz(m.obw_hz)}",
        )
        ax.legend(loc="upper right")
    ax.set_title(f"Power spectrum (Welch, RBW {_hertz(rbw)})")
    ax.set_xlabel(f"frequency relative to the centre ({unit})")
    ax.set_ylabel("power (dBFS)")
    ax.grid(True, alpha=0.3)


def _spectrogram(ax, page):
    x = page.looped
    size = int(min(256, max(16, 1 << max(len(x).bit_length() - 4, 4))))
    unit, scale = frequency_unit(page.wf.sample_rate / 2)
    with np.errstate(divide="ignore"):  # silent stretches have no power at all
        _, _, _, image = ax.specgram(
            x, NFFT=size, Fs=page.wf.sample_rate / scale, noverlap=size // 2, sides="twosided", cmap="viridis"
        )
    # specgram's time axis follows Fs: back to seconds, then to a unit that fits.
    left, right, low, high = image.get_extent()
    time_unit, time_scale = _time_unit(right / scale)
    image.set_extent([left / scale / time_scale, right / scale / time_scale, low, high])
    ax.set_xlim(left / scale / time_scale, right / scale / time_scale)
    ax.figure.colorbar(image, ax=ax, label="power (dB)")
    ax.set_title("Spectrogram")
    ax.set_xlabel(f"time ({time_unit})")
    ax.set_ylabel(f"frequency ({unit})")


def _constellation(ax, page):
    from ._measurement import constellation

    wf, x = page.wf, page.x
    received, references, status = constellation(wf) if wf.kind in ("digital", "dss", "ofdm") else ([], [], None)
    if len(received):
        m = page.measured
        what = "OFDM subcarriers" if wf.kind == "ofdm" else "symbols, matched filter"
        ax.scatter(received[:MAX_POINTS].real, received[:MAX_POINTS].imag, s=4, alpha=0.5, label="received")
        ideal = np.unique(np.round(references, 9))
        ax.scatter(ideal.real, ideal.imag, s=40, marker="+", color="C3", label="reference")
        mer = f"MER {m.mer_db:.1f} dB" if m.mer_db is not None else "no error at all"
        # Short lines: a long title runs into the next panel.
        ax.set_title(
            f"Constellation, {what}\nEVM {m.evm_percent:.3g} % RMS, {m.evm_peak_percent:.3g} % peak\n{mer}", fontsize=9
        )
        ax.set_xlabel("I")
        ax.set_ylabel("Q")
    else:
        points = x[:MAX_POINTS]
        ax.scatter(points.real, points.imag, s=4, alpha=0.5)
        why = "\n".join(textwrap.wrap(f"no EVM: {status}", 40)) if status else ""
        ax.set_title("I/Q samples" + (f"\n{why}" if why else ""), fontsize=9)
        ax.set_xlabel("I (full scale)")
        ax.set_ylabel("Q (full scale)")
    ax.set_aspect("equal", adjustable="datalim")
    ax.grid(True, alpha=0.3)


def _ccdf(ax, page):
    m = page.measured
    probabilities, levels = m.ccdf_curve
    ax.semilogy(levels, probabilities, linewidth=1.5, label="waveform")
    reference = np.logspace(0, -6, 200)[1:]
    ax.semilogy(10 * np.log10(-np.log(reference)), reference, "--", color="grey", linewidth=1, label="complex Gaussian")
    marked = [(level, float(key)) for key, level in m.ccdf_db.items() if level is not None]
    if marked:
        ax.scatter(*zip(*marked), color="C3", zorder=3, s=16)
    floor = max(min(1.0 / max(len(page.x), 1), 1e-1), 1e-6)
    ax.set_ylim(floor / 2, 1)
    ax.set_xlim(0, max(12.0, (m.papr_db or 0) + 1))
    papr = f"{m.ccdf_db['1e-4']:.2f} dB at 1e-4" if m.ccdf_db["1e-4"] is not None else "none"
    ax.set_title(f"CCDF (PAPR {papr})")
    ax.set_xlabel("power above the mean (dB)")
    ax.set_ylabel("probability")
    ax.legend(loc="upper right")
    ax.grid(True, which="both", alpha=0.3)


def _seam(ax, page):
    x = page.x
    k = min(SEAM, len(x) // 2)
    offsets = np.arange(-k, k)
    joined = np.concatenate([x[len(x) - k :], x[:k]])
    ax.plot(offsets, joined.real, ".-", label="I", linewidth=1)
    ax.plot(offsets, joined.imag, ".-", label="Q", linewidth=1)
    ax.axvline(-0.5, color="grey", linestyle="--", linewidth=1)
    ratio = page.measured.seam_prediction
    verdict = "" if ratio is None else "seamless" if ratio <= 2 else "a glitch" if ratio > 10 else "unclear"
    ax.set_title(
        f"Loop seam: {verdict}\nprediction error {ratio:.3g} × inside's" if ratio is not None else "Loop seam",
        fontsize=10,
    )
    ax.set_xlabel("samples from the start of the buffer")
    ax.set_ylabel("amplitude (full scale)")
    ax.legend(loc="upper right")
    ax.grid(True, alpha=0.3)


_DRAW = {
    "time": _time,
    "spectrum": _spectrum,
    "spectrogram": _spectrogram,
    "constellation": _constellation,
    "ccdf": _ccdf,
    "seam": _seam,
}


def plot(wf, path=None, panels=None, ax=None):
    """Draws `panels` (names from PANELS; default: default_panels(wf)) into
    a new page, or into `ax` (one Axes, or one per panel). Writes the figure
    to `path` when given, in the format its suffix names (.png, .svg, .pdf).
    Returns the figure."""
    panels = list(panels) if panels is not None else default_panels(wf)
    unknown = [p for p in panels if p not in _DRAW]
    if unknown or not panels:
        raise ValueError(f"panels = {panels!r}: choose from {', '.join(PANELS)}")
    page = _Page(wf)
    if ax is not None:
        axes = list(ax) if isinstance(ax, (list, tuple, np.ndarray)) else [ax]
        if len(axes) != len(panels):
            raise ValueError(f"{len(axes)} axes for {len(panels)} panels")
        fig = axes[0].figure
    else:
        fig = Figure(figsize=FIGSIZE, dpi=DPI)
        FigureCanvasAgg(fig)
        title = wf.description() if wf.kind else "recording"
        fig.suptitle(f"{title}\n{len(wf)} samples at {wf.sample_rate:.10g} samples/s")
        columns = min(len(panels), 3 if len(panels) > 4 else 2 if len(panels) > 1 else 1)
        rows = math.ceil(len(panels) / columns)
        grid = fig.subplots(rows, columns, squeeze=False).reshape(-1)
        for unused in grid[len(panels) :]:
            unused.remove()
        axes = list(grid[: len(panels)])
    for name, target in zip(panels, axes):
        _DRAW[name](target, page)
        target.gensignal_panel = name
    if ax is None:
        fig.tight_layout()
    if path is not None:
        fig.savefig(path)
    return fig


def scene_spectrogram(wf, path=None, ax=None):
    """The spectrogram of a scene (`gensignal.scene(...)`) with a box and a
    label for every burst and every part that is always on, from `wf.parts`.
    Into `ax` when given, else a new figure; written to `path` when given.
    Returns the figure."""
    from matplotlib.patches import Rectangle

    labels = getattr(wf, "parts", None)
    if labels is None:
        raise ValueError("scene_spectrogram: the waveform has no parts (make it with gensignal.scene)")
    if ax is None:
        fig = Figure(figsize=FIGSIZE, dpi=DPI)
        FigureCanvasAgg(fig)
        ax = fig.subplots()
    fig = ax.figure
    page = _Page(wf)
    page.looped = wf.samples  # the scene as it is: the boxes are placed on its own time axis
    _spectrogram(ax, page)
    unit, scale = frequency_unit(wf.sample_rate / 2)
    time_unit, time_scale = _time_unit(len(wf) / wf.sample_rate)
    bursting = {label["part"] for label in labels if label["burst"] >= 0}
    for label in labels:
        if (label["burst"] >= 0) != (label["part"] in bursting):
            continue
        x = label["sample_start"] / wf.sample_rate / time_scale
        width = label["sample_count"] / wf.sample_rate / time_scale
        y = label["freq_lower_edge"] / scale
        height = (label["freq_upper_edge"] - label["freq_lower_edge"]) / scale
        ax.add_patch(Rectangle((x, y), width, height, fill=False, edgecolor="white", linewidth=1.2))
        ax.text(x, y + height, f" {label['label']}", color="white", fontsize=8, va="bottom", ha="left")
    ax.set_title("Scene: spectrogram and labels")
    if path is not None:
        fig.savefig(path)
    return fig
