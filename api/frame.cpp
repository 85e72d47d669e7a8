#include "frame.h"

#include <complex>
#include <cstdio>

namespace frame {

int refuseNulls(const char* entryPoint, const void* params, int16_t** iq, int* count) {
    const char* which = !params ? "params" : !iq ? "iq" : !count ? "count" : nullptr;
    return which ? refuse(-1, "%s: %s is a null pointer", entryPoint, which) : 0;
}

int generatorRefused(const char* entryPoint, int rc) {
    if (lastErrorLength() == 0)
        refuse(rc, "%s: %s", entryPoint,
               rc == -3 ? "out of memory for the working arrays" : "the parameters were refused");
    return rc;
}

void recordCall(LastCall& last, const NaturalPeriod& period, const MadeLoop& made, int samples, double sampleRate,
                const char* nyquist, const GenSignalSnap& snap, const char* channelNote) {
    last.loop = loopInfo(period, made.periods, samples, sampleRate, made.seam == nullptr);
    last.snap = snap;
    char seam[256] = "", snapped[256] = "";
    if (made.seam) std::snprintf(seam, sizeof seam, "the buffer does not loop seamlessly: %s", made.seam);
    if (snap.field[0])
        std::snprintf(snapped, sizeof snapped, "snapped %s from %s to %s so that the loop closes", snap.field,
                      numberText(snap.requested).text, numberText(snap.used).text);
    const char* parts[] = {nyquist, seam, snapped, channelNote};
    char note[kNoteCapacity] = "";
    for (const char* part : parts)
        if (part[0]) {
            const size_t used = std::strlen(note);
            std::snprintf(note + used, sizeof note - used, "%s%s", used ? "; " : "", part);
        }
    last.setNote("%s", note);
}

bool takeSuggestion(void* record, int& extra, GenSignalSnap& snap) {
    const ClosingSuggestion& s = closingSuggestion();
    if (!s.valid) return false;
    if (s.extra)
        extra = static_cast<int>(s.value);
    else
        std::memcpy(static_cast<char*>(record) + s.offset, &s.value, sizeof s.value);
    std::snprintf(snap.field, sizeof snap.field, "%s", s.field);
    snap.requested = s.requested;
    snap.used = s.value;
    return true;
}

namespace {

const char* limitWords(LengthLimit limit) {
    switch (limit) {
        case LengthLimit::granularity: return "is not a multiple of GENSIGNAL_OPTION_GRANULARITY";
        case LengthLimit::minLength:
            return "is below GENSIGNAL_OPTION_MIN_LENGTH (or the samples of GENSIGNAL_OPTION_MIN_LOOP_DURATION)";
        case LengthLimit::maxSamples: return "is above GENSIGNAL_OPTION_MAX_SAMPLES";
        default: return "is beyond the loop's cap of 2^26 samples";
    }
}

}  // namespace

template <class Sample>
int fitLengths(GeneratedWave<Sample>& wave, MadeLoop& made, const HardwareLengths& rule, bool exact) {
    const int64_t n = wave.length;
    if (!rule.any()) return 0;
    const unsigned long long g = rule.granularity;
    const long long least = rule.minLength, most = rule.maxSamples;
    if (!exact) {
        const LengthLimit limit = definedLengthLimit(n, rule);
        if (limit == LengthLimit::none) return 0;
        return refuse(-1,
                      "the defined length of %lld samples %s (granularity %llu, at least %lld, at most %lld "
                      "samples); the exact loop mode makes whole loops that fit",
                      static_cast<long long>(n), limitWords(limit), g, least, most);
    }
    // The loop's copies are its whole loops: the fewest that fits.
    const auto perPeriod =
        divide(wholeRational(static_cast<uint64_t>(n)), wholeRational(static_cast<uint64_t>(made.periods)));
    const auto fit =
        perPeriod ? fewestFittingPeriods(*perPeriod, rule, static_cast<uint64_t>(made.periods)) : std::nullopt;
    const LengthLimit limit = fit ? loopLimit(*fit, INT64_MAX, rule) : LengthLimit::samples;
    if (limit != LengthLimit::none)
        return refuse(-1,
                      "the loop of %lld samples (%lld periods) fits only as %lld samples, which %s (granularity "
                      "%llu, at least %lld, at most %lld samples)",
                      static_cast<long long>(n), static_cast<long long>(made.periods),
                      static_cast<long long>(fit ? fit->samples : 0), limitWords(limit), g, least, most);
    const int64_t copies = fit->samples / n;
    if (copies == 1) return 0;
    if (int rc = expandRuns(wave, -3, "loop samples")) return rc;
    const size_t total = static_cast<size_t>(fit->samples);
    Buffer<Sample> out(total);
    if (!out) return outOfMemory<Sample>(-3, total, "loop's copies");
    for (int64_t c = 0; c < copies; ++c)
        std::memcpy(static_cast<void*>(out.get() + c * n), wave.samples.get(), sizeof(Sample) * static_cast<size_t>(n));
    wave.samples = std::move(out);
    wave.length = static_cast<int>(total);
    made.periods = fit->periods;
    return 0;
}

template int fitLengths(GeneratedWave<double>&, MadeLoop&, const HardwareLengths&, bool);
template int fitLengths(GeneratedWave<float>&, MadeLoop&, const HardwareLengths&, bool);
template int fitLengths(GeneratedWave<std::complex<float>>&, MadeLoop&, const HardwareLengths&, bool);

}  // namespace frame
