#!/usr/bin/python3
"""The GNU Radio source's throughput into a null sink, side by side with
the peer a user has today (blocks.vector_source_c(loop, repeat=True), which
tags nothing): N items through head -> null sink, best of three runs, for
loops of several lengths.

    PYTHONPATH=python bench/gnuradio_source.py [--items N]
"""
import argparse
import pathlib
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "python"))

from gnuradio import blocks, gr  # noqa: E402

import gensignal.gnuradio  # noqa: E402

LOOPS = {
    "am, 48 samples": ("am", dict(sample_rate=48000)),
    "multitone, 2,000 samples": ("multitone", dict(sample_rate=1e6)),
    "digital exact, 30.72 MS/s, 61,440 samples": (
        "digital", dict(symbol_rate=3.84e6, symbol_count=7680, sample_rate=30.72e6, loop="exact")),
}


def rate(make, items):
    best = 0.0
    for _ in range(3):
        tb = gr.top_block()
        src = make()
        tb.connect(src, blocks.head(gr.sizeof_gr_complex, items), blocks.null_sink(gr.sizeof_gr_complex))
        start = time.perf_counter()
        tb.run()
        best = max(best, items / (time.perf_counter() - start))
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--items", type=int, default=200_000_000)
    items = parser.parse_args().items
    print(f"{'loop':44} {'gensignal source':>18} {'vector_source_c':>18}  (M samples/s)")
    for name, (kind, record) in LOOPS.items():
        ours = rate(lambda: gensignal.gnuradio.source(kind, **record), items)
        loop = list(gensignal.gnuradio.source(kind, **record).loop)
        peer = rate(lambda: blocks.vector_source_c(loop, True), items)
        print(f"{name:44} {ours / 1e6:18.1f} {peer / 1e6:18.1f}")


if __name__ == "__main__":
    main()
