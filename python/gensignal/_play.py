"""Playing a waveform through a SoapySDR device without a gap, as wavegen
play does: the loop converted to the stream's format once, then written
from memory in pieces of the stream's MTU, each starting where the last
ended; underruns and late packets read from the stream's status between
writes. Needs Debian's python3-soapysdr."""
from dataclasses import dataclass
import math

import numpy as np

from ._library import GenSignalError


@dataclass
class PlayReport:
    samples: int = 0
    underruns: int = 0
    late: int = 0
    other_errors: int = 0
    interrupted: bool = False
    status_reported: bool = True
    format: str = ""
    mtu: int = 0
    device_rate: float = 0.0


def _positive(name, value):
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not value > 0 or not math.isfinite(value):
        raise GenSignalError(-1, f"{name} = {value!r}: must be a finite number above 0", name)
    return value


def _native_loop(iq, fmt, mtu):
    """The loop and, after it, its first `mtu` samples, in the stream's format."""
    reps = -(-(len(iq) + mtu) // len(iq))
    tiled = np.tile(iq, (reps, 1))[: len(iq) + mtu]
    if fmt == "CS16":
        return np.ascontiguousarray(tiled, dtype=np.int16)
    out = np.empty(len(tiled), dtype=np.complex64)
    out.real = tiled[:, 0] / 32767.0
    out.imag = tiled[:, 1] / 32767.0
    return out


def _check_settings(loops, play_seconds, rf_bandwidth, stream_format):
    if loops is not None and (isinstance(loops, bool) or not isinstance(loops, int) or loops < 1):
        raise GenSignalError(-1, f"loops = {loops!r}: must be a whole number from 1", "loops")
    _positive("play_seconds", play_seconds)
    _positive("rf_bandwidth", rf_bandwidth)
    if stream_format not in ("CF32", "CS16"):
        raise GenSignalError(-1, f"stream_format = {stream_format!r}: must be CF32 or CS16", "stream_format")


def _tuned_device(soapy, device, channel, sample_rate, center_frequency, gain_db, rf_bandwidth, report):
    """The device opened and set as asked; the rate it took goes into `report`."""
    tx = soapy.SOAPY_SDR_TX
    try:
        dev = soapy.Device(device)
    except RuntimeError as e:
        raise GenSignalError(-1, f"device {device!r}: {e}", "device") from None
    dev.setSampleRate(tx, channel, sample_rate)
    report.device_rate = dev.getSampleRate(tx, channel)
    if center_frequency is not None:
        dev.setFrequency(tx, channel, center_frequency)
    if gain_db is not None:
        dev.setGain(tx, channel, gain_db)
    if rf_bandwidth is not None:
        dev.setBandwidth(tx, channel, rf_bandwidth)
    return dev


def _samples_to_play(loops, play_seconds, loop_samples, sample_rate):
    """The samples to write in all; None: until Ctrl-C."""
    total = None
    if loops is not None:
        total = loops * loop_samples
    if play_seconds is not None:
        by_time = round(play_seconds * sample_rate)
        total = by_time if total is None else min(total, by_time)
    return total


def _read_status(soapy, dev, stream, report, on_event, timeout_us):
    """The stream's pending status reports counted into `report`."""
    while report.status_reported:
        rc = dev.readStreamStatus(stream, timeoutUs=timeout_us).ret
        if rc == soapy.SOAPY_SDR_TIMEOUT:
            return
        if rc == soapy.SOAPY_SDR_NOT_SUPPORTED:
            report.status_reported = False
            return
        if rc == 0:
            continue
        if rc == soapy.SOAPY_SDR_UNDERFLOW:
            report.underruns += 1
            on_event(f"underrun after {report.samples} samples")
        elif rc == soapy.SOAPY_SDR_TIME_ERROR:
            report.late += 1
            on_event(f"late packet after {report.samples} samples")
        else:
            report.other_errors += 1
            on_event(f"stream status: {soapy.errToStr(rc)} after {report.samples} samples")


def _write_loop(soapy, dev, stream, data, loop_samples, total, report, on_event, device):
    """Pieces of the stream's MTU from memory, each where the last ended,
    until `total` samples or Ctrl-C; the stream is closed after."""
    at = 0
    try:
        while total is None or report.samples < total:
            n = report.mtu if total is None else min(report.mtu, total - report.samples)
            last = total is not None and report.samples + n == total
            rc = dev.writeStream(
                stream, [data[at : at + n]], n, soapy.SOAPY_SDR_END_BURST if last else 0, timeoutUs=100000
            ).ret
            if rc > 0:
                report.samples += rc
                at = (at + rc) % loop_samples
            elif rc == soapy.SOAPY_SDR_UNDERFLOW:
                report.underruns += 1
                on_event(f"underrun after {report.samples} samples")
            elif rc != soapy.SOAPY_SDR_TIMEOUT:
                raise GenSignalError(-1, f"device {device!r}: writeStream: {soapy.errToStr(rc)}", "device")
            _read_status(soapy, dev, stream, report, on_event, 0)
    except KeyboardInterrupt:
        report.interrupted = True
    finally:
        _read_status(soapy, dev, stream, report, on_event, 100000)
        dev.deactivateStream(stream)
        dev.closeStream(stream)


def play(
    waveform,
    device,
    loops=None,
    play_seconds=None,
    center_frequency=None,
    gain_db=None,
    rf_bandwidth=None,
    channel=0,
    stream_format="CF32",
    on_event=print,
):
    """Plays `waveform`'s buffer (its `period`) on the SoapySDR `device`
    (arguments such as "driver=hackrf") until `loops` loops or
    `play_seconds` seconds of samples are written, or Ctrl-C. The stream
    is CF32 (iq / 32767), which every driver scales to its converter, or
    CS16 (the values as they are) for a device whose CS16 full scale is
    32768: SoapySDR's Python binding cannot read the native format's full
    scale, so wavegen play's own choice is not made here. `on_event` gets
    each underrun or late packet as it is reported. Returns a PlayReport;
    raises GenSignalError when the device cannot play."""
    import SoapySDR

    _check_settings(loops, play_seconds, rf_bandwidth, stream_format)
    iq = np.asarray(waveform.period, dtype=np.int16).reshape(-1, 2)
    if len(iq) == 0:
        raise GenSignalError(-1, "the waveform holds no samples", "waveform")
    report = PlayReport()
    rate = waveform.sample_rate
    dev = _tuned_device(SoapySDR, device, channel, rate, center_frequency, gain_db, rf_bandwidth, report)
    report.format = stream_format
    stream = dev.setupStream(SoapySDR.SOAPY_SDR_TX, report.format, [channel])
    report.mtu = dev.getStreamMTU(stream)
    data = _native_loop(iq, report.format, report.mtu)
    total = _samples_to_play(loops, play_seconds, len(iq), rate)
    dev.activateStream(stream)
    _write_loop(SoapySDR, dev, stream, data, len(iq), total, report, on_event, device)
    return report
