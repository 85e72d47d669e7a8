#include "partWave.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "am.h"
#include "awgn.h"
#include "digital.h"
#include "dss.h"
#include "fm.h"
#include "frame.h"
#include "hugePages.h"
#include "lastError.h"
#include "multitone.h"
#include "ofdm.h"
#include "pulse.h"
#include "rampSweep.h"
#include "stepSweep.h"

namespace {

std::complex<float> asComplex(double v) { return {static_cast<float>(v), 0.0f}; }
std::complex<float> asComplex(float v) { return {v, 0.0f}; }

template <class Kind>
int makeAs(GenSignalClass& object, const void* record, const KindCall& call, PartWave& out) {
    typename Kind::Params params;
    std::memcpy(&params, record, sizeof params);  // packed: copied out before use
    KindRun<Kind> run(params, call);
    if (int rc = run.make(object)) return rc;
    if (int rc = expandRuns(run.wave, -3, "part samples")) return rc;
    const int n = run.wave.length;
    if (n < 1) return refuse(-1, "%s made no samples", Kind::kEntryPoint);
    if constexpr (std::is_same_v<typename Kind::Sample, std::complex<float>>) {
        out.samples = std::move(run.wave.samples);  // already complex: no second copy of a long part
    } else {
        Buffer<std::complex<float>> samples(static_cast<size_t>(n));
        if (!samples) return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(n), "part samples");
        preferHugePages(samples.get(), Buffer<std::complex<float>>::bytesFor(static_cast<size_t>(n)));
        for (int i = 0; i < n; ++i) samples[i] = asComplex(run.wave.samples[i]);
        out.samples = std::move(samples);
    }
    out.length = n;
    out.made = run.made;
    out.period = run.period;
    std::snprintf(out.nyquist, sizeof out.nyquist, "%s", run.above ? run.why.text : "");
    return 0;
}

}  // namespace

const char* partEntryPoint(int recordKind) {
    switch (recordKind) {
        case GENSIGNAL_RECORD_DIGITAL: return DigitalKind::kEntryPoint;
        case GENSIGNAL_RECORD_DSS: return DssKind::kEntryPoint;
        case GENSIGNAL_RECORD_AM: return AmKind::kEntryPoint;
        case GENSIGNAL_RECORD_FM: return FmKind::kEntryPoint;
        case GENSIGNAL_RECORD_MULTITONE: return MultitoneKind::kEntryPoint;
        case GENSIGNAL_RECORD_PULSE: return PulseKind::kEntryPoint;
        case GENSIGNAL_RECORD_STEP_SWEEP: return StepSweepKind::kEntryPoint;
        case GENSIGNAL_RECORD_RAMP_SWEEP: return RampSweepKind::kEntryPoint;
        case GENSIGNAL_RECORD_AWGN: return AwgnKind::kEntryPoint;
        case GENSIGNAL_RECORD_OFDM: return OfdmKind::kEntryPoint;
        default: return nullptr;
    }
}

size_t partRecordSize(int recordKind) {
    switch (recordKind) {
        case GENSIGNAL_RECORD_DIGITAL: return sizeof(DigitalModParams);
        case GENSIGNAL_RECORD_DSS: return sizeof(DSSParams);
        case GENSIGNAL_RECORD_AM: return sizeof(AMModParams);
        case GENSIGNAL_RECORD_FM: return sizeof(FMModParams);
        case GENSIGNAL_RECORD_MULTITONE: return sizeof(MultitoneParams);
        case GENSIGNAL_RECORD_PULSE: return sizeof(PulseParams);
        case GENSIGNAL_RECORD_STEP_SWEEP: return sizeof(StepSweepParams);
        case GENSIGNAL_RECORD_RAMP_SWEEP: return sizeof(RampSweepParams);
        case GENSIGNAL_RECORD_AWGN: return sizeof(AWGNParams);
        case GENSIGNAL_RECORD_OFDM: return sizeof(OFDMParams);
        default: return 0;
    }
}

int makePartWave(GenSignalClass& object, int recordKind, const void* record, const KindCall& call, PartWave& out) {
    switch (recordKind) {
        case GENSIGNAL_RECORD_DIGITAL: return makeAs<DigitalKind>(object, record, call, out);
        case GENSIGNAL_RECORD_DSS: return makeAs<DssKind>(object, record, call, out);
        case GENSIGNAL_RECORD_AM: return makeAs<AmKind>(object, record, call, out);
        case GENSIGNAL_RECORD_FM: return makeAs<FmKind>(object, record, call, out);
        case GENSIGNAL_RECORD_MULTITONE: return makeAs<MultitoneKind>(object, record, call, out);
        case GENSIGNAL_RECORD_PULSE: return makeAs<PulseKind>(object, record, call, out);
        case GENSIGNAL_RECORD_STEP_SWEEP: return makeAs<StepSweepKind>(object, record, call, out);
        case GENSIGNAL_RECORD_RAMP_SWEEP: return makeAs<RampSweepKind>(object, record, call, out);
        case GENSIGNAL_RECORD_AWGN: return makeAs<AwgnKind>(object, record, call, out);
        case GENSIGNAL_RECORD_OFDM: return makeAs<OfdmKind>(object, record, call, out);
        default: return refuse(-1, "recordKind = %d: must be 1 (digital) to 10 (OFDM)", recordKind);
    }
}
