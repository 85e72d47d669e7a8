import os
import pathlib
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))

WAVEGEN = os.environ.get("GENSIGNAL_WAVEGEN", str(ROOT / "build" / "release" / "tools" / "wavegen" / "wavegen"))

# One set of options per kind, away from the defaults, with names and
# numbers for the enumerations; the same keywords as wavegen options.
KIND_CASES = {
    "digital": dict(
        mod_type="psk8",
        symbol_rate=2e5,
        filter_type="gaussian",
        rolloff=0.5,
        samples_per_symbol=4,
        filter_span=4,
        symbol_count=64,
        pn_order=7,
        pn_seed=77,
        sample_rate=1e6,
    ),
    "dss": dict(bit_rate=2000, pn_order=5, samples_per_chip=2, filter_type=2, bit_count=4, sample_rate=1e5),
    "am": dict(mod_frequency=250, mod_depth=80, mod_shape="triangle", sample_rate=8000),
    "fm": dict(mod_frequency=400, freq_deviation=-250, mod_shape="SQUARE", sample_rate=1000),
    "multitone": dict(tone_count=5, tone_spacing=2500, sample_rate=48000),
    "pulse": dict(pulse_width=2e-4, pulse_period=1e-3, sample_rate=48000),
    "stepsweep": dict(start_frequency=1000, stop_frequency=0, step_count=4, dwell_time=1e-3, sample_rate=48000),
    "rampsweep": dict(sweep_bandwidth=2e5, sweep_time=2e-3, duration=1e-3, sample_rate=1e6),
    "awgn": dict(bandwidth=5e4, duration=2e-3, seed=7, sample_rate=1e6),
    "ofdm": dict(
        fft_size=128, num_symbols=4, cp_percent=10, windowing=True, mod_type="qam16", null_dc=False, sample_rate=2e6
    ),
}


def wavegen_args(kind, kwargs):
    args = [kind]
    for key, value in kwargs.items():
        text = ("true" if value else "false") if isinstance(value, bool) else repr(value)
        args += ["--" + key.replace("_", "-"), text.strip("'")]
    return args


@pytest.fixture
def wavegen(tmp_path):
    """Runs wavegen in tmp_path; returns the completed process."""
    if not os.path.exists(WAVEGEN):
        pytest.skip(f"wavegen not built at {WAVEGEN}")

    def run(*args):
        return subprocess.run([WAVEGEN, *args], cwd=tmp_path, capture_output=True, text=True)

    return run
