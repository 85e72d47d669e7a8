// The scene entry point: every part made alone at the scene's rate
// (partWave.h), put in its place on one loop and summed (partPlacement.h),
// the crest factor reduced on the loop's DFT (clipFilter.h), the
// whole-scene channel, the conversion of any waveform; then the labels and
// the report, read off the spectra before and after (sceneBands.h).
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <complex>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "buffer.h"
#include "burstGate.h"
#include "channelChain.h"
#include "clipFilter.h"
#include "conversionKernels.h"
#include "crestFactor.h"
#include "genSignalClass.h"
#include "handleRegistry.h"
#include "hugePages.h"
#include "lastError.h"
#include "loopLength.h"
#include "mathConstants.h"
#include "partPlacement.h"
#include "partWave.h"
#include "peakWindow.h"
#include "rangeChecks.h"
#include "sampleConversion.h"
#include "sceneBands.h"
#include "sharedCores.h"
#include "wrapperGenSignalWave.h"

namespace {

constexpr double kDefaultProbability = 1e-4;
constexpr int kDefaultIterations = 8;
constexpr int kDefaultHalfWidth = 8;  // peak windowing's dip: 17 samples
// Labels a scene may leave: a burst every few samples over a long loop
// would otherwise ask for gigabytes of them.
constexpr int64_t kMaxLabels = int64_t(1) << 20;

const char* const kPartFields = "GenSignalScene.parts";

// A part as the scene reads it: the host's descriptor and what it comes to.
struct ScenePart {
    GenSignalScenePart d;
    GenSignalChannel channel;
    bool hasChannel = false;
    PartWave wave;
    double gain = 0;  // to unit mean power, then the level
    BurstPattern bursts;
    int64_t delay = 0;
    PartCarrier carrier;
    double offsetHz = 0;   // as realised
    SceneBand band{};      // at the offset
    double dutyPower = 1;  // mean of the gate's square over the loop
    int sameAs = -1;       // an earlier part made from the same record and settings, whose wave it takes
    double power = 0;      // mean power of the wave
    bool bandKnown = false;
    SceneBand ownBand{};  // of the wave alone, at 0 Hz
};

// Whether part b is made exactly as part a: the same kind, record bytes,
// argument and settings.
bool madeAlike(const ScenePart& a, const ScenePart& b, const WaveSettings& sa, const WaveSettings& sb) {
    const size_t size = partRecordSize(a.d.recordKind);
    return a.d.recordKind == b.d.recordKind && a.d.argument == b.d.argument && sa.loop == sb.loop &&
           sa.phases == sb.phases && sa.phaseSeed == sb.phaseSeed && sa.noise == sb.noise &&
           sa.noiseStream == sb.noiseStream && size && std::memcmp(a.d.record, b.d.record, size) == 0;
}

// What the scene noted, "; " between notes.
class SceneNotes {
public:
    void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char line[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        if (!line[0]) return;
        if (!text_.empty()) text_ += "; ";
        text_ += line;
    }
    void addChannel(const char* where, const ChannelNotes& notes) {
        if (notes.length()) add("%s: %s", where, notes.text());
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

int refuseField(int i, const char* field, double v, const char* rule) {
    return refuse(-1, "%s[%d].%s = %s: %s", kPartFields, i, field, numberText(v).text, rule);
}

bool finite(double v) { return std::isfinite(v); }

int checkScene(const GenSignalScene& s) {
    if (!finitePositive(s.sampleRate))
        return refuse(-1, "GenSignalScene.sampleRate = %s: must be finite and above 0", numberText(s.sampleRate).text);
    if (s.partCount < 1 || s.partCount > GENSIGNAL_SCENE_MAX_PARTS)
        return refuse(-1, "GenSignalScene.partCount = %d: must be 1 to %d", s.partCount, GENSIGNAL_SCENE_MAX_PARTS);
    if (!s.parts) return refuse(-1, "GenSignalScene.parts is a null pointer");
    if (s.cfrMethod < GENSIGNAL_CFR_OFF || s.cfrMethod > GENSIGNAL_CFR_PEAK_WINDOW)
        return refuse(-1, "GenSignalScene.cfrMethod = %d: must be 0 (off), 1 (clip and filter) or 2 (peak windowing)",
                      s.cfrMethod);
    // The report's PAPR is taken at this probability with the reduction off too.
    if (s.cfrProbability != 0 && !(s.cfrProbability > 0 && s.cfrProbability <= 0.1))
        return refuse(-1, "GenSignalScene.cfrProbability = %s: must be above 0 and at most 0.1 (0: 1e-4)",
                      numberText(s.cfrProbability).text);
    if (s.cfrMethod == GENSIGNAL_CFR_OFF) return 0;
    if (!(s.cfrTargetPaprDb >= 0 && s.cfrTargetPaprDb <= 30))
        return refuse(-1, "GenSignalScene.cfrTargetPaprDb = %s: must be 0 to 30 dB",
                      numberText(s.cfrTargetPaprDb).text);
    if (s.cfrIterations < 0 || s.cfrIterations > 100)
        return refuse(-1, "GenSignalScene.cfrIterations = %d: must be 1 to 100 (0: %d)", s.cfrIterations,
                      kDefaultIterations);
    if (s.cfrMethod == GENSIGNAL_CFR_PEAK_WINDOW && s.cfrWindow != 0) {
        const double samples = s.cfrWindow * s.sampleRate;
        if (!(samples >= 3 && samples <= 65537))
            return refuse(-1,
                          "GenSignalScene.cfrWindow = %s: spans %s samples at the scene's rate; must be 3 to 65537 "
                          "(0: %d)",
                          numberText(s.cfrWindow).text, numberText(samples).text, 2 * kDefaultHalfWidth + 1);
    }
    return 0;
}

int checkPart(int i, const GenSignalScenePart& p, double rate) {
    if (p.recordKind < GENSIGNAL_RECORD_DIGITAL || p.recordKind > GENSIGNAL_RECORD_OFDM)
        return refuse(-1, "%s[%d].recordKind = %d: must be 1 (digital) to 10 (OFDM)", kPartFields, i, p.recordKind);
    if (!p.record) return refuse(-1, "%s[%d].record is a null pointer", kPartFields, i);
    if (p.loopMode < GENSIGNAL_SCENE_LOOP_SCENE || p.loopMode > GENSIGNAL_SCENE_LOOP_EXACT)
        return refuse(-1, "%s[%d].loopMode = %d: must be 0 (the scene's), 1 (defined) or 2 (exact)", kPartFields, i,
                      p.loopMode);
    if (p.tonePhases < GENSIGNAL_TONE_PHASES_ZERO || p.tonePhases > GENSIGNAL_TONE_PHASES_RANDOM)
        return refuse(-1, "%s[%d].tonePhases = %d: must be 0 to 3", kPartFields, i, p.tonePhases);
    if (!(std::fabs(p.frequencyOffset) <= rate / 2))
        return refuseField(i, "frequencyOffset", p.frequencyOffset, "must be within +-sampleRate / 2");
    if (!(std::fabs(p.levelDb) <= 200)) return refuseField(i, "levelDb", p.levelDb, "must be -200 to 200 dB");
    if (!(p.delay >= 0 && finite(p.delay))) return refuseField(i, "delay", p.delay, "must be finite and at least 0");
    if (!finite(p.phaseDeg)) return refuseField(i, "phaseDeg", p.phaseDeg, "must be finite");
    if (!(p.burstOn >= 0 && finite(p.burstOn)))
        return refuseField(i, "burstOn", p.burstOn, "must be finite and at least 0 (0: always on)");
    if (p.burstOn == 0) return 0;
    if (!(p.burstOff >= 0 && finite(p.burstOff)))
        return refuseField(i, "burstOff", p.burstOff, "must be finite and at least 0");
    if (!(p.burstStart >= 0 && finite(p.burstStart)))
        return refuseField(i, "burstStart", p.burstStart, "must be finite and at least 0");
    if (!(p.burstRamp >= 0 && p.burstRamp * 2 <= p.burstOn))
        return refuseField(i, "burstRamp", p.burstRamp, "must be at least 0 and at most burstOn / 2");
    return 0;
}

// Whole samples of a time, rounded; beyond 2^26 samples refused.
int samplesOf(int i, const char* field, double seconds, double rate, int64_t& out) {
    const double v = std::round(seconds * rate);
    if (!(v <= static_cast<double>(kMaxLoopSamples)))
        return refuseField(i, field, seconds, "spans more than 2^26 samples");
    out = static_cast<int64_t>(v);
    return 0;
}

int burstsOf(int i, const GenSignalScenePart& p, double rate, BurstPattern& b) {
    if (p.burstOn == 0) return 0;
    int64_t off = 0;
    if (int rc = samplesOf(i, "burstOn", p.burstOn, rate, b.on)) return rc;
    if (int rc = samplesOf(i, "burstOff", p.burstOff, rate, off)) return rc;
    if (int rc = samplesOf(i, "burstStart", p.burstStart, rate, b.start)) return rc;
    if (int rc = samplesOf(i, "burstRamp", p.burstRamp, rate, b.ramp)) return rc;
    if (b.on < 1) return refuseField(i, "burstOn", p.burstOn, "is shorter than one sample");
    b.period = b.on + off;
    if (b.period > kMaxLoopSamples) return refuseField(i, "burstOff", p.burstOff, "makes a period above 2^26 samples");
    b.start %= b.period;
    if (2 * b.ramp > b.on) b.ramp = b.on / 2;
    return 0;
}

// A part's refusal, its reason kept and the part named before it.
int partRefused(int i, int recordKind, int rc) {
    char reason[512];
    std::snprintf(reason, sizeof reason, "%s", lastErrorMessage());
    return refuse(rc, "%s[%d] (%s): %s", kPartFields, i, partEntryPoint(recordKind), reason);
}

ChannelContext contextOf(const GenSignalScenePart& p, double rate, bool exact, ChannelNotes* notes) {
    ChannelContext c;
    c.exactLoop = exact;
    c.notes = notes;
    if (p.recordKind == GENSIGNAL_RECORD_DIGITAL) {
        DigitalModParams d;
        std::memcpy(&d, p.record, sizeof d);
        int order = 0, error = 0;
        GenSignalClass::getOrderM(d.modType, &order, &error);
        if (!error && finitePositive(d.symbolRate)) {
            c.samplesPerSymbol = rate / d.symbolRate;
            c.bitsPerSymbol = std::log2(static_cast<double>(order));
        }
    } else if (p.recordKind == GENSIGNAL_RECORD_DSS) {
        DSSParams d;
        std::memcpy(&d, p.record, sizeof d);
        if (finitePositive(d.bitRate)) {
            c.samplesPerSymbol = rate / d.bitRate;
            c.bitsPerSymbol = 1;
            c.spreadSpectrum = true;
        }
    }
    return c;
}

int modulationOf(const GenSignalScenePart& p) {
    if (p.recordKind == GENSIGNAL_RECORD_DIGITAL) {
        DigitalModParams d;
        std::memcpy(&d, p.record, sizeof d);
        return d.modType;
    }
    if (p.recordKind == GENSIGNAL_RECORD_DSS) {
        DSSParams d;
        std::memcpy(&d, p.record, sizeof d);
        return d.modType;
    }
    if (p.recordKind == GENSIGNAL_RECORD_OFDM) {
        OFDMParams d;
        std::memcpy(&d, p.record, sizeof d);
        return d.modType;
    }
    return 0;
}

// The 99 % occupied band of n samples, relative to their centre.
int occupiedBand(const std::complex<float>* x, int64_t n, double rate, SceneSpectrum& s, SceneDft& dft,
                 SceneBand& band) {
    if (int rc = s.take(x, n, rate, dft)) return rc;
    band = s.occupied(99.0);
    return 0;
}

// The scene's length: in the exact mode the least common multiple of the
// parts' loops and burst periods, fitted to the handle's lengths; in the
// defined mode the longest part.
int sceneLength(const std::vector<ScenePart>& parts, bool exact, const HardwareLengths& rule, int64_t& length) {
    int64_t n = 1;
    if (!exact) {
        for (const ScenePart& p : parts) n = std::max<int64_t>(n, p.wave.length);
        if (definedLengthLimit(n, rule) != LengthLimit::none)
            return refuse(-1,
                          "the scene's defined length of %lld samples does not fit the handle's lengths "
                          "(granularity %llu, at least %lld, at most %lld samples)",
                          static_cast<long long>(n), static_cast<unsigned long long>(rule.granularity),
                          static_cast<long long>(rule.minLength), static_cast<long long>(rule.maxSamples));
        length = n;
        return 0;
    }
    for (size_t i = 0; i < parts.size(); ++i)
        for (int64_t m : {static_cast<int64_t>(parts[i].wave.length), parts[i].bursts.period}) {
            if (m < 1) continue;
            n = n / std::gcd(n, m) * m;
            if (n > kMaxLoopSamples)
                return refuse(-1,
                              "the scene's loop is above 2^26 samples: the least common multiple of the parts' "
                              "loops and burst periods reaches %lld at %s[%zu] (%lld samples)",
                              static_cast<long long>(n), kPartFields, i, static_cast<long long>(m));
        }
    if (rule.any()) {
        const auto fit = fewestFittingPeriods(wholeRational(static_cast<uint64_t>(n)), rule, 1);
        if (!fit || loopLimit(*fit, INT64_MAX, rule) != LengthLimit::none)
            return refuse(-1,
                          "the scene's loop of %lld samples fits the handle's lengths only beyond 2^26 samples or "
                          "above GENSIGNAL_OPTION_MAX_SAMPLES (granularity %llu, at least %lld, at most %lld)",
                          static_cast<long long>(n), static_cast<unsigned long long>(rule.granularity),
                          static_cast<long long>(rule.minLength), static_cast<long long>(rule.maxSamples));
        n = fit->samples;
    }
    length = n;
    return 0;
}

// The carrier of a part over the scene; exact: whole cycles or refused,
// naming the nearest offset that closes.
int carrierOf(int i, ScenePart& p, int64_t length, double rate, bool exact, SceneNotes& notes) {
    const double cycles = p.d.frequencyOffset * static_cast<double>(length) / rate;
    const double whole = std::round(cycles);
    const bool closes = std::fabs(cycles - whole) <= 1e-9 * std::max(1.0, std::fabs(cycles));
    p.carrier.phase = p.d.phaseDeg * (kPi / 180.0);
    if (closes) {
        p.carrier.whole = true;
        p.carrier.cycles = static_cast<int64_t>(whole);
        p.offsetHz = whole * rate / static_cast<double>(length);
        return 0;
    }
    const double nearest = whole * rate / static_cast<double>(length) + 0.0;  // never "-0"
    if (exact)
        return refuse(-1,
                      "%s[%d].frequencyOffset = %s: makes %s cycles over the scene's %lld samples, not a whole "
                      "number; the nearest offset that closes is %s Hz",
                      kPartFields, i, numberText(p.d.frequencyOffset).text, numberText(cycles).text,
                      static_cast<long long>(length), numberText(nearest).text);
    notes.add("parts[%d].frequencyOffset makes %s cycles over the scene: the loop breaks at its end (%s Hz closes)", i,
              numberText(cycles).text, numberText(nearest).text);
    p.carrier.whole = false;
    p.carrier.cyclesPerSample = p.d.frequencyOffset / rate;
    p.offsetHz = p.d.frequencyOffset;
    return 0;
}

double gatePower(const BurstPattern& b, int64_t n) {
    if (!b.bursts()) return 1;
    double sum = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double g = burstGain(b, i);
        sum += g * g;
    }
    return sum / static_cast<double>(n);
}

// NaN where there is no ratio to state (a band without power): nothing
// infinite reaches a host.
double dbOf(double ratio) {
    return ratio > 0 && std::isfinite(ratio) ? 10.0 * std::log10(ratio) : std::numeric_limits<double>::quiet_NaN();
}

// The ACPR of the outermost parts: the lowest band's lower and the highest
// band's upper neighbour, a neighbour's spacing away. `withParts`: every
// part's band is summed in the same pass, for the labels to find.
void outerAdjacent(const SceneSpectrum& s, const std::vector<ScenePart>& parts, double rate, bool withParts,
                   double& lower, double& upper) {
    size_t low = 0, high = 0;
    for (size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].band.lower < parts[low].band.lower) low = i;
        if (parts[i].band.upper > parts[high].band.upper) high = i;
    }
    auto spacing = [&](size_t at) {
        const double centre = (parts[at].band.lower + parts[at].band.upper) / 2;
        double best = parts[at].band.upper - parts[at].band.lower;
        bool found = false;
        for (size_t j = 0; j < parts.size(); ++j) {
            if (j == at) continue;
            const double d = std::fabs((parts[j].band.lower + parts[j].band.upper) / 2 - centre);
            if (d > 0 && (!found || d < best)) best = d, found = true;
        }
        return best;
    };
    const double below = spacing(low), above = spacing(high);
    std::vector<SceneBand> bands = {parts[low].band, adjacentBand(parts[low].band, below, -1), parts[high].band,
                                    adjacentBand(parts[high].band, above, +1)};
    bands.erase(std::remove_if(bands.begin(), bands.end(), [&](const SceneBand& b) { return !withinRate(b, rate); }),
                bands.end());
    if (withParts)
        for (const ScenePart& p : parts) bands.push_back(p.band);
    std::vector<double> power(bands.size());
    s.bandPowers(bands.data(), static_cast<int>(bands.size()), power.data());
    lower = adjacentRatioDb(s, parts[low].band, below, -1, rate);
    upper = adjacentRatioDb(s, parts[high].band, above, +1, rate);
}

// `bandPower`: the part's in its band, as delivered.
void addLabels(std::vector<GenSignalSceneLabel>& labels, int i, const ScenePart& p, int64_t length, double bandPower,
               double first, float scale) {
    GenSignalSceneLabel l{};
    l.part = i;
    l.burst = -1;
    l.sampleStart = 0;
    l.sampleCount = length;
    l.freqLowerEdge = p.band.lower;
    l.freqUpperEdge = p.band.upper;
    l.recordKind = p.d.recordKind;
    l.modType = modulationOf(p.d);
    const double power = bandPower / p.dutyPower;
    l.levelDb = dbOf(power / first);
    l.powerDbfs = dbOf(power * scale * scale / (32767.0 * 32767.0));
    labels.push_back(l);
    int number = 0;
    for (const BurstSpan& span : burstSpans(p.bursts, length)) {
        GenSignalSceneLabel b = l;
        b.burst = number++;
        b.sampleStart = span.start;
        b.sampleCount = span.count;
        labels.push_back(b);
    }
}

// One call's scene: what the host asked for and what it has come to so far.
struct SceneRun {
    GenSignalScene s{};
    double rate = 0;
    const HandleOptions* options = nullptr;
    uint64_t noiseSeed = 0;  // the handle's channel seed, for counter noise
    bool exact = false;
    GenSignalChannel channel{};
    std::vector<ScenePart> parts;
    int64_t length = 0;
    SceneNotes notes;
    ChannelNotes checkNotes;  // the checks' notes: the same ones the channels note again
    GenSignalSceneReport report{};
    bool reduce = false;
    // The scene's transform and the spectrum the parts' bands are read from,
    // which the sum's takes over: one plan and one block of memory when the
    // parts span the loop.
    SceneDft dft;
    SceneSpectrum spectrum;
    // The sum's spectrum built from the parts' own when every part spans
    // the loop alone on whole cycles: no transform of the sum.
    bool sumFromParts = false;
    SceneSpectrum sumSpectrum;
};

// The parts copied out of the host's array and checked one by one.
int readParts(SceneRun& run) {
    run.parts.resize(static_cast<size_t>(run.s.partCount));
    for (int i = 0; i < run.s.partCount; ++i) {
        ScenePart& p = run.parts[i];
        std::memcpy(&p.d, reinterpret_cast<const char*>(run.s.parts) + i * sizeof(GenSignalScenePart), sizeof p.d);
        if (int rc = checkPart(i, p.d, run.rate)) return rc;
        if (int rc = burstsOf(i, p.d, run.rate, p.bursts)) return rc;
        if (int rc = samplesOf(i, "delay", p.d.delay, run.rate, p.delay)) return rc;
        if (p.d.channel) {
            std::memcpy(&p.channel, p.d.channel, sizeof p.channel);
            p.hasChannel = true;
        }
    }
    return 0;
}

// Each part's wave made alone, once per distinct record and settings, and
// the gain that sets its level.
int makeParts(SceneRun& run, GenSignalClass& object) {
    const WaveSettings handleSettings = run.options->wave();
    std::vector<WaveSettings> settingsOf(run.parts.size());
    for (int i = 0; i < run.s.partCount; ++i) {
        ScenePart& p = run.parts[i];
        WaveSettings& settings = settingsOf[i];
        settings = {handleSettings.loop, static_cast<TonePhases>(p.d.tonePhases), p.d.phaseSeed, handleSettings.noise,
                    run.noiseSeed};
        // Counter noise: each part its own stream under the handle's seed, so
        // two noise parts are apart and part 0 is the noise kind's own draw.
        if (settings.noise == NoiseSource::channel && p.d.recordKind == GENSIGNAL_RECORD_AWGN)
            settings.noiseStream = static_cast<uint32_t>(i);
        if (p.d.loopMode == GENSIGNAL_SCENE_LOOP_DEFINED) settings.loop = LoopMode::defined;
        if (p.d.loopMode == GENSIGNAL_SCENE_LOOP_EXACT) settings.loop = LoopMode::exact;
        // Carriers of one record are made once.
        for (int j = 0; j < i && p.sameAs < 0; ++j)
            if (run.parts[j].sameAs < 0 && madeAlike(run.parts[j], p, settingsOf[j], settings)) p.sameAs = j;
        if (p.sameAs >= 0) {
            const ScenePart& q = run.parts[p.sameAs];
            p.wave.length = q.wave.length;
            p.wave.made = q.wave.made;
            p.wave.period = q.wave.period;
            p.power = q.power;
        } else {
            const KindCall call{run.rate, p.d.argument, settings};
            if (int rc = makePartWave(object, p.d.recordKind, p.d.record, call, p.wave))
                return partRefused(i, p.d.recordKind, rc);
            p.power = meanPower(p.wave.samples.get(), p.wave.length);
            if (p.wave.nyquist[0]) run.notes.add("parts[%d]: %s", i, p.wave.nyquist);
            if (p.wave.made.seam) run.notes.add("parts[%d] does not loop seamlessly: %s", i, p.wave.made.seam);
        }
        if (!(p.power > 0)) return refuse(-1, "%s[%d]: the part is silent, so its level cannot be set", kPartFields, i);
        p.gain = std::pow(10.0, p.d.levelDb / 20.0) / std::sqrt(p.power);
    }
    if (!std::isfinite(run.parts[0].gain) || !(run.parts[0].gain > 0))
        return refuse(-1, "%s[0]: its level cannot be set", kPartFields);
    return 0;
}

int channelRefused(int rc, const char* where) {
    char reason[512];
    std::snprintf(reason, sizeof reason, "%s", lastErrorMessage());
    return refuse(rc, "%s: %s", where, reason);
}

// Each part on the scene's loop: its carrier, where it breaks the loop, its
// channel checked against the scene's length; then the scene's channel.
int fitParts(SceneRun& run) {
    const int64_t length = run.length;
    for (int i = 0; i < run.s.partCount; ++i) {
        ScenePart& p = run.parts[i];
        if (int rc = carrierOf(i, p, length, run.rate, run.exact, run.notes)) return rc;
        if (length % p.wave.length != 0)
            run.notes.add("parts[%d] (%d samples) is cut at the scene's %lld samples: the loop breaks there", i,
                          p.wave.length, static_cast<long long>(length));
        if (p.bursts.bursts() && length % p.bursts.period != 0)
            run.notes.add("parts[%d]'s bursts (every %lld samples) are cut at the scene's end: the loop breaks there",
                          i, static_cast<long long>(p.bursts.period));
        if (p.hasChannel) {
            ChannelContext c = contextOf(p.d, run.rate, run.exact, &run.checkNotes);
            if (int rc = checkChannel(p.channel, c, length, run.rate)) {
                char where[64];
                std::snprintf(where, sizeof where, "%s[%d].channel", kPartFields, i);
                return channelRefused(rc, where);
            }
        }
    }
    if (run.s.channel) {
        ChannelContext c;
        c.exactLoop = run.exact;
        c.notes = &run.checkNotes;
        if (int rc = checkChannel(run.channel, c, length, run.rate))
            return channelRefused(rc, "GenSignalScene.channel");
    }
    return 0;
}

int checkLabelCount(const SceneRun& run) {
    int64_t labelCount = 0;
    for (int i = 0; i < run.s.partCount; ++i) {
        const BurstPattern& b = run.parts[i].bursts;
        labelCount += 1 + (b.bursts() ? run.length / b.period + 2 : 0);
        if (labelCount > kMaxLabels)
            return refuse(-1,
                          "%s[%d].burstOn = %s, burstOff = %s: the scene's %lld samples would hold more than %lld "
                          "labelled bursts",
                          kPartFields, i, numberText(run.parts[i].d.burstOn).text,
                          numberText(run.parts[i].d.burstOff).text, static_cast<long long>(run.length),
                          static_cast<long long>(kMaxLabels));
    }
    return 0;
}

// Whether the sum's spectrum can be built from the parts' own: each spans
// the loop, always on, without a channel, on whole cycles.
bool spectrumFromParts(const SceneRun& run) {
    for (const ScenePart& p : run.parts)
        if (p.hasChannel || p.bursts.bursts() || !p.carrier.whole || p.wave.length != run.length) return false;
    return true;
}

// Part i's own spectrum, just taken, into the sum's, for it and each part
// made alike; `alongside` runs beside it (or before it, where the sum's
// spectrum cannot be built so).
int addFromParts(SceneRun& run, int i, const std::function<void()>& alongside) {
    if (!SceneSpectrum::sumsFromParts(run.dft)) {
        run.sumFromParts = false;
        alongside();
        return 0;
    }
    if (run.sumSpectrum.size() != run.length)
        if (int rc = run.sumSpectrum.start(run.spectrum)) return rc;
    std::vector<PlacedSpectrum> alike;
    for (int j = i; j < run.s.partCount; ++j) {
        const ScenePart& p = run.parts[j];
        if (j == i || p.sameAs == i)
            alike.push_back({static_cast<float>(p.gain), p.carrier.cycles, p.carrier.phase, p.delay});
    }
    return run.sumSpectrum.add(run.spectrum, alike.data(), static_cast<int>(alike.size()), alongside);
}

// The band of part i as placed in `work`: its own loop says it unless
// bursts or a channel changed it; then moved to its offset.
// `consume`: the wave of an always-on part is no longer needed, and its
// memory becomes the spectrum.
int bandOf(SceneRun& run, int i, const std::complex<float>* work, bool consume = false) {
    ScenePart& p = run.parts[i];
    ScenePart& source = p.sameAs >= 0 ? run.parts[p.sameAs] : p;
    const bool alone = !p.hasChannel && !p.bursts.bursts();
    if (alone && source.bandKnown) {
        p.band = source.ownBand;
    } else if (alone && consume) {
        if (int rc = run.spectrum.takeOver(source.wave.samples, p.wave.length, run.rate, run.dft)) return rc;
        // The band's scan is one serial sum: the sum's spectrum is built
        // from the same bins on the other threads meanwhile.
        auto scan = [&] { p.band = run.spectrum.occupied(99.0); };
        if (!run.sumFromParts) {
            scan();
        } else if (int rc = addFromParts(run, i, scan)) {
            return rc;
        }
    } else if (occupiedBand(alone ? source.wave.samples.get() : work, alone ? p.wave.length : run.length, run.rate,
                            run.spectrum, run.dft, p.band)) {
        return -3;
    }
    if (alone && !source.bandKnown) {
        source.ownBand = p.band;
        source.bandKnown = true;
    }
    p.band.lower += p.offsetHz;
    p.band.upper += p.offsetHz;
    if (p.band.lower < -run.rate / 2 || p.band.upper > run.rate / 2)
        run.notes.add(
            "parts[%d]'s band, %s to %s Hz at its offset, reaches beyond half the sample rate: it "
            "wraps to the other edge, where the reduction leaves it",
            i, numberText(p.band.lower).text, numberText(p.band.upper).text);
    return 0;
}

bool allAlone(const SceneRun& run) {
    for (const ScenePart& p : run.parts)
        if (p.hasChannel || p.bursts.bursts()) return false;
    return true;
}

int placeAll(const PlacedPart* parts, int count, int64_t length, std::complex<double>* sum) {
    addPlaced(parts, count, length, sum);
    return 0;
}
int placeAll(const PlacedPart* parts, int count, int64_t length, std::complex<float>* sum) {
    return sumPlaced(parts, count, length, sum);
}

// Parts all always on: summed in one pass (into a zeroed double sum, or
// straight to floats), then each record's wave transformed where it lies
// for its band.
template <class Sample>
int sumAlone(SceneRun& run, Sample* sum) {
    run.sumFromParts = spectrumFromParts(run);
    std::vector<PlacedPart> alone;
    for (const ScenePart& p : run.parts) {
        const ScenePart& source = p.sameAs >= 0 ? run.parts[p.sameAs] : p;
        alone.push_back({source.wave.samples.get(), p.wave.length, p.delay, static_cast<float>(p.gain), p.carrier});
    }
    if (int rc = placeAll(alone.data(), static_cast<int>(alone.size()), run.length, sum)) return rc;
    for (int i = 0; i < run.s.partCount; ++i) {
        run.parts[i].dutyPower = 1;
        if (int rc = bandOf(run, i, nullptr, true)) return rc;
    }
    return 0;
}

// The sum, part by part: placed, through its channel, its band read, turned
// to its offset and added.
int sumParts(SceneRun& run, std::complex<double>* sum) {
    if (allAlone(run)) return sumAlone(run, sum);
    const int64_t length = run.length;
    const size_t n = static_cast<size_t>(length);
    Buffer<std::complex<float>> work(n);
    if (!work) return outOfMemory<std::complex<float>>(-3, n, "scene part");
    preferHugePages(work.get(), Buffer<std::complex<float>>::bytesFor(n));
    run.sumFromParts = false;  // some part's spectrum is not its own wave's
    // Always-on parts go in together, in their order among the others.
    std::vector<PlacedPart> alone;
    alone.reserve(run.parts.size());
    auto addAlone = [&] {
        if (!alone.empty()) addPlaced(alone.data(), static_cast<int>(alone.size()), length, sum);
        alone.clear();
    };
    for (int i = 0; i < run.s.partCount; ++i) {
        ScenePart& p = run.parts[i];
        const ScenePart& source = p.sameAs >= 0 ? run.parts[p.sameAs] : p;
        if (!p.hasChannel && !p.bursts.bursts()) {
            if (int rc = bandOf(run, i, nullptr)) return rc;
            p.dutyPower = 1;
            alone.push_back({source.wave.samples.get(), p.wave.length, p.delay, static_cast<float>(p.gain), p.carrier});
            continue;
        }
        addAlone();
        placePart(source.wave.samples.get(), p.wave.length, length, p.delay, static_cast<float>(p.gain), p.bursts,
                  work.get());
        if (p.hasChannel) {
            GenSignalChannelRealised realised;
            ChannelNotes applied;
            ChannelContext c = contextOf(p.d, run.rate, run.exact, &applied);
            if (int rc = applyChannel(p.channel, c, work.get(), length, run.rate, realised)) return rc;
            char where[48];
            std::snprintf(where, sizeof where, "parts[%d].channel", i);
            run.notes.addChannel(where, applied);
        }
        if (int rc = bandOf(run, i, work.get())) return rc;
        p.dutyPower = gatePower(p.bursts, length);
        addRotated(work.get(), length, p.carrier, sum);
    }
    addAlone();
    return 0;
}

// The PAPR at the probability, NaN when it does not apply: a sum silent for
// all but fewer samples than the probability asks for has no power there,
// and its -inf dB is no figure.
double reportedPaprDb(const PaprFigures& papr) {
    return std::isinf(papr.atProbabilityDb) ? std::numeric_limits<double>::quiet_NaN() : papr.atProbabilityDb;
}

// The report's figures after a reduction, from the spectrum after it.
int reportAfter(SceneRun& run, const std::complex<double>* sum, const SceneSpectrum& after, double probability) {
    double lower = 0, upper = 0;  // the report is packed: no references into it
    outerAdjacent(after, run.parts, run.rate, !run.s.channel, lower, upper);
    run.report.acprLowerAfterDb = lower;
    run.report.acprUpperAfterDb = upper;
    PaprFigures papr;
    if (int rc = rankPapr(sum, run.length, probability, papr)) return rc;
    run.report.paprAfterDb = reportedPaprDb(papr);
    run.report.peakAfterDb = papr.peakDb;
    return 0;
}

// The peaks windowed down in the samples, then the spectrum after them.
int windowPeaks(SceneRun& run, std::complex<double>* sum, SceneSpectrum& after, SceneDft& dft) {
    PeakWindowRequest request;
    request.targetPaprDb = run.s.cfrTargetPaprDb;
    request.probability = run.s.cfrProbability == 0 ? kDefaultProbability : run.s.cfrProbability;
    request.iterations = run.s.cfrIterations == 0 ? kDefaultIterations : run.s.cfrIterations;
    request.halfWidth = run.s.cfrWindow == 0 ? kDefaultHalfWidth : std::lround((run.s.cfrWindow * run.rate - 1) / 2);
    PeakWindowResult result;
    if (int rc = peakWindow(sum, run.length, request, result)) return rc;
    run.report.iterations = result.iterations;
    if (int rc = after.take(sum, run.length, run.rate, dft)) return rc;
    return reportAfter(run, sum, after, request.probability);
}

// The report's figures of the sum as made; the same after when nothing
// reduces it.
template <class Sample>
int reportBefore(SceneRun& run, const Sample* sum, SceneSpectrum& before, SceneDft& dft) {
    const int64_t length = run.length;
    GenSignalSceneReport& report = run.report;
    const double probability = run.s.cfrProbability == 0 ? kDefaultProbability : run.s.cfrProbability;
    PaprFigures papr;
    if (int rc = rankPapr(sum, length, probability, papr)) return rc;
    report.paprBeforeDb = reportedPaprDb(papr);
    report.peakBeforeDb = papr.peakDb;
    if (!run.sumFromParts)
        if (int rc = before.take(sum, length, run.rate, dft)) return rc;
    double lower = 0, upper = 0;  // the report is packed: no references into it
    outerAdjacent(before, run.parts, run.rate, !run.reduce && !run.s.channel, lower, upper);
    report.acprLowerBeforeDb = report.acprLowerAfterDb = lower;
    report.acprUpperBeforeDb = report.acprUpperAfterDb = upper;
    report.paprAfterDb = report.paprBeforeDb;
    report.peakAfterDb = report.peakBeforeDb;
    return 0;
}

// The crest factor brought down on the sum's DFT, only inside the parts'
// bands; the report's figures before and after.
int reduceCrest(SceneRun& run, std::complex<double>* sum, SceneSpectrum& before, SceneSpectrum& after, SceneDft& dft) {
    const int64_t length = run.length;
    GenSignalSceneReport& report = run.report;
    const double probability = run.s.cfrProbability == 0 ? kDefaultProbability : run.s.cfrProbability;
    if (int rc = reportBefore(run, sum, before, dft)) return rc;
    if (!run.reduce) return 0;
    if (run.s.cfrMethod == GENSIGNAL_CFR_PEAK_WINDOW) return windowPeaks(run, sum, after, dft);
    const size_t n = static_cast<size_t>(length);
    Buffer<unsigned char> keep(n, true);
    if (!keep) return outOfMemory<unsigned char>(-3, n, "reduction's bins");
    for (const ScenePart& p : run.parts) before.markSlots(p.band, keep.get());
    ClipFilterRequest request;
    request.targetPaprDb = run.s.cfrTargetPaprDb;
    request.probability = probability;
    request.iterations = run.s.cfrIterations == 0 ? kDefaultIterations : run.s.cfrIterations;
    ClipFilterResult result;
    // The spectrum after, kept by the reduction itself: no transform of the result.
    if (int rc = after.copy(before)) return rc;
    if (int rc = clipAndFilter(sum, length, keep.get(), request, result, after.slots())) return rc;
    report.iterations = result.iterations;
    return reportAfter(run, sum, after, probability);
}

// The labels of every part and burst, read off the final spectrum, with the
// reduction's cost in each part's band.
std::vector<GenSignalSceneLabel> sceneLabels(const SceneRun& run, const SceneSpectrum& final,
                                             const SceneSpectrum& before, const SceneSpectrum& after, float scale) {
    std::vector<GenSignalSceneLabel> labels;
    std::vector<SceneBand> bands;
    for (const ScenePart& p : run.parts) bands.push_back(p.band);
    std::vector<double> power(bands.size());
    final.bandPowers(bands.data(), static_cast<int>(bands.size()), power.data());
    const double first = power[0] / run.parts[0].dutyPower;
    // Each part's cost summed in its own order on one thread: the same bits
    // however the parts are shared out.
    const int parts = run.s.partCount;
    std::vector<double> cost(static_cast<size_t>(parts));
    if (run.reduce) {
#pragma omp parallel for schedule(dynamic, 1) num_threads(availableTeam())
        for (int i = 0; i < parts; ++i) cost[static_cast<size_t>(i)] = evmCostPercent(before, after, bands[i]);
    }
    for (int i = 0; i < parts; ++i) {
        const size_t from = labels.size();
        addLabels(labels, i, run.parts[i], run.length, power[static_cast<size_t>(i)], first, scale);
        for (size_t j = from; j < labels.size(); ++j) labels[j].evmCostPercent = cost[static_cast<size_t>(i)];
    }
    return labels;
}

// The sum as floats in its own block, front to back: each sample lands on
// bytes already read.
Buffer<std::complex<float>> toFloatInPlace(Buffer<std::complex<double>> sum) {
    const size_t n = sum.size();
    unsigned char* bytes = reinterpret_cast<unsigned char*>(sum.get());
    for (size_t i = 0; i < n; ++i) {
        double v[2];
        std::memcpy(v, bytes + i * sizeof v, sizeof v);
        const float f[2] = {static_cast<float>(v[0]), static_cast<float>(v[1])};
        std::memcpy(bytes + i * sizeof f, f, sizeof f);
    }
    return std::move(sum).reuseAs<std::complex<float>>(n);
}

// The sum's largest squared magnitude, its blocks on the free cores: a
// maximum, the same in any order; NaN when a sample is not finite.
double sumPeakSquared(const std::complex<float>* x, size_t n) {
    constexpr size_t kBlock = size_t(1) << 16;
    const int64_t blocks = static_cast<int64_t>((n + kBlock - 1) / kBlock);
    float peak = 0;
    bool finite = true;
#pragma omp parallel for schedule(static) reduction(max : peak) reduction(&& : finite) \
    num_threads(availableTeam()) if (blocks > 1)
    for (int64_t b = 0; b < blocks; ++b) {
        const size_t first = static_cast<size_t>(b) * kBlock;
        const float p =
            conversion::complexPeakSquared(reinterpret_cast<const float*>(x + first), std::min(kBlock, n - first));
        if (std::isnan(p))
            finite = false;
        else
            peak = std::max(peak, p);
    }
    return finite ? static_cast<double>(peak) : std::numeric_limits<double>::quiet_NaN();
}

// The sum made, reduced, through the scene's channel, labelled and
// delivered in the handle's buffer.
int deliverScene(SceneRun& run, HandleEntry& entry, int16_t** iq, int* count) {
    const int64_t length = run.length;
    const size_t n = static_cast<size_t>(length);
    run.report.samples = length;
    run.report.parts = run.s.partCount;
    SceneSpectrum before, after, delivered;
    // The parts' own spectrum, when the sum's was built from it, is memory
    // for the spectrum after the reduction.
    auto spectraOfTheSum = [&] {
        before = std::move(run.sumFromParts ? run.sumSpectrum : run.spectrum);
        if (run.sumFromParts) after = std::move(run.spectrum);
    };
    SceneDft& dft = run.dft;
    Buffer<std::complex<float>> out;
    if (!run.reduce && allAlone(run)) {
        // Nothing changes the sum once made: straight to floats.
        out = Buffer<std::complex<float>>(n);
        if (!out) return outOfMemory<std::complex<float>>(-3, n, "scene sum");
        preferHugePages(out.get(), Buffer<std::complex<float>>::bytesFor(n));
        if (int rc = sumAlone(run, out.get())) return rc;
        spectraOfTheSum();
        if (int rc = reportBefore(run, out.get(), before, dft)) return rc;
    } else {
        Buffer<std::complex<double>> sum(n, true);
        if (!sum) return outOfMemory<std::complex<double>>(-3, n, "scene sum");
        preferHugePages(sum.get(), Buffer<std::complex<double>>::bytesFor(n));
        if (int rc = sumParts(run, sum.get())) return rc;
        spectraOfTheSum();
        if (int rc = reduceCrest(run, sum.get(), before, after, dft)) return rc;
        out = toFloatInPlace(std::move(sum));
    }
    const SceneSpectrum* final = run.reduce ? &after : &before;
    if (run.s.channel) {
        GenSignalChannelRealised realised;
        ChannelNotes applied;
        ChannelContext c;
        c.exactLoop = run.exact;
        c.notes = &applied;
        if (int rc = applyChannel(run.channel, c, out.get(), length, run.rate, realised)) return rc;
        run.notes.addChannel("channel", applied);
        if (int rc = delivered.take(out.get(), length, run.rate, dft)) return rc;
        final = &delivered;
    }
    const double fullScale = run.options->fullScale();
    const double peak = std::sqrt(sumPeakSquared(out.get(), n));
    const float scale = peak > 0 ? static_cast<float>(fullScale / peak) : 0.0f;
    std::vector<GenSignalSceneLabel> labels = sceneLabels(run, *final, before, after, scale);
    run.report.labels = static_cast<int32_t>(labels.size());

    if (int rc = deliverSamples(&entry.object, out.release(), static_cast<int>(length), iq, count, fullScale))
        return rc;
    entry.scene.labels = std::move(labels);
    entry.scene.report = run.report;
    // The handle's channel took no part: its figures are no longer the last call's.
    entry.state.channel.realisedValid = false;
    LastCall& last = entry.state.last;
    last.snap = GenSignalSnap{};
    last.loop = GenSignalLoopInfo{static_cast<int32_t>(length), 1, static_cast<double>(length),
                                  static_cast<double>(length) / run.rate, run.notes.text().empty() ? 1 : 0};
    last.setNote("%s", run.notes.text().c_str());
    return 0;
}

int makeScene(int handleId, const GenSignalScene* scene, int16_t** iq, int* count) {
    if (!scene) return refuse(-1, "GenerateSceneWaveform: scene is a null pointer");
    if (!iq) return refuse(-1, "GenerateSceneWaveform: iq is a null pointer");
    if (!count) return refuse(-1, "GenerateSceneWaveform: count is a null pointer");
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    SceneRun run;
    std::memcpy(&run.s, scene, sizeof run.s);
    if (int rc = checkScene(run.s)) return rc;
    run.rate = run.s.sampleRate;
    run.options = &entry->state.options;
    run.noiseSeed = entry->state.channel.seed();
    run.exact = run.options->wave().loop == LoopMode::exact;
    run.reduce = run.s.cfrMethod != GENSIGNAL_CFR_OFF;
    if (run.s.channel) std::memcpy(&run.channel, run.s.channel, sizeof run.channel);

    if (int rc = readParts(run)) return rc;
    if (int rc = makeParts(run, entry->object)) return rc;
    if (int rc = sceneLength(run.parts, run.exact, run.options->lengths(run.rate), run.length)) return rc;
    if (run.length >= (int64_t(1) << 30))
        return refuse(-1, "the scene of %lld samples: must be below 2^30", static_cast<long long>(run.length));
    if (int rc = fitParts(run)) return rc;
    if (int rc = checkLabelCount(run)) return rc;
    return deliverScene(run, *entry, iq, count);
}

}  // namespace

extern "C" {

GENSIGNAL_API int GenerateSceneWaveform(int handleId, const GenSignalScene* scene, int16_t** iq, int* count) {
    clearLastError();
    try {
        return makeScene(handleId, scene, iq, count);
    } catch (const std::bad_alloc&) {
        return refuse(-3, "GenerateSceneWaveform: out of memory for the scene's parts or labels");
    }
}

GENSIGNAL_API int GenSignalGetSceneLabels(int handleId, GenSignalSceneLabel* labels, int capacity) {
    clearLastError();
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    if (capacity < 0) return refuse(-1, "GenSignalGetSceneLabels: capacity = %d: must be at least 0", capacity);
    if (capacity > 0 && !labels) return refuse(-1, "GenSignalGetSceneLabels: labels is a null pointer");
    const std::vector<GenSignalSceneLabel>& all = entry->scene.labels;
    const size_t copied = std::min(all.size(), static_cast<size_t>(capacity));
    if (copied) std::memcpy(labels, all.data(), copied * sizeof(GenSignalSceneLabel));
    return static_cast<int>(all.size());
}

GENSIGNAL_API int GenSignalGetSceneReport(int handleId, GenSignalSceneReport* report) {
    clearLastError();
    HandleEntry* entry = lookUpHandle(handleId);
    if (!entry) return refuseHandle(handleId);
    if (!report) return refuse(-1, "GenSignalGetSceneReport: report is a null pointer");
    *report = entry->scene.report;
    return 0;
}

}  // extern "C"
