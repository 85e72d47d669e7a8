#include "channelChecks.h"

#include <cmath>
#include <cstdio>

#include "delayLine.h"
#include "lastError.h"

namespace {

// A finite value within [lo, hi]; NaN and infinities fail.
bool within(double v, double lo, double hi) { return v >= lo && v <= hi; }

constexpr double kLongestDelaySamples = 1099511627776.0;  // 2^40

int refuseRange(const char* field, double v, const char* rule) {
    return refuse(-1, "GenSignalChannel.%s = %s: %s", field, numberText(v).text, rule);
}

int refuseIndexed(const char* field, int i, double v, const char* rule) {
    return refuse(-1, "GenSignalChannel.%s[%d] = %s: %s", field, i, numberText(v).text, rule);
}

int checkAmplifier(const GenSignalChannel& c) {
    if (c.paModel < GENSIGNAL_PA_OFF || c.paModel > GENSIGNAL_PA_SALEH)
        return refuse(-1, "GenSignalChannel.paModel = %d: must be 0 (off), 1 (Rapp) or 2 (Saleh)", c.paModel);
    if (!within(c.paBackoffDb, -40, 100)) return refuseRange("paBackoffDb", c.paBackoffDb, "must be -40 to 100 dB");
    if (!(c.paSmoothness == 0 || within(c.paSmoothness, 0.1, 100)))
        return refuseRange("paSmoothness", c.paSmoothness, "must be 0.1 to 100 (0: 2)");
    const struct {
        const char* name;
        double v;
    } saleh[] = {{"salehAlphaA", c.salehAlphaA},
                 {"salehBetaA", c.salehBetaA},
                 {"salehAlphaPhi", c.salehAlphaPhi},
                 {"salehBetaPhi", c.salehBetaPhi}};
    for (const auto& s : saleh)
        if (!within(s.v, 0, 1e6)) return refuseRange(s.name, s.v, "must be 0 (the default) or above 0, at most 1e6");
    return 0;
}

int checkFading(const GenSignalChannel& c, double sampleRate) {
    if (c.fading < GENSIGNAL_FADING_OFF || c.fading > GENSIGNAL_FADING_TAPS)
        return refuse(-1,
                      "GenSignalChannel.fading = %d: must be 0 (off), 1 to 3 (EPA, EVA, ETU), 4 to 8 (TDL-A to "
                      "TDL-E), 9 (Rayleigh), 10 (Rician) or 11 (taps)",
                      c.fading);
    const bool tdl = c.fading >= GENSIGNAL_FADING_TDL_A && c.fading <= GENSIGNAL_FADING_TDL_E;
    if (!within(c.delaySpread, 0, 1)) return refuseRange("delaySpread", c.delaySpread, "must be 0 to 1 s");
    if (tdl && !(c.delaySpread > 0))
        return refuseRange("delaySpread", c.delaySpread, "TDL-A to TDL-E need a delay spread above 0 s");
    if (!within(c.dopplerHz, 0, sampleRate / 2))
        return refuse(-1, "GenSignalChannel.dopplerHz = %s: must be 0 (static) to half the sample rate, %s Hz",
                      numberText(c.dopplerHz).text, numberText(sampleRate / 2).text);
    if (!within(c.ricianKDb, -50, 50)) return refuseRange("ricianKDb", c.ricianKDb, "must be -50 to 50 dB");
    if (c.tapCount < 0 || c.tapCount > GENSIGNAL_CHANNEL_MAX_TAPS)
        return refuse(-1, "GenSignalChannel.tapCount = %d: must be 0 to %d", c.tapCount, GENSIGNAL_CHANNEL_MAX_TAPS);
    if (c.fading == GENSIGNAL_FADING_TAPS && c.tapCount < 1)
        return refuse(-1, "GenSignalChannel.tapCount = %d: GENSIGNAL_FADING_TAPS needs 1 to %d taps", c.tapCount,
                      GENSIGNAL_CHANNEL_MAX_TAPS);
    for (int i = 0; i < c.tapCount; ++i) {
        const GenSignalChannelTap& t = c.taps[i];
        char field[40];
        std::snprintf(field, sizeof field, "taps[%d].delay", i);
        if (!within(t.delay, 0, 100)) return refuseRange(field, t.delay, "must be 0 to 100 s");
        std::snprintf(field, sizeof field, "taps[%d].powerDb", i);
        if (!within(t.powerDb, -150, 50)) return refuseRange(field, t.powerDb, "must be -150 to 50 dB");
        std::snprintf(field, sizeof field, "taps[%d].kFactorDb", i);
        if (!within(t.kFactorDb, -50, 50)) return refuseRange(field, t.kFactorDb, "must be -50 to 50 dB");
        if (t.rician != 0 && t.rician != 1)
            return refuse(-1, "GenSignalChannel.taps[%d].rician = %d: must be 0 (Rayleigh) or 1 (Rician)", i, t.rician);
    }
    // Delays in samples stay where a double holds their fraction.
    const DelayLine line = delayLineOf(c, sampleRate);
    for (int i = 0; i < line.count; ++i)
        if (!(line.taps[i].delay <= kLongestDelaySamples))
            return refuse(-1,
                          "GenSignalChannel.fading = %d: tap %d lies %s samples late at sampleRate = %s: at most 2^40",
                          c.fading, i, numberText(line.taps[i].delay).text, numberText(sampleRate).text);
    return 0;
}

int checkPhaseNoise(const GenSignalChannel& c) {
    if (c.phaseNoisePoints < 0 || c.phaseNoisePoints > GENSIGNAL_CHANNEL_MAX_MASK_POINTS)
        return refuse(-1, "GenSignalChannel.phaseNoisePoints = %d: must be 0 (off) to %d", c.phaseNoisePoints,
                      GENSIGNAL_CHANNEL_MAX_MASK_POINTS);
    for (int i = 0; i < c.phaseNoisePoints; ++i) {
        const double f = c.phaseNoiseOffsetHz[i];
        if (!within(f, 0, 1e12) || f == 0)
            return refuseIndexed("phaseNoiseOffsetHz", i, f, "must be above 0 and at most 1e12 Hz");
        if (i > 0 && !(f > c.phaseNoiseOffsetHz[i - 1]))
            return refuseIndexed("phaseNoiseOffsetHz", i, f, "the offsets must ascend");
        if (!within(c.phaseNoiseDbcHz[i], -300, 0))
            return refuseIndexed("phaseNoiseDbcHz", i, c.phaseNoiseDbcHz[i], "must be -300 to 0 dBc/Hz");
    }
    return 0;
}

int checkNoise(const GenSignalChannel& c, double sampleRate) {
    if (c.noiseMode < GENSIGNAL_NOISE_OFF || c.noiseMode > GENSIGNAL_NOISE_CN)
        return refuse(-1, "GenSignalChannel.noiseMode = %d: must be 0 (off), 1 (SNR), 2 (Es/N0), 3 (Eb/N0) or 4 (C/N)",
                      c.noiseMode);
    if (!within(c.noiseDb, -100, 300)) return refuseRange("noiseDb", c.noiseDb, "must be -100 to 300 dB");
    if (!within(c.noiseBandwidthHz, 0, sampleRate))
        return refuse(-1, "GenSignalChannel.noiseBandwidthHz = %s: must be 0 to the sample rate, %s Hz",
                      numberText(c.noiseBandwidthHz).text, numberText(sampleRate).text);
    if (c.noiseMode == GENSIGNAL_NOISE_CN && !(c.noiseBandwidthHz > 0))
        return refuseRange("noiseBandwidthHz", c.noiseBandwidthHz, "C/N needs a noise bandwidth above 0 Hz");
    if (!(c.samplesPerSymbol == 0 || within(c.samplesPerSymbol, 1, 1073741824.0)))
        return refuseRange("samplesPerSymbol", c.samplesPerSymbol, "must be 0 (from the record) or 1 to 2^30");
    if (!(c.bitsPerSymbol == 0 || within(c.bitsPerSymbol, 0.01, 64)))
        return refuseRange("bitsPerSymbol", c.bitsPerSymbol, "must be 0 (from the record) or 0.01 to 64");
    return 0;
}

}  // namespace

int checkChannelRecord(const GenSignalChannel& c, double sampleRate) {
    for (size_t i = 0; i < sizeof c.reserved; ++i)
        if (c.reserved[i] != 0)
            return refuse(-1, "GenSignalChannel.reserved[%zu] = %d: must be 0", i, static_cast<int>(c.reserved[i]));
    if (int rc = checkAmplifier(c)) return rc;
    if (int rc = checkFading(c, sampleRate)) return rc;
    if (!within(c.timingOffset, -1073741824.0, 1073741824.0))
        return refuseRange("timingOffset", c.timingOffset, "must be finite, within +-2^30 samples");
    if (!within(c.cfoHz, -sampleRate / 2, sampleRate / 2))
        return refuse(-1, "GenSignalChannel.cfoHz = %s: must lie within +-half the sample rate, %s Hz",
                      numberText(c.cfoHz).text, numberText(sampleRate / 2).text);
    if (!within(c.phaseOffsetDeg, -360, 360))
        return refuseRange("phaseOffsetDeg", c.phaseOffsetDeg, "must be -360 to 360 degrees");
    if (int rc = checkPhaseNoise(c)) return rc;
    if (int rc = checkNoise(c, sampleRate)) return rc;
    if (!within(c.iqGainDb, -20, 20)) return refuseRange("iqGainDb", c.iqGainDb, "must be -20 to 20 dB");
    if (!(c.iqPhaseDeg > -90 && c.iqPhaseDeg < 90))
        return refuseRange("iqPhaseDeg", c.iqPhaseDeg, "must lie strictly between -90 and 90 degrees");
    if (c.dcEnabled != 0 && c.dcEnabled != 1)
        return refuse(-1, "GenSignalChannel.dcEnabled = %d: must be 0 (off) or 1 (on)", c.dcEnabled);
    if (!within(c.dcDbc, -200, 50)) return refuseRange("dcDbc", c.dcDbc, "must be -200 to 50 dBc");
    if (!within(c.dcPhaseDeg, -360, 360)) return refuseRange("dcPhaseDeg", c.dcPhaseDeg, "must be -360 to 360 degrees");
    return 0;
}
