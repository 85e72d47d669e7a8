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

#include "buffer.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "presizedPlans.h"
#include "pulsePlan.h"
#include "sampleConversion.h"

std::map<int, GenSignalClass*> GenSignalClassObjCounter;
int objcount = 0;
std::mutex g_lock;

namespace {

const char kVersion[] = "V1.0.0.20260622_X86_WIN64";

// Unlike a plain subscript, the look-up never adds entries: garbage ids from
// a host must not grow the registry.
GenSignalClass* lookUpHandle(int handleId) {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = GenSignalClassObjCounter.find(handleId);
    return it == GenSignalClassObjCounter.end() ? nullptr : it->second;
}

int refuseHandle(int handleId) { return refuse(-1, "handle %d is not a live generator object", handleId); }

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

// Frame for generators that allocate their own sample array.
// `generate(obj, &samples, &n)` returns 0 or a negative code.
// Null pointers from the host, named as the header names them.
int refuseNulls(const char* entryPoint, const void* params, int16_t** iq, int* count) {
    const char* which = !params ? "params" : !iq ? "iq" : !count ? "count" : nullptr;
    return which ? refuse(-1, "%s: %s is a null pointer", entryPoint, which) : 0;
}

template <class Sample, class Params, class Generate>
int runFrame(const char* entryPoint, int handleId, const Params* params, int16_t** iq, int* count, Generate generate) {
    clearLastError();
    if (refuseNulls(entryPoint, params, iq, count)) return -1;
    GenSignalClass* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    Sample* samples = nullptr;
    int n = 0;
    int rc = generate(obj, &samples, &n);
    if (rc != 0) {
        std::free(samples);  // only set on success; free(nullptr) is harmless
        return generatorRefused(entryPoint, rc);
    }
    return deliverSamples(obj, samples, n, iq, count);
}

// Frame for generators that fill an array the entry point allocates. The
// generator's own first stage, `makePlan`, checks the record and says how
// many samples the generator will write; the array holds exactly that many.
template <class Params, class Plan, class Generate>
int runPresizedFrame(const char* entryPoint, int handleId, const Params* params, int16_t** iq, int* count,
                     double sampleRate, int (*makePlan)(const Params&, double, Plan&), Generate generate) {
    clearLastError();
    if (refuseNulls(entryPoint, params, iq, count)) return -1;
    GenSignalClass* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    Plan plan{};
    if (int rc = makePlan(*params, sampleRate, plan)) return rc;
    const size_t room = static_cast<size_t>(plan.samples);
    Buffer<std::complex<float>> samples(room);
    if (!samples) return refuse(-1, "out of memory: %zu bytes for the samples", samples.bytesFor(room));
    int n = 0;
    const int rc = generate(obj, samples.get(), &n);
    if (rc != 0) return generatorRefused(entryPoint, rc);
    return deliverSamples(obj, samples.release(), n, iq, count);
}

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
    return runFrame<std::complex<float>>(
        "GenerateDigitalModWaveform", handleId, params, iq, count,
        [&](GenSignalClass* o, auto** s, int* n) { return o->genDigitalSig(params, sampleRate, symbolCount, s, *n); });
}

GENSIGNAL_API int GenerateDssWaveform(int handleId, const DSSParams* params, int bitCount, int16_t** iq, int* count,
                                      double sampleRate) {
    return runFrame<std::complex<float>>(
        "GenerateDssWaveform", handleId, params, iq, count,
        [&](GenSignalClass* o, auto** s, int* n) { return o->genDSSSig(params, sampleRate, bitCount, s, n); });
}

GENSIGNAL_API int GenerateAmWaveform(int handleId, const AMModParams* params, int16_t** iq, int* count,
                                     double sampleRate) {
    return runFrame<double>("GenerateAmWaveform", handleId, params, iq, count,
                            [&](GenSignalClass* o, auto** s, int* n) { return o->genAMSig(params, sampleRate, s, n); });
}

GENSIGNAL_API int GenerateFmWaveform(int handleId, const FMModParams* params, int16_t** iq, int* count,
                                     double sampleRate) {
    return runFrame<std::complex<float>>(
        "GenerateFmWaveform", handleId, params, iq, count,
        [&](GenSignalClass* o, auto** s, int* n) { return o->genFMSig(params, sampleRate, s, n); });
}

GENSIGNAL_API int GenerateMultitoneWaveform(int handleId, const MultitoneParams* params, int16_t** iq, int* count,
                                            double sampleRate) {
    return runFrame<std::complex<float>>(
        "GenerateMultitoneWaveform", handleId, params, iq, count,
        [&](GenSignalClass* o, auto** s, int* n) { return o->genMultitoneSig(params, sampleRate, s, n); });
}

GENSIGNAL_API int GeneratePulseWaveform(int handleId, const PulseParams* params, int16_t** iq, int* count,
                                        double sampleRate) {
    // A period of whole samples is W samples of 1.0, then 0.0: the frame
    // writes those two runs without the samples. Every other case, refusals
    // included, takes the generator's way.
    PulsePlan plan{};
    if (!params || !iq || !count || planPulse(*params, sampleRate, plan) != 0 || plan.resample)
        return runFrame<float>(
            "GeneratePulseWaveform", handleId, params, iq, count,
            [&](GenSignalClass* o, auto** s, int* n) { return o->genPulseSig(params, sampleRate, s, n); });
    clearLastError();
    GenSignalClass* obj = lookUpHandle(handleId);
    if (!obj) return refuseHandle(handleId);
    return deliverTwoLevels(obj, plan.periodSamples, plan.highSamples, iq, count);
}

GENSIGNAL_API int GenerateStepSweepWaveform(int handleId, const StepSweepParams* params, int16_t** iq, int* count,
                                            double sampleRate) {
    return runPresizedFrame("GenerateStepSweepWaveform", handleId, params, iq, count, sampleRate, planStepSweep,
                            [&](GenSignalClass* o, std::complex<float>* s, int* n) {
                                return o->genStepSweepSig(params, sampleRate, s, n);
                            });
}

GENSIGNAL_API int GenerateRampSweepWaveform(int handleId, const RampSweepParams* params, int16_t** iq, int* count,
                                            double sampleRate) {
    return runPresizedFrame("GenerateRampSweepWaveform", handleId, params, iq, count, sampleRate, planRampSweep,
                            [&](GenSignalClass* o, std::complex<float>* s, int* n) {
                                return o->genRampSweepSig(params, sampleRate, s, n);
                            });
}

GENSIGNAL_API int GenerateAWGNWaveform(int handleId, const AWGNParams* params, int16_t** iq, int* count,
                                       double sampleRate) {
    return runPresizedFrame(
        "GenerateAWGNWaveform", handleId, params, iq, count, sampleRate, planAwgn,
        [&](GenSignalClass* o, std::complex<float>* s, int* n) { return o->genAWGNSig(params, sampleRate, s, n); });
}

GENSIGNAL_API int GenerateOFDMWaveform(int handleId, const OFDMParams* params, int16_t** iq, int* count,
                                       double sampleRate) {
    return runFrame<std::complex<float>>(
        "GenerateOFDMWaveform", handleId, params, iq, count,
        [&](GenSignalClass* o, auto** s, int* n) { return o->genOFDMSig(params, sampleRate, s, n); });
}

}  // extern "C"
