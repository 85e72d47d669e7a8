"""A generated (or read) waveform: the library's int16 I/Q values and what
they are, with writers for the formats other tools read."""
import numpy as np


class Waveform:
    """`iq`: int16 array of shape (n, 2), I then Q; `samples`: complex64,
    iq / 32767; `sample_rate` in samples per second; `kind` (None for a
    recording from elsewhere); `params`: the record's fields by their names
    in the C header; `loop`: the loop the call made (mode, periods,
    samples_per_period, duration, whole_periods), None for a recording from
    elsewhere."""

    def __init__(self, iq, sample_rate, kind=None, params=None, samples=None, loop=None):
        self.iq = np.asarray(iq, dtype=np.int16).reshape(-1, 2)
        self.sample_rate = float(sample_rate)
        self.kind = kind
        self.params = dict(params or {})
        self._samples = samples
        self.loop = dict(loop) if loop else None

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
        """(lower, upper) edges in Hz of the band holding 99 % of the power."""
        from . import sigmf

        return sigmf.occupied_band(self.iq, self.sample_rate)

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

    def plot(self, path=None):
        """One page of pictures; written to `path` as PNG when given. Returns the figure."""
        from . import plot

        return plot.plot(self, path)
