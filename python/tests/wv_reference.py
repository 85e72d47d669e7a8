"""A reader of the instrument formats written from their public
documentation alone, to check gensignal's writers against (it shares no
code with the package):

- the tagged waveform file: tags {NAME: data}; TYPE first, "SMU-WV" and an
  ASCII checksum, which is 0xA50F74FF XOR-ed with every 32-bit word of the
  bytes after the '#' of the WAVEFORM tag (0 or text: none); CLOCK in Hz;
  LEVEL OFFS: RMS and peak offsets in dB below full scale, 32767 =
  sqrt(I^2 + Q^2) max = 0 dB; SAMPLES; CONTROL LENGTH; MARKER LIST n:
  Pos:State pairs apart by ';', the state holding from Pos to the next Pos;
  {WAVEFORM-Length:#I0Q0...}, Length = 4 * pairs + 1, I and Q int16 in two's
  complement, least significant byte first;
- big-endian I/Q: interleaved signed 16-bit I and Q, most significant byte
  first; the marker file one byte per I/Q pair, its 4 least significant
  bits markers 1-4, marker 1 in the least significant bit."""
import re
import struct

TAG = re.compile(rb"\{([^:{}]+):")


def read_tagged(data):
    """(tags, payload): every text tag's data by name, and the WAVEFORM bytes after '#'."""
    tags, payload, at = {}, None, 0
    while at < len(data):
        match = TAG.match(data, at)
        assert match, f"no tag at byte {at}"
        name = match.group(1).decode("ascii")
        body = match.end()
        if name.startswith("WAVEFORM-"):
            length = int(name.split("-", 1)[1])
            chunk = data[body : body + length]
            assert chunk[:1] == b"#", "the samples start with '#'"
            assert data[body + length : body + length + 1] == b"}", "Length counts up to the closing brace"
            payload = chunk[1:]
            at = body + length + 1
            continue
        end = data.index(b"}", body)
        tags[name] = data[body:end].decode("ascii").strip()
        at = end + 1
        if len(tags) == 1:
            assert name == "TYPE", "TYPE must be the first tag"
    return tags, payload


def checksum(payload):
    result = 0xA50F74FF
    for (word,) in struct.iter_unpack("<I", payload):
        result ^= word
    return result


def samples_le(payload):
    return [v for (v,) in struct.iter_unpack("<h", payload)]


def samples_be(data):
    return [v for (v,) in struct.iter_unpack(">h", data)]


def marker_states(text, length):
    """The state of the line at each of `length` samples."""
    pairs = [tuple(int(x) for x in entry.split(":")) for entry in text.split(";") if entry.strip()]
    states, state, index = [], 0, 0
    for sample in range(length):
        while index < len(pairs) and pairs[index][0] <= sample:
            state = pairs[index][1]
            index += 1
        states.append(state)
    return states


def marker_file_states(data, line):
    return [(byte >> (line - 1)) & 1 for byte in data]
