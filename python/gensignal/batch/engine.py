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
import sys
import tempfile
import time

from . import files
from .embedded_worker import LeaveInterruptsToClient
from .items import Item, make_items, params_of_item, written_item
from .manifest import load
from .outputs import Outputs, item_base

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


def _worker_count(client):
    return max(1, len(client.scheduler_info().get("workers", {})))


class _Planner:
    """Walks the manifest's items in order and cuts them into tasks; with
    `resume`, items already complete on disk are resolved on the way."""

    def __init__(self, manifest, out_dir, outputs, resume):
        self.manifest = manifest
        self.out_dir = out_dir
        self.outputs = outputs
        self.resume = resume
        self.set_position = 0
        self.index = 0
        self.position = 0
        self.item_samples = {}  # set name -> (items, samples) seen so far

    @property
    def done(self):
        return self.set_position >= len(self.manifest.sets)

    def learn(self, item):
        if item.data is not None:
            items, samples = self.item_samples.get(item.set, (0, 0))
            self.item_samples[item.set] = (items + 1, samples + len(item.data) // 4)

    def _chunk(self, item_set, workers):
        items, samples = self.item_samples.get(item_set.name, (0, 0))
        size = _FIRST_ITEMS if not items else _TARGET_SAMPLES * items // max(samples, 1)
        share = -(-(item_set.count - self.index) // (2 * workers))  # keep every worker busy to the end
        return max(1, min(size, _MAX_ITEMS, share))

    def next_task(self, workers, limit):
        """(item_set, [(position, index), ...]) for the next task, stopping
        before position `limit`; None when nothing is left to plan there."""
        while not self.done and self.position < limit:
            item_set = self.manifest.sets[self.set_position]
            size = self._chunk(item_set, workers)
            task = []
            while self.index < item_set.count and len(task) < size and self.position < limit:
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


def run(manifest, out_dir, *, workers=None, scheduler=None, resume=False, hdf5=False, progress=None, stem=None):
    """Writes the dataset `manifest` (a path, or a dict as the JSON holds it)
    describes into `out_dir`; returns a Summary.

    `workers`: worker processes of the embedded cluster (default: one per
    core); `scheduler`: "tcp://HOST:PORT" of a running Dask scheduler
    instead; `resume`: complete an earlier run in `out_dir`, leaving its
    complete items untouched; `hdf5`: also write DIR/<stem>.h5; `progress`:
    a progress bar (default: when standard error is a terminal).
    Raises ManifestError before any work for a manifest it cannot run.
    From a script, call it under `if __name__ == "__main__":`: the embedded
    cluster's worker processes import the main script again."""
    import dask
    from distributed import as_completed

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
    if workers is None:
        workers = cores
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
    out_dir = os.fspath(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    if resume:
        files.remove_partials(out_dir)
    elif os.listdir(out_dir):
        raise FileExistsError(f"{out_dir} is not empty: resume an earlier run there, or choose an empty folder")
    for item_set in manifest.sets:
        files.own_folder(os.path.join(out_dir, item_set.name))
    item_sets = {item_set.name: item_set for item_set in manifest.sets}
    bar = _progress_bar(manifest.count, sys.stderr.isatty() if progress is None else progress)
    outputs = Outputs(out_dir, manifest, hdf5, resume)
    first_write = last_write = None
    try:
        engine_asked = time.monotonic()
        # Each submission would otherwise carry the source of the function it was made from, read
        # and tokenized again every time.
        with dask.config.set({"distributed.diagnostics.computations.ignore-modules": [".*"]}), _client(
            workers, scheduler
        ) as client:
            engine_ready = time.monotonic()
            planner = _Planner(manifest, out_dir, outputs, resume)
            in_flight = {}  # future -> (item_set, task)
            finished = as_completed(loop=client.loop)
            retry = []  # single items of a task that failed as a whole
            while outputs.flushed < manifest.count:
                count = _worker_count(client)
                limit = outputs.flushed + max(4096, 2 * _TASKS_PER_WORKER * count * _MAX_ITEMS)
                while len(in_flight) < _TASKS_PER_WORKER * count:
                    planned = retry.pop() if retry else planner.next_task(count, limit)
                    if planned is None:
                        break
                    item_set, task = planned
                    future = client.submit(make_items, item_set, manifest.seed, [i for _, i in task], pure=False)
                    in_flight[future] = planned
                    finished.add(future)
                done = finished.next_batch(block=True) if in_flight else ()
                for future in done:
                    item_set, task = in_flight.pop(future)
                    try:
                        items = future.result()
                    except Exception as error:  # a task failed, not the run: its items one by one
                        if len(task) > 1:
                            retry.extend((item_set, [one]) for one in reversed(task))
                            continue
                        items = _failed_items(item_set, manifest.seed, task, error)
                    for (position, _), item in zip(task, items):
                        if outputs.write_item(item_sets[item.set], item):
                            last_write = time.monotonic()
                            first_write = first_write or last_write
                        planner.learn(item)
                        outputs.put(position, item)
                flushed = outputs.flush()
                if bar is not None and flushed:
                    bar.update(flushed)
                if not (flushed or in_flight or retry or not planner.done) and outputs.flushed < manifest.count:
                    raise RuntimeError(f"items from position {outputs.flushed} on were never planned")
        outputs.finish()
    except BaseException:
        outputs.abandon()
        raise
    finally:
        if bar is not None:
            bar.close()
    end = time.monotonic()
    return Summary(
        manifest.count,
        outputs.written,
        outputs.resumed,
        outputs.failed,
        outputs.samples,
        workers if scheduler is None else count,
        engine_ready - engine_asked,
        (last_write - first_write) if first_write else 0.0,
        end - started,
    )
