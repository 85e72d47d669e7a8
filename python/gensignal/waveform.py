"""A generated (or read) waveform: the library's int16 I/Q values and what
they are, with writers for the formats other tools read."""
import numpy as np


class Waveform:
    """`iq`: int16 array of shape (n, 2), I then Q; `samples`: complex64,
    iq / 32767; `sample_rate` in samples per second; `kind` (None for a
    recording from elsewhere); `params`: the record's fields by their names
    in the C header."""

    def __init__(self, iq, sample_rate, kind=None, params=None, samples=None):
        self.iq = np.asarray(iq, dtype=np.int16).reshape(-1, 2)
        self.sample_rate = float(sample_rate)
        self.kind = kind
        self.params = dict(params or {})
        self._samples = samples

    @property
    def samples(self):
        if self._samples is not None:
            return self._samples
        # Divided in double and rounded once to float, as wavegen's cf32.
        out = np.empty(len(self.iq), dtype=np.complex64)
        out.real = self.iq[:, 0] / 32767.0
        out.imag = self.iq[:, 1] / 32767.0
        return out

    def __len__(self):
        return len(self.iq)

    @property
    def duration(self):
        """Length in seconds."""
        return len(self) / self.sample_rate

    def __repr__(self):
        return f"<Waveform {self.kind or 'recording'}: {len(self)} samples at {self.sample_rate:g} Hz>"

    def description(self):
        """The kind and its main parameters, as in the SigMF metadata."""
        from . import sigmf

        return sigmf.description(self.kind, self.params)

    def occupied_band(self):
        """(lower, upper) edges in Hz of the band holding 99 % of the power
        ((0.0, 0.0) for a silent waveform)."""
        m = self.measure()
        return (m.obw_lower_hz, m.obw_upper_hz) if m.obw_hz is not None else (0.0, 0.0)

    def measure(self, **options):
        """The library's measurements (gensignal.measure): a Measurement.
        Keywords: channel_bandwidth, channel_spacing (Hz), obw_percent."""
        from .measurement import measure

        return measure(self, **options)

    def to_raw(self, path):
        """int16 I/Q, little-endian, as the library hands it out."""
        self.iq.astype("<i2").tofile(path)

    def to_cf32(self, path):
        """Complex float, little-endian: `samples`."""
        self.samples.astype("<c8").tofile(path)

    def to_wav(self, path):
        """Two-channel 16-bit PCM, I left and Q right, the rate in the header."""
        from . import formats

        formats.write_wav(path, self.iq, self.sample_rate)

    def to_sigmf(self, path, datetime=None):
        """PATH.sigmf-data and PATH.sigmf-meta, as wavegen writes them.
        `datetime`: None (none recorded), "now", an ISO 8601 UTC text or a
        datetime.datetime."""
        from . import sigmf

        sigmf.write(self, path, datetime)

    def plot(self, path=None, panels=None, ax=None):
        """A page of pictures (or the chosen `panels`, into `ax` when given);
        written to `path` when given, as its suffix says (.png, .svg, .pdf).
        Returns the figure."""
        from . import plot

        return plot.plot(self, path, panels=panels, ax=ax)
