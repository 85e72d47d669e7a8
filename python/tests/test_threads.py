"""Several Python threads at once get the same arrays as the same calls in sequence."""
import threading

import numpy as np

import gensignal
from conftest import KIND_CASES

KINDS = ["digital", "dss", "am", "fm", "multitone", "stepsweep", "awgn", "ofdm"]


def test_eight_threads_give_the_sequential_arrays():
    expected = {kind: getattr(gensignal, kind)(**KIND_CASES[kind]).iq for kind in KINDS}
    start = threading.Barrier(len(KINDS))
    results, errors = {}, []

    def work(kind):
        try:
            start.wait()
            results[kind] = [getattr(gensignal, kind)(**KIND_CASES[kind]).iq for _ in range(5)]
        except Exception as e:  # reported below, with the kind
            errors.append((kind, e))

    threads = [threading.Thread(target=work, args=(kind,)) for kind in KINDS]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors
    for kind in KINDS:
        for iq in results[kind]:
            np.testing.assert_array_equal(iq, expected[kind], err_msg=kind)
