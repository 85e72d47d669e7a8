"""A generated (or read) waveform: the library's int16 I/Q values and what
they are, with writers for the formats other tools read."""
import numpy as np

from ._library import GenSignalError


class Waveform:
    """`iq`: int16 array of shape (n, 2), I then Q; `samples`: complex64,
    iq / 32767; `sample_rate` in samples per second; `kind` (None for a
    recording from elsewhere); `params`: the record's fields by their names
    in the C header, enumerations by name (`gensignal.generate(wf.kind,
    **wf.params)` takes them back); `repeat`: how many times `iq` holds the
    generated buffer; `center_frequency`: the RF centre in Hz, or None;
    `metadata`: the SigMF metadata it was read with, or None; `loop`: the
    loop the call made (every setting, periods, samples_per_period,
    duration, whole_periods; `snapped` when snap changed a value), None for
    a recording from elsewhere; `channel`: the channel it went through
    ({'settings': ..., 'realised': ...}, with 'stage': 'generation' when it
    was applied as the waveform was made), or None; `scene`: for a scene,
    the scene as a scene file spells it (gensignal.scene's `parts` and
    settings), else None; then `parts` holds a label per part and burst and
    `scene_report` what the crest-factor reduction did."""

    def __init__(
        self,
        iq,
        sample_rate,
        kind=None,
        params=None,
        samples=None,
        repeat=1,
        center_frequency=None,
        metadata=None,
        loop=None,
        channel=None,
        scene=None,
    ):
        self.iq = np.asarray(iq, dtype=np.int16).reshape(-1, 2)
        self.sample_rate = float(sample_rate)
        self.kind = kind
        self.params = dict(params or {})
        self._samples = samples
        self.repeat = int(repeat)
        self.center_frequency = center_frequency
        self.metadata = metadata
        self.loop = dict(loop) if loop else None
        self.channel = dict(channel) if channel else None
        self.scene = scene
        self.parts = None
        self.scene_report = None

    @property
    def snapped(self):
        """What the exact mode's snap changed ({'field', 'asked', 'taken'},
        the field as the record names it), or None."""
        return (self.loop or {}).get("snapped")

    @property
    def samples(self):
        if self._samples is not None:
            return self._samples
        return self.complex_samples(32767)

    def complex_samples(self, scale=32767):
        """complex64, iq / scale: 32767 (full scale reads 1) or 32768 (as
        SigMF readers scale ci16_le). Divided in double and rounded once to
        float, as wavegen's cf32."""
        if scale not in (32767, 32768):
            raise GenSignalError(-1, f"scale = {scale!r}: must be 32767 or 32768", "scale")
        out = np.empty(len(self.iq), dtype=np.complex64)
        out.real = self.iq[:, 0] / float(scale)
        out.imag = self.iq[:, 1] / float(scale)
        return out

    def __len__(self):
        return len(self.iq)

    @property
    def duration(self):
        """Length in seconds."""
        return len(self) / self.sample_rate

    @property
    def period(self):
        """The generated buffer: the first len(self) / repeat samples of `iq`."""
        return self.iq[: len(self.iq) // max(self.repeat, 1)]

    @property
    def made(self):
        """The buffer once, as the call made it: the complex samples where the
        waveform keeps them (before int16 rounding), else the period's I/Q."""
        if self._samples is not None:
            return self._samples[: len(self.period)]
        return self.period

    def __repr__(self):
        times = f" ({self.repeat} times {len(self.period)})" if self.repeat > 1 else ""
        return f"<Waveform {self.kind or 'recording'}: {len(self)} samples{times} at {self.sample_rate:g} Hz>"

    def description(self):
        """The kind and its main parameters, as in the SigMF metadata."""
        from . import _sigmf as sigmf

        return sigmf.description(self.kind, self.params)

    def occupied_band(self):
        """(lower, upper) edges in Hz, relative to the centre, of the band
        holding 99 % of the power of the generated buffer ((0.0, 0.0) for
        silence), as the library measures it."""
        m = self.measure()
        return (m.obw_lower_hz, m.obw_upper_hz) if m.obw_hz is not None else (0.0, 0.0)

    def measure(self, **options):
        """The library's measurements of the generated buffer (EVM against
        the record when there is one): a gensignal.Measurement. Keywords:
        channel_bandwidth, channel_spacing (Hz), obw_percent."""
        from ._measurement import measure

        return measure(self, **options)

    def repeated(self, times):
        """This waveform `times` times over (it loops), as wavegen --repeat writes it."""
        from ._kinds import whole_number

        n = whole_number("repeated", "times", times, (1, 2**31 - 1))
        samples = np.tile(self._samples, n) if self._samples is not None else None
        out = Waveform(
            np.tile(self.iq, (n, 1)),
            self.sample_rate,
            self.kind,
            self.params,
            samples=samples,
            repeat=self.repeat * n,
            center_frequency=self.center_frequency,
            loop=self.loop,
            channel=self.channel,
            scene=self.scene,
        )
        out.parts, out.scene_report = self.parts, self.scene_report
        return out

    def regenerate(self):
        """The waveform made again from `kind`, `params` and `sample_rate`
        (repeated as this one is): the same samples, for a recording that
        carries its gensignal record (noise only when seeded)."""
        from ._kinds import generate
        from ._sigmf import SigMFError

        scene = self.scene or ((self.metadata or {}).get("global") or {}).get("gensignal:scene")
        if self.kind is None and isinstance(scene, dict):
            from ._scene import scene as make_scene

            loop = self.loop or {}
            made = make_scene(
                scene.get("parts", []),
                self.sample_rate,
                cfr=scene.get("cfr"),
                loop_mode=loop.get("mode", "defined"),
                peak_dbfs=loop.get("peak_dbfs", 0.0),
                channel=scene.get("channel"),
                noise_seed=scene.get("noise_seed"),
            )
            made.center_frequency = self.center_frequency
            return made.repeated(self.repeat) if self.repeat > 1 else made
        if self.kind is None:
            raise SigMFError("this recording carries no gensignal record to regenerate it from")
        from ._loop import keywords_of_loop

        settings = keywords_of_loop(self.kind, self.loop) if self.loop else {}
        went = self.channel or {}
        made_with = went.get("stage") == "generation"
        if made_with and went.get("settings"):
            settings["channel"] = went["settings"]
        if made_with and went.get("noise_source"):
            settings["noise_source"] = went["noise_source"]
        made = generate(self.kind, sample_rate=self.sample_rate, **self.params, **settings)
        if went and not made_with:  # impaired after it was made (gensignal.impair, wavegen impair)
            from ._channel import impair

            made = impair(
                made,
                channel=went.get("settings", {}),
                loop=settings.get("loop", "defined"),
                peak_dbfs=settings.get("peak_dbfs", 0.0),
            )
        made.center_frequency = self.center_frequency
        return made.repeated(self.repeat) if self.repeat > 1 else made

    def to_raw(self, path):
        """PATH.raw: int16 I/Q, little-endian, as the library hands it out. Returns the file name."""
        from ._files import write_files
        from ._formats import output_name

        name = output_name(path, ".raw")
        write_files([(name, self.iq.astype("<i2").tobytes())])
        return name

    def to_cf32(self, path, scale=32767):
        """PATH.cf32: complex float, little-endian, iq / scale (32767 or 32768). Returns the file name."""
        from ._files import write_files
        from ._formats import output_name

        samples = self.complex_samples(scale)
        name = output_name(path, ".cf32")
        write_files([(name, samples.astype("<c8").tobytes())])
        return name

    def to_wav(self, path):
        """PATH.wav: two-channel 16-bit PCM, I left and Q right, the rate in the header. Returns the file name."""
        from . import _formats as formats

        name = formats.output_name(path, ".wav")
        formats.write_wav(name, self.iq, self.sample_rate)
        return name

    def to_sigmf(self, path, datetime=None, center_frequency=None):
        """PATH.sigmf-data and PATH.sigmf-meta, as wavegen writes them.
        `datetime`: None (none recorded), "now", an ISO 8601 UTC text or a
        datetime.datetime. `center_frequency`: the RF centre in Hz (default:
        this waveform's), recorded in the capture; the band edges are then at
        RF. Returns the data file's name."""
        from . import _sigmf as sigmf

        return sigmf.write(self, path, datetime, center_frequency)

    def to_wv(self, path, markers=None, comment=None, datetime=None):
        """PATH.wv, the tagged instrument file wavegen --format wv writes:
        the rate as CLOCK, LEVEL OFFS, SAMPLES, the documented checksum and,
        with `markers` (["1:start", "2:period:4"]), CONTROL LENGTH and the
        marker lists. `comment`: default the description. Returns the file name."""
        from ._instrument_files import write_wv

        return write_wv(self, path, markers, comment, datetime)

    def to_iqbin(self, path, markers=None):
        """PATH.iqbin, big-endian int16 I/Q, and with `markers` PATH.marker
        (one byte per sample, bit 0 for marker 1). Returns the data file's name."""
        from ._instrument_files import write_iqbin

        return write_iqbin(self, path, markers)

    def plot(self, path=None, panels=None, ax=None):
        """A page of pictures (matplotlib), or the chosen `panels` (into `ax`
        when given: one Axes per panel); written to `path` when given, in the
        format its suffix names (.png, .svg, .pdf). Returns the figure."""
        from .plotting import plot

        return plot(self, path, panels=panels, ax=ax)
