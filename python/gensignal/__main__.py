"""python3 -m gensignal plot FILE.sigmf-meta [-o FILE.png]
python3 -m gensignal batch MANIFEST -o DIR"""
import argparse
import sys

from .sigmf import SigMFError, read_sigmf


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m gensignal", description="gensignal tools")
    commands = parser.add_subparsers(dest="command", required=True)
    plot = commands.add_parser("plot", help="draw a SigMF recording as one PNG page")
    plot.add_argument("meta", help="the recording's .sigmf-meta (or .sigmf-data, or its base name)")
    plot.add_argument("-o", "--output", help="PNG file (default: the recording's name with .png)")
    from .batch import cli as batch

    batch.add_command(commands)
    args = parser.parse_args(argv)
    if args.command == "batch":
        return batch.main(args)
    try:
        wf = read_sigmf(args.meta)
    except (OSError, SigMFError) as e:
        print(f"gensignal: {e}", file=sys.stderr)
        return 1
    output = args.output
    if output is None:
        base = args.meta
        for suffix in (".sigmf-meta", ".sigmf-data"):
            if base.endswith(suffix):
                base = base[: -len(suffix)]
        output = base + ".png"
    wf.plot(output)
    print(f"{wf!r} -> {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
