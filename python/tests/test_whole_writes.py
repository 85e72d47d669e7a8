"""Every writer (wavegen's four formats, the package's four, the dataset
engine) leaves the earlier files byte for byte and nothing new when a write
fails: beyond a file size limit (ulimit -f), on a full file system (a small
tmpfs the test mounts), and when the file system has no inode left for the
metadata after the data was written."""
import contextlib
import json
import os
import pathlib
import re
import resource
import subprocess
import sys

import pytest

from conftest import ROOT, WAVEGEN

SMALL = ["multitone"]  # 2000 samples: 8000 bytes of int16 data
FORMATS = {"sigmf": ["x.sigmf-data", "x.sigmf-meta"], "raw": ["x.raw"], "cf32": ["x.cf32"], "wav": ["x.wav"]}
PYTHON_WRITERS = {"sigmf": "to_sigmf", "raw": "to_raw", "cf32": "to_cf32", "wav": "to_wav"}


def _snapshot(folder):
    return {p.name: p.read_bytes() for p in sorted(pathlib.Path(folder).iterdir())}


@contextlib.contextmanager
def _tmpfs(where, size="256k", inodes=None):
    """A tmpfs of its own at `where` (needs root), unmounted afterwards."""
    where.mkdir()
    options = f"size={size}" + (f",nr_inodes={inodes}" if inodes else "")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", str(where)], capture_output=True).returncode:
        pytest.skip("cannot mount a tmpfs here (needs root)")
    try:
        yield where
    finally:
        subprocess.run(["umount", str(where)], check=True)


def _size_limit(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))


def _wavegen(folder, fmt, repeat, limit=None):
    if not os.path.exists(WAVEGEN):
        pytest.skip(f"wavegen not built at {WAVEGEN}")
    args = [WAVEGEN, *SMALL, "-o", "x", "--format", fmt, "--repeat", str(repeat)]
    return subprocess.run(
        args, cwd=folder, capture_output=True, text=True, preexec_fn=_size_limit(limit) if limit else None
    )


def _python(folder, fmt, repeat, limit=None):
    script = f"import gensignal; gensignal.multitone().repeated({repeat}).{PYTHON_WRITERS[fmt]}('x')"
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"))
    return subprocess.run(
        [sys.executable, "-c", script],
        cwd=folder,
        capture_output=True,
        text=True,
        env=env,
        preexec_fn=_size_limit(limit) if limit else None,
    )


WRITERS = [(writer, fmt) for writer in (_wavegen, _python) for fmt in FORMATS]
IDS = [f"{w.__name__[1:]}-{fmt}" for w, fmt in WRITERS]


@pytest.mark.parametrize("writer,fmt", WRITERS, ids=IDS)
def test_a_write_beyond_the_size_limit_keeps_the_earlier_files(writer, fmt, tmp_path):
    assert writer(tmp_path, fmt, 1).returncode == 0
    before = _snapshot(tmp_path)
    assert sorted(before) == FORMATS[fmt]
    failed = writer(tmp_path, fmt, 100, limit=64 * 1024)  # 800 kB asked for, 64 kB allowed
    assert failed.returncode != 0
    assert "File too large" in failed.stderr
    assert _snapshot(tmp_path) == before


@pytest.mark.parametrize("writer,fmt", WRITERS, ids=IDS)
def test_a_recording_larger_than_the_free_space_is_refused_before_writing(writer, fmt, tmp_path):
    with _tmpfs(tmp_path / "fs") as fs:
        assert writer(fs, fmt, 1).returncode == 0
        before = _snapshot(fs)
        failed = writer(fs, fmt, 100)
        assert failed.returncode != 0
        needed = re.search(r"the recording needs [0-9.]+ [kMG]?B \((\d+) bytes\); the file system", failed.stderr)
        assert needed and int(needed[1]) >= {"cf32": 1600000, "wav": 800044}.get(fmt, 800000)
        assert _snapshot(fs) == before


@pytest.mark.parametrize("writer", [_wavegen, _python], ids=["wavegen", "python"])
def test_no_inode_for_the_metadata_leaves_the_earlier_pair(writer, tmp_path):
    # The root, the earlier pair and one more: the data's temporary file is
    # written whole, the metadata's cannot be made.
    with _tmpfs(tmp_path / "fs", size="1m", inodes=4) as fs:
        assert writer(fs, "sigmf", 1).returncode == 0
        before = _snapshot(fs)
        failed = writer(fs, "sigmf", 2)
        assert failed.returncode != 0
        assert "No space left on device" in failed.stderr
        assert _snapshot(fs) == before


def test_wavegen_replaces_a_symbolic_link_instead_of_following_it(wavegen, tmp_path):
    outside = tmp_path / "outside"
    outside.write_bytes(b"keep")
    (tmp_path / "x.raw").symlink_to(outside)
    assert wavegen("multitone", "-o", "x", "--format", "raw").returncode == 0
    assert outside.read_bytes() == b"keep"
    assert not (tmp_path / "x.raw").is_symlink() and (tmp_path / "x.raw").stat().st_size == 8000


# The dataset engine.

MANIFEST = {
    "seed": 3,
    "sets": [{"name": "tones", "kind": "multitone", "count": 3, "params": {"tone_count": {"integers": [2, 8]}}}],
}


def _batch(manifest, out, *options, limit=None):
    pytest.importorskip("distributed")
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"), OMP_NUM_THREADS="1")
    args = [sys.executable, "-m", "gensignal", "batch", str(manifest), "-o", str(out), "--workers", "1", *options]
    return subprocess.run(
        args,
        env=env,
        capture_output=True,
        text=True,
        timeout=300,
        stdin=subprocess.DEVNULL,
        preexec_fn=_size_limit(limit) if limit else None,
    )


@pytest.fixture
def manifest(tmp_path):
    path = tmp_path / "tones.json"
    path.write_text(json.dumps(MANIFEST))
    return path


def test_a_resumed_run_that_cannot_write_keeps_the_earlier_item(manifest, tmp_path):
    with _tmpfs(tmp_path / "fs", size="128k") as fs:
        out = fs / "run"
        assert _batch(manifest, out).returncode == 0
        meta = out / "tones" / "1.sigmf-meta"
        meta.write_bytes(meta.read_bytes() + b" ")  # no longer what the item writes: resume redoes it
        free = os.statvfs(fs).f_bavail * os.statvfs(fs).f_frsize
        (fs / "filler").write_bytes(b"\0" * free)  # no room left for the item
        before = _snapshot(out / "tones")
        # The resume removes the run's own files (index, errors, classes, collection): held open, their
        # room stays taken.
        with contextlib.ExitStack() as held:
            for path in out.iterdir():
                if path.is_file():
                    held.enter_context(open(path, "rb"))
            done = _batch(manifest, out, "--resume")
        assert done.returncode != 0
        assert "the recording needs" in done.stderr
        assert _snapshot(out / "tones") == before


def test_resume_replaces_a_planted_link_and_refuses_a_linked_set_folder(manifest, tmp_path):
    out = tmp_path / "run"
    assert _batch(manifest, out).returncode == 0
    outside = tmp_path / "outside"
    outside.write_bytes(b"keep")
    data = out / "tones" / "0.sigmf-data"
    expected = data.read_bytes()
    data.unlink()
    data.symlink_to(outside)
    assert _batch(manifest, out, "--resume").returncode == 0
    assert outside.read_bytes() == b"keep"
    assert not data.is_symlink() and data.read_bytes() == expected

    elsewhere = tmp_path / "elsewhere"
    (out / "tones").rename(elsewhere)
    (out / "tones").symlink_to(elsewhere)
    refused = _batch(manifest, out, "--resume")
    assert refused.returncode == 2
    assert "is a symbolic link" in refused.stderr
