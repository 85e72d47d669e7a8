"""An item's labels: numbers measured on the waveform as written, never
taken from the parameters that asked for it. The one place that decides
what a label is."""
from .._measurement import CCDF_KEYS, Measurement

# What the measurement keys leave out: the sample rate is a parameter.
_MEASURED = tuple(key for key in Measurement.KEYS if key != "sample_rate")
_LOOP = ("periods", "samples_per_period", "whole_periods")
# The item's own length and rate are labels already.
_NOT_CHANNEL = ("samples", "sample_rate")


def labels(waveform, meta):
    """Labels of `waveform`, whose SigMF metadata is `meta`: the library's
    measurements as the metadata holds them (`wavegen measure --json`'s
    keys, nested `ccdf_db` and `acpr_db` included; EVM where the kind has
    one), the loop the call made (its natural periods, the samples per
    period and whether the buffer holds them whole) and the duration.
    A value the library could not measure is None.

    An impaired item adds `channel`: `applied`, the settings it went
    through (its channel_seed included), and `realised`, what the channel
    made of them as the library reports it (SNR over the full rate and in
    its defining band, Es/N0, Eb/N0, C/N, the fading's realised power and
    gain, the timing, carrier and phase offsets, the phase noise's RMS, the
    image rejection, the DC power, the note); a stage that is off realises
    None, never its nominal value."""
    glob = meta["global"]
    measured = glob.get("gensignal:measured") or {
        # every item keeps the same shape of labels, measured or not
        "ccdf_db": dict.fromkeys(CCDF_KEYS),
        "acpr_db": dict.fromkeys(("lower", "upper")),
    }
    loop = glob.get("gensignal:loop") or {}
    out = {key: measured.get(key) for key in _MEASURED}
    out["samples"] = len(waveform)
    out["duration_s"] = waveform.duration
    out.update({key: loop.get(key) for key in _LOOP})
    channel = glob.get("gensignal:channel")
    if channel:
        # in name order, as the metadata file holds them: a resumed item's labels are the same text
        realised = {key: value for key, value in sorted(channel["realised"].items()) if key not in _NOT_CHANNEL}
        out["channel"] = {"applied": dict(sorted(channel["settings"].items())), "realised": realised}
    return out
