// Digital modulation: PN bits, extended cyclically by one filter span,
// packed into symbols, mapped to one point per symbol, pulse shaped as the
// zero-stuffed train of those points and resampled to the sample rate. The
// FSK kinds hand symbols and taps to the FSK modulator instead. The result
// is one loopable period.
//
// Each stage below takes what the previous one made and the plan, and
// answers 0 or -3 when its array cannot be had. Only the points, the taps
// and the output are alive while the signal is shaped.
#include <complex>
#include <cstring>

#include "bitHelpers.h"
#include "buffer.h"
#include "digitalPlan.h"
#include "filterDesign.h"
#include "fskMod.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "exactShapedParts.h"
#include "shapingPipeline.h"

namespace {

using Sample = std::complex<float>;

// Bits: one period of PN bits from the seed, then the bits of its first S
// symbols again, so that the last S symbols repeat the first S.
int drawBits(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<signed char>& bits) {
    const size_t count = static_cast<size_t>(plan.k) * plan.n;
    bits = Buffer<signed char>(count);
    if (!bits) return outOfMemory<signed char>(-3, count, "PN bits");
    signed char seed[32];  // the seed's low pnOrder bits, most significant first
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    dsp.func_PN_gen(plan.pnOrder, seed, bits.get(), plan.k * plan.N);
    // S <= N, so source and destination never overlap.
    std::memcpy(bits.get() + static_cast<size_t>(plan.k) * plan.N, bits.get(),
                static_cast<size_t>(plan.k) * plan.shape.span);
    return 0;
}

// Symbols: each group of k bits, the first bit least significant. The FSK
// kinds get room for the level their modulator may append.
int makeSymbols(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<short>& symbols) {
    Buffer<signed char> bits;
    if (int rc = drawBits(dsp, plan, bits)) return rc;
    symbols = Buffer<short>(plan.symbolRoom);
    if (!symbols) return outOfMemory<short>(-3, plan.symbolRoom, "symbols");
    packSymbols(bits.get(), plan.k, plan.n, symbols.get());
    return 0;
}

// Points: one per symbol; the differential kinds end with a copy of their
// first S points.
int mapPoints(GenSignalClass& dsp, const DigitalPlan& plan, const Buffer<short>& symbols, Buffer<Sample>& points) {
    points = Buffer<Sample>(plan.n, true);
    if (!points) return outOfMemory<Sample>(-3, plan.n, "symbol points");
    const DigitalModulType kind = plan.modType == OQPSK ? QPSK : plan.modType;
    dsp.DigitalModAPQAM(symbols.get(), plan.n, kind, plan.shape.span, 1, points.get());
    return 0;
}

// Shaped: only the fully overlapped stretch of the train, one period long;
// OQPSK's quadrature delayed by half a symbol, cyclically within the
// period; resampled from the symbol-locked rate to the sample rate.
int shape(const DigitalPlan& plan, const Buffer<Sample>& points, const Buffer<float>& taps,
          GeneratedWave<Sample>& wave) {
    Buffer<Sample> signal(plan.outputLength);
    if (!signal)
        return outOfMemory<Sample>(-3, plan.outputLength, plan.resample ? "resampled signal" : "shaped signal");
    const int delay = plan.modType == OQPSK ? plan.sps / 2 : 0;
    const ShapingJob job{points.get(), plan.n,        plan.sps,        taps.get(),           plan.tapCount,
                         delay,        plan.resample, plan.sampleRate, plan.symbolLockedRate};
    if (int rc = shapeAndResample(job, signal.get()); rc < 0) return rc;  // no scratch: -3
    wave.samples = std::move(signal);
    wave.length = plan.outputLength;
    return 0;
}

// The FSK kinds: the modulator shapes, resamples and integrates the phase.
int fskSignal(const DigitalPlan& plan, Buffer<short>& symbols, Buffer<float>& taps, GeneratedWave<Sample>& wave) {
    const FskBurst burst{plan.n,           plan.M,          plan.freqDeviation,    plan.sps,
                         plan.tapCount,    plan.shape.span, plan.symbolLockedRate, plan.sampleRate,
                         plan.outputLength};
    const int rc = modulateFsk(symbols.get(), taps.get(), burst, wave.samples);
    // What the plan cannot judge is a PN sequence whose levels the middle
    // of the burst cannot balance.
    if (rc == -1)
        return refuse(-1, "symbolCount = %d is too short to balance the FSK levels of this PN sequence", plan.N);
    if (rc != 0) return rc;
    wave.length = plan.outputLength;
    return 0;
}

}  // namespace

int digitalPeriodParts(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<short>& symbols, Buffer<Sample>& points,
                       Buffer<float>& taps) {
    if (int rc = makeSymbols(dsp, plan, symbols)) return rc;
    if (int rc = designTaps(dsp, plan.shape, plan.sps, plan.tapCount, taps)) return rc;
    return plan.fsk ? 0 : mapPoints(dsp, plan, symbols, points);
}

int GenSignalClass::genDigitalSig(DigitalModParams const* params, double sampleRate, int symbolCount,
                                  std::complex<float>** samples, int& sampleCount) {
    return generateForCaller<DigitalPlan>(
        "genDigitalSig", params, samples, &sampleCount,
        [&](DigitalPlan& plan) { return planDigital(*this, *params, sampleRate, symbolCount, &plan); },
        [&](const DigitalPlan& plan, GeneratedWave<Sample>& wave) { return genDigitalSig(plan, wave); });
}

int GenSignalClass::genDigitalSig(const DigitalPlan& plan, GeneratedWave<Sample>& wave) {
    Buffer<short> symbols;
    Buffer<Sample> points;
    Buffer<float> taps;
    if (int rc = digitalPeriodParts(*this, plan, symbols, points, taps)) return rc;
    if (plan.fsk) return fskSignal(plan, symbols, taps, wave);
    symbols.reset();
    return shape(plan, points, taps, wave);
}
