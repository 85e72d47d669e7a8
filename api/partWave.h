// One kind's waveform as a scene part takes it: made through the frame's
// KindRun (plan, Nyquist rule, defined waveform or exact loop) from a kind
// id and a pointer to its record, as complex samples, with what the run
// said of its loop. Without the frame's lengths and conversion: the scene
// fits and converts the sum.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>

#include "buffer.h"
#include "kindCall.h"
#include "naturalPeriod.h"

class GenSignalClass;

struct PartWave {
    Buffer<std::complex<float>> samples;
    int length = 0;
    MadeLoop made;
    NaturalPeriod period;
    char nyquist[256] = "";  // the Nyquist note of the defined mode, else ""
};

// The entry point's name for a record kind (GENSIGNAL_RECORD_...), null for
// one without.
const char* partEntryPoint(int recordKind);

// The size of a record kind's parameter record, 0 for an unknown kind.
size_t partRecordSize(int recordKind);

// 0, or the run's code with its reason (-1 for an unknown kind).
int makePartWave(GenSignalClass& object, int recordKind, const void* record, const KindCall& call, PartWave& out);
