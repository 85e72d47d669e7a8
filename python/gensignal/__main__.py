"""python3 -m gensignal plot FILE.sigmf-meta|.raw|.cf32|.wav [-o FILE.png|.svg|.pdf] [--panels NAME ...]
python3 -m gensignal batch MANIFEST -o DIR"""
import argparse
import os
import sys

from ._sigmf import SigMFError, read_sigmf


_PLAIN = (".raw", ".cf32", ".wav")


def _stem(path):
    for suffix in (".sigmf-meta", ".sigmf-data") + _PLAIN:
        if path.endswith(suffix):
            return path[: -len(suffix)]
    return path


def _read(path, sample_rate):
    """A SigMF recording, or a plain .raw, .cf32 or .wav file as wavegen writes them."""
    if not path.endswith(_PLAIN):
        return read_sigmf(path)
    import numpy as np

    from ._waveform import Waveform

    if path.endswith(".wav"):
        import wave

        with wave.open(path, "rb") as f:
            if f.getnchannels() != 2 or f.getsampwidth() != 2:
                raise ValueError(f"{path}: not two-channel 16-bit PCM (I left, Q right)")
            rate, frames = f.getframerate(), f.readframes(f.getnframes())
        return Waveform(np.frombuffer(frames, "<i2").reshape(-1, 2), float(rate))
    if sample_rate is None or not sample_rate > 0:
        raise ValueError(f"{path}: give its --sample-rate (a .raw or .cf32 file does not say it)")
    if path.endswith(".raw"):
        return Waveform(np.fromfile(path, "<i2").reshape(-1, 2), sample_rate)
    samples = np.fromfile(path, "<c8")
    iq = np.clip(np.rint(np.stack([samples.real, samples.imag], axis=1).astype(np.float64) * 32767), -32768, 32767)
    return Waveform(iq.astype(np.int16), sample_rate, samples=samples)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m gensignal", description="gensignal tools")
    commands = parser.add_subparsers(dest="command", required=True)
    plot = commands.add_parser("plot", help="draw a SigMF recording as one page (PNG, SVG or PDF)")
    plot.add_argument(
        "meta",
        help="the recording's .sigmf-meta (or .sigmf-data, or its base name), or a .raw "
        "(int16 I/Q), .cf32 or .wav file",
    )
    plot.add_argument("--sample-rate", type=float, help="samples per second of a .raw or .cf32 file")
    plot.add_argument(
        "-o", "--output", help="picture file, .png, .svg or .pdf (default: the recording's name with .png)"
    )
    plot.add_argument(
        "--panels",
        nargs="+",
        metavar="NAME",
        help="panels to draw (default: all that apply): " "time, spectrum, spectrogram, constellation, ccdf, seam",
    )
    from .batch import _cli as batch

    batch.add_command(commands)
    args = parser.parse_args(argv)
    if args.command == "batch":
        return batch.main(args)
    try:
        wf = _read(args.meta, args.sample_rate)
    except (OSError, SigMFError, ValueError) as e:
        print(f"gensignal: {e}", file=sys.stderr)
        return 1
    output = args.output
    if output is None:
        output = _stem(args.meta) + ".png"
    if not output.lower().endswith((".png", ".svg", ".pdf")):
        print(f"gensignal: {output}: the picture's suffix must be .png, .svg or .pdf", file=sys.stderr)
        return 1
    folder = os.path.dirname(os.path.abspath(output))
    if not os.path.isdir(folder):
        print(f"gensignal: {output}: the folder {folder} does not exist", file=sys.stderr)
        return 1
    try:
        wf.plot(output, panels=args.panels)
    except (ValueError, OSError) as e:
        print(f"gensignal: {e}", file=sys.stderr)
        return 1
    print(f"{wf!r} -> {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
