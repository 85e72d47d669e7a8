// The channel's buffer entry point: any ci16 or cf32 buffer through the
// channel (channel/channelChain.h), then scaled and rounded into the
// handle's I/Q buffer by the frame's conversion (sampleConversion.h), with
// the same values before rounding for the host when it asks.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>

#include "buffer.h"
#include "channelChain.h"
#include "conversionKernels.h"
#include "genSignalClass.h"
#include "handleRegistry.h"
#include "lastError.h"
#include "rangeChecks.h"
#include "sampleConversion.h"
#include "wrapperGenSignalWave.h"

namespace {

constexpr double kCountsPerUnit = 32767.0;  // the float format's 1.0

int refuseNullArgument(const char* which) { return refuse(-1, "GenSignalApplyChannel: %s is a null pointer", which); }

// The buffer's checks, as the measurements make them, and at least one sample.
int checkInput(const GenSignalMeasureInput& in) {
    if (in.format != GENSIGNAL_FORMAT_CI16 && in.format != GENSIGNAL_FORMAT_CF32)
        return refuse(-1, "GenSignalMeasureInput.format = %d: must be 1 (int16) or 2 (float)", in.format);
    if (in.valueCount < 2 || in.valueCount % 2 != 0 || in.valueCount / 2 >= kMaxSamples)
        return refuse(-1, "GenSignalMeasureInput.valueCount = %lld: must be even, 2 to 2^31 - 2 (I and Q)",
                      static_cast<long long>(in.valueCount));
    if (!in.samples) return refuse(-1, "GenSignalMeasureInput.samples is a null pointer");
    if (!finitePositive(in.sampleRate))
        return refuse(-1, "GenSignalMeasureInput.sampleRate = %s: must be finite and above 0",
                      numberText(in.sampleRate).text);
    if (in.recordKind < GENSIGNAL_RECORD_NONE || in.recordKind > GENSIGNAL_RECORD_OFDM)
        return refuse(-1, "GenSignalMeasureInput.recordKind = %d: must be 0 (none) to 10 (OFDM)", in.recordKind);
    if (in.recordKind != GENSIGNAL_RECORD_NONE && !in.record)
        return refuse(-1, "GenSignalMeasureInput.record is a null pointer (recordKind = %d)", in.recordKind);
    if (in.format == GENSIGNAL_FORMAT_CF32) {
        const float* v = static_cast<const float*>(in.samples);
        for (int64_t i = 0; i < in.valueCount; ++i)
            if (!std::isfinite(v[i]))
                return refuse(-1, "GenSignalMeasureInput.samples: value %lld is %s, not a finite number",
                              static_cast<long long>(i), numberText(v[i]).text);
    }
    return 0;
}

// Samples and bits per symbol from the record that made the buffer.
int contextOf(const GenSignalMeasureInput& in, ChannelContext& context) {
    if (in.recordKind == GENSIGNAL_RECORD_DIGITAL) {
        DigitalModParams p;
        std::memcpy(&p, in.record, sizeof p);
        int order = 0, error = 0;
        GenSignalClass dsp;
        dsp.getOrderM(p.modType, &order, &error);
        if (error) return refuse(-1, "DigitalModParams.modType = %d: must be 1 to 22", static_cast<int>(p.modType));
        if (!finitePositive(p.symbolRate))
            return refuse(-1, "DigitalModParams.symbolRate = %s: must be finite and above 0",
                          numberText(p.symbolRate).text);
        context.samplesPerSymbol = in.sampleRate / p.symbolRate;
        context.bitsPerSymbol = std::log2(static_cast<double>(order));
    } else if (in.recordKind == GENSIGNAL_RECORD_DSS) {
        DSSParams p;
        std::memcpy(&p, in.record, sizeof p);
        if (!finitePositive(p.bitRate))
            return refuse(-1, "DSSParams.bitRate = %s: must be finite and above 0", numberText(p.bitRate).text);
        context.samplesPerSymbol = in.sampleRate / p.bitRate;
        context.bitsPerSymbol = 1;
        context.spreadSpectrum = true;
    }
    return 0;
}

// The frame's scale for the impaired samples: 0 with `scale` (0 for an
// all-zero buffer), or -1 with the reason the conversion would give.
int frameScale(const std::complex<float>* y, int64_t n, double fullScale, float& scale) {
    const double combined = conversion::complexPeakSquared(reinterpret_cast<const float*>(y), static_cast<size_t>(n));
    if (std::isnan(combined)) return refuse(-1, "the impaired waveform holds a sample that is not finite");
    const double peak = std::sqrt(combined);
    // A peak whose square underflows float reads 0 without the samples being zero.
    if (combined == 0 && std::all_of(y, y + n, [](std::complex<float> v) { return v.real() == 0 && v.imag() == 0; })) {
        scale = 0;
        return 0;
    }
    scale = static_cast<float>(fullScale / peak);
    if (combined >= FLT_MIN && scale >= FLT_MIN && scale <= FLT_MAX) return 0;
    return refuse(-1, "the impaired waveform's peak magnitude %s is too %s to scale into 16 bits",
                  numberText(peak).text, peak < 1 ? "small" : "large");
}

void scaleRealised(GenSignalChannelRealised& r, double scale) {
    const double s2 = scale * scale;
    for (double* v : {&r.inputPower, &r.outputPower, &r.signalPower, &r.noisePower, &r.noisePowerInBand, &r.dcPower})
        *v *= s2;
}

}  // namespace

extern "C" {

GENSIGNAL_API int GenSignalApplyChannel(int handleId, const GenSignalChannel* channel,
                                        const GenSignalMeasureInput* input, float* impaired, int16_t** iq, int* count,
                                        GenSignalChannelRealised* realised) {
    clearLastError();
    if (!channel) return refuseNullArgument("channel");
    if (!input) return refuseNullArgument("input");
    if (!iq) return refuseNullArgument("iq");
    if (!count) return refuseNullArgument("count");
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    const GenSignalMeasureInput in = *input;
    if (int rc = checkInput(in)) return rc;
    GenSignalChannel record;
    std::memcpy(&record, channel, sizeof record);
    ChannelNotes notes;
    ChannelContext context;
    if (int rc = contextOf(in, context)) return rc;
    context.exactLoop = entry->state.options.wave().loop == LoopMode::exact;
    context.notes = &notes;
    const int64_t n = in.valueCount / 2;
    if (int rc = checkChannel(record, context, n, in.sampleRate)) return rc;

    // The buffer in int16 counts, as floats.
    Buffer<std::complex<float>> work(static_cast<size_t>(n));
    if (!work) return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(n), "impaired samples");
    float* w = reinterpret_cast<float*>(work.get());
    if (in.format == GENSIGNAL_FORMAT_CI16) {
        const int16_t* v = static_cast<const int16_t*>(in.samples);
        for (int64_t i = 0; i < 2 * n; ++i) w[i] = v[i];
    } else {
        const float* v = static_cast<const float*>(in.samples);
        for (int64_t i = 0; i < 2 * n; ++i) w[i] = static_cast<float>(v[i] * kCountsPerUnit);
    }
    GenSignalChannelRealised got;
    if (int rc = applyChannel(record, context, work.get(), n, in.sampleRate, got)) return rc;
    float scale = 0;
    const double fullScale = entry->state.options.fullScale();
    if (frameScale(work.get(), n, fullScale, scale)) return -1;
    if (impaired)
        for (int64_t i = 0; i < 2 * n; ++i) impaired[i] = static_cast<float>(scale * w[i] / kCountsPerUnit);
    if (int rc = deliverSamples(&entry->object, work.release(), static_cast<int>(n), iq, count, fullScale)) return rc;
    scaleRealised(got, scale);
    LastCall& last = entry->state.last;
    last.snap = GenSignalSnap{};
    last.loop = GenSignalLoopInfo{static_cast<int32_t>(n), 1, static_cast<double>(n),
                                  static_cast<double>(n) / in.sampleRate, 1};
    last.setNote("%s", notes.text());
    if (realised) *realised = got;
    return 0;
}

}  // extern "C"
