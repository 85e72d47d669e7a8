"""Dataset runs on real Dask engines: the embedded cluster with one and two
workers and a dask-scheduler with two dask-worker processes on 127.0.0.1
write the same bytes; a worker killed mid-run, an interrupted and resumed
run, too; in the client-writes mode and in shard mode, with impaired,
wideband and unmeasured items."""
import hashlib
import json
import math
import os
import shutil
import signal
import subprocess
import sys
import time
import warnings

import numpy as np
import pytest

from conftest import ROOT
from gensignal.batch import load

pytest.importorskip("distributed")
h5py = pytest.importorskip("h5py")

MANIFEST = {
    "seed": 11,
    "sets": [
        # 96 impaired items of 2^17 samples (24 at each of 4 SNRs): long enough (seconds) to interrupt a
        # run, or kill a worker, half way
        {
            "name": "psk",
            "kind": "digital",
            "count": 24,
            "params": {
                "mod_type": ["bpsk", "QPSK", "psk8", 10],
                "rolloff": {"uniform": [0.2, 0.5]},
                "symbol_count": 16384,
                "symbol_rate": 1e6,
                "sample_rate": 8e6,
            },
            "channel": {
                "snr_db": {"grid": [0, 30, 10]},
                "cfo_hz": {"uniform": [-1e4, 1e4]},
                "doppler_hz": 0,
                "taps": [[0, 0], [1e-6, -3], [2e-6, -6]],
            },
        },
        # noise seeded per item; a negative bandwidth is refused: some items fail
        {
            "name": "noise",
            "kind": "awgn",
            "count": 24,
            "params": {"bandwidth": {"uniform": [-2e5, 4e5]}, "duration": 4.096e-3},
        },
        {"name": "tones", "kind": "multitone", "count": 6, "params": {"tone_count": {"integers": [2, 16]}}},
        # wideband items: a scene of one to three parts, some bursting, each with its own channel
        {
            "name": "wide",
            "kind": "scene",
            "count": 10,
            "params": {"sample_rate": 1e6, "parts": {"integers": [1, 3]}},
            "parts": [
                {
                    "kind": "digital",
                    "params": {"mod_type": ["qpsk", "qam16"], "symbol_rate": {"uniform": [2e4, 5e4]}},
                    "placement": {"level_db": {"uniform": [-10, 0]}},
                    "channel": {"cfo_hz": {"uniform": [-200, 200]}, "taps": [[0, 0], [2e-6, -6]], "doppler_hz": 0},
                },
                {"kind": "am", "placement": {"burst_on": 2e-4, "burst_off": {"uniform": [2e-4, 5e-4]}}},
            ],
        },
        # unmeasured: the one-line metadata, made on the workers as the rest
        {
            "name": "quiet",
            "kind": "digital",
            "count": 6,
            "measure": False,
            "params": {"mod_type": ["bpsk", "qam16"], "symbol_count": 512, "sample_rate": 4e6},
            "channel": {"snr_db": 15},
        },
    ],
}
SETS = {s.name: s.count for s in load(MANIFEST).sets}  # the grid makes 96 psk items
COUNT = sum(SETS.values())
RUN_TIMEOUT = 300
SHARD_ITEMS = 8
MODES = ("client", "shards")


def _env():
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"), OMP_NUM_THREADS="1")
    env.pop("GENSIGNAL_KERNELS", None)
    return env


def _stop(proc, grace=10):
    """Ends a process started in a session of its own, with everything it started."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            return
        try:
            proc.wait(grace)
            return
        except subprocess.TimeoutExpired:
            continue
    proc.wait(grace)


def _group_gone(pgid, timeout=10):
    """True once no live process is left in the process group (zombies are the reaper's)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        live = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[2]) == pgid and fields[0] != "Z":
                live.append(pid)
        if not live:
            return True
        time.sleep(0.1)
    return False


def _start(args, log):
    return subprocess.Popen(
        args, env=_env(), start_new_session=True, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT
    )


def _default_interrupts():
    # As a terminal starts it: a suite run as a background job of a script
    # inherits SIGINT ignored, and so would the command.
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def _mode_options(mode, out):
    if mode == "shards":  # each shard with its items.h5
        return ["--hdf5", "--shards", str(out / "shards"), "--shard-items", str(SHARD_ITEMS)]
    return ["--hdf5"]


def _launch(out, *options, manifest, mode="client"):
    """The batch command, in a session of its own."""
    args = [
        sys.executable,
        "-m",
        "gensignal",
        "batch",
        str(manifest),
        "-o",
        str(out),
        *_mode_options(mode, out),
        *options,
    ]
    return subprocess.Popen(
        args,
        env=_env(),
        start_new_session=True,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
        text=True,
        preexec_fn=_default_interrupts,
    )


def _batch(out, *options, manifest, mode="client"):
    proc = _launch(out, *options, manifest=manifest, mode=mode)
    try:
        _, stderr = proc.communicate(timeout=RUN_TIMEOUT)
    finally:
        _stop(proc)
    return proc.returncode, stderr


def _when_writing(proc, out):
    """Waits until the run has written its first item."""
    deadline = time.monotonic() + RUN_TIMEOUT
    while not [p for p in out.rglob("*.sigmf-meta") if not any(part.endswith(".partial") for part in p.parts)]:
        assert proc.poll() is None and time.monotonic() < deadline, "no item was written"
        time.sleep(0.02)


def _tree(folder):
    """Every file below `folder` by its path, as its SHA-512."""
    out = {}
    for path in sorted(folder.rglob("*")):
        if path.is_file():
            out[str(path.relative_to(folder))] = hashlib.sha512(path.read_bytes()).hexdigest()
    return out


class _Cluster:
    """A dask-scheduler and dask-worker processes on 127.0.0.1, each in a
    session of its own, stopped by process id."""

    def __init__(self, folder):
        self.folder = folder
        self.workers = []
        self.log = open(folder / "cluster.log", "w")
        scheduler_file = folder / "scheduler.json"
        self.scheduler = _start(
            [
                shutil.which("dask-scheduler"),
                "--host",
                "127.0.0.1",
                "--port",
                "0",
                "--no-dashboard",
                "--dashboard-address",
                "127.0.0.1:0",
                "--scheduler-file",
                str(scheduler_file),
            ],
            self.log,
        )
        deadline = time.monotonic() + 60
        while not scheduler_file.exists() or not scheduler_file.read_text().strip():
            assert self.scheduler.poll() is None and time.monotonic() < deadline, "dask-scheduler did not start"
            time.sleep(0.1)
        self.address = json.loads(scheduler_file.read_text())["address"]

    def start_worker(self):
        self.workers.append(
            _start(
                [
                    shutil.which("dask-worker"),
                    self.address,
                    "--nthreads",
                    "1",
                    "--no-nanny",
                    "--no-dashboard",
                    "--dashboard-address",
                    "127.0.0.1:0",
                    "--host",
                    "127.0.0.1",
                    "--death-timeout",
                    "30",
                    "--local-directory",
                    str(self.folder),
                ],
                self.log,
            )
        )
        return self.workers[-1]

    def wait_for_workers(self, n):
        from distributed import Client

        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)  # tornado's, inside the client
            with Client(self.address, timeout="30s", set_as_default=False) as client:
                client.wait_for_workers(n, timeout=60)

    def stop(self):
        for proc in self.workers + [self.scheduler]:
            _stop(proc)
        self.log.close()


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    if not (shutil.which("dask-scheduler") and shutil.which("dask-worker")):
        pytest.skip("dask-scheduler and dask-worker are not installed (Debian's python3-distributed)")
    cluster = _Cluster(tmp_path_factory.mktemp("cluster"))
    try:
        cluster.start_worker()
        cluster.start_worker()
        cluster.wait_for_workers(2)
        yield cluster
    finally:
        cluster.stop()
    for proc in cluster.workers + [cluster.scheduler]:
        assert _group_gone(proc.pid), "a dask process outlived the test"


@pytest.fixture(scope="module")
def manifest(tmp_path_factory):
    path = tmp_path_factory.mktemp("manifest") / "set.json"
    path.write_text(json.dumps(MANIFEST))
    return path


@pytest.fixture(scope="module", params=MODES)
def mode(request):
    return request.param


@pytest.fixture(scope="module")
def reference(tmp_path_factory, manifest, mode):
    """The run on the embedded engine with two workers."""
    out = tmp_path_factory.mktemp("reference") / "out"
    code, stderr = _batch(out, "--workers", "2", manifest=manifest, mode=mode)
    assert code == 1, stderr  # some noise items are refused
    return out, _tree(out)


def test_a_run_writes_every_item_once(reference, mode):
    out, tree = reference
    index = [json.loads(line) for line in (out / "index.jsonl").read_text().splitlines()]
    errors = [json.loads(line) for line in (out / "errors.jsonl").read_text().splitlines()]
    assert errors and all(
        e["set"] == "noise" and e["params"]["bandwidth"] < 0 and "bandwidth" in e["reason"] for e in errors
    )
    done = sorted((r["set"], r["index"]) for r in index + errors)
    assert done == sorted((name, i) for name, count in SETS.items() for i in range(count))
    assert _in_manifest_order(index) and _in_manifest_order(errors)
    collection = json.loads((out / "set.sigmf-collection").read_text())["collection"]
    streams = collection["core:streams"]
    assert [s["name"] for s in streams] == [_name(r, mode) for r in index]
    for stream, record in zip(streams, index):
        meta = out / (stream["name"] + ".sigmf-meta")
        assert stream["hash"] == hashlib.sha512(meta.read_bytes()).hexdigest()
        data = (out / (stream["name"] + ".sigmf-data")).read_bytes()
        assert json.loads(meta.read_text())["global"]["core:sha512"] == hashlib.sha512(data).hexdigest()
        assert record["labels"]["samples"] == len(data) // 4
    assert len(index) + len(errors) == COUNT
    assert not [name for name in tree if name.endswith(".partial")]
    seeds = [r["params"]["seed"] for r in index if r["set"] == "noise"]
    assert len(set(seeds)) == len(seeds)
    channel_seeds = [r["channel"]["channel_seed"] for r in index if r["set"] == "psk"]
    assert len(set(channel_seeds)) == len(channel_seeds) == 96
    assert [r["labels"]["channel"]["realised"]["snr_db"] for r in index if r["set"] == "psk"] == pytest.approx(
        [10.0 * (i // 24) for i in range(96)], abs=1e-6
    )
    scenes = [r for r in index if r["set"] == "wide"]
    assert len(scenes) == SETS["wide"]
    for r in scenes:  # a SigMF annotation per box
        meta = json.loads((out / (_name(r, mode) + ".sigmf-meta")).read_text())
        assert [(a["core:sample_start"], a["core:sample_count"], a["core:label"]) for a in meta["annotations"]] == [
            (b["start"], b["count"], b["class"]) for b in r["labels"]["boxes"]
        ]
    quiet = [r for r in index if r["set"] == "quiet"]
    assert len(quiet) == SETS["quiet"]
    for r in quiet:  # no measured label, the channel's realised ones kept
        text = (out / (_name(r, mode) + ".sigmf-meta")).read_text()
        assert text.count("\n") == 1 and text.endswith("\n")
        assert json.loads(text)["global"]["gensignal:measured"] is None
        assert r["labels"]["obw_hz"] is None and r["labels"]["samples"] > 0
        assert r["labels"]["channel"]["realised"]["snr_db"] == pytest.approx(15, abs=1e-6)
    if mode == "shards":  # the client wrote no item, and no folder of its own for them
        assert sorted(name for name in tree if "/" not in name) == [
            "classes.json",
            "errors.jsonl",
            "index.jsonl",
            "set.sigmf-collection",
        ]


def _name(record, mode="client"):
    """<set>/<index>, the index as wide as the set's last; in shard mode
    shards/<set>/<first>-<last>/<index>."""
    count = SETS[record["set"]]
    width = len(str(count - 1))
    item = str(record["index"]).zfill(width)
    if mode == "client":
        return f"{record['set']}/{item}"
    first = record["index"] // SHARD_ITEMS * SHARD_ITEMS
    last = min(first + SHARD_ITEMS, count) - 1
    return f"shards/{record['set']}/{str(first).zfill(width)}-{str(last).zfill(width)}/{item}"


def _in_manifest_order(records):
    order = {s["name"]: k for k, s in enumerate(MANIFEST["sets"])}
    keys = [(order[r["set"]], r["index"]) for r in records]
    return keys == sorted(keys)


def test_the_hdf5_file_holds_the_recordings_and_labels(reference, mode):
    if mode != "client":
        pytest.skip("the HDF5 file is the client's to write")
    out, _ = reference
    index = [json.loads(line) for line in (out / "index.jsonl").read_text().splitlines()]
    with h5py.File(out / "set.h5", "r") as f:
        for name in ("psk", "noise"):
            group = f[name]
            records = [r for r in index if r["set"] == name]
            assert list(group["index"][:]) == [r["index"] for r in records]
            for k, r in enumerate(records):
                start, length = group["start"][k], group["length"][k]
                data = (out / (_name(r) + ".sigmf-data")).read_bytes()
                assert group["iq"][start : start + length].tobytes() == data
                assert group["labels/obw_hz"][k] == r["labels"]["obw_hz"]
                assert group["labels/ccdf_db/1e-4"][k] == r["labels"]["ccdf_db"]["1e-4"]
                assert group["labels/whole_periods"][k] == r["labels"]["whole_periods"]
                evm = group["labels/evm_percent"][k]
                assert math.isnan(evm) if r["labels"]["evm_percent"] is None else evm == r["labels"]["evm_percent"]
                for key, value in r["params"].items():
                    stored = group["params"][key][k]
                    assert (stored.decode() if isinstance(stored, bytes) else stored) == value, key
        group = f["wide"]
        boxes = group["boxes"]
        records = [r for r in index if r["set"] == "wide"]
        for k, r in enumerate(records):
            assert json.loads(group["params/parts"][k]) == r["params"]["parts"]
            first, count = boxes["item_first"][k], boxes["item_count"][k]
            assert count == len(r["labels"]["boxes"]) >= len(r["params"]["parts"])
            for j, box in enumerate(r["labels"]["boxes"]):
                for key, value in box.items():
                    stored = boxes[key][first + j]
                    assert (stored.decode() if isinstance(stored, bytes) else stored) == value, key


def test_the_loaders_read_the_same_items_from_hdf5_and_sigmf(reference, mode):
    from gensignal.batch import ArrayDataset

    out, tree = reference
    if mode == "shards":
        shards = {name.rsplit("/", 1)[0] for name in tree if name.endswith(".sigmf-meta")}
        assert shards and all(f"{shard}/items.h5" in tree for shard in shards)
    index = [json.loads(line) for line in (out / "index.jsonl").read_text().splitlines()]
    assert ArrayDataset(out, label=None).source == "hdf5"  # the default where it is written
    for form in ("complex", "iq"):
        hdf5 = ArrayDataset(out, label=None, source="hdf5", form=form, length=5000)
        files = ArrayDataset(out, label=None, source="sigmf", form=form, length=5000)
        assert len(hdf5) == len(index)
        for k, record in enumerate(index):
            data = np.frombuffer((out / (_name(record, mode) + ".sigmf-data")).read_bytes(), "<i2").reshape(-1, 2)
            assert np.array_equal(hdf5.iq(k)[: len(data)], data[:5000])
            assert np.array_equal(hdf5[k], files[k])


def test_trees_are_the_same_for_one_worker_and_an_external_cluster(reference, manifest, cluster, tmp_path, mode):
    _, expected = reference
    code, stderr = _batch(tmp_path / "one", "--workers", "1", manifest=manifest, mode=mode)
    assert code == 1, stderr
    assert _tree(tmp_path / "one") == expected
    code, stderr = _batch(tmp_path / "external", "--scheduler", cluster.address, manifest=manifest, mode=mode)
    assert code == 1, stderr
    assert _tree(tmp_path / "external") == expected


def test_interrupted_then_resumed(reference, manifest, tmp_path, mode):
    out = tmp_path / "out"
    proc = _launch(out, "--workers", "2", manifest=manifest, mode=mode)
    try:
        _when_writing(proc, out)
        os.killpg(proc.pid, signal.SIGINT)
        interrupted = time.monotonic()
        _, stderr = proc.communicate(timeout=60)
        assert time.monotonic() - interrupted < 60
    finally:
        _stop(proc)
    assert proc.returncode == 130, stderr
    assert _group_gone(proc.pid), "a process of the interrupted run lived on"
    written = _tree(out)
    below = "shards/" if mode == "shards" else ""
    assert not [name for name in written if not name.startswith(tuple(below + s + "/" for s in SETS))], written
    assert not [name for name in written if ".partial" in name]  # no file, nor a shard's folder
    metas = [name for name in written if name.endswith(".sigmf-meta")]
    assert metas and len(metas) < COUNT
    for name in metas:  # a metadata file under its final name means a whole item
        meta = json.loads((out / name).read_text())
        assert meta["global"]["core:sha512"] == written[name.replace("-meta", "-data")]

    kept, spoiled = metas[:-1], metas[-1]
    if mode == "shards":  # a spoiled item's shard is written again, whole
        kept = [name for name in kept if os.path.dirname(name) != os.path.dirname(spoiled)]
        (out / "shards" / "psk" / "00-07.host-1-x.partial").mkdir()
    else:
        (out / "psk" / "stray.sigmf-data.partial").write_bytes(b"left by a crash")
    with open(out / spoiled.replace("-meta", "-data"), "r+b") as f:
        f.seek(100)
        f.write(b"\x7f\x7f")
    before = {name: os.stat(out / name).st_mtime_ns for name in kept}

    code, stderr = _batch(out, "--workers", "2", "--resume", manifest=manifest, mode=mode)
    assert code == 1, stderr
    assert _tree(out) == reference[1]
    assert {name: os.stat(out / name).st_mtime_ns for name in kept} == before  # left untouched


def test_an_interrupt_a_finaliser_drops_still_stops_the_run():
    from gensignal.batch._engine import _interrupts_kept

    class Finalised:
        def __del__(self):
            os.kill(os.getpid(), signal.SIGINT)
            for _ in range(10000):  # the handler runs here, and Python drops what it raises
                pass

    with _interrupts_kept() as interrupted:
        Finalised()
    assert len(interrupted) == 1 and isinstance(interrupted[0], KeyboardInterrupt)
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler


def test_a_killed_worker_has_its_tasks_redone(reference, manifest, cluster, tmp_path, mode):
    out = tmp_path / "out"
    cluster.workers = [w for w in cluster.workers if w.poll() is None]  # the other mode killed one
    while len(cluster.workers) < 2:
        cluster.start_worker()
    cluster.wait_for_workers(2)
    proc = _launch(out, "--scheduler", cluster.address, manifest=manifest, mode=mode)
    try:
        _when_writing(proc, out)
        victim = cluster.workers[0]
        victim.kill()
        victim.wait(10)
        assert proc.poll() is None, "the run ended before the worker was killed: make the items larger"
        _, stderr = proc.communicate(timeout=RUN_TIMEOUT)
    finally:
        _stop(proc)
    assert proc.returncode == 1, stderr
    assert _tree(out) == reference[1]


def test_refusals_exit_2_before_any_work(manifest, tmp_path):
    bad = tmp_path / "bad.json"
    bad.write_text(json.dumps({"sets": [{"name": "t", "kind": "multitone", "count": 2, "params": {"tone_cnt": 4}}]}))
    code, stderr = _batch(tmp_path / "never", "--workers", "1", manifest=bad)
    assert code == 2 and "sets[0].params.tone_cnt: not a parameter of multitone" in stderr
    assert not (tmp_path / "never").exists()
    (tmp_path / "full").mkdir()
    (tmp_path / "full" / "mine.txt").write_text("keep")
    code, stderr = _batch(tmp_path / "full", "--workers", "1", manifest=manifest)
    assert code == 2 and "not empty" in stderr
    assert os.listdir(tmp_path / "full") == ["mine.txt"]
