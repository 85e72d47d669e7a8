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
                const char* nyquist, const GenSignalSnap& snap) {
    last.loop = loopInfo(period, made.periods, samples, sampleRate, made.seam == nullptr);
    last.snap = snap;
    char seam[256] = "", snapped[256] = "";
    if (made.seam) std::snprintf(seam, sizeof seam, "the buffer does not loop seamlessly: %s", made.seam);
    if (snap.field[0])
        std::snprintf(snapped, sizeof snapped, "snapped %s from %s to %s so that the loop closes", snap.field,
                      numberText(snap.requested).text, numberText(snap.used).text);
    const char* parts[] = {nyquist, seam, snapped};
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

template <class Sample>
int fitLengths(GeneratedWave<Sample>& wave, MadeLoop& made, const LengthRule& rule, bool exact) {
    const int64_t n = wave.length;
    if (!rule.any() || rule.takes(n)) return 0;
    const long long g = rule.granularity, least = rule.minSamples, most = rule.maxSamples;
    if (!exact)
        return refuse(-1,
                      "the defined length of %lld samples does not fit GENSIGNAL_OPTION_GRANULARITY = %lld, "
                      "GENSIGNAL_OPTION_MIN_LENGTH (and the minimum loop duration) = %lld samples and "
                      "GENSIGNAL_OPTION_MAX_SAMPLES = %lld; the exact loop mode makes whole loops that do",
                      static_cast<long long>(n), g, least, most);
    const int64_t copies = copiesTaken({made.periods, n}, rule);
    if (copies == 0)
        return refuse(-1,
                      "the loop of %lld samples (%lld periods) has no whole number of copies that is a multiple of "
                      "GENSIGNAL_OPTION_GRANULARITY = %lld, at least %lld samples and within %lld samples",
                      static_cast<long long>(n), static_cast<long long>(made.periods), g, least,
                      static_cast<long long>(most > 0 && most < kMaxLoopSamples ? most : kMaxLoopSamples));
    if (int rc = expandRuns(wave, -3, "loop samples")) return rc;
    const size_t total = static_cast<size_t>(n * copies);
    Buffer<Sample> out(total);
    if (!out) return outOfMemory<Sample>(-3, total, "loop's copies");
    for (int64_t c = 0; c < copies; ++c)
        std::memcpy(static_cast<void*>(out.get() + c * n), wave.samples.get(), sizeof(Sample) * static_cast<size_t>(n));
    wave.samples = std::move(out);
    wave.length = static_cast<int>(total);
    made.periods *= copies;
    return 0;
}

template int fitLengths(GeneratedWave<double>&, MadeLoop&, const LengthRule&, bool);
template int fitLengths(GeneratedWave<float>&, MadeLoop&, const LengthRule&, bool);
template int fitLengths(GeneratedWave<std::complex<float>>&, MadeLoop&, const LengthRule&, bool);

}  // namespace frame
