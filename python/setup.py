"""The package's build (configured in pyproject.toml). One step of its own:
when the repository's release build (or the file GENSIGNAL_LIBRARY names) is
there, a copy of the library goes into the package, beside its modules, where
the package looks first; the wheel is then specific to this platform."""
import os
import pathlib

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = pathlib.Path(__file__).resolve().parent
SONAME = "libgensignal.so.1"


def built_library():
    chosen = os.environ.get("GENSIGNAL_LIBRARY")
    path = pathlib.Path(chosen) if chosen else HERE.parent / "build" / "release" / SONAME
    return path if path.is_file() else None


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        library = built_library()
        if library is not None:
            target = pathlib.Path(self.build_lib) / "gensignal" / SONAME
            self.copy_file(str(library), str(target))  # the file itself, not a link


class LibraryDistribution(Distribution):
    def has_ext_modules(self):
        return built_library() is not None


setup(cmdclass={"build_py": BuildWithLibrary}, distclass=LibraryDistribution)
