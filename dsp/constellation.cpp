// Constellation tables and the symbol-to-point mappers.
#include <cmath>
#include <cstdint>

#include "buffer.h"
#include "constellation.h"
#include "genSignalClass.h"
#include "mathConstants.h"
#include "sharedCores.h"

namespace {

constexpr int inverseGray(int g) {
    int x = 0;
    for (; g != 0; g >>= 1) x ^= g;
    return x;
}

// Rectangular Gray-coded grid of nI x nQ levels: the high bits of s pick the
// in-phase column, the low bits the quadrature row, each through a reflected
// binary Gray code. Column p runs from the most negative I, row q from the
// most positive Q.
constexpr std::complex<float> qamPoint(int nI, int nQ, int s) {
    const int p = inverseGray(s / nQ);
    const int q = inverseGray(s % nQ);
    return {static_cast<float>(2 * p - (nI - 1)), static_cast<float>((nQ - 1) - 2 * q)};
}

}  // namespace

// Constant-initialised from the rule above (no code runs at load time).
#define GS_REP4(F, b) F(b), F((b) + 1), F((b) + 2), F((b) + 3)
#define GS_REP16(F, b) GS_REP4(F, b), GS_REP4(F, (b) + 4), GS_REP4(F, (b) + 8), GS_REP4(F, (b) + 12)
#define GS_REP64(F, b) GS_REP16(F, b), GS_REP16(F, (b) + 16), GS_REP16(F, (b) + 32), GS_REP16(F, (b) + 48)
#define GS_REP256(F, b) GS_REP64(F, b), GS_REP64(F, (b) + 64), GS_REP64(F, (b) + 128), GS_REP64(F, (b) + 192)
#define GS_REP1024(F, b) GS_REP256(F, b), GS_REP256(F, (b) + 256), GS_REP256(F, (b) + 512), GS_REP256(F, (b) + 768)

#define GS_QAM8(s) qamPoint(4, 2, s)
#define GS_QAM16(s) qamPoint(4, 4, s)
#define GS_QAM64(s) qamPoint(8, 8, s)
#define GS_QAM256(s) qamPoint(16, 16, s)
#define GS_QAM1024(s) qamPoint(32, 32, s)

const std::complex<float> qam8[8] = {GS_REP4(GS_QAM8, 0), GS_REP4(GS_QAM8, 4)};
const std::complex<float> qam16[16] = {GS_REP16(GS_QAM16, 0)};
const std::complex<float> qam64[64] = {GS_REP64(GS_QAM64, 0)};
const std::complex<float> qam256[256] = {GS_REP256(GS_QAM256, 0)};
const std::complex<float> qam1024[1024] = {GS_REP1024(GS_QAM1024, 0)};

// Inner ring of radius 1 at odd multiples of 45 degrees, outer ring of
// radius 3.15 every 30 degrees from 15; in each group of four the order is
// (+I, +Q), (-I, +Q), (+I, -Q), (-I, -Q).
constexpr float kApskA = 0.70710677f, kApskB = 3.0426664f, kApskC = 0.81527996f, kApskD = 2.2273865f;
const std::complex<float> apsk16[16] = {
    {kApskA, kApskA},  {-kApskA, kApskA},  {kApskA, -kApskA}, {-kApskA, -kApskA}, {kApskB, kApskC},  {-kApskB, kApskC},
    {kApskB, -kApskC}, {-kApskB, -kApskC}, {kApskC, kApskB},  {-kApskC, kApskB},  {kApskC, -kApskB}, {-kApskC, -kApskB},
    {kApskD, kApskD},  {-kApskD, kApskD},  {kApskD, -kApskD}, {-kApskD, -kApskD},
};

namespace {

// Below this many symbols a mapping stays on the calling thread. A table
// look-up is too cheap to pay for a team below millions: a region costs a
// wait for its slowest thread, which on a busy machine is a time slice.
constexpr int kParallelMin = 1 << 14;
constexpr int kLookUpParallelMin = 1 << 22;

// Table branch: a symbol outside the table is not looked up, and its output
// element is left as it was.
void mapTable(const short* symbols, int count, const std::complex<float>* table, int size, int stride,
              std::complex<float>* out) {
#pragma omp parallel for schedule(static) num_threads(availableTeam()) if (count >= kLookUpParallelMin)
    for (int i = 0; i < count; ++i) {
        const int s = symbols[i];
        if (s >= 0 && s < size) out[static_cast<int64_t>(i) * stride] = table[s];
    }
}

void mapAmplitude(const short* symbols, int count, int stride, std::complex<float>* out) {
#pragma omp parallel for schedule(static) num_threads(availableTeam()) if (count >= kLookUpParallelMin)
    for (int i = 0; i < count; ++i)
        out[static_cast<int64_t>(i) * stride] = std::complex<float>(static_cast<float>(symbols[i]), 0.0f);
}

// The last `span` symbol slots repeat the first `span`, element by element in
// increasing order. Skipped when the tail would start before the array.
void tailCopy(int count, int span, int stride, std::complex<float>* out) {
    if (span > count) return;
    const int64_t n = static_cast<int64_t>(span) * stride;
    const int64_t base = static_cast<int64_t>(count - span) * stride;
    for (int64_t j = 0; j < n; ++j) out[base + j] = out[j];
}

}  // namespace

void GenSignalClass::DigitalModAPQAM(short const* symbols, int count, DigitalModulType type, int span, int stride,
                                     std::complex<float>* out) {
    // A stride below 1 gives no room for the points (and would make threads
    // write the same element), so nothing is written.
    if (count <= 0 || stride < 1) return;
    switch (type) {
        case BPSK: pskmodForC(symbols, count, 2, 0.0, stride, out); break;
        case QPSK: pskmodForC(symbols, count, 4, 0.7853981633974483, stride, out); break;
        case PSK8: pskmodForC(symbols, count, 8, 0.0, stride, out); break;
        case PSK16: pskmodForC(symbols, count, 16, 0.0, stride, out); break;
        case DBPSK:
        case DQPSK:
        case DPSK8:
            dpskmodForC(symbols, count, static_cast<int>(type), 0.0, stride, out);
            tailCopy(count, span, stride, out);
            break;
        case PI4_DQPSK:
            dpskmodForC(symbols, count, 4, 0.7853981633974483, stride, out);
            tailCopy(count, span, stride, out);
            break;
        case ASK2:
        case ASK4:
        case ASK8: mapAmplitude(symbols, count, stride, out); break;
        case QAM16: mapTable(symbols, count, qam16, 16, stride, out); break;
        case QAM64: mapTable(symbols, count, qam64, 64, stride, out); break;
        case QAM256: mapTable(symbols, count, qam256, 256, stride, out); break;
        case QAM1024: mapTable(symbols, count, qam1024, 1024, stride, out); break;
        case APSK16: mapTable(symbols, count, apsk16, 16, stride, out); break;
        case QAM8: mapTable(symbols, count, qam8, 8, stride, out); break;
        default:  // OQPSK is mapped by its caller as QPSK; FSK is not mapped here
            break;
    }
}

namespace {

// Point of symbol s: the angle (2s + 1) pi / M + (phase - pi / M) in double,
// cosine and sine rounded to float.
inline std::complex<float> pskPoint(int s, int M, double phase) {
    const double theta = (2 * s + 1) * kPi / M + (phase - kPi / M);
    return {static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta))};
}

// Alphabets up to this size get a table of their points.
constexpr int kPskTableMax = 64;

}  // namespace

void GenSignalClass::pskmodForC(short const* symbols, int count, int M, double phase, int stride,
                                std::complex<float>* out) {
    if (count <= 0 || stride < 1) return;
    // Each point is the same expression of (s, M, phase) whichever symbol
    // asks for it, so it is worked out once per point rather than once per
    // symbol. Symbols outside the table (and large alphabets) are worked
    // out as they come.
    std::complex<float> table[kPskTableMax];
    const int tableSize = M >= 1 && M <= kPskTableMax ? M : 0;
    for (int s = 0; s < tableSize; ++s) table[s] = pskPoint(s, M, phase);
#pragma omp parallel for schedule(static) \
    num_threads(availableTeam()) if (count >= (tableSize ? kLookUpParallelMin : kParallelMin))
    for (int i = 0; i < count; ++i) {
        const int s = symbols[i];
        out[static_cast<int64_t>(i) * stride] = s >= 0 && s < tableSize ? table[s] : pskPoint(s, M, phase);
    }
}

void GenSignalClass::dpskmodForC(short const* symbols, int count, int M, double phase, int stride,
                                 std::complex<float>* out) {
    if (count <= 0 || stride < 1) return;
    const double delta = kTwoPi / M;
    double theta = std::fma(delta, static_cast<double>(symbols[0]), phase);
    out[0] = std::complex<float>(static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta)));
    for (int i = 1; i < count; ++i) {
        theta = theta + std::fma(delta, static_cast<double>(symbols[i]), phase);
        out[static_cast<int64_t>(i) * stride] =
            std::complex<float>(static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta)));
    }
}

void alphabetPoints(DigitalModulType type, int count, std::complex<float>* out) {
    Buffer<short> every(static_cast<size_t>(count));
    if (!every) return;
    for (int i = 0; i < count; ++i) every[i] = static_cast<short>(i);
    GenSignalClass::DigitalModAPQAM(every.get(), count, type, 1, 1, out);
}
