// The scene entry point as a hostile host calls it: one to three parts of
// small records (multitone, AM, pulse, a short digital burst, a small OFDM
// frame) or a garbage kind, placed with realistic or edge offsets, levels,
// delays, phases and bursts, with or without the reduction, on a handle in
// either loop mode whose length cap keeps every scene small. After every
// call the promises are checked: 0, -1 or -3; a reason for a refusal and
// nothing written; on success a label for every part, every label inside
// the buffer, and nothing infinite.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "am.h"
#include "digital.h"
#include "entryPointCheck.h"
#include "entryPoints.h"
#include "fuzzFailure.h"
#include "fuzzInput.h"
#include "loopLength.h"
#include "multitone.h"
#include "ofdm.h"
#include "pulse.h"
#include "wrapperGenSignalWave.h"

namespace fuzzing {

namespace {

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    stopFuzzing("scene", format, args);
}

std::string lastError() {
    char buffer[1024];
    return GenSignalGetLastError(buffer, sizeof buffer) < 0 ? std::string() : std::string(buffer);
}

// Every record a part may point to, decoded in place.
struct Records {
    MultitoneParams tones{};
    AMModParams am{};
    PulseParams pulse{};
    DigitalModParams digital{};
    OFDMParams ofdm{};
};

void decodePart(FuzzInput& in, Records& r, GenSignalScenePart& p) {
    std::memset(&p, 0, sizeof p);
    switch (in.byte() % 6) {
        case 0:
            r.tones.toneCount = in.integer(2, 16);
            r.tones.toneSpacing = in.real(1e2, 1e5);
            p.recordKind = GENSIGNAL_RECORD_MULTITONE;
            p.record = &r.tones;
            break;
        case 1:
            r.am = AMModParams{in.real(10, 1e5), in.real(1, 100), in.integer(1, 4)};
            p.recordKind = GENSIGNAL_RECORD_AM;
            p.record = &r.am;
            break;
        case 2:
            r.pulse = PulseParams{in.real(1e-6, 1e-4), in.real(1e-5, 1e-3)};
            p.recordKind = GENSIGNAL_RECORD_PULSE;
            p.record = &r.pulse;
            break;
        case 3:
            r.digital.modType = static_cast<DigitalModulType>(in.integer(1, 22));
            r.digital.symbolRate = in.real(1e3, 1e5);
            r.digital.freqDeviation = in.real(1e2, 1e4);
            r.digital.pnOrder = in.integer(4, 12);
            r.digital.pnSeed = in.integer(1, 15);
            r.digital.filterType = static_cast<FilterType>(in.integer(1, 5));
            r.digital.filterSpan = in.integer(1, 8);
            r.digital.samplesPerSymbol = in.integer(1, 8);
            r.digital.rolloff = in.real(0.05, 1);
            p.recordKind = GENSIGNAL_RECORD_DIGITAL;
            p.record = &r.digital;
            p.argument = in.integer(1, 64);
            break;
        case 4:
            r.ofdm.fftSize = in.powerOfTwo(7);
            r.ofdm.numSymbols = in.integer(1, 4);
            r.ofdm.guardLow = in.integer(0, 8);
            r.ofdm.guardHigh = in.integer(0, 8);
            r.ofdm.cpPercent = in.integer(0, 100);
            r.ofdm.windowing = in.byte() & 1;
            r.ofdm.modType = static_cast<DigitalModulType>(in.integer(1, 12));
            r.ofdm.nullDC = in.byte() & 1;
            p.recordKind = GENSIGNAL_RECORD_OFDM;
            p.record = &r.ofdm;
            break;
        default:
            p.recordKind = in.integer(-2, 14);
            p.record = in.byte() & 1 ? &r.tones : nullptr;
            break;
    }
    // Mostly valid settings, now and then one past the end.
    p.loopMode = in.byte() % 4 % 3 + (in.byte() == 255 ? 3 : 0);
    p.tonePhases = in.byte() % 4 + (in.byte() == 255 ? 4 : 0);
    p.phaseSeed = static_cast<uint32_t>(in.bits(4));
    p.frequencyOffset = in.byte() < 96 ? 0 : in.signedReal(1, 1e6);
    p.levelDb = in.signedReal(0.1, 60);
    p.delay = in.byte() < 128 ? 0 : in.real(0, 1e-2);
    p.phaseDeg = in.signedReal(1, 360);
    if (in.byte() & 1) {
        p.burstOn = in.real(1e-6, 1e-2);
        p.burstOff = in.real(0, 1e-2);
        p.burstStart = in.real(0, 1e-2);
        p.burstRamp = in.byte() < 200 ? in.real(0, p.burstOn / 2) : in.real(0, 1e-3);
    }
}

// The largest array a part the library accepts is made with: its plan's, or
// in the exact mode its loop's (FSK repeats its loop up to the period cap
// to close its phase). 0 for a record the plan refuses.
template <class Kind, class Plan, class Make, class Largest>
double partSamples(const typename Kind::Params& p, const KindCall& call, Make make, Largest largest) {
    Plan plan{};
    if (make(plan) != 0) return 0;
    double samples = largest(plan);
    if (!call.exact()) return samples;
    const NaturalPeriod period = Kind::period(p, call);
    if (!period.samples) return samples;
    const auto loop = fewestWholePeriods(*period.samples);
    if (!loop || !withinLoopCaps(*loop)) return samples;
    bool repeats = false;
    if constexpr (std::is_same_v<Plan, DigitalPlan>) repeats = p.modType >= FSK2 && p.modType <= FSK16;
    const double copies = repeats ? static_cast<double>(kMaxLoopPeriods) / static_cast<double>(loop->periods) : 1.0;
    return std::max(samples, static_cast<double>(loop->samples) * copies);
}

// Every part is made whole before the scene's length meets the handle's cap,
// so a scene is called only when each part stays within the work budget, as
// the entry points' targets do (refused records are always called).
bool partWithinBudget(const GenSignalScenePart& part, double rate, bool handleExact) {
    if (!part.record) return true;
    bool exact = handleExact;
    if (part.loopMode == GENSIGNAL_SCENE_LOOP_DEFINED) exact = false;
    if (part.loopMode == GENSIGNAL_SCENE_LOOP_EXACT) exact = true;
    KindCall call{rate, part.argument, {}};
    if (exact) call.settings.loop = LoopMode::exact;
    double samples = 0;
    switch (part.recordKind) {
        case GENSIGNAL_RECORD_MULTITONE: {
            const auto& p = *static_cast<const MultitoneParams*>(part.record);
            samples = partSamples<MultitoneKind, MultitonePlan>(
                p, call, [&](MultitonePlan& plan) { return planMultitone(p, rate, plan); },
                [](const MultitonePlan& plan) {
                    return std::max(static_cast<double>(plan.patternSamples), static_cast<double>(plan.resampledRoom));
                });
            break;
        }
        case GENSIGNAL_RECORD_AM: {
            const auto& p = *static_cast<const AMModParams*>(part.record);
            samples = partSamples<AmKind, AmPlan>(
                p, call, [&](AmPlan& plan) { return planAm(p, rate, plan); },
                [](const AmPlan& plan) { return static_cast<double>(plan.samples); });
            break;
        }
        case GENSIGNAL_RECORD_PULSE: {
            const auto& p = *static_cast<const PulseParams*>(part.record);
            samples = partSamples<PulseKind, PulsePlan>(
                p, call, [&](PulsePlan& plan) { return planPulse(p, rate, plan); },
                [](const PulsePlan& plan) {
                    return std::max(static_cast<double>(plan.periodSamples), static_cast<double>(plan.resampled));
                });
            break;
        }
        case GENSIGNAL_RECORD_DIGITAL: {
            const auto& p = *static_cast<const DigitalModParams*>(part.record);
            samples = partSamples<DigitalKind, DigitalPlan>(
                p, call, [&](DigitalPlan& plan) { return planDigital(p, rate, part.argument, &plan); },
                [](const DigitalPlan& plan) {
                    return std::max(static_cast<double>(plan.n) * plan.sps, static_cast<double>(plan.outputLength));
                });
            break;
        }
        case GENSIGNAL_RECORD_OFDM: {
            const auto& p = *static_cast<const OFDMParams*>(part.record);
            samples = partSamples<OfdmKind, OfdmPlan>(
                p, call, [&](OfdmPlan& plan) { return planOfdm(p, plan); },
                [](const OfdmPlan& plan) {
                    return std::max(static_cast<double>(plan.samples), static_cast<double>(plan.bits));
                });
            break;
        }
        default: break;
    }
    return samples <= kWorkBudget;
}

void checkSuccess(int handle, const GenSignalScene& s, const int16_t* iq, int count) {
    if (!iq || count < 2 || count % 2) fail("success with iq %p and count %d", static_cast<const void*>(iq), count);
    if (!lastError().empty()) fail("success left the reason \"%s\"", lastError().c_str());
    const int n = GenSignalGetSceneLabels(handle, nullptr, 0);
    if (n < s.partCount) fail("%d labels for %d parts", n, s.partCount);
    std::vector<GenSignalSceneLabel> labels(static_cast<size_t>(n));
    if (GenSignalGetSceneLabels(handle, labels.data(), n) != n) fail("the label count changed");
    std::vector<int> whole(static_cast<size_t>(s.partCount));
    for (const GenSignalSceneLabel& l : labels) {
        if (l.part < 0 || l.part >= s.partCount) fail("a label of part %d", l.part);
        if (l.burst < 0) ++whole[static_cast<size_t>(l.part)];
        if (l.sampleStart < 0 || l.sampleCount < 1 || l.sampleStart + l.sampleCount > count / 2)
            fail("part %d burst %d spans %lld + %lld of %d samples", l.part, l.burst, (long long)l.sampleStart,
                 (long long)l.sampleCount, count / 2);
        for (double v : {l.freqLowerEdge, l.freqUpperEdge, l.levelDb, l.powerDbfs, l.evmCostPercent})
            if (std::isinf(v)) fail("part %d: a label value is infinite", l.part);
        if (!(l.freqLowerEdge <= l.freqUpperEdge))
            fail("part %d: band %g ... %g", l.part, l.freqLowerEdge, l.freqUpperEdge);
    }
    for (int w : whole)
        if (w != 1) fail("a part has %d whole labels", w);
    GenSignalSceneReport r{};
    if (GenSignalGetSceneReport(handle, &r) != 0) fail("no report after a success");
    if (r.samples != count / 2 || r.labels != n || r.parts != s.partCount) fail("the report does not match");
    for (double v : {r.paprBeforeDb, r.paprAfterDb, r.peakBeforeDb, r.peakAfterDb})
        if (std::isinf(v)) fail("an infinite PAPR");
}

}  // namespace

int fuzzScene(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) fail("no handle: %s", lastError().c_str());
    const bool handleExact = in.byte() & 1;
    GenSignalSetOption(handle, GENSIGNAL_OPTION_LOOP_MODE, handleExact);
    GenSignalSetOption(handle, GENSIGNAL_OPTION_MAX_SAMPLES, 1 << 15);  // every scene small
    Records records[3];
    // A count beyond three repeats the three decoded parts: the library reads
    // as many parts as the count says, up to the most it takes.
    GenSignalScenePart parts[GENSIGNAL_SCENE_MAX_PARTS];
    GenSignalScene s;
    std::memset(&s, 0, sizeof s);
    s.partCount = in.byte() < 240 ? 1 + in.byte() % 3 : in.integer(-1, 65);
    for (int i = 0; i < 3; ++i) decodePart(in, records[i], parts[i]);
    for (int i = 3; i < GENSIGNAL_SCENE_MAX_PARTS; ++i) parts[i] = parts[i % 3];
    s.sampleRate = in.real(1e4, 2e6);
    for (int i = 0; i < 3; ++i)
        if (!partWithinBudget(parts[i], s.sampleRate, handleExact)) {
            GenSignalObjRelease(handle);
            return 0;
        }
    s.parts = in.byte() < 250 ? parts : nullptr;
    if (in.byte() & 1) {
        s.cfrMethod = in.integer(0, 2);
        s.cfrTargetPaprDb = in.real(0, 30);
        s.cfrProbability = in.byte() < 128 ? 0 : in.real(1e-5, 0.2);
        s.cfrIterations = in.integer(0, 12);
        s.cfrWindow = in.byte() < 128 ? 0 : in.real(0, 1e-3);
    }
    int16_t sentinel = 0;
    int16_t* iq = &sentinel;
    int count = -7;
    const int rc = GenerateSceneWaveform(handle, &s, &iq, &count);
    if (rc == 0) {
        checkSuccess(handle, s, iq, count);
    } else {
        if (rc != -1 && rc != -3) fail("result %d", rc);
        if (iq != &sentinel || count != -7) fail("a refusal (%d) wrote its out-parameters", rc);
        const std::string why = lastError();
        if (why.empty()) fail("refused (%d) without a reason", rc);
        if (GenSignalGetSceneLabels(handle, nullptr, 0) != 0) fail("a refused scene left labels");
    }
    GenSignalObjRelease(handle);
    return 0;
}

}  // namespace fuzzing
