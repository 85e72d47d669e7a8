"""Files that appear whole or not at all: everything is written under a
temporary name beside its final one and renamed when complete."""
import contextlib
import os
import pathlib

PARTIAL = ".partial"


def partial_name(path):
    path = pathlib.Path(path)
    return path.with_name(path.name + PARTIAL)


@contextlib.contextmanager
def replacing(path, mode="wb"):
    """Opens a temporary file for `path`; renames it to `path` when the
    block ends normally and removes it otherwise."""
    temp = partial_name(path)
    try:
        with open(temp, mode, **({} if "b" in mode else {"encoding": "utf-8"})) as f:
            yield f
        os.replace(temp, path)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(temp)
        raise


def write_whole(path, content):
    """`content` (bytes or text) as the file `path`. Plain descriptors: at
    thousands of small files a second, Python's file objects cost more than
    the writing."""
    if isinstance(content, str):
        content = content.encode("utf-8")
    temp = partial_name(path)
    try:
        fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_CLOEXEC, 0o666)
        try:
            view = memoryview(content)
            while view:
                view = view[os.write(fd, view):]
        finally:
            os.close(fd)
        os.replace(temp, path)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(temp)
        raise


def remove_partials(folder):
    """Removes what an interrupted run left under temporary names in
    `folder` and its immediate subfolders."""
    folder = pathlib.Path(folder)
    for path in list(folder.glob("*" + PARTIAL)) + list(folder.glob("*/*" + PARTIAL)):
        with contextlib.suppress(FileNotFoundError):
            path.unlink()


def read_pair(base):
    """(meta bytes, data bytes) of BASE.sigmf-meta and BASE.sigmf-data, or
    None when either is missing or unreadable."""
    try:
        meta = pathlib.Path(str(base) + ".sigmf-meta").read_bytes()
        return meta, pathlib.Path(str(base) + ".sigmf-data").read_bytes()
    except OSError:
        return None
