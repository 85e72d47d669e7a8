// The frame of every waveform entry point, for both loop modes: the host's
// pointers and the handle, the record's plan (made once per call), the
// Nyquist rule (a note in the defined mode, a refusal in the exact one), the
// kind's defined waveform or its exact loop (with the nearest closing value
// where the handle asks for a snap), the lengths a player takes, the
// handle's channel (a stage over the float waveform, before its scale),
// the conversion into the object's I/Q buffer, and what the call made (its
// loop, its note, its snap and what the channel realised). Each kind is a unit of its own
// (generators/kinds) with the same static members: plan, period,
// aboveNyquist, generate and loop.
#pragma once

#include <cstdint>
#include <cstring>

#include "bandReason.h"
#include "channelStage.h"
#include "generatedWave.h"
#include "handleRegistry.h"
#include "kindCall.h"
#include "lastError.h"
#include "loopClosing.h"
#include "naturalPeriod.h"
#include "sampleConversion.h"

namespace frame {

// Null pointers from the host, named as the header names them.
int refuseNulls(const char* entryPoint, const void* params, int16_t** iq, int* count);

// Until a generator states its own reason, a refusal still says which entry
// point refused and with what code.
int generatorRefused(const char* entryPoint, int rc);

// The loop and the note of a successful call: the Nyquist note and, in the
// defined mode, why the buffer does not loop seamlessly; then what a snap
// changed, then the channel's notes.
void recordCall(LastCall& last, const NaturalPeriod& period, const MadeLoop& made, int samples, double sampleRate,
                const char* nyquist, const GenSignalSnap& snap, const char* channelNote);

// Takes the suggestion of the refusal into the record (or the extra
// argument) and says what it changed; false when there is none.
bool takeSuggestion(void* record, int& extra, GenSignalSnap& snap);

// The lengths a player takes. The exact mode's loop becomes as many whole
// copies of itself as the rule needs; the defined mode's length must fit as
// it is. 0, or -1 with the reason (-3 when the copies' memory cannot be had).
template <class Sample>
int fitLengths(GeneratedWave<Sample>& wave, MadeLoop& made, const HardwareLengths& rule, bool exact);

}  // namespace frame

// One call of a kind: its record, the call's settings, the plan, and what
// the kind made of them.
template <class Kind>
struct KindRun {
    KindRun(const typename Kind::Params& p, const KindCall& c) : params(p), call(c) {}

    typename Kind::Params params;
    KindCall call;
    typename Kind::Plan plan{};
    NaturalPeriod period;
    GeneratedWave<typename Kind::Sample> wave;
    MadeLoop made;
    BandReason why{};
    bool above = false;

    // The plan, the band and the waveform of either mode: 0 or a code.
    int make(GenSignalClass& object) {
        if (int rc = Kind::plan(params, call, plan)) return rc;
        above = Kind::aboveNyquist(params, call.sampleRate, why);
        if (above && call.exact()) return refuse(-1, "%s", why.text);
        period = Kind::period(params, call);
        wave = GeneratedWave<typename Kind::Sample>();
        made = MadeLoop();
        made.periods = period.definedPeriods;
        clearClosingSuggestion();
        const int rc = call.exact() ? Kind::loop(object, params, plan, call, period, wave, made)
                                    : Kind::generate(object, plan, call, wave, made);
        if (rc) return frame::generatorRefused(Kind::kEntryPoint, rc);
        if (call.exact()) made.seam = nullptr;  // an exact loop closes by construction
        return 0;
    }
};

template <class Kind>
int runKind(int handleId, const typename Kind::Params* params, int extra, int16_t** iq, int* count, double sampleRate) {
    clearLastError();
    if (frame::refuseNulls(Kind::kEntryPoint, params, iq, count)) return -1;
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    const HandleOptions& options = entry->state.options;
    WaveSettings settings = options.wave();
    settings.noiseSeed = entry->state.channel.seed();
    KindRun<Kind> run(*params, {sampleRate, extra, settings});  // packed: copied out before use
    GenSignalSnap snap{};
    int rc = run.make(entry->object);
    // A snap takes the nearest value that closes, once, and says so.
    if (rc == -1 && run.call.exact() && options.snap() && frame::takeSuggestion(&run.params, run.call.extra, snap)) {
        clearLastError();
        rc = run.make(entry->object);
    }
    if (rc) return rc;
    if (int code = frame::fitLengths(run.wave, run.made, options.lengths(sampleRate), run.call.exact())) return code;
    HandleChannel& channel = entry->state.channel;
    ChannelNotes notes;
    // No channel, an inactive one or an empty waveform: the frame as it always was.
    if (!channel.set || !channelActive(channel.record) || run.wave.length < 1) {
        if (int code = deliverWave(&entry->object, run.wave, iq, count, options.fullScale())) return code;
        channel.realisedValid = false;
    } else {
        ChannelContext context;
        context.exactLoop = run.call.exact();
        context.notes = &notes;
        if (int code = channelContextOf(recordKindOf(&run.params), &run.params, sampleRate, context)) return code;
        GeneratedWave<std::complex<float>> impaired;
        GenSignalChannelRealised realised;
        if (int code =
                impairWave(channel.record, context, run.wave, sampleRate, options.fullScale(), impaired, realised))
            return code;
        if (int code = deliverWave(&entry->object, impaired, iq, count, options.fullScale())) return code;
        channel.realised = realised;
        channel.realisedValid = true;
    }
    frame::recordCall(entry->state.last, run.period, run.made, *count / 2, sampleRate, run.above ? run.why.text : "",
                      snap, notes.text());
    return 0;
}
