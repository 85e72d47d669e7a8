// The C API: the handle registry and its lock, the exported functions, and
// the frame every waveform entry point shares (look-up, generation, peak,
// scaling, rounding into the object's int16 I/Q buffer).
#include "wrapperGenSignalWave.h"

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <new>

#include "amPlan.h"
#include "awgnPlan.h"
#include "buffer.h"
#include "digitalPlan.h"
#include "dssPlan.h"
#include "fmPlan.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "handleRegistry.h"
#include "lastError.h"
#include "loopFrame.h"
#include "multitonePlan.h"
#include "ofdmPlan.h"
#include "phasedMultitone.h"
#include "pulsePlan.h"
#include "rampSweepPlan.h"
#include "sampleConversion.h"
#include "stepSweepPlan.h"

std::map<int, GenSignalClass*> GenSignalClassObjCounter;
int objcount = 0;
std::mutex g_lock;

// Unlike a plain subscript, the look-up never adds entries: garbage ids from
// a host must not grow the registry.
GenSignalClass* lookUpHandle(int handleId) {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = GenSignalClassObjCounter.find(handleId);
    return it == GenSignalClassObjCounter.end() ? nullptr : it->second;
}

int refuseHandle(int handleId) { return refuse(-1, "handle %d is not a live generator object", handleId); }

namespace {

const char kVersion[] = "V1.0.0.20260622_X86_WIN64";

// Until a generator states its own reason, a refusal still says which
// entry point refused and with what code.
int generatorRefused(const char* entryPoint, int rc) {
    if (lastErrorLength() == 0)
        refuse(rc, "%s: %s", entryPoint,
               rc == -3 ? "out of memory for the working arrays" : "the parameters were refused");
    return rc;
}

}  // namespace

namespace {

// Null pointers from the host, named as the header names them.
int refuseNulls(const char* entryPoint, const void* params, int16_t** iq, int* count) {
    const char* which = !params ? "params" : !iq ? "iq" : !count ? "count" : nullptr;
    return which ? refuse(-1, "%s: %s is a null pointer", entryPoint, which) : 0;
}

// The frame of every entry point: the host's pointers, the handle, the
// record's plan (made once per call: the only place its rules live), the
// generator working from that plan, and the waveform's conversion into the
// object's I/Q buffer. `makePlan(Plan&)` and `generate(GenSignalClass&,
// const Plan&, GeneratedWave<Sample>&)` answer 0 or a code.
template <class Sample, class Plan, class Params, class MakePlan, class Generate>
int runFrame(const char* entryPoint, int handleId, const Params* params, int16_t** iq, int* count, MakePlan makePlan,
             Generate generate) {
    clearLastError();
    if (refuseNulls(entryPoint, params, iq, count)) return -1;
    GenSignalClass* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    Plan plan{};
    if (int rc = makePlan(plan)) return rc;
    GeneratedWave<Sample> wave;
    if (int rc = generate(*obj, plan, wave)) return generatorRefused(entryPoint, rc);
    return deliverWave(obj, wave, iq, count);
}

// For the generators that fill an array the frame allocates: it holds
// exactly the plan's `samples`, and `fill(Sample*)` answers 0 or a code.
template <class Sample, class Fill>
int presized(int samples, GeneratedWave<Sample>& wave, Fill fill) {
    Buffer<Sample> array(static_cast<size_t>(samples));
    if (!array) return outOfMemory<Sample>(-1, static_cast<size_t>(samples), "samples");
    if (int rc = fill(array.get())) return rc;
    wave.samples = std::move(array);
    wave.length = samples;
    return 0;
}

using Complex = std::complex<float>;

}  // namespace

extern "C" {

GENSIGNAL_API int GenSignalObjCreatSelfEncode(void) {
    clearLastError();
    std::lock_guard<std::mutex> guard(g_lock);
    // Ids are never reused and never negative: once the largest int has been
    // handed out, creation fails.
    if (objcount == std::numeric_limits<int>::max()) return refuse(-1, "every handle id has been handed out");
    GenSignalClass* obj = new (std::nothrow) GenSignalClass();
    if (!obj) return refuse(-1, "out of memory: %zu bytes for a generator object", sizeof(GenSignalClass));
    try {
        GenSignalClassObjCounter[objcount] = obj;
    } catch (...) {
        delete obj;
        return refuse(-1, "out of memory for the handle registry");
    }
    return objcount++;
}

GENSIGNAL_API int GenSignalObjRelease(int handleId) {
    clearLastError();
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = GenSignalClassObjCounter.find(handleId);
    if (it == GenSignalClassObjCounter.end() || !it->second) return refuseHandle(handleId);
    GenSignalClass* obj = it->second;
    GenSignalClassObjCounter.erase(it);
    delete obj;
    return 0;
}

GENSIGNAL_API int GetALGVersion(char* version) {
    clearLastError();
    if (!version) return refuse(-1, "GetALGVersion: version is a null pointer");
    std::memcpy(version, kVersion, sizeof kVersion);
    return static_cast<int>(sizeof kVersion) - 1;
}

GENSIGNAL_API int GenSignalGetLastError(char* buffer, int bufferSize) {
    if (!buffer || bufferSize < 1) return -1;
    const int length = lastErrorLength();
    const int copied = length < bufferSize ? length : bufferSize - 1;
    std::memcpy(buffer, lastErrorMessage(), static_cast<size_t>(copied));
    buffer[copied] = '\0';
    return length;
}

GENSIGNAL_API int GenerateDigitalModWaveform(int handleId, const DigitalModParams* params, int symbolCount,
                                             int16_t** iq, int* count, double sampleRate) {
    return withLoopOptions(handleId, params, symbolCount, sampleRate, iq, count, [&] {
        return runFrame<Complex, DigitalPlan>(
            "GenerateDigitalModWaveform", handleId, params, iq, count,
            [&](DigitalPlan& plan) {
                GenSignalClass dsp;  // getOrderM reads nothing of the object it is called on
                return planDigital(dsp, *params, sampleRate, symbolCount, &plan);
            },
            [](GenSignalClass& o, const DigitalPlan& plan, GeneratedWave<Complex>& wave) {
                return o.genDigitalSig(plan, wave);
            });
    });
}

GENSIGNAL_API int GenerateDssWaveform(int handleId, const DSSParams* params, int bitCount, int16_t** iq, int* count,
                                      double sampleRate) {
    return withLoopOptions(handleId, params, bitCount, sampleRate, iq, count, [&] {
        return runFrame<Complex, DssPlan>(
            "GenerateDssWaveform", handleId, params, iq, count,
            [&](DssPlan& plan) { return planDss(*params, sampleRate, bitCount, &plan); },
            [](GenSignalClass& o, const DssPlan& plan, GeneratedWave<Complex>& wave) {
                return o.genDSSSig(plan, wave);
            });
    });
}

GENSIGNAL_API int GenerateAmWaveform(int handleId, const AMModParams* params, int16_t** iq, int* count,
                                     double sampleRate) {
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<double, AmPlan>(
            "GenerateAmWaveform", handleId, params, iq, count,
            [&](AmPlan& plan) { return planAm(*params, sampleRate, plan); },
            [](GenSignalClass& o, const AmPlan& plan, GeneratedWave<double>& wave) { return o.genAMSig(plan, wave); });
    });
}

GENSIGNAL_API int GenerateFmWaveform(int handleId, const FMModParams* params, int16_t** iq, int* count,
                                     double sampleRate) {
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<Complex, FmPlan>(
            "GenerateFmWaveform", handleId, params, iq, count,
            [&](FmPlan& plan) { return planFm(*params, sampleRate, plan); },
            [](GenSignalClass& o, const FmPlan& plan, GeneratedWave<Complex>& wave) { return o.genFMSig(plan, wave); });
    });
}

GENSIGNAL_API int GenerateMultitoneWaveform(int handleId, const MultitoneParams* params, int16_t** iq, int* count,
                                            double sampleRate) {
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<Complex, MultitonePlan>(
            "GenerateMultitoneWaveform", handleId, params, iq, count,
            [&](MultitonePlan& plan) { return planMultitone(*params, sampleRate, plan); },
            [](GenSignalClass& o, const MultitonePlan& plan, GeneratedWave<Complex>& wave) {
                return phasedMultitone(o, plan, o.state.options, wave);
            });
    });
}

GENSIGNAL_API int GeneratePulseWaveform(int handleId, const PulseParams* params, int16_t** iq, int* count,
                                        double sampleRate) {
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<float, PulsePlan>(
            "GeneratePulseWaveform", handleId, params, iq, count,
            [&](PulsePlan& plan) { return planPulse(*params, sampleRate, plan); },
            [](GenSignalClass& o, const PulsePlan& plan, GeneratedWave<float>& wave) {
                return o.genPulseSig(plan, wave);
            });
    });
}

GENSIGNAL_API int GenerateStepSweepWaveform(int handleId, const StepSweepParams* params, int16_t** iq, int* count,
                                            double sampleRate) {
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<Complex, StepSweepPlan>(
            "GenerateStepSweepWaveform", handleId, params, iq, count,
            [&](StepSweepPlan& plan) { return planStepSweep(*params, sampleRate, plan); },
            [](GenSignalClass& o, const StepSweepPlan& plan, GeneratedWave<Complex>& wave) {
                return presized(plan.samples, wave, [&](Complex* s) { return o.genStepSweepSig(plan, s); });
            });
    });
}

GENSIGNAL_API int GenerateRampSweepWaveform(int handleId, const RampSweepParams* params, int16_t** iq, int* count,
                                            double sampleRate) {
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<Complex, RampSweepPlan>(
            "GenerateRampSweepWaveform", handleId, params, iq, count,
            [&](RampSweepPlan& plan) { return planRampSweep(*params, sampleRate, plan); },
            [](GenSignalClass& o, const RampSweepPlan& plan, GeneratedWave<Complex>& wave) {
                return presized(plan.samples, wave, [&](Complex* s) { return o.genRampSweepSig(plan, s); });
            });
    });
}

GENSIGNAL_API int GenerateAWGNWaveform(int handleId, const AWGNParams* params, int16_t** iq, int* count,
                                       double sampleRate) {
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<Complex, AwgnPlan>(
            "GenerateAWGNWaveform", handleId, params, iq, count,
            [&](AwgnPlan& plan) { return planAwgn(*params, sampleRate, plan); },
            [](GenSignalClass& o, const AwgnPlan& plan, GeneratedWave<Complex>& wave) {
                return presized(plan.samples, wave, [&](Complex* s) { return o.genAWGNSig(plan, s); });
            });
    });
}

GENSIGNAL_API int GenerateOFDMWaveform(int handleId, const OFDMParams* params, int16_t** iq, int* count,
                                       double sampleRate) {
    // One sample per inverse-FFT point, whatever the rate: the rate is only
    // the loop's.
    return withLoopOptions(handleId, params, 0, sampleRate, iq, count, [&] {
        return runFrame<Complex, OfdmPlan>(
            "GenerateOFDMWaveform", handleId, params, iq, count,
            [&](OfdmPlan& plan) { return planOfdm(*params, plan); },
            [](GenSignalClass& o, const OfdmPlan& plan, GeneratedWave<Complex>& wave) {
                return o.genOFDMSig(plan, wave);
            });
    });
}

}  // extern "C"
