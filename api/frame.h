// The frame of every waveform entry point, for both loop modes: the host's
// pointers and the handle, the record's plan (made once per call), the
// Nyquist rule (a note in the defined mode, a refusal in the exact one), the
// kind's defined waveform or its exact loop, the conversion into the
// object's I/Q buffer, and what the call made (its loop and its note).
// Each kind is a unit of its own (generators/kinds) with the same static
// members: plan, period, aboveNyquist, generate and loop.
#pragma once

#include <cstdint>
#include <cstdio>

#include "bandReason.h"
#include "generatedWave.h"
#include "handleRegistry.h"
#include "kindCall.h"
#include "lastError.h"
#include "naturalPeriod.h"
#include "sampleConversion.h"

namespace frame {

// Null pointers from the host, named as the header names them.
inline int refuseNulls(const char* entryPoint, const void* params, int16_t** iq, int* count) {
    const char* which = !params ? "params" : !iq ? "iq" : !count ? "count" : nullptr;
    return which ? refuse(-1, "%s: %s is a null pointer", entryPoint, which) : 0;
}

// Until a generator states its own reason, a refusal still says which entry
// point refused and with what code.
inline int generatorRefused(const char* entryPoint, int rc) {
    if (lastErrorLength() == 0)
        refuse(rc, "%s: %s", entryPoint,
               rc == -3 ? "out of memory for the working arrays" : "the parameters were refused");
    return rc;
}

// The loop and the note of a successful call: the Nyquist note and, in the
// defined mode, why the buffer does not loop seamlessly.
inline void recordCall(LastCall& last, const NaturalPeriod& period, const MadeLoop& made, int samples,
                       double sampleRate, const char* nyquist) {
    last.loop = loopInfo(period, made.periods, samples, sampleRate, made.seam == nullptr);
    const char* gap = nyquist[0] && made.seam ? "; " : "";
    if (made.seam)
        last.setNote("%s%sthe buffer does not loop seamlessly: %s", nyquist, gap, made.seam);
    else
        last.setNote("%s", nyquist);
}

}  // namespace frame

template <class Kind>
int runKind(int handleId, const typename Kind::Params* params, int extra, int16_t** iq, int* count, double sampleRate) {
    clearLastError();
    if (frame::refuseNulls(Kind::kEntryPoint, params, iq, count)) return -1;
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    const typename Kind::Params p = *params;  // packed: copied out before use
    const KindCall call{sampleRate, extra, entry->state.options.wave()};
    typename Kind::Plan plan{};
    if (int rc = Kind::plan(p, call, plan)) return rc;
    BandReason why{};
    const bool above = Kind::aboveNyquist(p, sampleRate, why);
    if (above && call.exact()) return refuse(-1, "%s", why.text);

    const NaturalPeriod period = Kind::period(p, call);
    GeneratedWave<typename Kind::Sample> wave;
    MadeLoop made;
    made.periods = period.definedPeriods;
    const int rc = call.exact() ? Kind::loop(entry->object, p, plan, call, period, wave, made)
                                : Kind::generate(entry->object, plan, call, wave, made);
    if (rc) return frame::generatorRefused(Kind::kEntryPoint, rc);
    if (call.exact()) made.seam = nullptr;  // an exact loop closes by construction
    if (int code = deliverWave(&entry->object, wave, iq, count, entry->state.options.fullScale())) return code;
    frame::recordCall(entry->state.last, period, made, *count / 2, sampleRate, above ? why.text : "");
    return 0;
}
