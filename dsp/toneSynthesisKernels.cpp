#include "toneSynthesisKernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "cpuDispatch.h"

namespace tones {

namespace generic {

void sumGroup(const GroupRun& run) {
    float re[kGroup], im[kGroup];
    for (int l = 0; l < kGroup; ++l) {
        re[l] = run.dcRe;
        im[l] = run.dcIm;
    }
    for (int j = 0; j < run.count; ++j) {
        const float* s = run.start + 4 * j;
        const float ar = s[0], ai = s[1], dr = s[2], di = s[3];
        const float* er = run.tableRe + j * run.rowStride;
        const float* ei = run.tableIm + j * run.rowStride;
        for (int l = 0; l < kGroup; ++l) {
            re[l] = (re[l] + ar * er[l]) - di * ei[l];
            im[l] = (im[l] + ai * er[l]) + dr * ei[l];
        }
    }
    for (int l = 0; l < kGroup; ++l) {
        run.re[l] = re[l];
        run.im[l] = im[l];
    }
}

}  // namespace generic

#if defined(__x86_64__)
namespace avx2 {

__attribute__((target("avx2,fma"))) void sumGroup(const GroupRun& run) {
    __m256 re[4], im[4];
    for (int g = 0; g < 4; ++g) {
        re[g] = _mm256_set1_ps(run.dcRe);
        im[g] = _mm256_set1_ps(run.dcIm);
    }
    for (int j = 0; j < run.count; ++j) {
        const float* s = run.start + 4 * j;
        const __m256 ar = _mm256_set1_ps(s[0]), ai = _mm256_set1_ps(s[1]);
        const __m256 dr = _mm256_set1_ps(s[2]), di = _mm256_set1_ps(s[3]);
        const float* er = run.tableRe + j * run.rowStride;
        const float* ei = run.tableIm + j * run.rowStride;
        for (int g = 0; g < 4; ++g) {
            const __m256 a = _mm256_loadu_ps(er + 8 * g), b = _mm256_loadu_ps(ei + 8 * g);
            re[g] = _mm256_sub_ps(_mm256_add_ps(re[g], _mm256_mul_ps(ar, a)), _mm256_mul_ps(di, b));
            im[g] = _mm256_add_ps(_mm256_add_ps(im[g], _mm256_mul_ps(ai, a)), _mm256_mul_ps(dr, b));
        }
    }
    for (int g = 0; g < 4; ++g) {
        _mm256_storeu_ps(run.re + 8 * g, re[g]);
        _mm256_storeu_ps(run.im + 8 * g, im[g]);
    }
}

}  // namespace avx2
#endif

void sumGroup(const GroupRun& run) {
#if defined(__x86_64__)
    if (useAvx2()) {
        avx2::sumGroup(run);
        return;
    }
#endif
    generic::sumGroup(run);
}

}  // namespace tones
