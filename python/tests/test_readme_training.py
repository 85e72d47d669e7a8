"""The README's training example, run as a user would: the block marked
`<!-- tested: training -->` as a script in a folder of its own."""
import math
import os
import re
import subprocess
import sys

import pytest

from conftest import ROOT

pytest.importorskip("torch")
pytest.importorskip("distributed")
pytest.importorskip("h5py")

MARK = "<!-- tested: training -->"


def marked_block(text, mark):
    """The fenced Python block right after `mark`."""
    found = re.search(re.escape(mark) + r"\s*\n```python\n(.*?)\n```", text, re.S)
    assert found, f"README: no python block after {mark}"
    return found.group(1)


def test_the_training_example_runs_and_learns(tmp_path):
    code = marked_block((ROOT / "README.md").read_text(encoding="utf-8"), MARK)
    (tmp_path / "train.py").write_text(code + "\n")
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"), OMP_NUM_THREADS="1")
    # The timeout only keeps a hung worker from hanging the suite.
    done = subprocess.run(
        [sys.executable, "train.py"], cwd=tmp_path, env=env, capture_output=True, text=True, timeout=300
    )
    assert done.returncode == 0, done.stderr
    losses = [float(v) for v in re.findall(r"^epoch \d+: loss (\S+)$", done.stdout, re.M)]
    assert len(losses) >= 3 and all(math.isfinite(v) for v in losses), done.stdout
    # Seeded throughout: the same losses every run, and the model does learn.
    assert losses[-1] < 0.75 * losses[0], done.stdout
    assert len((tmp_path / "training" / "index.jsonl").read_text().splitlines()) == 64
