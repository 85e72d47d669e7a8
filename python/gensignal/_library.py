"""Loading the shared library, one generator object per Python thread, and
the library's reasons for a refusal."""
import atexit
import ctypes
import json
import math
import os
import pathlib
import threading

from . import _records as records

_SONAME = "libgensignal.so.1"
_HERE = pathlib.Path(__file__).resolve().parent


class GenSignalError(ValueError):
    """A refused request: `code` is the library's result code (-1 also for
    values refused before the library is called), `message` the reason,
    `argument` the keyword argument it names (or None)."""

    def __init__(self, code, message, argument=None, text=None):
        super().__init__(text or message)
        self.code = code
        self.message = message
        self.argument = argument


def _installed_library():
    """The library a CMake install put beside this package, as it recorded it
    (relative to this folder, so that the tree may be moved), or None."""
    try:
        from . import _installed
    except ImportError:
        return None
    return os.path.normpath(_HERE / _installed.LIBRARY)


def _build_tree_library():
    """The release build of the repository this package is part of, or None."""
    root = _HERE.parents[1]
    if (root / "CMakeLists.txt").exists() and (_HERE.parent / "pyproject.toml").exists():
        return str(root / "build" / "release" / _SONAME)
    return None


def candidates():
    """Where the library is looked for, in order: GENSIGNAL_LIBRARY (then
    nothing else), a copy installed beside the package, the library of the
    prefix CMake installed it into, the repository's release build when run
    from there, and the loader's search path."""
    chosen = os.environ.get("GENSIGNAL_LIBRARY")
    if chosen:
        return [("GENSIGNAL_LIBRARY", chosen)]
    found = [("beside the package", str(_HERE / _SONAME))]
    installed = _installed_library()
    if installed:
        found.append(("the install prefix", installed))
    build = _build_tree_library()
    if build:
        found.append(("the repository's build", build))
    found.append(("the loader's search path", _SONAME))
    return found


def _load():
    tried = []
    for where, path in candidates():
        if os.sep in path and not os.path.exists(path):
            tried.append(f"{where}: {path} does not exist")
            continue
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"{where}: {e}")
    raise OSError("cannot load the gensignal library (set GENSIGNAL_LIBRARY to its path); tried " + "; ".join(tried))


def _declare(lib):
    iq_out = ctypes.POINTER(ctypes.POINTER(ctypes.c_int16))
    count_out = ctypes.POINTER(ctypes.c_int)
    lib.GenSignalObjCreatSelfEncode.argtypes = []
    lib.GenSignalObjCreatSelfEncode.restype = ctypes.c_int
    lib.GenSignalObjRelease.argtypes = [ctypes.c_int]
    lib.GenSignalObjRelease.restype = ctypes.c_int
    lib.GetALGVersion.argtypes = [ctypes.c_char_p]
    lib.GetALGVersion.restype = ctypes.c_int
    lib.GenSignalGetLastError.argtypes = [ctypes.c_char_p, ctypes.c_int]
    lib.GenSignalGetLastError.restype = ctypes.c_int
    for name in ("GenSignalSigmfMetadata", "GenSignalSigmfRead", "GenSignalJsonText"):
        fn = getattr(lib, name)
        fn.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int]
        fn.restype = ctypes.c_int
    return iq_out, count_out


_lock = threading.Lock()
_lib = None
_iq_out = _count_out = None


def library():
    """The loaded library (loaded on first use)."""
    global _lib, _iq_out, _count_out
    with _lock:
        if _lib is None:
            lib = _load()
            _iq_out, _count_out = _declare(lib)
            _lib = lib
    return _lib


_entry_points = {}


def entry_point(name, record_name, has_argument):
    """The entry point `name`, typed for its record (and extra int argument)."""
    lib = library()
    with _lock:
        if name not in _entry_points:
            fn = getattr(lib, name)
            record = ctypes.POINTER(records.RECORDS[record_name])
            middle = [ctypes.c_int] if has_argument else []
            fn.argtypes = [ctypes.c_int, record] + middle + [_iq_out, _count_out, ctypes.c_double]
            fn.restype = ctypes.c_int
            _entry_points[name] = fn
        return _entry_points[name]


def version():
    """The library's algorithm version string (GetALGVersion)."""
    buffer = ctypes.create_string_buffer(32)
    library().GetALGVersion(buffer)
    return buffer.value.decode()


def last_error():
    """This thread's reason for its last refused call."""
    buffer = ctypes.create_string_buffer(1024)
    n = library().GenSignalGetLastError(buffer, len(buffer))
    return buffer.value.decode(errors="replace") if n > 0 else ""


def _finite(value):
    """The document with every float that is not finite as None, as the
    library writes it (JSON has no NaN)."""
    if isinstance(value, float):
        return value if math.isfinite(value) else None
    if isinstance(value, dict):
        return {k: _finite(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_finite(v) for v in value]
    return value


def text(name, document):
    """The text the library's entry point `name` (GenSignalSigmfMetadata,
    GenSignalSigmfRead, GenSignalJsonText) makes of a JSON document."""
    fn = getattr(library(), name)
    given = json.dumps(_finite(document), ensure_ascii=False, allow_nan=False).encode()
    length = fn(given, None, 0)
    if length >= 0:
        buffer = ctypes.create_string_buffer(length + 1)
        if fn(given, buffer, length + 1) == length:
            return buffer.raw[:length].decode()
    raise GenSignalError(min(length, -1), last_error() or f"{name} refused the document")


# Handles: one per thread, released when the thread's storage goes away or,
# at the latest, when the interpreter exits.
_live = {}  # handle id -> True while not released
_live_lock = threading.Lock()


def _release(handle):
    with _live_lock:
        if not _live.pop(handle, False):
            return
    if _lib is not None:
        _lib.GenSignalObjRelease(handle)


class _ThreadHandle:
    def __init__(self):
        self.id = library().GenSignalObjCreatSelfEncode()
        if self.id < 0:
            raise GenSignalError(self.id, last_error() or "no generator object could be created")
        with _live_lock:
            _live[self.id] = True

    def __del__(self):
        try:
            _release(self.id)
        except Exception:  # the interpreter may be shutting down
            pass


_local = threading.local()


def thread_handle():
    """This thread's generator object id."""
    handle = getattr(_local, "handle", None)
    if handle is None:
        handle = _local.handle = _ThreadHandle()
    return handle.id


@atexit.register
def _release_all():
    with _live_lock:
        handles = list(_live)
    for h in handles:
        _release(h)


def call(fn, *args):
    """Calls an entry point on this thread's handle; returns the int16 values
    as a ctypes pointer and count, or raises GenSignalError."""
    iq = ctypes.POINTER(ctypes.c_int16)()
    count = ctypes.c_int(0)
    rc = fn(thread_handle(), *args[:-1], ctypes.byref(iq), ctypes.byref(count), args[-1])
    if rc != 0:
        raise GenSignalError(rc, last_error() or f"result code {rc}")
    return iq, count.value
