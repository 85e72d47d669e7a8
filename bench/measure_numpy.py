"""The library's measurements against their numpy/scipy equivalent, timed on
the same buffer on one core: QPSK, RRC 0.35, 8 samples per symbol, 125000
symbols (10^6 samples at 8 MS/s), everything but EVM (gensignal.measure
without a record, through ctypes), and everything with EVM. The equivalent is
written as a numpy user would: np.partition for the four CCDF points,
scipy.fft for the spectrum, masks for the channels.

    OMP_NUM_THREADS=1 python3 bench/measure_numpy.py [repeats]
"""
import math
import os
import pathlib
import sys
import time

os.environ.setdefault("OMP_NUM_THREADS", "1")
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "python"))

import numpy as np  # noqa: E402
import scipy.fft  # noqa: E402

import gensignal  # noqa: E402

PROBABILITIES = (1e-1, 1e-2, 1e-3, 1e-4)


def numpy_equivalent(iq, rate, percent=99.0):
    x = iq[:, 0].astype(np.float64) + 1j * iq[:, 1].astype(np.float64)
    n = len(x)
    p = x.real * x.real + x.imag * x.imag
    mean, peak = p.mean(), p.max()
    ranks = [int(math.floor(q * n)) for q in PROBABILITIES]
    top = -np.partition(-p, ranks)
    ccdf = [10 * math.log10(top[k] / mean) for k in ranks]
    steps = np.abs(np.diff(x))
    seam = abs(x[0] - x[-1]) / steps.max()
    power = np.abs(scipy.fft.fftshift(scipy.fft.fft(x, workers=1))) ** 2
    freq = (np.arange(n) - n // 2) * rate / n
    running = np.cumsum(power)
    tail = (1 - percent / 100) / 2
    lower = int(np.argmax(running > tail * running[-1]))
    upper = int(np.argmax(running >= (1 - tail) * running[-1]))
    bandwidth = 2 * max(-(freq[lower] - rate / n / 2), freq[upper] + rate / n / 2)
    main = np.abs(freq) <= bandwidth / 2
    acpr = [10 * math.log10(power[np.abs(freq - c) <= bandwidth / 2].sum() / power[main].sum())
            for c in (-bandwidth, bandwidth)]
    sfdr = 10 * math.log10(power[main].max() / power[~main].max())
    return 10 * math.log10(peak / mean), ccdf, seam, acpr, sfdr


def best(fns, repeats):
    """Best wall-clock and best CPU time of each function, in ms, the
    functions taking turns so that a change in the machine's load falls on
    all of them alike (on a busy machine the CPU time is the steadier
    figure)."""
    wall, cpu = [[] for _ in fns], [[] for _ in fns]
    for _ in range(repeats):
        for i, fn in enumerate(fns):
            start, start_cpu = time.perf_counter(), time.process_time()
            fn()
            wall[i].append(time.perf_counter() - start)
            cpu[i].append(time.process_time() - start_cpu)
    return [(min(w) * 1e3, min(c) * 1e3) for w, c in zip(wall, cpu)]


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    wf = gensignal.digital(symbol_count=125000)
    iq = np.ascontiguousarray(wf.iq)
    rate = wf.sample_rate
    library, with_evm, numpy = best(
        [lambda: gensignal.measure(iq, sample_rate=rate), wf.measure, lambda: numpy_equivalent(iq, rate)], repeats)
    m = gensignal.measure(iq, sample_rate=rate)
    papr, ccdf, _, acpr, _ = numpy_equivalent(iq, rate)
    print(f"{len(iq)} samples, best of {repeats}, load {os.getloadavg()[0]:.2f}; wall / CPU ms")
    for name, t in (("library, all but EVM", library), ("library, with EVM", with_evm),
                    ("numpy/scipy, all but EVM", numpy)):
        print(f"  {name:26} {t[0]:7.1f} / {t[1]:7.1f}")
    print(f"  numpy/scipy over the library, all but EVM: {numpy[0] / library[0]:.1f}x / {numpy[1] / library[1]:.1f}x")
    print(f"  agreement: PAPR {abs(m.papr_db - papr):.2e} dB, CCDF 1e-4 {abs(m.ccdf_db['1e-4'] - ccdf[3]):.2e} dB,"
          f" ACPR {abs(m.acpr_db['upper'] - acpr[1]):.2e} dB")


if __name__ == "__main__":
    main()
