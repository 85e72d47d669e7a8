"""Running a manifest on Dask: an embedded LocalCluster of single-threaded
worker processes, or an existing cluster by its scheduler's address.

The client plans tasks in manifest order, keeps a bounded number of them in
flight, writes each item's files as results arrive and the ordered files as
the finished run grows from the start. Workers only compute: they never
touch the output folder, so a worker that dies leaves nothing behind, and
the engine simply runs its tasks again elsewhere."""
import contextlib
import dataclasses
import logging
import multiprocessing
import os
import re
import shutil
import signal
import sys
import tempfile
import threading
import time

from . import _files as files
from ._embedded_worker import LeaveInterruptsToClient
from ._items import Item, make_items, params_of_item, written_item
from ._manifest import load
from ._outputs import Outputs, item_base
from ._shards import SHARD_ITEMS, make_shard, remove_shard, written_shard
from ._shards import remove_partials as remove_shard_partials

_TARGET_SAMPLES = 1 << 19  # per task: tens of milliseconds of work, so scheduling costs little
_MAX_ITEMS = 256
_FIRST_ITEMS = 16  # per task until a set's item size is known
_TASKS_PER_WORKER = 3  # in flight: one running, the next ones already there


@dataclasses.dataclass
class Summary:
    """What a run did. Times in seconds: `engine_start` until the workers
    were ready, `writing` from the first item written to the last."""

    items: int
    written: int
    resumed: int
    failed: int
    samples: int
    workers: int
    engine_start: float
    writing: float
    elapsed: float

    @property
    def exit_code(self):
        return 0 if self.failed == 0 else 1


_SCHEDULER = re.compile(r"(tcp|tls|ws|wss)://[^\s/:]+(:\d{1,5})?|(tcp|tls)://\[[0-9a-fA-F:]+\](:\d{1,5})?")


@contextlib.contextmanager
def _client(workers, scheduler):
    from distributed import Client

    if scheduler is not None:
        client = Client(scheduler, set_as_default=False, timeout="30s")
        try:
            client.wait_for_workers(1, timeout=60)
            yield client
        finally:
            client.close()
        return
    from distributed import LocalCluster

    # The workers' scratch space is the run's own, removed with it: nothing is left in /tmp.
    scratch = tempfile.mkdtemp(prefix="gensignal-batch-")
    try:
        # No dashboard; its HTTP server (always started) on a free port rather than 8787, which may be taken.
        cluster = LocalCluster(
            n_workers=workers,
            threads_per_worker=1,
            processes=True,
            dashboard_address=None,
            scheduler_kwargs={"dashboard_address": ":0"},
            silence_logs=logging.ERROR,
            local_directory=scratch,
        )
        try:
            client = Client(cluster, set_as_default=False)
            try:
                client.register_worker_plugin(LeaveInterruptsToClient())
                yield client
            finally:
                client.close()
        finally:
            cluster.close()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


@contextlib.contextmanager
def _interrupts_kept():
    """Yields a list that receives every exception the Python signal
    handlers of SIGINT and SIGTERM raise. Raised inside a finaliser (the
    Dask client's Future.__del__), Python prints such an exception and
    drops it, and the run would go on as if never interrupted: the loop
    raises it again from the list."""
    caught = []
    if threading.current_thread() is not threading.main_thread():
        yield caught
        return
    previous = {}
    for sig in (signal.SIGINT, signal.SIGTERM):
        old = signal.getsignal(sig)
        if not callable(old):
            continue

        def keeping(signum, frame, old=old):
            try:
                old(signum, frame)
            except BaseException as e:
                caught.append(e)
                raise

        previous[sig] = old
        signal.signal(sig, keeping)
    try:
        yield caught
    finally:
        for sig, old in previous.items():
            signal.signal(sig, old)


def _worker_count(client):
    return max(1, len(client.scheduler_info().get("workers", {})))


class _Planner:
    """Walks the manifest's items in order and cuts them into tasks; with
    `resume`, items already complete on disk are resolved on the way. In
    shard mode (`shards`, the shards' folder) every task is one shard of
    `shard_items` items from the start of its set, whatever the workers."""

    def __init__(self, manifest, out_dir, outputs, resume, shards=None, shard_items=SHARD_ITEMS, hdf5=False):
        self.hdf5 = hdf5
        self.manifest = manifest
        self.out_dir = out_dir
        self.outputs = outputs
        self.resume = resume
        self.shards = shards
        self.shard_items = shard_items
        self.set_position = 0
        self.index = 0
        self.position = 0
        self.item_samples = {}  # set name -> (items, samples) seen so far

    @property
    def done(self):
        return self.set_position >= len(self.manifest.sets)

    def learn(self, item):
        if item.reason is None:
            items, samples = self.item_samples.get(item.set, (0, 0))
            self.item_samples[item.set] = (items + 1, samples + item.sample_count)

    def _chunk(self, item_set, workers):
        if self.shards is not None:
            return self.shard_items
        items, samples = self.item_samples.get(item_set.name, (0, 0))
        size = _FIRST_ITEMS if not items else _TARGET_SAMPLES * items // max(samples, 1)
        share = -(-(item_set.count - self.index) // (2 * workers))  # keep every worker busy to the end
        return max(1, min(size, _MAX_ITEMS, share))

    def next_task(self, workers, limit):
        """(item_set, [(position, index), ...]) for the next task, stopping
        before position `limit` (a shard is never cut); None when nothing is
        left to plan there."""
        while not self.done and self.position < limit:
            item_set = self.manifest.sets[self.set_position]
            size = self._chunk(item_set, workers)
            task = []
            if self.shards is not None:
                size = min(size, item_set.count - self.index)
                task = [(self.position + k, self.index + k) for k in range(size)]
                if self.resume and self._resolve_shard(item_set, task):
                    task = []
                self.index += size
                self.position += size
            while self.shards is None and self.index < item_set.count and len(task) < size and self.position < limit:
                if not (self.resume and self._resolve(item_set)):
                    task.append((self.position, self.index))
                self.index += 1
                self.position += 1
            if self.index >= item_set.count:
                self.set_position += 1
                self.index = 0
            if task:
                return item_set, task
        return None

    def _resolve(self, item_set):
        pair = files.read_pair(item_base(self.out_dir, item_set, self.index))
        item = pair and written_item(item_set, self.manifest.seed, self.index, *pair)
        if item is None:
            return False
        self.outputs.put(self.position, item)
        return True

    def _resolve_shard(self, item_set, task):
        items = written_shard(self.shards, item_set, self.manifest.seed, task[0][1], len(task), self.hdf5)
        if items is None:
            remove_shard(self.shards, item_set, task[0][1], len(task))
            return False
        for (position, _), item in zip(task, items):
            self.outputs.put(position, item)
        return True


def _failed_items(item_set, seed, task, error):
    reason = f"the engine could not make it: {type(error).__name__}: {error}"
    return [
        Item(item_set.name, index, item_set.kind, params_of_item(item_set, seed, index), reason=reason)
        for _, index in task
    ]


def _progress_bar(total, enabled):
    if not enabled:
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="item", file=sys.stderr, dynamic_ncols=True)


def _check(manifest, workers, scheduler, cores):
    if not workers >= 1:
        raise ValueError(f"workers = {workers}: must be 1 or more")
    # Far more worker processes than cores starve the scheduler's heartbeats: the run stalls.
    if scheduler is None and workers > 4 * cores:
        raise ValueError(
            f"workers = {workers}: at most {4 * cores} on the {cores} cores this process may use "
            "(more machines: run a Dask scheduler and give scheduler=)"
        )
    if scheduler is not None and not _SCHEDULER.fullmatch(str(scheduler)):
        raise ValueError(f"scheduler = {scheduler!r}: expected a Dask scheduler's address, tcp://HOST:PORT")


def _folders(manifest, out_dir, resume, shard_root):
    """Makes (or, resuming, tidies) the output folder and the sets' folders."""
    os.makedirs(out_dir, exist_ok=True)
    if resume:
        files.remove_partials(out_dir)
    elif os.listdir(out_dir):
        raise FileExistsError(f"{out_dir} is not empty: resume an earlier run there, or choose an empty folder")
    if shard_root is not None:
        if not resume and os.path.isdir(shard_root) and os.listdir(shard_root):
            raise FileExistsError(f"{shard_root} is not empty: resume an earlier run there, or choose an empty folder")
        files.own_folder(shard_root)
        remove_shard_partials(shard_root)
    for item_set in manifest.sets:
        files.own_folder(os.path.join(out_dir if shard_root is None else shard_root, item_set.name))


class _Submissions:
    """The tasks in flight on the cluster and what comes back: results go
    to `outputs` in manifest positions; in client-writes mode the client
    writes each item's files as it arrives."""

    def __init__(self, client, manifest, planner, outputs, shard_root, hdf5=False):
        from distributed import as_completed

        self.hdf5 = hdf5
        self.client, self.manifest, self.planner, self.outputs = client, manifest, planner, outputs
        self.shard_root = shard_root
        self.item_sets = {item_set.name: item_set for item_set in manifest.sets}
        self.in_flight = {}  # future -> (item_set, task)
        self.finished = as_completed(loop=client.loop)
        self.retry = []  # single items of a task that failed as a whole
        self.first_write = self.last_write = None
        self.workers = 1

    def _submit(self, item_set, task):
        seed = self.manifest.seed
        if self.shard_root is None:
            return self.client.submit(make_items, item_set, seed, [i for _, i in task], pure=False)
        return self.client.submit(
            make_shard, item_set, seed, task[0][1], len(task), self.shard_root, self.hdf5, pure=False
        )

    def fill(self):
        """Plans and submits tasks until enough are in flight."""
        self.workers = count = _worker_count(self.client)
        limit = self.outputs.flushed + max(4096, 2 * _TASKS_PER_WORKER * count * _MAX_ITEMS)
        while len(self.in_flight) < _TASKS_PER_WORKER * count:
            planned = self.retry.pop() if self.retry else self.planner.next_task(count, limit)
            if planned is None:
                break
            future = self._submit(*planned)
            self.in_flight[future] = planned
            self.finished.add(future)

    def collect(self):
        """Waits for tasks to end and takes in their items."""
        for future in self.finished.next_batch(block=True) if self.in_flight else ():
            item_set, task = self.in_flight.pop(future)
            try:
                items = future.result()
            except Exception as error:  # a task failed, not the run: its items one by one (a shard stays whole)
                if len(task) > 1 and self.shard_root is None:
                    self.retry.extend((item_set, [one]) for one in reversed(task))
                    continue
                items = _failed_items(item_set, self.manifest.seed, task, error)
            for (position, _), item in zip(task, items):
                if self.outputs.write_item(self.item_sets[item.set], item) or (
                    item.base is not None and not item.resumed
                ):
                    self.last_write = time.monotonic()
                    self.first_write = self.first_write or self.last_write
                self.planner.learn(item)
                self.outputs.put(position, item)

    @property
    def idle(self):
        return not (self.in_flight or self.retry or not self.planner.done)


def run(
    manifest,
    out_dir,
    *,
    workers=None,
    scheduler=None,
    resume=False,
    hdf5=False,
    progress=None,
    stem=None,
    shards=None,
    shard_items=SHARD_ITEMS,
):
    """Writes the dataset `manifest` (a path, or a dict as the JSON holds it)
    describes into `out_dir`; returns a Summary.

    `workers`: worker processes of the embedded cluster (default: one per
    core); `scheduler`: "tcp://HOST:PORT" of a running Dask scheduler
    instead; `resume`: complete an earlier run in `out_dir`, leaving its
    complete items untouched; `hdf5`: also write DIR/<stem>.h5 (in shard
    mode each shard its items.h5, which the loaders read as one); `progress`:
    a progress bar (default: when standard error is a terminal); `shards`:
    a folder every worker sees, where each task writes its own shard of
    `shard_items` items (the client then writes only the index, the error
    list, the class list and the collection, which names the shards' files).
    Raises ManifestError before any work for a manifest it cannot run.
    From a script, call it under `if __name__ == "__main__":`: the embedded
    cluster's worker processes import the main script again."""
    import dask
    import distributed  # noqa: F401 -- its configuration defaults, before dask.config.set below adds to them

    if scheduler is None and getattr(multiprocessing.current_process(), "_inheriting", False):
        # A worker process being started imports the main script again (multiprocessing's own test
        # for this); unguarded, the script would start a cluster of its own, and so on.
        raise RuntimeError(
            "gensignal.batch.run() starts worker processes, which import the main script "
            'again: call it under `if __name__ == "__main__":`'
        )
    started = time.monotonic()
    manifest = load(manifest, stem)
    cores = len(os.sched_getaffinity(0))
    workers = cores if workers is None else workers
    _check(manifest, workers, scheduler, cores)
    if isinstance(shard_items, bool) or not isinstance(shard_items, int) or not shard_items >= 1:
        raise ValueError(f"shard_items = {shard_items!r}: must be a whole number of 1 or more")
    out_dir = os.fspath(out_dir)
    shard_root = None if shards is None else os.path.abspath(os.fspath(shards))  # as the workers see it
    _folders(manifest, out_dir, resume, shard_root)
    bar = _progress_bar(manifest.count, sys.stderr.isatty() if progress is None else progress)
    outputs = Outputs(out_dir, manifest, hdf5 and shard_root is None, resume, shard_root)
    try:
        engine_asked = time.monotonic()
        # Each submission would otherwise carry the source of the function it was made from, read
        # and tokenized again every time.
        with dask.config.set(
            {"distributed.diagnostics.computations.ignore-modules": [".*"]}
        ), _interrupts_kept() as interrupted, _client(workers, scheduler) as client:
            engine_ready = time.monotonic()
            planner = _Planner(manifest, out_dir, outputs, resume, shard_root, shard_items, hdf5)
            tasks = _Submissions(client, manifest, planner, outputs, shard_root, hdf5)
            while outputs.flushed < manifest.count:
                if interrupted:
                    raise interrupted[0]
                tasks.fill()
                tasks.collect()
                flushed = outputs.flush()
                if bar is not None and flushed:
                    bar.update(flushed)
                if not flushed and tasks.idle and outputs.flushed < manifest.count:
                    raise RuntimeError(f"items from position {outputs.flushed} on were never planned")
            if interrupted:
                raise interrupted[0]
        outputs.finish()
    except BaseException:
        outputs.abandon()
        raise
    finally:
        if bar is not None:
            bar.close()
        if shard_root is not None:  # what workers that died left; the embedded ones have stopped by now
            remove_shard_partials(shard_root)
    end = time.monotonic()
    writing = (tasks.last_write - tasks.first_write) if tasks.first_write else 0.0
    return Summary(
        manifest.count,
        outputs.written,
        outputs.resumed,
        outputs.failed,
        outputs.samples,
        workers if scheduler is None else tasks.workers,
        engine_ready - engine_asked,
        writing,
        end - started,
    )
