"""Files that appear whole or not at all: everything is written under a
temporary name beside its final one and renamed when complete."""
import contextlib
import os
import pathlib

from .. import _files

PARTIAL = _files.PARTIAL


def partial_name(path):
    path = pathlib.Path(path)
    return path.with_name(path.name + PARTIAL)


def write_pair(base, data, meta):
    """BASE.sigmf-data and BASE.sigmf-meta, both whole before either is
    renamed, the data first. Unsynced: at thousands of small files a second
    a sync each would cost more than the writing."""
    _files.write_files([(base + ".sigmf-data", data), (base + ".sigmf-meta", meta)], sync=False)


def remove_partials(folder):
    """Removes what an interrupted run left under temporary names in
    `folder` and its immediate subfolders."""
    folder = pathlib.Path(folder)
    for path in list(folder.glob("*" + PARTIAL)) + list(folder.glob("*/*" + PARTIAL)):
        with contextlib.suppress(FileNotFoundError):
            path.unlink()


def read_pair(base):
    """(meta bytes, data bytes) of BASE.sigmf-meta and BASE.sigmf-data, or
    None when either is missing, unreadable or a symbolic link (which a
    resumed run then replaces instead of following)."""
    try:
        return _read_own(str(base) + ".sigmf-meta"), _read_own(str(base) + ".sigmf-data")
    except OSError:
        return None


def _read_own(path):
    fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_CLOEXEC)
    with open(fd, "rb") as f:
        return f.read()


def own_folder(path):
    """Makes the folder `path` or takes the one there; refuses a symbolic
    link or anything else standing there, so that no item lands outside the
    run's folder."""
    if os.path.islink(path):
        raise FileExistsError(f"{path} is a symbolic link: a run writes only into folders of its own")
    os.makedirs(path, exist_ok=True)
    if not os.path.isdir(path):
        raise FileExistsError(f"{path} is not a folder")
