"""A GNU Radio source of a gensignal loop (GNU Radio 3.10, Debian's
gnuradio): the loop is made once and streamed forever as complex samples
(iq / 32767), with an "rx_rate" tag (the sample rate, a double) on the
first sample and a "loop_start" tag (the loop's number, a uint64) on the
first sample of every loop. GRC finds the block definition in BLOCKS_PATH
(GRC_BLOCKS_PATH=$(python3 -c 'import gensignal.gnuradio as g;
print(g.BLOCKS_PATH)') gnuradio-companion).

    from gnuradio import gr, blocks
    import gensignal.gnuradio
    src = gensignal.gnuradio.source("digital", sample_rate=8e6, mod_type="qpsk", symbol_rate=1e6)
"""
import pathlib

import numpy as np
import pmt
from gnuradio import gr

from .._kinds import generate

BLOCKS_PATH = str(pathlib.Path(__file__).resolve().parent)
# Items a call may hand out at most: long copies, few calls.
_PIECE = 1 << 16


class source(gr.sync_block):  # noqa: N801 (GNU Radio's block naming)
    """`kind` and its record as gensignal.generate takes them (loop=,
    peak_dbfs= and the rest included); `sample_rate` in samples per second."""

    def __init__(self, kind="digital", sample_rate=None, **record):
        gr.sync_block.__init__(self, name="gensignal_source", in_sig=None, out_sig=[np.complex64])
        if sample_rate is not None:
            record["sample_rate"] = sample_rate
        self.waveform = generate(kind, **record)
        self.loop = np.ascontiguousarray(self.waveform.samples)
        n = len(self.loop)
        # The loop followed by its own beginning: any piece of up to _PIECE
        # items starting inside the loop is one contiguous copy.
        reps = -(-(n + _PIECE) // n)
        self._tiled = np.tile(self.loop, reps)[: n + _PIECE]
        self.sample_rate = self.waveform.sample_rate
        self._rate_key = pmt.intern("rx_rate")
        self._loop_key = pmt.intern("loop_start")
        self._src = pmt.intern(self.name())
        # A larger buffer downstream: fewer calls through Python.
        self.set_min_output_buffer(_PIECE)

    def work(self, input_items, output_items):
        out = output_items[0]
        n = min(len(out), _PIECE)
        start = self.nitems_written(0)
        length = len(self.loop)
        at = start % length
        out[:n] = self._tiled[at : at + n]
        if start == 0:
            self.add_item_tag(0, 0, self._rate_key, pmt.from_double(self.sample_rate), self._src)
        # The loops that begin within these n items.
        first = -(-start // length)
        for k in range(first, (start + n - 1) // length + 1):
            self.add_item_tag(0, k * length, self._loop_key, pmt.from_uint64(k), self._src)
        return n
