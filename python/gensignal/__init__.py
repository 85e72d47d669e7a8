"""gensignal from Python: the library's ten waveform kinds as numpy arrays,
SigMF, cf32 and WAV files, and pictures.

    import gensignal
    wf = gensignal.digital(mod_type="qpsk", symbol_rate=1e6, sample_rate=8e6)
    wf.iq            # int16, shape (n, 2)
    wf.samples       # complex64, iq / 32767
    wf.to_sigmf("qpsk")
    gensignal.plot(wf, "qpsk.png")
    gensignal.measure(wf).evm_percent
    gensignal.impair(wf, esn0_db=15, fading="eva", doppler_hz=70)

The modules with a leading underscore are the implementation; their public
names are here. Public submodules: plotting, instruments, batch, gnuradio.
"""
from ._library import GenSignalError
from ._channel import Channel, impair
from ._version import __version__
from ._kinds import FUNCTIONS as _FUNCTIONS, KINDS, generate
from ._measurement import CHANNEL_PRESETS, Measurement, channel_preset, measure
from ._sigmf import SigMFError, read_sigmf
from ._instrument_files import InstrumentFileError, read_iqbin, read_wv
from ._play import PlayReport, play
from ._scene import scene
from ._waveform import Waveform
from . import batch  # after what it builds on

digital = _FUNCTIONS["digital"]
dss = _FUNCTIONS["dss"]
am = _FUNCTIONS["am"]
fm = _FUNCTIONS["fm"]
multitone = _FUNCTIONS["multitone"]
pulse = _FUNCTIONS["pulse"]
stepsweep = _FUNCTIONS["stepsweep"]
rampsweep = _FUNCTIONS["rampsweep"]
awgn = _FUNCTIONS["awgn"]
ofdm = _FUNCTIONS["ofdm"]


def plot(waveform, path=None, panels=None, ax=None):
    """A page of pictures of `waveform` (matplotlib), or the chosen `panels`
    (into `ax` when given: one Axes per panel); written to `path` when given,
    in the format its suffix names (.png, .svg, .pdf). Returns the figure."""
    from .plotting import plot as draw

    return draw(waveform, path, panels=panels, ax=ax)


def algorithm_version():
    """The library's algorithm version string, as GetALGVersion writes it."""
    from ._library import version as read

    return read()


__all__ = [
    "CHANNEL_PRESETS",
    "Channel",
    "GenSignalError",
    "KINDS",
    "Measurement",
    "SigMFError",
    "Waveform",
    "__version__",
    "algorithm_version",
    "channel_preset",
    "batch",
    "generate",
    "impair",
    "measure",
    "plot",
    "read_sigmf",
    "read_wv",
    "read_iqbin",
    "InstrumentFileError",
    "PlayReport",
    "play",
    "digital",
    "dss",
    "am",
    "fm",
    "multitone",
    "pulse",
    "stepsweep",
    "rampsweep",
    "awgn",
    "ofdm",
    "scene",
]
