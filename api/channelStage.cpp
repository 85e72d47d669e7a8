#include "channelStage.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "buffer.h"
#include "channelChecks.h"
#include "conversionKernels.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "rangeChecks.h"

namespace {

// A rate at which no rule that scales with it binds a sensible record, for
// the checks made before any call gives the rate.
constexpr double kAnyRate = 1e12;

std::complex<float> asComplex(float v) { return {v, 0}; }
std::complex<float> asComplex(double v) { return {static_cast<float>(v), 0}; }

template <class Sample>
int complexSamples(GeneratedWave<Sample>& wave, Buffer<std::complex<float>>& out) {
    if (int rc = expandRuns(wave, -3, "samples for the channel")) return rc;
    const size_t n = static_cast<size_t>(wave.length);
    if constexpr (std::is_same_v<Sample, std::complex<float>>) {
        out = std::move(wave.samples);
    } else {
        out = Buffer<std::complex<float>>(n);
        if (!out) return outOfMemory<std::complex<float>>(-3, n, "samples for the channel");
        for (size_t i = 0; i < n; ++i) out[i] = asComplex(wave.samples[i]);
        wave.samples.reset();
    }
    return 0;
}

}  // namespace

int channelContextOf(int recordKind, const void* record, double sampleRate, ChannelContext& context) {
    if (recordKind == GENSIGNAL_RECORD_DIGITAL) {
        DigitalModParams p;
        std::memcpy(&p, record, sizeof p);
        int order = 0, error = 0;
        GenSignalClass::getOrderM(p.modType, &order, &error);
        if (error) return refuse(-1, "DigitalModParams.modType = %d: must be 1 to 22", static_cast<int>(p.modType));
        if (!finitePositive(p.symbolRate))
            return refuse(-1, "DigitalModParams.symbolRate = %s: must be finite and above 0",
                          numberText(p.symbolRate).text);
        context.samplesPerSymbol = sampleRate / p.symbolRate;
        context.bitsPerSymbol = std::log2(static_cast<double>(order));
    } else if (recordKind == GENSIGNAL_RECORD_DSS) {
        DSSParams p;
        std::memcpy(&p, record, sizeof p);
        if (!finitePositive(p.bitRate))
            return refuse(-1, "DSSParams.bitRate = %s: must be finite and above 0", numberText(p.bitRate).text);
        context.samplesPerSymbol = sampleRate / p.bitRate;
        context.bitsPerSymbol = 1;
        context.spreadSpectrum = true;
    }
    return 0;
}

bool channelActive(const GenSignalChannel& c) {
    return c.paModel != GENSIGNAL_PA_OFF || c.fading != GENSIGNAL_FADING_OFF || c.timingOffset != 0 || c.cfoHz != 0 ||
           c.phaseOffsetDeg != 0 || c.phaseNoisePoints != 0 || c.noiseMode != GENSIGNAL_NOISE_OFF || c.iqGainDb != 0 ||
           c.iqPhaseDeg != 0 || c.dcEnabled != 0;
}

int checkChannelSetting(const GenSignalChannel& c) { return checkChannelRecord(c, kAnyRate); }

int impairedScale(const std::complex<float>* y, int64_t n, double fullScale, float& scale) {
    const double combined = conversion::complexPeakSquared(reinterpret_cast<const float*>(y), static_cast<size_t>(n));
    if (std::isnan(combined)) return refuse(-1, "the impaired waveform holds a sample that is not finite");
    const double peak = std::sqrt(combined);
    // A peak whose square underflows float reads 0 without the samples being zero.
    if (combined == 0 && std::all_of(y, y + n, [](std::complex<float> v) { return v.real() == 0 && v.imag() == 0; })) {
        scale = 0;
        return 0;
    }
    scale = static_cast<float>(fullScale / peak);
    if (combined >= FLT_MIN && scale >= FLT_MIN && scale <= FLT_MAX) return 0;
    return refuse(-1, "the impaired waveform's peak magnitude %s is too %s to scale into 16 bits",
                  numberText(peak).text, peak < 1 ? "small" : "large");
}

void scaleRealised(GenSignalChannelRealised& r, double scale) {
    const double s2 = scale * scale;
    for (double* v : {&r.inputPower, &r.outputPower, &r.signalPower, &r.noisePower, &r.noisePowerInBand, &r.dcPower})
        *v *= s2;
}

template <class Sample>
int impairWave(const GenSignalChannel& channel, const ChannelContext& context, GeneratedWave<Sample>& wave,
               double sampleRate, double fullScale, GeneratedWave<std::complex<float>>& impaired,
               GenSignalChannelRealised& realised) {
    const int64_t n = wave.length;
    if (int rc = checkChannel(channel, context, n, sampleRate)) return rc;
    Buffer<std::complex<float>> x;
    if (int rc = complexSamples(wave, x)) return rc;
    GenSignalChannelRealised got;
    if (int rc = applyChannel(channel, context, x.get(), n, sampleRate, got)) return rc;
    float scale = 0;
    if (int rc = impairedScale(x.get(), n, fullScale, scale)) return rc;
    scaleRealised(got, scale);
    impaired.samples = std::move(x);
    impaired.length = static_cast<int>(n);
    realised = got;
    return 0;
}

template int impairWave(const GenSignalChannel&, const ChannelContext&, GeneratedWave<double>&, double, double,
                        GeneratedWave<std::complex<float>>&, GenSignalChannelRealised&);
template int impairWave(const GenSignalChannel&, const ChannelContext&, GeneratedWave<float>&, double, double,
                        GeneratedWave<std::complex<float>>&, GenSignalChannelRealised&);
template int impairWave(const GenSignalChannel&, const ChannelContext&, GeneratedWave<std::complex<float>>&, double,
                        double, GeneratedWave<std::complex<float>>&, GenSignalChannelRealised&);
