"""The measurements written plainly with numpy and scipy, independent of the
library: what its numbers are checked against. The record's symbols are
drawn here again from the PN register, packed, mapped and pulse-shaped by
the textbook formulas."""
import math

import numpy as np
import scipy.fft

FULL_SCALE = 32767.0
CCDF_KEYS = {"1e-1": 1e-1, "1e-2": 1e-2, "1e-3": 1e-3, "1e-4": 1e-4}


def levels(x):
    """x: complex samples in int16 counts."""
    p = x.real**2 + x.imag**2
    n, mean, peak = len(p), p.mean(), p.max()
    ranked = np.sort(p)[::-1]
    ccdf = {}
    for key, prob in CCDF_KEYS.items():
        k = int(math.floor(prob * n))
        ccdf[key] = 10 * math.log10(ranked[k] / mean) if ranked[k] > 0 else None
    steps = np.abs(np.diff(x))
    seam = abs(x[0] - x[-1]) / steps.max() if len(steps) and steps.max() > 0 else 0.0
    return {
        "peak_dbfs": 10 * math.log10(peak / FULL_SCALE**2),
        "rms_dbfs": 10 * math.log10(mean / FULL_SCALE**2),
        "papr_db": 10 * math.log10(peak / mean),
        "ccdf_db": ccdf,
        "seam_ratio": seam,
    }


def spectrum(x, rate, bandwidth=None, spacing=None, percent=99.0):
    """Occupied band, ACPR and SFDR from the DFT of the whole buffer, bins in
    frequency order; the default channel is the narrowest one centred at 0
    that holds the occupied band."""
    n = len(x)
    power = np.abs(scipy.fft.fftshift(scipy.fft.fft(x))) ** 2
    freq = (np.arange(n) - n // 2) * rate / n
    bin_width = rate / n
    running = np.cumsum(power)
    tail = (1 - percent / 100) / 2
    lower = int(np.argmax(running > tail * running[-1]))
    upper = int(np.argmax(running >= (1 - tail) * running[-1]))
    lower_hz, upper_hz = freq[lower] - bin_width / 2, freq[upper] + bin_width / 2
    bandwidth = bandwidth or 2 * max(-lower_hz, upper_hz)
    spacing = spacing or bandwidth
    main = np.abs(freq) <= bandwidth / 2
    out = {
        "obw_hz": upper_hz - lower_hz,
        "obw_lower_hz": lower_hz,
        "obw_upper_hz": upper_hz,
        "acpr_db": {"lower": None, "upper": None},
        "sfdr_db": None,
    }
    if spacing + bandwidth / 2 <= rate / 2:
        for side, centre in (("lower", -spacing), ("upper", spacing)):
            adjacent = power[np.abs(freq - centre) <= bandwidth / 2].sum()
            out["acpr_db"][side] = 10 * math.log10(adjacent / power[main].sum())
    if (~main).any():
        out["sfdr_db"] = 10 * math.log10(power[main].max() / power[~main].max())
    return out


# PN register feedback taps by order (those the tests use).
PN_TAPS = {4: (4, 3), 5: (5, 3), 7: (7, 6), 9: (9, 5), 10: (10, 7)}
DATA_START = [0, 0, 0, 0, 0, 1, 0, 1, 0]


def pn(order, start, count):
    s = list(start)
    out = []
    for _ in range(count):
        out.append(s[-1])
        feedback = 0
        for t in PN_TAPS[order]:
            feedback ^= s[t - 1]
        s = [feedback] + s[:-1]
    return np.array(out, dtype=np.int64)


def seed_bits(seed, order):
    return [(seed >> (order - 1 - j)) & 1 for j in range(order)]


def pack(bits, k):
    groups = bits.reshape(-1, k)
    return (groups << np.arange(k)).sum(axis=1)


def gray_inverse(g):
    b = 0
    while g:
        b ^= g
        g >>= 1
    return b


def rectangular(ni, nq):
    table = np.zeros(ni * nq, complex)
    for s in range(ni * nq):
        p, q = gray_inverse(s // nq), gray_inverse(s % nq)
        table[s] = complex(2 * p - (ni - 1), (nq - 1) - 2 * q)
    return table


def apsk16():
    a, b, c, d = math.sqrt(0.5), 3.15 * math.cos(math.pi / 12), 3.15 * math.sin(math.pi / 12), 3.15 * math.sqrt(0.5)
    points = []
    for x, y in ((a, a), (b, c), (c, b), (d, d)):
        points += [complex(x, y), complex(-x, y), complex(x, -y), complex(-x, -y)]
    return np.array(points)


# kind number -> (bits per symbol, mapping)
PSK = {1: (2, 0.0), 3: (4, math.pi / 4), 5: (4, math.pi / 4), 7: (8, 0.0), 9: (16, 0.0)}
DPSK = {2: (2, 0.0), 4: (4, 0.0), 6: (4, math.pi / 4), 8: (8, 0.0)}
TABLES = {10: (4, 4), 11: (8, 8), 12: (16, 16), 13: (32, 32), 22: (4, 2)}
ASK = {14: 2, 19: 4, 20: 8}


def alphabet(kind):
    for table in (PSK, DPSK):
        if kind in table:
            return table[kind][0]
    if kind in TABLES:
        return TABLES[kind][0] * TABLES[kind][1]
    return {21: 16}.get(kind, ASK.get(kind))


def map_points(kind, symbols, span):
    if kind in PSK:
        m, phase = PSK[kind]
        return np.exp(1j * (2 * np.pi * symbols / m + phase))
    if kind in DPSK:
        m, phase = DPSK[kind]
        points = np.exp(1j * np.cumsum(2 * np.pi * symbols / m + phase))
        points[len(points) - span :] = points[:span]
        return points
    if kind in TABLES:
        return rectangular(*TABLES[kind])[symbols]
    if kind == 21:
        return apsk16()[symbols]
    return symbols.astype(complex)


def taps(filter_type, beta, span, sps):
    if filter_type == 1:
        return np.ones(sps + 1)
    if filter_type == 5:
        return np.sin(np.arange(sps + 1) * np.pi / sps)
    if filter_type == 4:
        t = np.arange(span * sps + 1) / sps - span / 2
        a = math.sqrt(math.log(2) / 2) / beta
        h = np.exp(-((np.pi * t / a) ** 2))
        return h / h.sum()
    half = span * sps // 2
    t = (np.arange(2 * half + 1) - half) / sps
    h = np.zeros(len(t))
    for i, ti in enumerate(t):
        if filter_type == 2:
            d = 1 - (2 * beta * ti) ** 2
            h[i] = (
                np.sinc(ti) * math.cos(math.pi * beta * ti) / d
                if abs(d) > 1e-12
                else math.pi / 4 * np.sinc(1 / (2 * beta))
            )
        elif abs(ti) < 1e-12:
            h[i] = 1 - beta + 4 * beta / math.pi
        elif abs(abs(4 * beta * ti) - 1) < 1e-12:
            h[i] = (
                beta
                / math.sqrt(2)
                * (
                    (1 + 2 / math.pi) * math.sin(math.pi / (4 * beta))
                    + (1 - 2 / math.pi) * math.cos(math.pi / (4 * beta))
                )
            )
        else:
            h[i] = (math.sin(math.pi * ti * (1 - beta)) + 4 * beta * ti * math.cos(math.pi * ti * (1 + beta))) / (
                math.pi * ti * (1 - (4 * beta * ti) ** 2)
            )
    return h / math.sqrt((h**2).sum())


def linear_evm(x, points, h, sps, filter_type, q_delay=0):
    """EVM of one period x (len N sps, or one more) against its N symbols."""
    n = len(points)
    period = n * sps
    d = (len(h) - 1) // 2
    y = x[:period]
    if filter_type == 3:  # the matched filter, applied around the loop
        kernel = np.zeros(period)
        for m, tap in enumerate(h):
            kernel[(m - d) % period] += tap
        y = scipy.fft.ifft(scipy.fft.fft(y) * np.conj(scipy.fft.fft(kernel)))
    centres = (np.arange(n) * sps - d) % period
    quadrature = x if filter_type != 3 else y
    size = len(x) if filter_type != 3 else period
    received = y[centres].real + 1j * quadrature[(centres + q_delay) % size].imag
    if filter_type in (4, 5):  # not Nyquist: the pulse's own value at the instant
        reference = np.zeros(n, complex)
        for q in range(-(d // sps), (len(h) - 1 - d) // sps + 1):
            reference += h[d + q * sps] * np.roll(points, -q)
    else:
        reference = points
    return evm(received, reference, np.zeros(n, int))


def evm(received, reference, groups):
    """One complex gain per group, errors pooled."""
    error = np.zeros(len(received), complex)
    for g in np.unique(groups):
        sel = groups == g
        gain = np.vdot(received[sel], reference[sel]) / np.vdot(received[sel], received[sel])
        error[sel] = gain * received[sel] - reference[sel]
    signal, noise = np.sum(np.abs(reference) ** 2), np.sum(np.abs(error) ** 2)
    return {
        "evm_percent": 100 * math.sqrt(noise / signal),
        "evm_peak_percent": 100 * np.abs(error).max() / math.sqrt(signal / len(reference)),
        "mer_db": 10 * math.log10(signal / noise) if noise > 0 else None,
    }


# Waveform.params holds the enumerations by name.
MODULATIONS = {
    name: number + 1
    for number, name in enumerate(
        "bpsk dbpsk qpsk dqpsk oqpsk pi4_dqpsk psk8 dpsk8 psk16 qam16 qam64 qam256 qam1024 ask2 fsk2 fsk4 fsk8 fsk16 "
        "ask4 ask8 apsk16 qam8".split()
    )
}
FILTERS = {"rect": 1, "rcos": 2, "rrcos": 3, "gaussian": 4, "half_sine": 5}


def numbered(p):
    """The params with modType and filterType as numbers."""
    p = dict(p)
    for key, table in (("modType", MODULATIONS), ("filterType", FILTERS)):
        if isinstance(p.get(key), str):
            p[key] = table[p[key].lower()]
    return p


def digital_evm(x, p):
    p = numbered(p)
    kind, sps, n = p["modType"], p["samplesPerSymbol"], p["symbolCount"]
    span = 1 if p["filterType"] in (1, 5) else p["filterSpan"]
    k = int(math.log2(alphabet(kind)))
    bits = pn(p["pnOrder"], seed_bits(p["pnSeed"], p["pnOrder"]), k * n)
    bits = np.concatenate([bits, bits[: k * span]])
    points = map_points(kind, pack(bits, k), span)[:n]
    h = taps(p["filterType"], p["rolloff"], span, sps)
    return linear_evm(x, points, h, sps, p["filterType"], sps // 2 if kind == 5 else 0)


def dss_evm(x, p):
    p = numbered(p)
    order, bit_count, sps = p["pnOrder"], p["bitCount"], p["samplesPerChip"]
    chips_per_bit = 2**order - 1
    data = np.repeat(pn(9, DATA_START, bit_count), chips_per_bit)
    chips = (pn(order, seed_bits(p["pnSeed"], order), bit_count * chips_per_bit) + data) % 2
    span = 1 if p["filterType"] in (1, 5) else p["filterSpan"]
    return linear_evm(x, 1.0 - 2.0 * chips, taps(p["filterType"], p["rolloff"], span, sps), sps, p["filterType"])


OFDM_MAPS = {
    1: (1, None),
    3: (2, None),
    7: (3, None),
    9: (4, None),
    10: (4, (4, 4)),
    11: (6, (8, 8)),
    12: (8, (16, 16)),
}


def ofdm_evm(x, p):
    p = numbered(p)
    n, symbols, prefix = p["fftSize"], p["numSymbols"], int(p["fftSize"] * p["cpPercent"] / 100)
    positions = [q for q in range(p["guardLow"], n - p["guardHigh"]) if not (p["nullDC"] and q == n // 2)]
    used = len(positions)
    k, grid = OFDM_MAPS[p["modType"]]
    values = pack(pn(9, DATA_START, k * used * symbols), k)
    if grid:
        table = rectangular(*grid)
        points = table[values] / math.sqrt(np.mean(np.abs(table) ** 2))
    else:
        points = map_points(p["modType"], values, 0)
    body = 0 if p["windowing"] and prefix else prefix
    slots = x.reshape(symbols, n + prefix)[:, body : body + n]
    bins = scipy.fft.fft(slots, axis=1)[:, [(q + n // 2) % n for q in positions]]
    return evm(bins.reshape(-1), points, np.tile(np.arange(used), symbols))
