#include "bandReason.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "wrapperGenSignalWave.h"

namespace {

// Where a Gaussian pulse's response is 20 dB down, in units of its 3 dB
// bandwidth BT Rs: sqrt(2 ln 10 / ln 2).
constexpr double kGaussianEdge = 2.5776;

}  // namespace

bool say(BandReason& why, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(why.text, sizeof why.text, format, args);
    va_end(args);
    return true;
}

bool toneAbove(double f, double half) { return std::fabs(f) >= half; }

double pulseEdge(int filterType, double rolloff, double rate, const char** name) {
    switch (filterType) {
        case RCOS: *name = "(1 + rolloff) * rate / 2 of the raised cosine"; return (1 + rolloff) * rate / 2;
        case RRCOS: *name = "(1 + rolloff) * rate / 2 of the root raised cosine"; return (1 + rolloff) * rate / 2;
        case RECT: *name = "the first null of the rectangle, at the rate"; return rate;
        case HALF_SINE: *name = "the first null of the half-sine, 1.5 * rate"; return 1.5 * rate;
        case GAUSSIAN:
            *name = "the Gaussian pulse's 20 dB edge, 2.58 * rolloff * rate";
            return kGaussianEdge * rolloff * rate;
        default: return 0;
    }
}
