"""The GNU Radio source in a real flowgraph (source -> head -> vector sink):
the output is the loop tiled, with the rate tag and a loop_start tag at
every seam; and the GRC block definition makes the same block."""
import numpy as np
import pytest

gr = pytest.importorskip("gnuradio.gr")
blocks = pytest.importorskip("gnuradio.blocks")
yaml = pytest.importorskip("yaml")

import gensignal  # noqa: E402
import gensignal.gnuradio  # noqa: E402


def run(src, items):
    tb = gr.top_block()
    head = blocks.head(gr.sizeof_gr_complex, items)
    sink = blocks.vector_sink_c()
    tb.connect(src, head, sink)
    tb.run()
    return np.array(sink.data(), dtype=np.complex64), sink.tags()


# Loops shorter and longer than a call's piece (65,536 items), and one of
# exact mode at an instrument rate.
@pytest.mark.parametrize(
    "kind, record, items",
    [
        ("am", dict(sample_rate=48000), 10_000),
        ("digital", dict(symbol_rate=3.84e6, symbol_count=40, sample_rate=30.72e6, loop="exact"), 200_000),
        ("multitone", dict(tone_count=3, tone_spacing=1e3, sample_rate=2e5), 150_001),
    ],
)
def test_the_flowgraph_streams_the_loop_tiled_with_its_tags(kind, record, items):
    src = gensignal.gnuradio.source(kind, **record)
    made = gensignal.generate(kind, **record)
    loop = made.samples
    assert np.array_equal(src.loop, loop)
    data, tags = run(src, items)
    reps = -(-items // len(loop))
    assert np.array_equal(data, np.tile(loop, reps)[:items])
    rate = [t for t in tags if str(t.key) == "rx_rate"]
    assert [(t.offset, float(str(t.value))) for t in rate] == [(0, made.sample_rate)]
    starts = [(t.offset, int(str(t.value))) for t in tags if str(t.key) == "loop_start"]
    assert starts == [(k * len(loop), k) for k in range(reps)]


def test_the_grc_definition_makes_the_block():
    mako = pytest.importorskip("mako.template")
    path = f"{gensignal.gnuradio.BLOCKS_PATH}/gensignal_source.block.yml"
    with open(path) as f:
        block = yaml.safe_load(f)
    assert block["id"] == "gensignal_source" and block["outputs"][0]["dtype"] == "complex"
    options = next(p for p in block["parameters"] if p["id"] == "kind")["options"]
    assert [eval(o) for o in options] == list(gensignal.KINDS)
    make = mako.Template(block["templates"]["make"]).render(
        kind='"pulse"', sample_rate="48000.0", loop_mode='"exact"', record="dict(pulse_width=2e-4, pulse_period=1e-3)"
    )
    namespace = {}
    exec(block["templates"]["imports"], namespace)
    src = eval(make, namespace)
    assert np.array_equal(
        src.loop, gensignal.pulse(pulse_width=2e-4, pulse_period=1e-3, sample_rate=48000, loop="exact").samples
    )


def test_a_refused_record_is_refused_when_the_block_is_made():
    with pytest.raises(gensignal.GenSignalError):
        gensignal.gnuradio.source("am", sample_rate=48000, mod_frequency=0)


def test_grc_compiles_a_flowgraph_with_the_block(tmp_path):
    import os
    import shutil
    import subprocess
    import sys

    if not shutil.which("grcc"):
        pytest.skip("grcc is not installed")
    here = os.path.dirname(__file__)
    env = dict(os.environ, GRC_BLOCKS_PATH=gensignal.gnuradio.BLOCKS_PATH)
    done = subprocess.run(
        ["grcc", os.path.join(here, "gensignal_source_flowgraph.grc"), "-o", str(tmp_path)],
        env=env,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert done.returncode == 0, done.stderr
    script = (tmp_path / "fg.py").read_text()
    assert 'gensignal.gnuradio.source("am", sample_rate=samp_rate, loop="defined", **dict(mod_depth=30))' in script
    env["PYTHONPATH"] = os.path.join(here, "..")
    ran = subprocess.run(
        [sys.executable, str(tmp_path / "fg.py")], env=env, input="\n", capture_output=True, text=True, timeout=60
    )
    assert ran.returncode == 0, ran.stderr
