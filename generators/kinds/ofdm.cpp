#include "ofdm.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "bitHelpers.h"
#include "buffer.h"
#include "constellation.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "lastError.h"
#include "loopLength.h"
#include "loopClosing.h"
#include "ofdmFrame.h"
#include "planCount.h"
#include "pnSequence.h"
#include "rangeChecks.h"

namespace {

// Table points widened to double, divided by the table's RMS and rounded
// back: unit average power.
void unitPower(const std::complex<float>* points, int count, double norm, std::complex<float>* out) {
    for (int i = 0; i < count; ++i)
        out[i] = {static_cast<float>(static_cast<double>(points[i].real()) / norm),
                  static_cast<float>(static_cast<double>(points[i].imag()) / norm)};
}

// Bits per data symbol of the accepted modulations; 0 for the others.
int bitsPerSymbol(int32_t type) {
    switch (type) {
        case BPSK: return 1;
        case QPSK: return 2;
        case PSK8: return 3;
        case PSK16: return 4;
        case QAM16: return 4;
        case QAM64: return 6;
        case QAM256: return 8;
        default: return 0;
    }
}

const char kModTypeRule[] = "must be 1 (BPSK), 3 (QPSK), 7 (PSK8), 9 (PSK16), 10 (QAM16), 11 (QAM64) or 12 (QAM256)";

}  // namespace

int planOfdm(const OFDMParams& p, OfdmPlan& plan) {
    countPlan();
    const int32_t type = p.modType;
    const int k = bitsPerSymbol(type);
    if (k == 0) return refuse(-1, "OFDMParams.modType = %d: %s", type, kModTypeRule);
    const int n = p.fftSize;
    // The inverse FFT only transforms powers of two.
    if (n < 1 || (n & (n - 1)) != 0) return refuse(-1, "OFDMParams.fftSize = %d: must be a power of two", n);
    const int symbols = p.numSymbols;
    if (symbols < 1) return refuse(-1, "OFDMParams.numSymbols = %d: must be at least 1", symbols);
    // Guards or a prefix beyond the symbol would place data outside it.
    if (p.guardLow < 0) return refuse(-1, "OFDMParams.guardLow = %d: must be at least 0", p.guardLow);
    if (p.guardHigh < 0) return refuse(-1, "OFDMParams.guardHigh = %d: must be at least 0", p.guardHigh);
    if (p.cpPercent > 100) return refuse(-1, "OFDMParams.cpPercent = %d: must be at most 100", p.cpPercent);
    const bool nullDC = p.nullDC != 0;
    const int64_t empty = static_cast<int64_t>(p.guardLow) + p.guardHigh + (nullDC ? 1 : 0);
    if (empty > n)
        return refuse(-1, "OFDMParams.guardHigh = %d: guardLow + guardHigh%s = %lld exceeds fftSize = %d", p.guardHigh,
                      nullDC ? " + 1 (nullDC)" : "", static_cast<long long>(empty), n);
    const int64_t used = n - empty;

    // A negative percentage means no prefix (and is not converted, since a
    // large one would not fit an int); 0 < P <= N otherwise.
    const int prefix = p.cpPercent > 0 ? static_cast<int>(n * (p.cpPercent / 100.0)) : 0;
    const int64_t samples = static_cast<int64_t>(symbols) * (static_cast<int64_t>(n) + prefix);
    if (samples >= kMaxSamples) return refuseLength(static_cast<double>(samples));
    // U <= N, so the points fit whenever the samples do; the bits may not.
    const int64_t points = used * symbols;
    const int64_t bits = k * points;
    if (bits >= kMaxSamples)
        return refuse(-1, "frame of %lld data bits (%d per subcarrier): must be below 2^30",
                      static_cast<long long>(bits), k);

    plan = {type,
            k,
            n,
            symbols,
            p.guardLow,
            nullDC,
            p.windowing != 0,
            static_cast<int>(used),
            prefix,
            static_cast<int>(samples),
            static_cast<int>(points),
            static_cast<int>(bits)};
    return 0;
}

int GenSignalClass::genOFDMSig(OFDMParams const* params, double, std::complex<float>** samples, int* sampleCount) {
    return generateForCaller<OfdmPlan>(
        "genOFDMSig", params, samples, sampleCount, [&](OfdmPlan& plan) { return planOfdm(*params, plan); },
        [&](const OfdmPlan& plan, GeneratedWave<std::complex<float>>& wave) { return genOFDMSig(plan, wave); });
}

int ofdmFrameData(const OfdmPlan& plan, Buffer<int>& pos, Buffer<short>& sym, std::complex<float>* table) {
    const int n = plan.fftSize;
    const int k = plan.bitsPerPoint;
    const int points = plan.points;
    pos = Buffer<int>(static_cast<size_t>(plan.used));
    if (!pos) return outOfMemory<int>(-3, plan.used, "subcarrier positions");
    Buffer<signed char> bits(static_cast<size_t>(plan.bits));
    if (!bits) return outOfMemory<signed char>(-3, plan.bits, "data bits");
    sym = Buffer<short>(static_cast<size_t>(points));
    if (!sym) return outOfMemory<short>(-3, points, "data symbols");

    // Used positions from guardLow upwards, stepping over the centre when it
    // is to stay empty.
    const int centre = n / 2;
    for (int c = 0, q = plan.guardLow; c < plan.used; ++c) {
        if (plan.nullDC && q == centre) ++q;
        pos[c] = q++;
    }

    // The same PN start state on every call: the frame is a fixed function
    // of the record.
    GenSignalClass::func_PN_gen(9, kPnDataStart, bits.get(), plan.bits);
    packSymbols(bits.get(), k, points, sym.get());
    bits.reset();

    // The points of the alphabet, each by the expression the mapping uses
    // for it: a symbol's point depends on nothing but its value.
    const int alphabet = 1 << k;
    switch (plan.type) {
        case QAM16: unitPower(qam16, 16, 3.1622776601683795, table); break;
        case QAM64: unitPower(qam64, 64, 6.48074069840786, table); break;
        case QAM256: unitPower(qam256, 256, 13.038404810405298, table); break;
        default: {
            short every[16];
            for (int s = 0; s < alphabet; ++s) every[s] = static_cast<short>(s);
            GenSignalClass::DigitalModAPQAM(every, alphabet, static_cast<DigitalModulType>(plan.type), 1, 1, table);
        }
    }
    return 0;
}

int GenSignalClass::genOFDMSig(const OfdmPlan& plan, GeneratedWave<std::complex<float>>& wave) {
    if (plan.used == 0) return 0;  // every position is a guard: an empty frame
    Buffer<int> pos;
    Buffer<short> sym;
    std::complex<float> table[256];
    if (int rc = ofdmFrameData(plan, pos, sym, table)) return rc;
    Buffer<std::complex<float>> out(static_cast<size_t>(plan.samples));
    if (!out) return outOfMemory<std::complex<float>>(-3, plan.samples, "OFDM frame");
    preferHugePages(out.get(), out.bytesFor(plan.samples));
    const OfdmFrameLayout layout{plan.fftSize, plan.prefix, plan.symbols,
                                 plan.used,    pos.get(),   plan.prefix > 0 && plan.windowing};
    if (int rc = buildOfdmFrame(layout, table, sym.get(), out.get())) return rc;
    wave.samples = std::move(out);
    wave.length = plan.samples;
    return 0;
}

template <>
int OfdmKind::plan(const Params& p, const KindCall&, Plan& plan) {
    return planOfdm(p, plan);
}

template <>
NaturalPeriod OfdmKind::period(const Params& params, const KindCall&) {
    const OFDMParams p = params;
    // Any record: a frame beyond 64 bits has no exact length.
    const double prefix = p.cpPercent > 0 ? std::trunc(p.fftSize * (p.cpPercent / 100.0)) : 0;
    const double frame = static_cast<double>(p.numSymbols) * (p.fftSize + prefix);
    const bool exact = frame >= 0 && frame < 9.2e18;
    return periodOf(exact ? exactCount(static_cast<int64_t>(frame)) : std::nullopt, Rational{1, 1}, frame);
}

template <>
int OfdmKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave, MadeLoop&) {
    return obj.genOFDMSig(plan, wave);
}

template <>
int OfdmKind::loop(GenSignalClass& obj, const Params&, const Plan& plan, const KindCall&, const NaturalPeriod&,
                   GeneratedWave<Sample>& wave, MadeLoop& made) {
    if (plan.samples > kMaxLoopSamples) return refuseBeyondLoopCap("the OFDM frame", plan.samples);
    made.periods = 1;
    return obj.genOFDMSig(plan, wave);
}

// An OFDM frame fills the band by construction: never above.
template <>
bool OfdmKind::aboveNyquist(const Params&, double, BandReason&) {
    return false;
}
