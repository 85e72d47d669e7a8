"""python3 -m gensignal batch MANIFEST -o DIR"""
import argparse
import signal
import sys

# Exit codes
WRITTEN, SOME_FAILED, REFUSED, INTERRUPTED, TERMINATED = 0, 1, 2, 130, 143


class _Terminated(KeyboardInterrupt):
    """SIGTERM, stopped in the same order as Ctrl-C."""


def _terminate(signum, frame):
    raise _Terminated()


def _positive(text):
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"{text}: expected a whole number of 1 or more")
    return value


def add_command(commands):
    batch = commands.add_parser(
        "batch",
        help="write a dataset of SigMF recordings that a manifest describes",
        description="Writes DIR/<set>/<index>.sigmf-meta and .sigmf-data for every item of the manifest (JSON, or "
        "YAML), DIR/index.jsonl with each item's parameters and measured labels, DIR/errors.jsonl with "
        "the items the library refused, DIR/<manifest name>.sigmf-collection and DIR/classes.json "
        "(the list a loader numbers classes by). Exit status: 0 all written, 1 some items failed, 2 "
        "manifest or options refused, 130 interrupted (143 terminated).",
    )
    batch.add_argument("manifest", help="the manifest: .json, or .yaml/.yml")
    batch.add_argument("-o", "--output", required=True, metavar="DIR", help="output folder (empty, or with --resume)")
    where = batch.add_mutually_exclusive_group()
    where.add_argument(
        "--workers",
        type=_positive,
        metavar="N",
        help="worker processes of the embedded Dask cluster (default: one per core)",
    )
    where.add_argument("--scheduler", metavar="tcp://HOST:PORT", help="run on this running Dask scheduler's workers")
    batch.add_argument(
        "--resume",
        action="store_true",
        help="complete an earlier run in DIR: complete items stay untouched, the rest is redone",
    )
    batch.add_argument(
        "--hdf5",
        action="store_true",
        help="also write DIR/<manifest name>.h5 (needs h5py); with --shards, each shard its items.h5",
    )
    batch.add_argument(
        "--shards",
        metavar="SHARDS",
        help="shard mode: each task writes its own shard SHARDS/<set>/<first>-<last> (a folder "
        "every worker sees); the client writes only DIR's index, errors, classes and collection",
    )
    batch.add_argument(
        "--shard-items",
        type=_positive,
        default=None,
        metavar="N",
        help="items per shard (default 256); the same N gives the same shards",
    )
    progress = batch.add_mutually_exclusive_group()
    progress.add_argument(
        "--progress",
        dest="progress",
        action="store_true",
        default=None,
        help="show a progress bar (default: on a terminal)",
    )
    progress.add_argument("--no-progress", dest="progress", action="store_false")
    return batch


def main(args):
    from ._engine import run
    from ._manifest import ManifestError

    def say(text):
        print(f"gensignal batch: {text}", file=sys.stderr)

    signal.signal(signal.SIGTERM, _terminate)
    try:
        shard_options = {} if args.shard_items is None else {"shard_items": args.shard_items}
        if args.shard_items is not None and args.shards is None:
            raise ValueError("--shard-items: only with --shards")
        summary = run(
            args.manifest,
            args.output,
            workers=args.workers,
            scheduler=args.scheduler,
            resume=args.resume,
            hdf5=args.hdf5,
            progress=args.progress,
            shards=args.shards,
            **shard_options,
        )
    except ManifestError as e:
        say(f"{args.manifest}: {e}" if e.path else str(e))
        return REFUSED
    except (FileExistsError, FileNotFoundError, NotADirectoryError, ValueError) as e:
        say(str(e))
        return REFUSED
    except KeyboardInterrupt as e:
        say(f"{'terminated' if isinstance(e, _Terminated) else 'interrupted'}; `--resume` completes {args.output}")
        return TERMINATED if isinstance(e, _Terminated) else INTERRUPTED
    except OSError as e:  # an unreachable scheduler, a folder that cannot be written
        say(str(e))
        return SOME_FAILED
    failed = f", {summary.failed} failed (see {args.output}/errors.jsonl)" if summary.failed else ""
    kept = f", {summary.resumed} complete already" if summary.resumed else ""
    say(
        f"{summary.items} items: {summary.written} written{kept}{failed}; {summary.samples} samples in "
        f"{summary.elapsed:.1f} s on {summary.workers} workers (engine start {summary.engine_start:.1f} s)"
    )
    return summary.exit_code
