"""python3 -m gensignal plot FILE.sigmf-meta [-o FILE.png|.svg|.pdf] [--panels NAME ...]
python3 -m gensignal batch MANIFEST -o DIR"""
import argparse
import sys

from .sigmf import SigMFError, read_sigmf


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m gensignal", description="gensignal tools")
    commands = parser.add_subparsers(dest="command", required=True)
    plot = commands.add_parser("plot", help="draw a SigMF recording as one page (PNG, SVG or PDF)")
    plot.add_argument("meta", help="the recording's .sigmf-meta (or .sigmf-data, or its base name)")
    plot.add_argument("-o", "--output", help="picture file, .png, .svg or .pdf (default: the recording's name with .png)")
    plot.add_argument("--panels", nargs="+", metavar="NAME", help="panels to draw (default: all that apply): "
                      "time, spectrum, spectrogram, constellation, ccdf, seam")
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
    if not output.lower().endswith((".png", ".svg", ".pdf")):
        print(f"gensignal: {output}: the picture's suffix must be .png, .svg or .pdf", file=sys.stderr)
        return 1
    try:
        wf.plot(output, panels=args.panels)
    except ValueError as e:
        print(f"gensignal: {e}", file=sys.stderr)
        return 1
    print(f"{wf!r} -> {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
