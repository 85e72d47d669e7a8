// The C API: the handle registry and its lock, the housekeeping functions,
// and the ten waveform entry points, each its kind run through the frame
// (frame.h).
#include "wrapperGenSignalWave.h"

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <new>

#include "am.h"
#include "awgn.h"
#include "digital.h"
#include "dss.h"
#include "fm.h"
#include "frame.h"
#include "handleRegistry.h"
#include "lastError.h"
#include "multitone.h"
#include "ofdm.h"
#include "pulse.h"
#include "rampSweep.h"
#include "stepSweep.h"

std::map<int, HandleEntry*> GenSignalClassObjCounter;
int objcount = 0;
std::mutex g_lock;

// Unlike a plain subscript, the look-up never adds entries: garbage ids from
// a host must not grow the registry.
HandleEntry* lookUpHandle(int handleId) {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = GenSignalClassObjCounter.find(handleId);
    return it == GenSignalClassObjCounter.end() ? nullptr : it->second;
}

int refuseHandle(int handleId) { return refuse(-1, "handle %d is not a live generator object", handleId); }

namespace {

const char kVersion[] = "V1.0.0.20260622_X86_WIN64";

}  // namespace

extern "C" {

GENSIGNAL_API int GenSignalObjCreatSelfEncode(void) {
    clearLastError();
    std::lock_guard<std::mutex> guard(g_lock);
    // Ids are never reused and never negative: once the largest int has been
    // handed out, creation fails.
    if (objcount == std::numeric_limits<int>::max()) return refuse(-1, "every handle id has been handed out");
    HandleEntry* obj = new (std::nothrow) HandleEntry();
    if (!obj) return refuse(-1, "out of memory: %zu bytes for a generator object", sizeof(HandleEntry));
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
    HandleEntry* obj = it->second;
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
    return runKind<DigitalKind>(handleId, params, symbolCount, iq, count, sampleRate);
}

GENSIGNAL_API int GenerateDssWaveform(int handleId, const DSSParams* params, int bitCount, int16_t** iq, int* count,
                                      double sampleRate) {
    return runKind<DssKind>(handleId, params, bitCount, iq, count, sampleRate);
}

// The kinds whose call takes no count of symbols or bits: each its kind
// through the frame, with nothing of its own.
#define GENSIGNAL_WAVEFORM_ENTRY_POINT(name, Record, Kind)                                                    \
    GENSIGNAL_API int name(int handleId, const Record* params, int16_t** iq, int* count, double sampleRate) { \
        return runKind<Kind>(handleId, params, 0, iq, count, sampleRate);                                     \
    }

GENSIGNAL_WAVEFORM_ENTRY_POINT(GenerateAmWaveform, AMModParams, AmKind)
GENSIGNAL_WAVEFORM_ENTRY_POINT(GenerateFmWaveform, FMModParams, FmKind)
GENSIGNAL_WAVEFORM_ENTRY_POINT(GenerateMultitoneWaveform, MultitoneParams, MultitoneKind)
GENSIGNAL_WAVEFORM_ENTRY_POINT(GeneratePulseWaveform, PulseParams, PulseKind)
GENSIGNAL_WAVEFORM_ENTRY_POINT(GenerateStepSweepWaveform, StepSweepParams, StepSweepKind)
GENSIGNAL_WAVEFORM_ENTRY_POINT(GenerateRampSweepWaveform, RampSweepParams, RampSweepKind)
GENSIGNAL_WAVEFORM_ENTRY_POINT(GenerateAWGNWaveform, AWGNParams, AwgnKind)
GENSIGNAL_WAVEFORM_ENTRY_POINT(GenerateOFDMWaveform, OFDMParams, OfdmKind)

#undef GENSIGNAL_WAVEFORM_ENTRY_POINT

}  // extern "C"
