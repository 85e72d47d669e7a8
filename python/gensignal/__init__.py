"""gensignal from Python: the library's ten waveform kinds as numpy arrays,
SigMF, cf32 and WAV files, and pictures.

    import gensignal
    wf = gensignal.digital(mod_type="qpsk", symbol_rate=1e6, sample_rate=8e6)
    wf.iq            # int16, shape (n, 2)
    wf.samples       # complex64, iq / 32767
    wf.to_sigmf("qpsk")
    wf.plot("qpsk.png")
"""
from . import batch
from ._library import GenSignalError
from .kinds import FUNCTIONS as _FUNCTIONS, KINDS
from .sigmf import SigMFError, read_sigmf
from .waveform import Waveform

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

__all__ = [
    "GenSignalError",
    "KINDS",
    "SigMFError",
    "Waveform",
    "batch",
    "read_sigmf",
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
]
