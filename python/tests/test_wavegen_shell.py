"""wavegen in the shell: samples piped from standard output into Python, and
the bash completion made from the field table."""
import shutil
import subprocess
import sys

import numpy as np
import pytest

import gensignal
from conftest import KIND_CASES, WAVEGEN, wavegen_args


@pytest.mark.parametrize("fmt, dtype", [("raw", "<i2"), ("cf32", "<f4")])
def test_dash_output_pipes_into_python(fmt, dtype, wavegen, tmp_path):
    args = " ".join(wavegen_args("ofdm", KIND_CASES["ofdm"]))
    reader = f"import sys, numpy; v = numpy.frombuffer(sys.stdin.buffer.read(), '{dtype}'); numpy.save('got.npy', v)"
    done = subprocess.run(
        f'{WAVEGEN} {args} --format {fmt} --repeat 2 -o - | {sys.executable} -c "{reader}"',
        shell=True,
        cwd=tmp_path,
        capture_output=True,
        text=True,
    )
    assert done.returncode == 0, done.stderr
    assert done.stderr.startswith("ofdm: ") and "-> standard output" in done.stderr
    got = np.load(tmp_path / "got.npy")
    wf = gensignal.ofdm(**KIND_CASES["ofdm"]).repeated(2)
    want = wf.iq.reshape(-1) if fmt == "raw" else wf.samples.view(np.float32)
    np.testing.assert_array_equal(got, want)


@pytest.fixture
def completion(wavegen, tmp_path):
    if not shutil.which("bash"):
        pytest.skip("no bash")
    done = wavegen("--bash-completion")
    assert done.returncode == 0, done.stderr
    (tmp_path / "wavegen.bash").write_text(done.stdout)

    def complete(*words):
        script = f"""source wavegen.bash
COMP_WORDS=({' '.join(repr(w) if w else "''" for w in words)}); COMP_CWORD={len(words) - 1}
_wavegen; printf '%s\\n' "${{COMPREPLY[@]}}"
"""
        out = subprocess.run(["bash", "-c", script], cwd=tmp_path, capture_output=True, text=True, check=True)
        return out.stdout.split()

    return complete


def test_completion_offers_kinds_options_and_choice_names(completion):
    assert set(gensignal.KINDS) <= set(completion("wavegen", ""))
    assert completion("wavegen", "digital", "--mod-type", "qam") == ["qam16", "qam64", "qam256", "qam1024", "qam8"]
    assert completion("wavegen", "ofdm", "--null-dc", "") == ["true", "false"]
    assert completion("wavegen", "am", "--format", "") == ["sigmf", "raw", "cf32", "wav"]
    assert completion("wavegen", "am", "--mod-frequency", "") == []  # a number: nothing to offer
    fields = {f["option"] for f in gensignal.KINDS["fm"]["fields"]}
    assert fields <= set(completion("wavegen", "fm", "--freq-deviation", "-250", "--"))
    assert "--center-frequency" in completion("wavegen", "fm", "--")


def test_completion_offers_measure_its_options_and_files(completion, tmp_path):
    (tmp_path / "take.sigmf-meta").write_text("{}")
    assert "measure" in completion("wavegen", "")
    assert completion("wavegen", "measure", "--c") == ["--channel-bandwidth", "--channel-spacing", "--channel"]
    assert completion("wavegen", "measure", "ta") == ["take.sigmf-meta"]
    assert "--obw-percent" in completion("wavegen", "measure", "take.sigmf-meta", "--json", "--")
