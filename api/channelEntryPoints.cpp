// The channel's entry points: the channel a handle applies to every
// waveform it makes (set, and what it realised), and any ci16 or cf32
// buffer through a channel (channel/channelChain.h), then scaled and
// rounded into the handle's I/Q buffer by the frame's conversion
// (sampleConversion.h), with the same values before rounding for the host
// when it asks.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>

#include "buffer.h"
#include "channelChain.h"
#include "channelStage.h"
#include "conversionKernels.h"
#include "genSignalClass.h"
#include "handleRegistry.h"
#include "lastError.h"
#include "measureInputCheck.h"
#include "rangeChecks.h"
#include "sampleConversion.h"
#include "wrapperGenSignalWave.h"

namespace {

constexpr double kCountsPerUnit = 32767.0;  // the float format's 1.0

int refuseNullArgument(const char* which) { return refuse(-1, "GenSignalApplyChannel: %s is a null pointer", which); }

// The buffer's checks, as the measurements make them, and at least one sample.
int checkInput(const GenSignalMeasureInput& in) {
    if (int rc = checkInputFormat(in)) return rc;
    if (in.valueCount < 2 || in.valueCount % 2 != 0 || in.valueCount / 2 >= kMaxSamples)
        return refuse(-1, "GenSignalMeasureInput.valueCount = %lld: must be even, 2 to 2^31 - 2 (I and Q)",
                      static_cast<long long>(in.valueCount));
    return checkInputFields(in);
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
    if (int rc = channelContextOf(in.recordKind, in.record, in.sampleRate, context)) return rc;
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
    if (impairedScale(work.get(), n, fullScale, scale)) return -1;
    if (impaired)
        for (int64_t i = 0; i < 2 * n; ++i) impaired[i] = static_cast<float>(scale * w[i] / kCountsPerUnit);
    if (int rc = deliverSamples(&entry->object, work.release(), static_cast<int>(n), iq, count, fullScale)) return rc;
    scaleRealised(got, scale);
    LastCall& last = entry->state.last;
    last.snap = GenSignalSnap{};
    last.loop = GenSignalLoopInfo{static_cast<int32_t>(n), 1, static_cast<double>(n),
                                  static_cast<double>(n) / in.sampleRate, 1};
    last.setNote("%s", notes.text());
    entry->state.channel.realised = got;
    entry->state.channel.realisedValid = true;
    if (realised) *realised = got;
    return 0;
}

GENSIGNAL_API int GenSignalSetChannel(int handleId, const GenSignalChannel* channel) {
    clearLastError();
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    HandleChannel& kept = entry->state.channel;
    if (!channel) {
        kept.set = false;
        std::memset(&kept.record, 0, sizeof kept.record);
        return 0;
    }
    GenSignalChannel record;
    std::memcpy(&record, channel, sizeof record);
    if (int rc = checkChannelSetting(record)) return rc;
    kept.record = record;
    kept.set = true;
    return 0;
}

GENSIGNAL_API int GenSignalGetChannelRealised(int handleId, GenSignalChannelRealised* realised) {
    clearLastError();
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    if (!realised) return refuse(-1, "GenSignalGetChannelRealised: realised is a null pointer");
    const HandleChannel& kept = entry->state.channel;
    if (!kept.realisedValid)
        return refuse(-1, "GenSignalGetChannelRealised: the handle's last call applied no channel");
    *realised = kept.realised;
    return 0;
}

}  // extern "C"
