"""Files that appear whole or not at all, for every writer of the package:
each file is written under a temporary name beside its final one, and all
of them are renamed into place, in the order given, only once every one is
whole. A failure (a full file system, a file size limit) leaves what was
there before exactly as it was, and nothing new."""
import contextlib
import errno
import os
import secrets

PARTIAL = ".partial"


def _size_text(size):
    for scale, unit in ((1e12, "TB"), (1e9, "GB"), (1e6, "MB"), (1e3, "kB")):
        if size >= scale:
            return f"{size / scale:.1f} {unit}"
    return f"{size:.0f} bytes"


def check_space(path, size):
    """Raises OSError(ENOSPC) with what is needed when the file system that
    holds `path` has less than `size` bytes free."""
    folder = os.path.dirname(os.path.abspath(path))
    try:
        fs = os.statvfs(folder)
    except OSError:
        return  # the writing will say what is wrong
    free = fs.f_bavail * fs.f_frsize
    if size > free:
        raise OSError(
            errno.ENOSPC,
            f"the recording needs {_size_text(size)} ({size} bytes); the file system of "
            f"{folder} has {_size_text(free)} free",
            os.fspath(path),
        )


def _write_temporary(path, content, sync, temps):
    """A new file "path.<hex>.partial" holding `content`, its name put into
    `temps` before it exists, so that an interrupt at any point leaves the
    caller a name to remove."""
    while True:
        temps.append(f"{os.fspath(path)}.{secrets.token_hex(4)}{PARTIAL}")
        try:
            fd = os.open(temps[-1], os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
            break
        except FileExistsError:
            temps.pop()  # another writer's: never removed
    try:
        view = memoryview(content)
        while view:
            view = view[os.write(fd, view) :]
        if sync:
            os.fsync(fd)
    finally:
        os.close(fd)


def write_files(files, sync=True, check=True):
    """`files`: (path, bytes or str) pairs, written whole and then renamed
    into place in that order (the data before its metadata). A renamed name
    that was a symbolic link is replaced, never followed. `sync`: each file
    reaches the disk before any is renamed; `check`: the free space is
    checked first for them all."""
    files = [
        (os.fspath(path), content.encode("utf-8") if isinstance(content, str) else content) for path, content in files
    ]
    for path, _ in files:  # a folder in the way would refuse only its rename, after the others
        if os.path.isdir(path) and not os.path.islink(path):
            raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), path)
    if check and files:
        check_space(files[0][0], sum(len(memoryview(content).cast("B")) for _, content in files))
    temps = []
    try:
        for path, content in files:
            _write_temporary(path, content, sync, temps)
        for temp, (path, _) in zip(temps, files):
            os.replace(temp, path)
    except BaseException:
        for temp in temps:
            with contextlib.suppress(FileNotFoundError):
                os.unlink(temp)
        raise
