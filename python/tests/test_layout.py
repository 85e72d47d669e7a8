"""The Python records have the C header's layout: sizes, offsets and field
sizes come from a small C program compiled against the header."""
import ctypes
import os
import shutil
import subprocess

import pytest

from conftest import ROOT
from gensignal import _channel as channel, _measurement as measurement, _records as records

ALL_RECORDS = {**records.RECORDS, **measurement.RECORDS, **channel.RECORDS}


@pytest.fixture(scope="module")
def header_layout(tmp_path_factory):
    compiler = os.environ.get("CC", "cc")
    if not shutil.which(compiler):
        pytest.skip(f"no C compiler ({compiler})")
    lines = ["#include <stdio.h>", "#include <stddef.h>", '#include "wrapperGenSignalWave.h"', "int main(void) {"]
    for name, cls in ALL_RECORDS.items():
        lines.append(f'    printf("{name} %zu\\n", sizeof({name}));')
        for field, _ in cls._fields_:
            lines.append(
                f'    printf("{name}.{field} %zu %zu\\n", offsetof({name}, {field}), sizeof((({name}*)0)->{field}));'
            )
    lines += ["    return 0;", "}"]
    work = tmp_path_factory.mktemp("layout")
    (work / "layout.c").write_text("\n".join(lines) + "\n")
    subprocess.run(
        [compiler, "-std=c11", "-I", str(ROOT / "include"), "layout.c", "-o", "layout"], cwd=work, check=True
    )
    out = subprocess.run([str(work / "layout")], capture_output=True, text=True, check=True).stdout
    return {key: tuple(int(v) for v in values) for key, *values in (line.split() for line in out.splitlines())}


@pytest.mark.parametrize("name", sorted(ALL_RECORDS))
def test_record_matches_the_header(name, header_layout):
    cls = ALL_RECORDS[name]
    assert ctypes.sizeof(cls) == header_layout[name][0]
    for field, _ in cls._fields_:
        descriptor = getattr(cls, field)
        assert (descriptor.offset, descriptor.size) == header_layout[f"{name}.{field}"], field
