// Direct-sequence spread spectrum: PN data bits, each spread by one full
// period of a maximal-length code, BPSK chips extended cyclically by one
// filter span, pulse-shaped at a chip-locked rate and resampled to the host's.
//
// Each stage below takes what the previous one made and the plan, and
// answers 0 or -3 when its array cannot be had.
#include <complex>
#include <cstring>

#include "bitHelpers.h"
#include "buffer.h"
#include "dssPlan.h"
#include "filterDesign.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "exactShapedParts.h"
#include "pnSequence.h"
#include "shapingPipeline.h"

namespace {

using Sample = std::complex<float>;

// Chips: the code from the seed plus the data bit each chip spreads (modulo
// 2), every data bit - the fixed order-9 PN bits - over one code period;
// then the first S chips again at the end, so that the shaped burst wraps
// onto its start.
int makeChips(GenSignalClass& dsp, const DssPlan& plan, Buffer<signed char>& chips) {
    Buffer<signed char> data(plan.bitCount);
    if (!data) return outOfMemory<signed char>(-3, plan.bitCount, "data bits");
    dsp.func_PN_gen(9, kPnDataStart, data.get(), plan.bitCount);
    chips = Buffer<signed char>(plan.symbolCount);
    if (!chips) return outOfMemory<signed char>(-3, plan.symbolCount, "chips");
    signed char seed[32];  // the seed's low pnOrder bits, most significant first
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    dsp.func_PN_gen(plan.pnOrder, seed, chips.get(), plan.chipCount);
    signed char* chip = chips.get();
    for (int b = 0; b < plan.bitCount; ++b, chip += plan.chipsPerBit)
        for (int j = 0; j < plan.chipsPerBit; ++j) chip[j] = static_cast<signed char>((chip[j] + data[b]) & 1);
    std::memcpy(chips.get() + plan.chipCount, chips.get(), static_cast<size_t>(plan.shape.span));
    return 0;
}

// Points: chip 0 as +1 and chip 1 as -1, the mapper's two BPSK points.
int mapPoints(GenSignalClass& dsp, const DssPlan& plan, const Buffer<signed char>& chips, Buffer<Sample>& points) {
    points = Buffer<Sample>(plan.symbolCount);
    if (!points) return outOfMemory<Sample>(-3, plan.symbolCount, "chip points");
    const short values[2] = {0, 1};
    Sample point[2];
    dsp.DigitalModAPQAM(values, 2, BPSK, plan.shape.span, 1, point);
    for (int i = 0; i < plan.symbolCount; ++i) points[i] = point[chips[i]];
    return 0;
}

// Shaped: only the fully overlapped stretch of the chip train, resampled
// from the chip-locked rate to the sample rate.
int shape(const DssPlan& plan, const Buffer<Sample>& points, const Buffer<float>& taps, GeneratedWave<Sample>& wave) {
    Buffer<Sample> signal(plan.outputLength);
    if (!signal)
        return outOfMemory<Sample>(-3, plan.outputLength, plan.resample ? "resampled signal" : "shaped signal");
    const ShapingJob job{points.get(),  plan.symbolCount, plan.sps,           taps.get(), plan.tapCount, 0,
                         plan.resample, plan.sampleRate,  plan.chipLockedRate};
    if (int rc = shapeAndResample(job, signal.get()); rc < 0) return rc;  // no scratch: -3
    wave.samples = std::move(signal);
    wave.length = plan.outputLength;
    return 0;
}

}  // namespace

int dssPeriodParts(GenSignalClass& dsp, const DssPlan& plan, Buffer<Sample>& points, Buffer<float>& taps) {
    {
        Buffer<signed char> chips;
        if (int rc = makeChips(dsp, plan, chips)) return rc;
        if (int rc = mapPoints(dsp, plan, chips, points)) return rc;
    }
    return designTaps(dsp, plan.shape, plan.sps, plan.tapCount, taps);
}

int GenSignalClass::genDSSSig(DSSParams const* params, double sampleRate, int bitCount, Sample** samples,
                              int* sampleCount) {
    return generateForCaller<DssPlan>(
        "genDSSSig", params, samples, sampleCount,
        [&](DssPlan& plan) { return planDss(*params, sampleRate, bitCount, &plan); },
        [&](const DssPlan& plan, GeneratedWave<Sample>& wave) { return genDSSSig(plan, wave); });
}

int GenSignalClass::genDSSSig(const DssPlan& plan, GeneratedWave<Sample>& wave) {
    Buffer<Sample> points;
    Buffer<float> taps;
    if (int rc = dssPeriodParts(*this, plan, points, taps)) return rc;
    return shape(plan, points, taps, wave);
}
