// OFDM frame: PN data on the used subcarriers of a centred layout, one
// inverse FFT per symbol, a cyclic prefix, and an optional raised-cosine
// cross-fade that also wraps from the last symbol to the first.
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "bitHelpers.h"
#include "buffer.h"
#include "constellation.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "ofdmFrame.h"
#include "ofdmPlan.h"
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

}  // namespace

int GenSignalClass::genOFDMSig(OFDMParams const* params, double, std::complex<float>** samples, int* sampleCount) {
    return generateForCaller<OfdmPlan>(
        "genOFDMSig", params, samples, sampleCount, [&](OfdmPlan& plan) { return planOfdm(*params, plan); },
        [&](const OfdmPlan& plan, GeneratedWave<std::complex<float>>& wave) { return genOFDMSig(plan, wave); });
}

int GenSignalClass::genOFDMSig(const OfdmPlan& plan, GeneratedWave<std::complex<float>>& wave) {
    if (plan.used == 0) return 0;  // every position is a guard: an empty frame
    const int n = plan.fftSize;
    const int k = plan.bitsPerPoint;
    const int points = plan.points;
    Buffer<int> pos(static_cast<size_t>(plan.used));
    if (!pos) return outOfMemory<int>(-3, plan.used, "subcarrier positions");
    Buffer<signed char> bits(static_cast<size_t>(plan.bits));
    if (!bits) return outOfMemory<signed char>(-3, plan.bits, "data bits");
    Buffer<short> sym(static_cast<size_t>(points));
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
    func_PN_gen(9, kPnDataStart, bits.get(), plan.bits);
    packSymbols(bits.get(), k, points, sym.get());
    bits.reset();

    // The points of the alphabet, each by the expression the mapping uses
    // for it: a symbol's point depends on nothing but its value.
    std::complex<float> table[256];
    const int alphabet = 1 << k;
    switch (plan.type) {
        case QAM16: unitPower(qam16, 16, 3.1622776601683795, table); break;
        case QAM64: unitPower(qam64, 64, 6.48074069840786, table); break;
        case QAM256: unitPower(qam256, 256, 13.038404810405298, table); break;
        default: {
            short every[16];
            for (int s = 0; s < alphabet; ++s) every[s] = static_cast<short>(s);
            DigitalModAPQAM(every, alphabet, static_cast<DigitalModulType>(plan.type), 1, 1, table);
        }
    }

    Buffer<std::complex<float>> out(static_cast<size_t>(plan.samples));
    if (!out) return outOfMemory<std::complex<float>>(-3, plan.samples, "OFDM frame");
    preferHugePages(out.get(), out.bytesFor(plan.samples));
    const OfdmFrameLayout layout{n, plan.prefix, plan.symbols, plan.used, pos.get(), plan.prefix > 0 && plan.windowing};
    if (int rc = buildOfdmFrame(layout, table, sym.get(), out.get())) return rc;
    wave.samples = std::move(out);
    wave.length = plan.samples;
    return 0;
}
