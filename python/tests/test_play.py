"""wavegen play and gensignal.play against the tests' own SoapySDR device
(tests/soapy, loaded through SOAPY_SDR_PLUGIN_PATH): the recorded stream is
the loop repeated with no gap and no repeat at any seam; a device made slow
reports underruns and the exit status says so; an interrupt stops cleanly."""
import os
import signal
import subprocess
import time

import numpy as np
import pytest

import gensignal
from conftest import ROOT, WAVEGEN

MODULES = ROOT / "build" / "release" / "tests" / "soapy"


@pytest.fixture
def soapy_env(tmp_path, monkeypatch):
    """The environment that finds the test device and no other module."""
    if not (MODULES / "libgensignal_test_device.so").exists():
        pytest.skip("the SoapySDR test device is not built (libsoapysdr-dev missing)")
    if not os.path.exists(WAVEGEN):
        pytest.skip(f"wavegen not built at {WAVEGEN}")
    root = tmp_path / "no-system-modules"
    root.mkdir()
    env = dict(os.environ, SOAPY_SDR_PLUGIN_PATH=str(MODULES), SOAPY_SDR_ROOT=str(root))
    for key in ("SOAPY_SDR_PLUGIN_PATH", "SOAPY_SDR_ROOT"):
        monkeypatch.setenv(key, env[key])
    return env


def play(env, tmp_path, *args, timeout=120):
    return subprocess.run(
        [WAVEGEN, "play", *args], cwd=tmp_path, env=env, capture_output=True, text=True, timeout=timeout
    )


def device(tmp_path, **extra):
    args = dict(driver="gensigtest", record=str(tmp_path / "rec.bin"), log=str(tmp_path / "log.txt"), **extra)
    return ",".join(f"{k}={v}" for k, v in args.items())


def loop_of(tmp_path, env, *kind):
    subprocess.run(
        [WAVEGEN, *kind, "--format", "raw", "-o", "loop"], cwd=tmp_path, env=env, check=True, capture_output=True
    )
    return np.fromfile(tmp_path / "loop.raw", dtype="<i2")


# A loop of 1000 samples into pieces of 4096 and of 333: seams fall inside
# pieces and pieces inside loops.
@pytest.mark.parametrize("mtu", [4096, 333])
def test_a_thousand_loops_arrive_bit_exact_without_a_gap(mtu, soapy_env, tmp_path):
    kind = [
        "digital",
        "--symbol-count",
        "250",
        "--samples-per-symbol",
        "4",
        "--sample-rate",
        "4e6",
        "--symbol-rate",
        "1e6",
    ]
    loop = loop_of(tmp_path, soapy_env, *kind)
    assert len(loop) == 2000  # 1000 samples
    done = play(
        soapy_env,
        tmp_path,
        *kind,
        "--device",
        device(tmp_path, mtu=mtu),
        "--loops",
        "1000",
        "--center-frequency",
        "2.45e9",
        "--gain-db",
        "-12.5",
        "--rf-bandwidth",
        "6e6",
    )
    assert done.returncode == 0, done.stderr
    recorded = np.fromfile(tmp_path / "rec.bin", dtype="<i2")
    assert len(recorded) == 1000 * len(loop)
    assert np.array_equal(recorded, np.tile(loop, 1000))
    assert "played 1000000 samples (1000 loops and 0 samples)" in done.stdout
    assert "0 underruns, 0 late packets" in done.stdout
    log = (tmp_path / "log.txt").read_text().splitlines()
    assert {"rate 4000000", "frequency 2450000000", "gain -12.5", "bandwidth 6000000"} <= set(log)
    assert "end burst after 1000000 samples" in log


def test_a_float_device_gets_the_loop_converted_once(soapy_env, tmp_path):
    loop = loop_of(tmp_path, soapy_env, "am")
    done = play(soapy_env, tmp_path, "am", "--device", device(tmp_path, format="CF32", mtu=100), "--loops", "7")
    assert done.returncode == 0, done.stderr
    recorded = np.fromfile(tmp_path / "rec.bin", dtype="<f4")
    assert np.array_equal(recorded, np.tile((loop / 32767.0).astype(np.float32), 7))
    assert "as CF32" in done.stdout


def test_a_slow_device_reports_underruns_and_the_exit_status_says_so(soapy_env, tmp_path):
    # Each write of 480 samples (10 ms at 48 kS/s) takes 20 ms.
    slow = device(tmp_path, mtu=480, realtime=1, slow_us=20000, buffer=960)
    done = play(soapy_env, tmp_path, "am", "--device", slow, "--play-seconds", "0.25")
    assert done.returncode == 4, done.stderr
    events = [line for line in done.stderr.splitlines() if "underrun after" in line]
    assert len(events) >= 5
    summary = done.stdout.strip()
    assert f"{len(events)} underruns" in summary and "played 12000 samples" in summary
    # Still the loop, in order: the device ran dry, nothing was skipped.
    loop = (
        np.fromfile(tmp_path / "loop.raw", dtype="<i2")
        if (tmp_path / "loop.raw").exists()
        else loop_of(tmp_path, soapy_env, "am")
    )
    assert np.array_equal(np.fromfile(tmp_path / "rec.bin", dtype="<i2"), np.tile(loop, 250))


def test_a_device_that_keeps_up_reports_none(soapy_env, tmp_path):
    # 0.1 s of buffer: a busy machine's pauses stay well inside it.
    done = play(
        soapy_env,
        tmp_path,
        "am",
        "--device",
        device(tmp_path, realtime=1, mtu=480, buffer=48000),
        "--sample-rate",
        "480e3",
        "--play-seconds",
        "0.3",
    )
    assert done.returncode == 0 and "0 underruns" in done.stdout, done.stdout + done.stderr


def test_an_interrupt_stops_cleanly_after_a_whole_piece(soapy_env, tmp_path):
    loop = loop_of(tmp_path, soapy_env, "multitone")
    proc = subprocess.Popen(
        [WAVEGEN, "play", "multitone", "--device", device(tmp_path, realtime=1, mtu=1000)],
        cwd=tmp_path,
        env=soapy_env,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
    )
    try:
        log = tmp_path / "log.txt"
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not (log.exists() and "activate" in log.read_text()):
            time.sleep(0.05)
        time.sleep(0.3)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
    assert proc.returncode == 0, err
    assert "stopped by an interrupt" in out
    played = int(out.split("played ")[1].split(" ")[0])
    recorded = np.fromfile(tmp_path / "rec.bin", dtype="<i2")
    assert len(recorded) == 2 * played > 0
    whole = -(-played // (len(loop) // 2))
    assert np.array_equal(recorded, np.tile(loop, whole)[: len(recorded)])
    assert "deactivate" in (tmp_path / "log.txt").read_text()


def test_a_file_plays_as_its_kind_does(soapy_env, tmp_path):
    subprocess.run([WAVEGEN, "fm", "--format", "wv", "-o", "f"], cwd=tmp_path, check=True, capture_output=True)
    loop = loop_of(tmp_path, soapy_env, "fm")
    done = play(soapy_env, tmp_path, "f.wv", "--device", device(tmp_path, no_status=1), "--loops", "3")
    assert done.returncode == 0, done.stderr
    assert "reports no stream status" in done.stdout
    assert np.array_equal(np.fromfile(tmp_path / "rec.bin", dtype="<i2"), np.tile(loop, 3))


@pytest.mark.parametrize(
    "args, status, says",
    [
        (["am", "--device", "driver=nosuch", "--loops", "1"], 1, "no match"),
        (["am", "--device", "driver=gensigtest", "--loops", "0"], 2, "--loops 0"),
        (["am", "--device", "driver=gensigtest", "--play-seconds", "-1"], 2, "--play-seconds -1"),
        (["am", "--device", "driver=gensigtest", "--rf-bandwidth", "nan"], 2, "--rf-bandwidth nan"),
        (["--device", "driver=gensigtest"], 2, "name a kind"),
        (["x.cf32", "--device", "driver=gensigtest", "--sample-rate", "1e6"], 2, "complex floats"),
        (["am", "--mod-frequency", "0", "--device", "driver=gensigtest"], 2, "--mod-frequency 0"),
    ],
)
def test_refusals(args, status, says, soapy_env, tmp_path):
    subprocess.run([WAVEGEN, "am", "--format", "cf32", "-o", "x"], cwd=tmp_path, check=True, capture_output=True)
    done = play(soapy_env, tmp_path, *args)
    assert done.returncode == status and says in done.stderr, done.stderr


def test_python_play_sends_the_loop(soapy_env, tmp_path):
    pytest.importorskip("SoapySDR")
    wf = gensignal.pulse(pulse_width=2e-4, pulse_period=1e-3, sample_rate=48000)
    report = gensignal.play(wf, device=device(tmp_path, mtu=700), loops=20, center_frequency=1e9, stream_format="CS16")
    assert report.underruns == 0 and report.samples == 20 * len(wf)
    recorded = np.fromfile(tmp_path / "rec.bin", dtype="<i2").reshape(-1, 2)
    assert np.array_equal(recorded, np.tile(wf.iq, (20, 1)))
    assert "frequency 1000000000" in (tmp_path / "log.txt").read_text()
    report = gensignal.play(wf, device=device(tmp_path, mtu=333), loops=3)
    floats = np.fromfile(tmp_path / "rec.bin", dtype="<f4").reshape(-1, 2)
    assert report.format == "CF32" and np.array_equal(floats, np.tile((wf.iq / 32767.0).astype(np.float32), (3, 1)))
    slow = device(tmp_path, mtu=480, realtime=1, slow_us=20000, buffer=960)
    events = []
    report = gensignal.play(gensignal.am(), device=slow, play_seconds=0.2, on_event=events.append)
    assert report.underruns == len(events) > 0
    with pytest.raises(gensignal.GenSignalError, match="loops = 0"):
        gensignal.play(wf, device=device(tmp_path), loops=0)
