// The measurement entry points: the checks every one of them makes on the
// buffer it is handed, and the measurements put together into the host's
// record, which is written only when everything succeeded.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "channelPresets.h"
#include "evm.h"
#include "lastError.h"
#include "levels.h"
#include "measureInputCheck.h"
#include "recordReference.h"
#include "sampleView.h"
#include "seamPrediction.h"
#include "frequencyDomain.h"
#include "wrapperGenSignalWave.h"

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kFullScalePower = 32767.0 * 32767.0;
// The transforms take an int count of points.
constexpr int64_t kMaxMeasuredSamples = std::numeric_limits<int32_t>::max();
constexpr double kDefaultObwPercent = 99.0;

// 10 log10(a / b) when that is finite, else NaN.
double levelDb(double a, double b) { return a > 0 && b > 0 ? 10.0 * std::log10(a / b) : kNone; }

bool floats(const GenSignalMeasureInput& in) { return in.format == GENSIGNAL_FORMAT_CF32; }

// 0 when `in` describes a buffer that can be measured, else -1 with the
// reason, naming the function and the field.
int checkInput(const char* function, const GenSignalMeasureInput* input) {
    if (!input) return refuse(-1, "%s: input is a null pointer", function);
    const GenSignalMeasureInput in = *input;
    if (int rc = checkInputFormat(in)) return rc;
    if (in.valueCount < 0 || in.valueCount % 2 != 0)
        return refuse(-1, "GenSignalMeasureInput.valueCount = %lld: must be even and at least 0 (I and Q)",
                      static_cast<long long>(in.valueCount));
    if (in.valueCount / 2 > kMaxMeasuredSamples)
        return refuse(-1, "GenSignalMeasureInput.valueCount = %lld: at most %lld samples can be measured",
                      static_cast<long long>(in.valueCount), static_cast<long long>(kMaxMeasuredSamples));
    return checkInputFields(in);
}

// The options with their defaults filled in, or -1 with the reason.
int checkOptions(const GenSignalMeasureOptions* options, GenSignalMeasureOptions& out) {
    out = options ? *options : GenSignalMeasureOptions{0, 0, 0};
    if (out.obwPercent == 0) out.obwPercent = kDefaultObwPercent;
    if (!(out.obwPercent > 0 && out.obwPercent <= 100))
        return refuse(-1, "GenSignalMeasureOptions.obwPercent = %s: must be above 0 and at most 100",
                      numberText(out.obwPercent).text);
    const double limit = std::numeric_limits<double>::max();
    if (!(out.channelBandwidth >= 0 && out.channelBandwidth <= limit))
        return refuse(-1, "GenSignalMeasureOptions.channelBandwidth = %s: must be finite and above 0 (0: default)",
                      numberText(out.channelBandwidth).text);
    if (!(out.channelSpacing >= 0 && out.channelSpacing <= limit))
        return refuse(-1, "GenSignalMeasureOptions.channelSpacing = %s: must be finite and above 0 (0: default)",
                      numberText(out.channelSpacing).text);
    return 0;
}

template <class Reader>
int measure(const Reader& x, const GenSignalMeasureInput& in, const GenSignalMeasureOptions& options,
            GenSignalMeasurement& m) {
    const int64_t n = in.valueCount / 2;
    RecordReference ref;
    if (makeRecordReference(in.recordKind, in.record, in.argument, in.sampleRate, n, ref)) return -1;

    m = GenSignalMeasurement{};
    m.samples = n;
    m.sampleRate = in.sampleRate;
    m.peakDbfs = m.rmsDbfs = m.paprDb = kNone;
    for (double& c : m.ccdfDb) c = kNone;
    m.obwHz = m.obwLowerHz = m.obwUpperHz = m.channelBandwidthHz = m.channelSpacingHz = kNone;
    m.acprLowerDb = m.acprUpperDb = m.sfdrDb = kNone;
    m.evmPercent = m.evmPeakPercent = m.merDb = kNone;
    m.evmStatus = ref.evmStatus;
    if (n == 0) return 0;

    Levels levels;
    if (!measureLevels(x, n, levels)) return refuse(-1, "out of memory for the CCDF's histograms");
    m.peakDbfs = levelDb(levels.peakPower, kFullScalePower);
    m.rmsDbfs = levelDb(levels.meanPower, kFullScalePower);
    m.paprDb = levelDb(levels.peakPower, levels.meanPower);
    for (int r = 0; r < 4; ++r) m.ccdfDb[r] = levelDb(levels.ccdfPower[r], levels.meanPower);
    m.seamRatio = levels.seamRatio;

    const double bandwidth = options.channelBandwidth > 0 ? options.channelBandwidth : ref.channelBandwidth;
    const SpectrumRequest request{in.sampleRate, options.obwPercent, bandwidth, options.channelSpacing};
    Spectrum spectrum;
    if (measureSpectrum(x, n, request, spectrum)) return -1;
    m.obwLowerHz = spectrum.obwLower;
    m.obwUpperHz = spectrum.obwUpper;
    m.obwHz = spectrum.obwUpper - spectrum.obwLower;
    m.channelBandwidthHz = spectrum.channelBandwidth;
    m.channelSpacingHz = spectrum.channelSpacing;
    m.acprLowerDb = spectrum.acprLower;
    m.acprUpperDb = spectrum.acprUpper;
    // A spur-free range means something only for a waveform made of tones.
    const int kind = in.recordKind;
    const bool tones = kind == GENSIGNAL_RECORD_NONE || kind == GENSIGNAL_RECORD_MULTITONE ||
                       kind == GENSIGNAL_RECORD_AM || kind == GENSIGNAL_RECORD_FM;
    m.sfdrDb = tones ? spectrum.sfdr : kNone;

    if (ref.evmStatus == GENSIGNAL_EVM_MEASURED) {
        EvmResult evm{};
        const EvmPoints none;
        if (measureRecordEvm(x, ref, evm, none)) return -1;
        m.evmPercent = evm.percent;
        m.evmPeakPercent = evm.peakPercent;
        m.merDb = evm.merDb;
        m.symbols = static_cast<int32_t>(evm.symbols);
    }
    // An absurd rate can carry a frequency beyond the double range: no finite value.
    for (double* v : {&m.obwHz, &m.obwLowerHz, &m.obwUpperHz, &m.channelBandwidthHz, &m.channelSpacingHz})
        if (std::isinf(*v)) *v = kNone;
    return 0;
}

// 0 when the description can be measured with, else -1 with the reason.
int checkDescription(const GenSignalModulationDescription* d, double rate) {
    if (!d) return refuse(-1, "GenSignalMeasureDescribed: description is a null pointer");
    int symmetry = 0;
    if (describedAlphabet(d->modType, symmetry) == 0)
        return refuse(-1,
                      "GenSignalModulationDescription.modType = %d: must be a linear kind without memory "
                      "(BPSK, QPSK, PSK8, PSK16, QAM8 ... QAM1024, ASK2, ASK4, ASK8, APSK16)",
                      d->modType);
    if (d->filterType != RRCOS && d->filterType != RCOS && d->filterType != RECT)
        return refuse(-1, "GenSignalModulationDescription.filterType = %d: must be 1 (RECT), 2 (RCOS) or 3 (RRCOS)",
                      d->filterType);
    if (!(d->symbolRate > 0 && d->symbolRate <= rate / 2))
        return refuse(-1,
                      "GenSignalModulationDescription.symbolRate = %s: must be above 0 and at most half the "
                      "sample rate, %s",
                      numberText(d->symbolRate).text, numberText(rate / 2).text);
    if (d->filterType != RECT && !(d->rolloff > 0 && d->rolloff <= 1))
        return refuse(-1, "GenSignalModulationDescription.rolloff = %s: must be above 0 and at most 1",
                      numberText(d->rolloff).text);
    return 0;
}

template <class Reader>
int describedEvm(const Reader& x, const GenSignalMeasureInput& in, const GenSignalModulationDescription& d,
                 GenSignalMeasurement& m) {
    const int64_t n = in.valueCount / 2;
    if (static_cast<double>(n) * 8 * d.symbolRate / in.sampleRate < 8 * 16)
        return 0;  // fewer than 16 symbols: nothing to decide with, EVM stays none
    EvmResult evm{};
    const DescribedModulation described{d.modType, d.filterType, d.symbolRate, d.rolloff};
    if (measureDescribedEvm(x, n, in.sampleRate, described, evm, EvmPoints{})) return -1;
    m.evmPercent = evm.percent;
    m.evmPeakPercent = evm.peakPercent;
    m.merDb = evm.merDb;
    m.symbols = static_cast<int32_t>(evm.symbols);
    m.evmStatus = GENSIGNAL_EVM_MEASURED;
    return 0;
}

template <class Reader>
int ccdfCurve(const Reader& x, int64_t n, const double* probabilities, int points, double* levels) {
    if (n == 0) {
        for (int i = 0; i < points; ++i) levels[i] = kNone;
        return 0;
    }
    Buffer<int64_t> ranks(static_cast<size_t>(points));
    Buffer<double> powers(static_cast<size_t>(points));
    if (!ranks || !powers) return refuse(-1, "out of memory for %d CCDF points", points);
    for (int i = 0; i < points; ++i) ranks[i] = ccdfRank(probabilities[i], n);
    double sum = 0;
    for (int64_t i = 0; i < n; ++i) sum += x.re(i) * x.re(i) + x.im(i) * x.im(i);
    const double mean = sum / static_cast<double>(n);
    if (!rankedPowers(x, n, ranks.get(), points, powers.get()))
        return outOfMemory<uint32_t>(-1, static_cast<size_t>(n), "ranked powers");
    for (int i = 0; i < points; ++i) levels[i] = levelDb(powers[i], mean);
    return 0;
}

// The compared points, at most `capacity` of them, into working arrays
// sized by what there is rather than by what the host offers.
template <class Reader>
int constellation(const Reader& x, const GenSignalMeasureInput& in, int capacity, bool withReferences,
                  Buffer<double>& received, Buffer<double>& references, int& count, int& status) {
    const int64_t n = in.valueCount / 2;
    RecordReference ref;
    if (makeRecordReference(in.recordKind, in.record, in.argument, in.sampleRate, n, ref)) return -1;
    status = ref.evmStatus;
    count = 0;
    if (ref.evmStatus != GENSIGNAL_EVM_MEASURED || n == 0) return 0;
    const int64_t there = ref.ofdm ? static_cast<int64_t>(ref.frame.used) * ref.frame.symbols : ref.linear.symbols;
    const size_t room = 2 * static_cast<size_t>(std::min<int64_t>(there, capacity));
    received = Buffer<double>(room);
    references = Buffer<double>(withReferences ? room : 0);
    if (!received || !references) return outOfMemory<double>(-1, 2 * room, "points");
    const EvmPoints sink{received.get(), withReferences ? references.get() : nullptr, static_cast<int64_t>(room / 2)};
    EvmResult evm{};
    if (measureRecordEvm(x, ref, evm, sink)) return -1;
    count = static_cast<int>(evm.symbols);
    return 0;
}

}  // namespace

extern "C" {

GENSIGNAL_API int GenSignalMeasure(const GenSignalMeasureInput* input, const GenSignalMeasureOptions* options,
                                   GenSignalMeasurement* result) {
    clearLastError();
    if (checkInput("GenSignalMeasure", input)) return -1;
    if (!result) return refuse(-1, "GenSignalMeasure: result is a null pointer");
    GenSignalMeasureOptions chosen;
    if (checkOptions(options, chosen)) return -1;
    const GenSignalMeasureInput in = *input;
    GenSignalMeasurement m;
    const int rc = withReader(in.samples, floats(in), [&](const auto& x) { return measure(x, in, chosen, m); });
    if (rc == 0) *result = m;
    return rc;
}

GENSIGNAL_API int GenSignalMeasureCcdf(const GenSignalMeasureInput* input, const double* probabilities, int points,
                                       double* levelsDb) {
    clearLastError();
    if (checkInput("GenSignalMeasureCcdf", input)) return -1;
    if (points < 0) return refuse(-1, "GenSignalMeasureCcdf: points = %d: must be at least 0", points);
    if (points > 0 && (!probabilities || !levelsDb))
        return refuse(-1, "GenSignalMeasureCcdf: %s is a null pointer", !probabilities ? "probabilities" : "levelsDb");
    for (int i = 0; i < points; ++i)
        if (!(probabilities[i] >= 0 && probabilities[i] < 1))
            return refuse(-1, "GenSignalMeasureCcdf: probabilities[%d] = %s: must be at least 0 and below 1", i,
                          numberText(probabilities[i]).text);
    if (points == 0) return 0;
    const GenSignalMeasureInput in = *input;
    Buffer<double> levels(static_cast<size_t>(points));
    if (!levels) return outOfMemory<double>(-1, static_cast<size_t>(points), "CCDF levels");
    const int rc = withReader(in.samples, floats(in), [&](const auto& x) {
        return ccdfCurve(x, in.valueCount / 2, probabilities, points, levels.get());
    });
    if (rc == 0)
        for (int i = 0; i < points; ++i) levelsDb[i] = levels[i];
    return rc;
}

GENSIGNAL_API int GenSignalMeasureConstellation(const GenSignalMeasureInput* input, double* points, double* references,
                                                int capacity, int* count, int* status) {
    clearLastError();
    if (checkInput("GenSignalMeasureConstellation", input)) return -1;
    if (!count) return refuse(-1, "GenSignalMeasureConstellation: count is a null pointer");
    if (capacity < 0) return refuse(-1, "GenSignalMeasureConstellation: capacity = %d: must be at least 0", capacity);
    if (capacity > 0 && !points) return refuse(-1, "GenSignalMeasureConstellation: points is a null pointer");
    const GenSignalMeasureInput in = *input;
    // Written into working arrays first, so that a refusal leaves the host's untouched.
    Buffer<double> received, expected;
    int n = 0, why = 0;
    const int rc = withReader(in.samples, floats(in), [&](const auto& x) {
        return constellation(x, in, capacity, references != nullptr, received, expected, n, why);
    });
    if (rc != 0) return rc;
    const int written = n < capacity ? n : capacity;
    for (int i = 0; i < 2 * written; ++i) {
        points[i] = received[i];
        if (references) references[i] = expected[i];
    }
    *count = n;
    if (status) *status = why;
    return 0;
}

GENSIGNAL_API int GenSignalMeasureSeam(const GenSignalMeasureInput* input, double* ratio) {
    clearLastError();
    if (checkInput("GenSignalMeasureSeam", input)) return -1;
    if (!ratio) return refuse(-1, "GenSignalMeasureSeam: ratio is a null pointer");
    const GenSignalMeasureInput in = *input;
    *ratio =
        withReader(in.samples, floats(in), [&](const auto& x) { return seamPredictionRatio(x, in.valueCount / 2); });
    return 0;
}

GENSIGNAL_API int GenSignalMeasureChannelPreset(const char* name, double* bandwidth, double* spacing) {
    clearLastError();
    if (!bandwidth || !spacing)
        return refuse(-1, "GenSignalMeasureChannelPreset: %s is a null pointer", !bandwidth ? "bandwidth" : "spacing");
    const ChannelPreset* preset = channelPreset(name);
    if (!preset) {
        char names[256] = "";
        for (const ChannelPreset* p = channelPresets(); p->name; ++p)
            std::snprintf(names + std::strlen(names), sizeof names - std::strlen(names), "%s%s",
                          p == channelPresets() ? "" : ", ", p->name);
        return refuse(-1, "channel preset %s: not one of %s", name ? name : "(null)", names);
    }
    *bandwidth = preset->bandwidth;
    *spacing = preset->spacing;
    return 0;
}

GENSIGNAL_API const char* GenSignalMeasureChannelName(int index) {
    int count = 0;
    while (channelPresets()[count].name) ++count;
    return index >= 0 && index < count ? channelPresets()[index].name : nullptr;
}

GENSIGNAL_API int GenSignalMeasureDescribed(const GenSignalMeasureInput* input, const GenSignalMeasureOptions* options,
                                            const GenSignalModulationDescription* description,
                                            GenSignalMeasurement* result) {
    clearLastError();
    if (checkInput("GenSignalMeasureDescribed", input)) return -1;
    if (!result) return refuse(-1, "GenSignalMeasureDescribed: result is a null pointer");
    if (checkDescription(description, input->sampleRate)) return -1;
    GenSignalMeasureOptions chosen;
    if (checkOptions(options, chosen)) return -1;
    const GenSignalModulationDescription d = *description;
    if (chosen.channelBandwidth == 0)
        chosen.channelBandwidth = d.symbolRate * (d.filterType == RECT ? 1 : 1 + d.rolloff);
    const GenSignalMeasureInput in = *input;
    GenSignalMeasurement m;
    const int rc = withReader(in.samples, floats(in), [&](const auto& x) {
        if (measure(x, in, chosen, m)) return -1;
        const bool dataAided = m.evmStatus == GENSIGNAL_EVM_MEASURED;
        return dataAided || in.valueCount == 0 ? 0 : describedEvm(x, in, d, m);
    });
    if (rc == 0) *result = m;
    return rc;
}

}  // extern "C"
