"""AWGN + carrier offset + a static 9-tap multipath over 2^20 samples at
30.72 MS/s: the library through gensignal.impair (ctypes; the buffer in and
the float and int16 results out) against the same stages written as a numpy
user would (circular taps by np.roll, the offset by np.exp, noise scaled to
its exact power), on one core, the two taking turns.

    OMP_NUM_THREADS=1 python3 bench/channel_numpy.py [repeats]
"""
import math
import os
import pathlib
import sys

os.environ.setdefault("OMP_NUM_THREADS", "1")
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "python"))

import numpy as np  # noqa: E402

import gensignal  # noqa: E402
from measure_numpy import best  # noqa: E402

RATE, CFO, SNR_DB, TAPS = 30.72e6, 1000.0, 20.0, 9


def numpy_channel(x, rng):
    powers = 10 ** (-0.2 * np.arange(TAPS))
    powers /= powers.sum()
    h = (rng.standard_normal(TAPS) + 1j * rng.standard_normal(TAPS)) * np.sqrt(powers / 2)
    y = np.zeros_like(x)
    for k in range(TAPS):
        y += h[k] * np.roll(x, k)
    y *= np.exp(2j * np.pi * CFO / RATE * np.arange(len(x)))
    w = rng.standard_normal(len(x)) + 1j * rng.standard_normal(len(x))
    target = np.mean(np.abs(y) ** 2) / 10 ** (SNR_DB / 10)
    return y + w * math.sqrt(target / np.mean(np.abs(w) ** 2))


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    n = 1 << 20
    m = np.arange(n)
    x = (0.5 * np.exp(1j * (0.37 * m + 1e-6 * m * m))).astype(np.complex64)
    channel = gensignal.Channel(taps=[(k / RATE, -2.0 * k) for k in range(TAPS)], doppler_hz=0, cfo_hz=CFO,
                                snr_db=SNR_DB, channel_seed=1)
    rng = np.random.default_rng(1)
    import warnings

    warnings.simplefilter("ignore")  # 1 kHz is not a whole number of cycles over this buffer: noted
    library, numpy = best([lambda: gensignal.impair(x, sample_rate=RATE, channel=channel),
                           lambda: numpy_channel(x.astype(np.complex128), rng)], repeats)
    print(f"{n} samples, best of {repeats}, load {os.getloadavg()[0]:.2f}; wall / CPU ms")
    print(f"  library (gensignal.impair) {library[0]:7.1f} / {library[1]:7.1f}")
    print(f"  numpy                      {numpy[0]:7.1f} / {numpy[1]:7.1f}")
    print(f"  numpy over the library: {numpy[0] / library[0]:.1f}x / {numpy[1] / library[1]:.1f}x")


if __name__ == "__main__":
    main()
