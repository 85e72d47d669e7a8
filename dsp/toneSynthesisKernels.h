// The inner loop of toneSynthesis.h over one group of 32 outputs. The tones
// come in pairs at +c and -c cycles: with block starts s+ and s- and the
// table row e = (er, ei) of +c, the pair adds s+ e + s- conj(e) =
// A er + i D ei, where A = s+ + s- and D = s+ - s-. Starting from the lone
// tone at 0 Hz (or 0), for each pair j in turn
//   re[l] = (re[l] + Ar * er[l]) - Di * ei[l]
//   im[l] = (im[l] + Ai * er[l]) + Dr * ei[l]
// every product rounded to float before its add. The AVX2 version does the
// same operations lane by lane, so both give the same bits.
#pragma once

#include <cstdint>

namespace tones {

constexpr int kGroup = 32;  // outputs per group

struct GroupRun {
    const float* start;    // Ar, Ai, Dr, Di per pair
    float dcRe, dcIm;      // the tone at 0 Hz, or 0
    const float* tableRe;  // pair j's row at tableRe + j * rowStride
    const float* tableIm;
    int64_t rowStride;
    int count;  // pairs
    float* re;  // kGroup results
    float* im;
};

void sumGroup(const GroupRun& run);

namespace generic {
void sumGroup(const GroupRun& run);
}
namespace avx2 {
void sumGroup(const GroupRun& run);
}

}  // namespace tones
