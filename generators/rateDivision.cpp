#include "rateDivision.h"

#include "function.h"
#include "lastError.h"

namespace {

// A sample rate below 1/kMaxRateDivision of the locked rate would keep too
// little of the shaped signal to be the waveform asked for (an alias of
// it), from symbols or chips that far outnumber the samples.
constexpr int kMaxRateDivision = 1024;

}  // namespace

int resampledLength(int shapedLength, double sampleRate, double lockedRate, const char* lockedName, int& outputLength) {
    const int length = farrowOutputLength(shapedLength, sampleRate, lockedRate);
    if (length < 0)
        return refuse(-1, "sampleRate = %s: the resampled signal would reach 2^30 samples",
                      numberText(sampleRate).text);
    if (!(sampleRate * kMaxRateDivision >= lockedRate))
        return refuse(-1, "sampleRate = %s: must be at least 1/%d of the %s rate %s", numberText(sampleRate).text,
                      kMaxRateDivision, lockedName, numberText(lockedRate).text);
    outputLength = length;
    return 0;
}
