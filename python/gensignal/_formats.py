"""File names and the WAV writer (the other formats are one numpy call each)."""
import os
import struct

from . import _files
from ._library import GenSignalError

# The header stores rate * 4 bytes per second in 32 bits, and the RIFF size
# counts 36 bytes beyond the data.
WAV_RATE_LIMIT = 0xFFFFFFFF // 4
WAV_DATA_LIMIT = 0xFFFFFFFF - 36

SIGMF_SUFFIXES = (".sigmf-meta", ".sigmf-data", ".sigmf")


def output_name(path, suffix):
    """`path` with `suffix` (".raw") added unless it already ends in it, as wavegen's -o."""
    path = os.fspath(path)
    return path if path.endswith(suffix) else path + suffix


def sigmf_base(path):
    """A recording's base name: `path` without .sigmf-meta, .sigmf-data or .sigmf."""
    path = os.fspath(path)
    for suffix in SIGMF_SUFFIXES:
        if path.endswith(suffix):
            return path[: -len(suffix)]
    return path


def wav_refusal(sample_rate, values):
    """Why a WAV file cannot hold this, or None."""
    if not (1 <= sample_rate <= WAV_RATE_LIMIT) or sample_rate != int(sample_rate):
        return (
            f"sample_rate = {sample_rate:.10g}: a WAV file needs a whole number of samples per second "
            f"from 1 to {WAV_RATE_LIMIT}"
        )
    if values * 2 > WAV_DATA_LIMIT:
        return f"a WAV file holds at most {WAV_DATA_LIMIT // 4} samples, this waveform has {values // 2}"
    return None


def wav_header(sample_rate, values):
    refusal = wav_refusal(sample_rate, values)
    if refusal:
        raise GenSignalError(-1, refusal, "sample_rate" if refusal.startswith("sample_rate") else None)
    rate = int(sample_rate)
    data = values * 2
    return (
        b"RIFF"
        + struct.pack("<I", 36 + data)
        + b"WAVEfmt "
        + struct.pack("<IHHIIHH", 16, 1, 2, rate, rate * 4, 4, 16)
        + b"data"
        + struct.pack("<I", data)
    )


def write_wav(path, iq, sample_rate):
    header = wav_header(sample_rate, iq.size)
    _files.write_files([(path, header + iq.astype("<i2").tobytes())])
