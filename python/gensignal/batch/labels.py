"""An item's labels: numbers measured on the waveform as written, never
taken from the parameters that asked for it. The one place that decides
what a label is."""
import math

import numpy as np


def labels(waveform, meta):
    """Labels of `waveform`, whose SigMF metadata is `meta`: the band that
    holds 99 % of the power (the annotation's edges, measured on the buffer),
    peak-to-average power ratio (the library's, from gensignal:measured) and
    length."""
    annotation = meta["annotations"][0]
    lower, upper = annotation["core:freq_lower_edge"], annotation["core:freq_upper_edge"]
    measured = meta["global"].get("gensignal:measured")
    if measured is not None:  # the library's measurement, as the metadata holds it
        papr = measured["papr_db"]
    else:
        iq = waveform.iq.astype(np.float64)
        power = iq[:, 0] * iq[:, 0] + iq[:, 1] * iq[:, 1]
        mean = float(np.mean(power)) if len(power) else 0.0
        papr = 10.0 * math.log10(float(np.max(power)) / mean) if mean > 0 else None
    return {
        "obw_hz": upper - lower,
        "obw_lower_hz": lower,
        "obw_upper_hz": upper,
        "papr_db": papr,
        "samples": len(waveform),
        "duration_s": waveform.duration,
    }
