// The phase generators (FM, step sweep, ramp sweep) share one shape: a
// phase recurrence that must run in order, sample by sample, and then the
// costly part, the unit phasors, formed from finished blocks on every
// thread (blockPipeline.h, phaseSlots.h).
#pragma once

#include <algorithm>
#include <complex>
#include <cstdint>
#include <cstring>

#include "blockPipeline.h"
#include "cpuDispatch.h"
#include "phaseSlots.h"

// x[0, n): `phases(first, last)` stores the phases of samples [first, last)
// in their slots (storePhase), called for consecutive ranges in order; it
// runs compiled for the active kernel variant, so mark it
// GENSIGNAL_KERNEL_BODY. Samples from `silentFrom` on get no phase and are
// zeros.
template <class Phases>
void generatePhasors(std::complex<float>* x, int64_t n, int64_t silentFrom, Phases phases) {
    const SampleBlocks blocks(n);
    runBlockPipeline(
        blocks, 0,
        [&](int64_t first, int64_t last) {
            last = std::min(last, silentFrom);
            if (first < last) runForKernels(phases, first, last);
        },
        [&](int64_t first, int64_t last) {
            const int64_t end = std::clamp(silentFrom, first, last);
            phasorsFromPhases(x + first, static_cast<size_t>(end - first));
            std::memset(static_cast<void*>(x + end), 0, sizeof(std::complex<float>) * static_cast<size_t>(last - end));
        });
}
