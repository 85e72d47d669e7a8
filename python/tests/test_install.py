"""Installed as a user installs it: `cmake --install` into a temporary prefix
that is then moved, and `pip install` into a temporary virtual environment
made with Debian's python3. From there a small C host, wavegen and Python run
with no environment variables at all."""
import json
import os
import shutil
import subprocess

import pytest

import gensignal
from conftest import ROOT

BUILD = ROOT / "build" / "release"
SYSTEM_PYTHON = "/usr/bin/python3"
CHECK = """
import gensignal, json
wf = gensignal.digital(symbol_count=64)
loaded = sorted({line.split()[-1] for line in open("/proc/self/maps") if "libgensignal" in line})
print(json.dumps({"version": gensignal.__version__, "iq": wf.iq.tobytes().hex(), "loaded": loaded,
                  "package": gensignal.__file__}))
"""


def _run(args, cwd, env=None):
    done = subprocess.run(args, cwd=cwd, capture_output=True, text=True, env=env if env is not None else {})
    assert done.returncode == 0, f"{args}: {done.stderr}"
    return done


def _expected_iq():
    return gensignal.digital(symbol_count=64).iq.tobytes().hex()


@pytest.fixture(scope="module")
def moved(tmp_path_factory):
    """The release build installed into a prefix, and the prefix moved."""
    if not (BUILD / "tools" / "wavegen" / "wavegen").exists() or not shutil.which("cmake"):
        pytest.skip("needs the release build and cmake")
    work = tmp_path_factory.mktemp("install")
    _run(["cmake", "--install", str(BUILD), "--prefix", str(work / "installed")], work, env=dict(os.environ))
    (work / "installed").rename(work / "moved")
    return work / "moved"


def _site(prefix):
    (package,) = prefix.glob("lib/python3*/*-packages/gensignal")
    return package.parent


def test_a_c_host_runs_from_the_moved_prefix(moved, tmp_path):
    if not shutil.which("cc"):
        pytest.skip("no C compiler")
    (library,) = moved.rglob("libgensignal.so.1")
    libdir = library.parent
    _run(
        [
            "cc",
            "-std=c11",
            "-Wall",
            "-Werror",
            "-I",
            str(moved / "include"),
            str(ROOT / "tests/c_host/c_host.c"),
            "-L",
            str(libdir),
            "-lgensignal",
            f"-Wl,-rpath,{libdir}",
            "-o",
            "host",
        ],
        tmp_path,
        env=dict(os.environ),
    )
    _run([str(tmp_path / "host")], tmp_path)


def test_wavegen_runs_from_the_moved_prefix(moved, tmp_path):
    done = _run([str(moved / "bin" / "wavegen"), "digital", "--symbol-count", "64", "-o", "d"], tmp_path)
    assert done.stdout.startswith("digital: 512 samples")
    assert (tmp_path / "d.sigmf-data").read_bytes().hex() == _expected_iq()
    version = _run([str(moved / "bin" / "wavegen"), "--version"], tmp_path).stdout
    assert version.startswith(f"wavegen {gensignal.__version__}\n")


def test_manual_page_and_completion_are_installed(moved):
    page = (moved / "share" / "man" / "man1" / "wavegen.1").read_text()
    assert ".TH WAVEGEN" in page and r"center\-frequency" in page and r"mod\-type" in page
    completion = (moved / "share" / "bash-completion" / "completions" / "wavegen").read_text()
    assert "complete -F _wavegen wavegen" in completion


def test_python_runs_from_the_moved_prefix(moved, tmp_path):
    site = _site(moved)
    # With nothing but the package's folder on the path, and with the
    # README's PYTHONPATH.
    for args, env in (
        ([SYSTEM_PYTHON, "-c", f"import sys; sys.path.insert(0, {str(site)!r})\n" + CHECK], {}),
        ([SYSTEM_PYTHON, "-c", CHECK], {"PYTHONPATH": str(site)}),
    ):
        report = json.loads(_run(args, tmp_path, env).stdout)
        assert report["iq"] == _expected_iq()
        assert report["package"].startswith(str(moved))
        assert report["loaded"] and all(path.startswith(str(moved) + "/") for path in report["loaded"])


def test_pip_installs_into_a_virtual_environment(tmp_path):
    if not os.path.exists(SYSTEM_PYTHON) or not (BUILD / "libgensignal.so.1").exists():
        pytest.skip("needs Debian's python3 and the release build")
    found = (
        "import importlib.util as u; assert all(u.find_spec(m) for m in ('ensurepip', 'pip', 'setuptools', 'wheel'))"
    )
    if subprocess.run([SYSTEM_PYTHON, "-c", found], capture_output=True).returncode != 0:
        pytest.skip("needs python3-venv, python3-pip, python3-setuptools and python3-wheel")
    # A copy of the package's sources, so that the build leaves nothing in the
    # repository; GENSIGNAL_LIBRARY names the library to put beside it.
    source = tmp_path / "source"
    shutil.copytree(
        ROOT / "python", source, ignore=shutil.ignore_patterns("tests", "__pycache__", "build", "*.egg-info")
    )
    _run([SYSTEM_PYTHON, "-m", "venv", "--system-site-packages", str(tmp_path / "venv")], tmp_path)
    python = str(tmp_path / "venv" / "bin" / "python")
    env = {"PATH": "/usr/bin:/bin", "GENSIGNAL_LIBRARY": str(BUILD / "libgensignal.so.1")}
    _run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--quiet", str(source)], tmp_path, env)

    report = json.loads(_run([python, "-c", CHECK], tmp_path).stdout)
    assert report["version"] == gensignal.__version__
    assert report["iq"] == _expected_iq()
    package = os.path.dirname(report["package"])
    assert package.startswith(str(tmp_path / "venv"))
    assert report["loaded"] == [os.path.join(package, "libgensignal.so.1")]
    shown = _run([python, "-m", "pip", "show", "gensignal"], tmp_path).stdout
    assert f"Version: {gensignal.__version__}" in shown and "Requires: numpy" in shown
