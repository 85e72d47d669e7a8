// The opt-in settings around every entry point's frame. In the exact loop
// mode the kind's exact generator replaces the defined one and its loop goes
// through the same conversion; in the defined mode the defined frame runs as
// it always has, and a successful call leaves its loop information and, for
// a record that reaches above half the sample rate, a note.
#pragma once

#include <cstdint>

#include "bandLimits.h"
#include "exactLoops.h"
#include "genSignalClass.h"
#include "handleRegistry.h"
#include "lastError.h"
#include "naturalPeriods.h"

// Converts an exact waveform into the object's I/Q buffer as the frame does
// and records its loop: 0 or -1 with the reason.
int deliverExact(GenSignalClass& obj, ExactWaveform& waveform, int16_t** iq, int* count);

// What a successful defined call on `obj` made: its loop and its note.
template <class Params>
void recordDefinedCall(GenSignalClass& obj, const Params& params, int extra, double sampleRate, int samples,
                       const BandReason* note) {
    const NaturalPeriod period = naturalPeriod(params, extra, sampleRate);
    LastCall& last = obj.state.last;
    last.loop = loopInfo(period, period.definedPeriods, samples, sampleRate);
    last.setNote("%s", note ? note->text : "");
}

// `defined()` runs the defined frame; `extra` is the symbol or bit count of
// the two kinds that take one (0 otherwise).
template <class Params, class Defined>
int withLoopOptions(int handleId, const Params* params, int extra, double sampleRate, int16_t** iq, int* count,
                    Defined defined) {
    GenSignalClass* obj = params && iq && count ? lookUpHandle(handleId) : nullptr;
    if (!obj) return defined();  // the frame refuses it with its own reason
    if (obj->state.options.loop == LoopMode::exact) {
        clearLastError();
        ExactWaveform waveform;
        if (int rc = exactWaveform(*obj, *params, extra, sampleRate, obj->state.options, waveform)) return rc;
        return deliverExact(*obj, waveform, iq, count);
    }
    BandReason why;
    const bool above = aboveNyquist(*params, sampleRate, why);
    const int rc = defined();
    if (rc == 0) recordDefinedCall(*obj, *params, extra, sampleRate, *count / 2, above ? &why : nullptr);
    return rc;
}
