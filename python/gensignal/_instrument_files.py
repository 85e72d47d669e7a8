"""Instrument waveform files: the tagged .wv file ({TYPE: SMU-WV,checksum},
CLOCK, LEVEL OFFS, SAMPLES, marker lists, then {WAVEFORM-length:#...} of
little-endian int16 I/Q) and big-endian int16 I/Q (.iqbin) with NAME.marker,
one byte per sample, bit 0 for marker 1 up to bit 3 for marker 4. The same
bytes wavegen writes, written under NAME.partial and renamed when whole;
and the readers of both."""
import math
import os

import numpy as np

from ._library import GenSignalError
from ._formats import output_name

CHECKSUM_SEED = 0xA50F74FF
FULL_SCALE = 32767.0
MARKER_LINES = 4


class InstrumentFileError(ValueError):
    """A .wv or .iqbin file that cannot be read as it claims to be."""


# ---- markers ----------------------------------------------------------------


def parse_marker(text):
    """'2:start:16' -> (2, 'start', 16); 'N:period:K' -> (N, 'period', K)."""
    refusal = f"marker {text!r}: "
    head, _, spec = str(text).partition(":")
    if not head.isdigit() or not 1 <= int(head) <= MARKER_LINES or not spec:
        raise GenSignalError(
            -1, refusal + "expected N:SPEC with a marker N from 1 to 4 (1:start, 2:start:16, " "3:period:4)", "markers"
        )
    name, _, argument = spec.partition(":")
    if name == "start":
        if argument and (not argument.isdigit() or int(argument) < 1):
            raise GenSignalError(-1, refusal + "start:M needs a whole number of samples M from 1", "markers")
        return int(head), "start", int(argument) if argument else 1
    if name == "period":
        if not argument.isdigit() or int(argument) < 1:
            raise GenSignalError(-1, refusal + "period:K needs a whole number of periods K from 1", "markers")
        return int(head), "period", int(argument)
    if name == "bursts" and not argument and ":" not in spec:
        return int(head), "bursts", 0
    raise GenSignalError(-1, refusal + "expected start, start:M, period:K or bursts after the marker number", "markers")


def _period_start(j, samples, loop):
    if loop.get("whole_periods"):
        return -(-j * samples // loop["periods"])
    return math.ceil(j * loop["samples_per_period"])


def _burst_ranges(text, waveform, samples):
    """Where any of a scene's bursts is on, as ranges apart and in order."""
    if getattr(waveform, "scene", None) is None or waveform.parts is None:
        raise GenSignalError(-1, f"marker {text!r}: bursts marks a scene's bursts: this is no scene", "markers")
    ranges = sorted(
        (max(0, p["sample_start"]), min(samples, p["sample_start"] + p["sample_count"]))
        for p in waveform.parts
        if p["burst"] >= 0
    )
    high = []
    for begin, end in ranges:
        if begin >= end:
            continue
        if high and begin <= high[-1][1]:
            high[-1] = (high[-1][0], max(high[-1][1], end))
        else:
            high.append((begin, end))
    return high


def marker_lines(markers, waveform):
    """{line: [(begin, end), ...]} of the ranges where each line is high over
    one buffer, as wavegen makes them from the loop's periods."""
    samples = len(waveform.period)
    loop = waveform.loop or {}
    lines = {}
    for text in markers or ():
        line, kind, count = parse_marker(text)
        if line in lines:
            raise GenSignalError(-1, f"marker {text!r}: marker {line} given twice", "markers")
        if kind == "start":
            lines[line] = [(0, min(count, samples))]
            continue
        if kind == "bursts":
            lines[line] = _burst_ranges(text, waveform, samples)
            continue
        periods = int(loop.get("periods") or 0)
        if periods < 1 or (not loop.get("whole_periods") and not loop.get("samples_per_period", 0) > 0):
            raise GenSignalError(-1, f"marker {text!r}: this waveform states no natural periods to mark", "markers")
        high = []
        for j in range(0, periods, count):
            at = _period_start(j, samples, loop)
            if at >= samples:
                break
            if high and high[-1][1] > at:
                continue
            if high and high[-1][1] == at:
                high[-1] = (high[-1][0], at + 1)
            else:
                high.append((at, at + 1))
        lines[line] = high
    return dict(sorted(lines.items()))


def marker_bytes(lines, samples):
    out = np.zeros(samples, dtype=np.uint8)
    for line, high in lines.items():
        for begin, end in high:
            out[begin:end] |= 1 << (line - 1)
    return out


def lines_from_bytes(data):
    """The lines whose bit is ever set, as {line: [(begin, end), ...]}."""
    data = np.asarray(data, dtype=np.uint8)
    lines = {}
    for line in range(1, MARKER_LINES + 1):
        bit = ((data >> (line - 1)) & 1).astype(np.int8)
        if not bit.any():
            continue
        edges = np.diff(np.concatenate(([0], bit, [0])))
        begins, ends = np.flatnonzero(edges == 1), np.flatnonzero(edges == -1)
        lines[line] = [(int(b), int(e)) for b, e in zip(begins, ends)]
    return lines


def _marker_list_text(high, samples):
    entries = [] if high and high[0][0] == 0 else ["0:0"]
    for begin, end in high:
        entries.append(f"{begin}:1")
        if end < samples:
            entries.append(f"{end}:0")
    return ";".join(entries)


# ---- numbers as the tags state them -----------------------------------------


def _decimal(value):
    """The shortest decimal that reads back as `value`, without an exponent."""
    return np.format_float_positional(float(value), unique=True, trim="-")


def level_offsets(iq):
    """(rms_db, peak_db) below full scale (32767) of int16 I/Q pairs, or None for silence."""
    iq = np.asarray(iq, dtype=np.float64).reshape(-1, 2)
    power = iq[:, 0] * iq[:, 0] + iq[:, 1] * iq[:, 1]
    peak2 = float(power.max()) if len(power) else 0.0
    if not peak2 > 0:
        return None
    rms = math.sqrt(math.fsum(power) / len(power))
    return -20 * math.log10(rms / FULL_SCALE), -20 * math.log10(math.sqrt(peak2) / FULL_SCALE)


def checksum(iq):
    """The .wv checksum of int16 I/Q pairs: their 32-bit little-endian words XOR-ed into 0xA50F74FF."""
    words = np.ascontiguousarray(np.asarray(iq, dtype="<i2").reshape(-1)).view("<u4")
    return int(np.bitwise_xor.reduce(words, initial=np.uint32(0))) ^ CHECKSUM_SEED if len(words) else CHECKSUM_SEED


def _printable(text):
    return "".join(c if " " <= c < "\x7f" and c != "}" else " " for c in text)


def _wv_date(stamp):
    return f"{stamp[:10]};{stamp[11:19]}" if stamp and len(stamp) >= 19 else ""


# ---- writers ----------------------------------------------------------------


def _write_whole(files):
    """{name: bytes}: each under NAME.partial, then renamed, in order."""
    partials = []
    try:
        for name, data in files:
            partial = name + ".partial"
            partials.append(partial)
            with open(partial, "wb") as f:
                f.write(data)
        for (name, _), partial in zip(files, partials):
            os.replace(partial, name)
    except OSError:
        for partial in partials:
            if os.path.exists(partial):
                os.remove(partial)
        raise


def wv_bytes(waveform, markers=None, comment=None, datetime=None):
    """The .wv file's bytes, as wavegen --format wv writes them."""
    from ._sigmf import _datetime_text

    iq = np.asarray(waveform.iq, dtype=np.int16)
    lines = marker_lines(markers, waveform)
    period = len(waveform.period)
    tags = f"{{TYPE: SMU-WV,{checksum(iq)}}}"
    text = waveform.description() if comment is None else comment
    if text:
        tags += f"{{COMMENT: {_printable(text)}}}"
    date = _wv_date(_datetime_text(datetime))
    if date:
        tags += f"{{DATE: {date}}}"
    tags += f"{{CLOCK: {_decimal(waveform.sample_rate)}}}"
    levels = level_offsets(iq)
    if levels:
        tags += f"{{LEVEL OFFS: {_decimal(levels[0])},{_decimal(levels[1])}}}"
    tags += f"{{SAMPLES: {len(iq)}}}"
    if lines:
        tags += f"{{CONTROL LENGTH: {period}}}"
        for line, high in lines.items():
            tags += f"{{MARKER LIST {line}: {_marker_list_text(high, period)}}}"
    tags += f"{{WAVEFORM-{4 * len(iq) + 1}:#"
    return tags.encode("ascii") + iq.astype("<i2").tobytes() + b"}"


def write_wv(waveform, path, markers=None, comment=None, datetime=None):
    """PATH.wv; returns its name."""
    name = output_name(path, ".wv")
    _write_whole([(name, wv_bytes(waveform, markers, comment, datetime))])
    return name


def marker_file_name(data_name):
    data_name = os.fspath(data_name)
    return (data_name[: -len(".iqbin")] if data_name.endswith(".iqbin") else data_name) + ".marker"


def write_iqbin(waveform, path, markers=None):
    """PATH.iqbin (big-endian int16 I/Q) and, with markers, PATH.marker;
    returns the data file's name. A marker file an earlier waveform of the
    name left is removed."""
    name = output_name(path, ".iqbin")
    files = [(name, np.asarray(waveform.iq, dtype=">i2").tobytes())]
    lines = marker_lines(markers, waveform)
    if lines:
        once = marker_bytes(lines, len(waveform.period))
        files.append((marker_file_name(name), np.tile(once, max(waveform.repeat, 1)).tobytes()))
    _write_whole(files)
    if not lines and os.path.exists(marker_file_name(name)):
        os.remove(marker_file_name(name))
    return name


# ---- readers ----------------------------------------------------------------


def _shown(text):
    """A file's text as a message shows it: no control bytes, cut when long."""
    out = "".join(c if " " <= c < "\x7f" and c != "\\" else f"\\x{ord(c):02x}" for c in text)
    return out[:60] + "..." if len(out) > 60 else out


def _add_high(high, begin, end):
    # A list that states 1 twice running: one range.
    if high and high[-1][1] == begin:
        high[-1] = (high[-1][0], end)
    else:
        high.append((begin, end))


def _parse_marker_list(text, length):
    high, previous, state = [], -1, 0
    entries = [e.strip() for e in text.split(";")]
    if entries and entries[-1] == "":
        entries.pop()
    for entry in entries:
        position, colon, value = entry.partition(":")
        position, value = position.strip(), value.strip()
        if not colon or not position.isdigit() or value not in ("0", "1") or int(position) <= previous:
            raise InstrumentFileError(f"marker list {_shown(text)!r}: expected Pos:State entries at rising positions")
        if state == 1 and 0 <= previous < length:
            _add_high(high, previous, min(int(position), length))
        previous, state = int(position), int(value)
    if previous < 0:
        raise InstrumentFileError(f"marker list {_shown(text)!r}: no entries")
    if state == 1 and previous < length:
        _add_high(high, previous, length)
    return high


def parse_wv(data):
    """(tags, iq) of a .wv file's bytes: tags by name (text), iq int16 (n, 2)."""
    tags, at, samples = {}, 0, None
    while at < len(data):
        while at < len(data) and data[at] in b" \t\r\n":
            at += 1
        if at >= len(data):
            break
        if data[at] != ord("{"):
            raise InstrumentFileError(f"byte {at} is not the '{{' of a tag")
        colon = data.find(b":", at)
        if colon < 0:
            raise InstrumentFileError(f"the tag at byte {at} has no ':'")
        name = data[at + 1 : colon].decode("ascii", "replace")
        if "{" in name or "}" in name:
            raise InstrumentFileError(f"the tag at byte {at} has no ':' before its '}}'")
        head, dash, count = name.rpartition("-")
        if dash and count.isdigit():
            length = int(count)
            start = colon + 1
            if head == "WAVEFORM":
                hash_at = start
                while hash_at < len(data) and data[hash_at] == ord(" "):
                    hash_at += 1
                if hash_at >= len(data) or data[hash_at] != ord("#"):
                    raise InstrumentFileError(f"{{{_shown(name)}: no '#' before the samples")
                if start + length < len(data) and data[start + length] == ord("}") and start + length > hash_at:
                    end = start + length
                elif hash_at + length < len(data) and data[hash_at + length] == ord("}"):
                    end = hash_at + length
                else:
                    raise InstrumentFileError(f"{{{_shown(name)}: {length} bytes do not end at a '}}'; truncated?")
                if samples is not None:
                    raise InstrumentFileError("a second WAVEFORM tag")
                samples = data[hash_at + 1 : end]
                at = end + 1
                continue
            if start + length >= len(data) or data[start + length] != ord("}"):
                raise InstrumentFileError(f"{{{_shown(name)}: {length} bytes do not end at a '}}'")
            at = start + length + 1
            continue
        close = data.find(b"}", colon)
        if close < 0:
            raise InstrumentFileError(f"{{{_shown(name)}: no closing '}}'")
        if not tags and name != "TYPE":
            raise InstrumentFileError("the first tag is not TYPE")
        tags[name] = data[colon + 1 : close].decode("ascii", "replace").strip()
        at = close + 1
    if "TYPE" not in tags:
        raise InstrumentFileError("the first tag is not TYPE")
    if samples is None:
        raise InstrumentFileError("no WAVEFORM tag")
    if len(samples) == 0 or len(samples) % 4:
        raise InstrumentFileError(f"the WAVEFORM tag holds {len(samples)} bytes, not a whole number of I/Q samples")
    return tags, np.frombuffer(samples, dtype="<i2").reshape(-1, 2)


def read_wv(path):
    """A .wv file as a Waveform (`markers`: {line: [(begin, end), ...]} over
    CONTROL LENGTH samples, or the file's length). The checksum, SAMPLES and
    the lengths are checked."""
    from ._waveform import Waveform

    path = os.fspath(path)
    with open(path, "rb") as f:
        data = f.read()
    try:
        tags, iq = parse_wv(data)
        magic, _, stated = tags["TYPE"].partition(",")
        if magic.strip() != "SMU-WV":
            raise InstrumentFileError(f"TYPE {_shown(magic.strip())}: only single waveforms (SMU-WV) are read")
        stated = stated.strip()
        if stated.isdigit() and int(stated) != 0 and int(stated) != checksum(iq):
            raise InstrumentFileError(f"TYPE: the checksum {stated} does not match the samples' {checksum(iq)}")
        if "SAMPLES" in tags and tags["SAMPLES"] != str(len(iq)):
            raise InstrumentFileError(f"SAMPLES {_shown(tags['SAMPLES'])} but the WAVEFORM tag holds {len(iq)} samples")
        try:
            rate = float(tags["CLOCK"])
        except (KeyError, ValueError):
            raise InstrumentFileError("no CLOCK tag states its rate") from None
        length = int(tags["CONTROL LENGTH"]) if tags.get("CONTROL LENGTH", "").isdigit() else len(iq)
        markers = {}
        for name, text in tags.items():
            if name.startswith("MARKER LIST "):
                line = name[len("MARKER LIST ") :]
                if not line.isdigit() or not 1 <= int(line) <= MARKER_LINES:
                    raise InstrumentFileError(f"{_shown(name)}: markers are numbered 1 to 4")
                markers[int(line)] = _parse_marker_list(text, length)
    except InstrumentFileError as e:
        raise InstrumentFileError(f"{path}: {e}") from None
    wf = Waveform(iq.copy(), rate)
    wf.markers = dict(sorted(markers.items()))
    wf.tags = tags
    return wf


def read_iqbin(path, sample_rate):
    """PATH.iqbin as a Waveform at `sample_rate`, with `markers` from
    PATH.marker when there is one."""
    from ._waveform import Waveform

    path = os.fspath(path)
    with open(path, "rb") as f:
        data = f.read()
    if len(data) == 0 or len(data) % 4:
        raise InstrumentFileError(f"{path}: {len(data)} bytes is not a whole number of big-endian int16 I/Q samples")
    iq = np.frombuffer(data, dtype=">i2").astype(np.int16).reshape(-1, 2)
    wf = Waveform(iq, sample_rate)
    wf.markers = {}
    marker_path = marker_file_name(path)
    if os.path.exists(marker_path):
        with open(marker_path, "rb") as f:
            marks = np.frombuffer(f.read(), dtype=np.uint8)
        if len(marks) != len(iq):
            raise InstrumentFileError(f"{marker_path}: {len(marks)} marker bytes for the {len(iq)} samples of {path}")
        wf.markers = lines_from_bytes(marks)
    return wf
