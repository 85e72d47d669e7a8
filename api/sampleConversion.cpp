// Peak, scale and rounding into the I/Q buffer, in one parallel region:
// the threads claim blocks for their peaks, each combines the blocks'
// peaks into the scale, then they claim blocks to convert. The peak is a
// maximum, so the blocks cannot change it, and every value is converted on
// its own, so the result never depends on the thread count.
#include "sampleConversion.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "buffer.h"
#include "conversionKernels.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "rangeChecks.h"
#include "shareClaims.h"
#include "sharedCores.h"

namespace {

// Below this many samples a second thread costs more than it saves.
constexpr int kParallelMin = 1 << 15;
constexpr int kMaxTeam = 64;
// Samples converted at a time when converting in place (see convertChunk).
constexpr size_t kStage = 2048;
// Runs a waveform may come as: the frame converts their values on the stack.
constexpr size_t kMaxRuns = 16;

// Per sample type: the peak of a chunk in a form whose maximum over chunks
// is the maximum over all samples (NaN when a sample is not finite), the
// peak P from that, and the conversion of a chunk.
double chunkPeak(const std::complex<float>* x, size_t n) {
    return conversion::complexPeakSquared(reinterpret_cast<const float*>(x), n);
}
double chunkPeak(const float* x, size_t n) { return conversion::realPeak(x, n); }
double chunkPeak(const double* x, size_t n) { return conversion::realPeak(x, n); }

// The squared magnitude was widened to double before the square root.
double peakFrom(double combined, const std::complex<float>*) { return std::sqrt(combined); }
double peakFrom(double combined, const float*) { return combined; }
double peakFrom(double combined, const double*) { return combined; }

void convertTo(const std::complex<float>* x, size_t n, float g, int16_t* out) {
    conversion::scaleRound(reinterpret_cast<const float*>(x), 2 * n, g, out);
}
void convertTo(const float* x, size_t n, float g, int16_t* out) { conversion::scaleRoundReal(x, n, g, out); }
void convertTo(const double* x, size_t n, float g, int16_t* out) {
    conversion::scaleRoundReal(x, n, static_cast<double>(g), out);
}

// Whether the peak fixes the scale to within rounding. A complex peak whose
// square, formed in float, falls below the smallest normal float has lost
// its precision (or all of it, to 0), and would scale samples past 32766 or
// to zeros; a peak below 32766 / FLT_MAX leaves no finite scale, and one
// above 32766 / FLT_MIN a subnormal one (imprecise, or 0).
bool scaleIsNormal(float scale) { return scale >= FLT_MIN && scale <= FLT_MAX; }
bool peakScales(double combined, float scale, const std::complex<float>*) {
    return combined >= FLT_MIN && scaleIsNormal(scale);
}
bool peakScales(double, float scale, const float*) { return scaleIsNormal(scale); }
bool peakScales(double, float scale, const double*) { return scaleIsNormal(scale); }

bool isZero(std::complex<float> v) { return v.real() == 0 && v.imag() == 0; }
bool isZero(float v) { return v == 0; }
bool isZero(double v) { return v == 0; }

// Converts x[0, n) to `out`. In place (out aliasing x), each stage is read
// completely before its values are written, and the values land at or
// before the bytes they came from, so nothing is overwritten unread.
template <class Sample>
void convertChunk(const Sample* x, size_t n, float g, int16_t* out, bool inPlace) {
    if (!inPlace) {
        convertTo(x, n, g, out);
        return;
    }
    int16_t stage[2 * kStage];
    for (size_t i = 0; i < n; i += kStage) {
        const size_t m = std::min(kStage, n - i);
        convertTo(x + i, m, g, stage);
        std::memcpy(reinterpret_cast<unsigned char*>(out) + 4 * i, stage, 4 * m);
    }
}

// The samples go in blocks that whichever thread is free claims, so that
// a thread the system has descheduled holds up at most its own block.
// Blocks are even in length (see convertBlock) and at most kMaxBlocks.
constexpr size_t kMinBlock = 1 << 13;
constexpr size_t kMaxBlocks = 512;

struct Blocks {
    explicit Blocks(size_t n) : n(n) {
        const size_t least = (n + kMaxBlocks - 1) / kMaxBlocks;
        size = std::max(kMinBlock, least + (least & 1));
        count = (n + size - 1) / size;
    }
    size_t first(size_t b) const { return b * size; }
    size_t length(size_t b) const { return std::min(n, (b + 1) * size) - b * size; }
    size_t n, size, count;
};

// Flags that one thread raises and others read across the team.
void raise(int* flag) { __atomic_store_n(flag, 1, __ATOMIC_RELEASE); }
bool raised(const int* flag) { return __atomic_load_n(flag, __ATOMIC_ACQUIRE) != 0; }

void waitFor(const int* flag) {
    for (int spins = 0; !raised(flag); ++spins)
        if (spins > 64) std::this_thread::yield();
}

// The peak over all blocks: each block's own where its reader is done, else
// read here (reading only). In place, the conversion overwrites the
// samples, so every block's own reader must be done with them first.
template <class Sample>
double combinedPeak(const Sample* x, const Blocks& blocks, const double* blockPeak, const int* peakDone, bool inPlace,
                    bool& allFinite) {
    double combined = 0.0;
    for (size_t b = 0; b < blocks.count; ++b) {
        if (inPlace) waitFor(&peakDone[b]);
        const double p = raised(&peakDone[b]) ? blockPeak[b] : chunkPeak(x + blocks.first(b), blocks.length(b));
        if (std::isnan(p)) allFinite = false;
        combined = std::max(combined, p);
    }
    return combined;
}

// Replaces the object's I/Q buffer; the old one is released as this returns.
void replaceIqBuffer(GenSignalClass* obj, Buffer<int16_t> fresh) {
    Buffer<int16_t> old = Buffer<int16_t>::adopt(obj->iqBuffer, static_cast<size_t>(obj->iqCapacity));
    obj->iqCapacity = static_cast<int>(fresh.size());
    obj->iqBuffer = fresh.release();
}

// Why a waveform cannot be scaled: 0 when it can (its peak fixes the scale,
// or every sample is zero), else -1 with the reason.
template <class Sample>
int refuseScale(bool finite, bool scaled, double peak, const Sample* values, size_t count) {
    if (!finite) return refuse(-1, "the waveform holds a sample that is not finite");
    if (scaled || std::all_of(values, values + count, [](Sample v) { return isZero(v); })) return 0;
    return refuse(-1, "the waveform's peak magnitude %s is too %s to scale into 16 bits", numberText(peak).text,
                  peak < 1 ? "small" : "large");
}

template <class Sample>
int deliverArray(GenSignalClass* obj, Buffer<Sample> samples, int n, int16_t** iq, int* count, double fullScale) {
    const int values = 2 * n;
    // A buffer that must grow is not allocated beside the samples: they are
    // converted in place (4 bytes per sample never exceed their own size)
    // and their array becomes the buffer, so a call never holds both.
    const bool inPlace = values > obj->iqCapacity;
    if (!inPlace && !obj->iqBuffer)  // n = 0 on an object that never had a buffer
        return refuse(-1, "the waveform is empty and the handle holds no earlier buffer to hand out");
    Sample* const x = samples.get();
    int16_t* const dest = inPlace ? reinterpret_cast<int16_t*>(x) : obj->iqBuffer;

    const int team = n >= kParallelMin ? std::min(availableTeam(), kMaxTeam) : 1;
    const Blocks blocks(static_cast<size_t>(n > 0 ? n : 0));
    double blockPeak[kMaxBlocks];
    int peakDone[kMaxBlocks] = {}, converted[kMaxBlocks] = {};
    // In place with 8-byte samples, block b >= 1 lands on the bytes of
    // block b / 2, so it waits until that one is converted; block 0 lands
    // on its own first half, a stage at a time. Those blocks go in order.
    const bool halves = inPlace && sizeof(Sample) == 8;
    const int64_t blockCount = static_cast<int64_t>(blocks.count);
    ShareClaims peakClaims(blockCount, team), conversionClaims(blockCount, halves ? 1 : team);
    bool finite = true;
    bool scaled = false;
    double peakSeen = 0.0;
    // No barrier: a thread that finds every block's peak claimed works out
    // those still unfinished itself (reading only), so all threads agree on
    // the scale without waiting for one another - except in place, where
    // the samples must all be read before any is overwritten.
#pragma omp parallel num_threads(team) if (team > 1)
    {
        const int t = omp_get_thread_num();
        for (int64_t claimed; (claimed = peakClaims.next(t)) >= 0;) {
            const size_t b = static_cast<size_t>(claimed);
            blockPeak[b] = chunkPeak(x + blocks.first(b), blocks.length(b));
            raise(&peakDone[b]);
        }
        bool allFinite = true;
        const double combined = combinedPeak(x, blocks, blockPeak, peakDone, inPlace, allFinite);
        const double peak = n < 1 ? 0.0 : peakFrom(combined, x);
        const float scale = static_cast<float>(fullScale / peak);
        // An all-zero waveform has an infinite scale, and 0 * inf is NaN: its
        // zeros are written below. A peak too small to fix the scale is
        // refused below unless every sample is zero.
        const bool convert = allFinite && peakScales(combined, scale, x);
        if (convert) {
            for (int64_t claimed; (claimed = conversionClaims.next(t)) >= 0;) {
                const size_t b = static_cast<size_t>(claimed), first = blocks.first(b);
                if (halves && b > 0) waitFor(&converted[b / 2]);
                convertChunk(x + first, blocks.length(b), scale, dest + 2 * first, inPlace && (b == 0 || !halves));
                raise(&converted[b]);
            }
        }
        if (t == 0) {
            finite = allFinite;
            scaled = convert;
            peakSeen = peak;
        }
    }
    if (int rc = refuseScale(finite, scaled, peakSeen, x, static_cast<size_t>(n))) return rc;
    if (!scaled) std::memset(dest, 0, sizeof(int16_t) * static_cast<size_t>(values));
    *count = values;
    if (inPlace) replaceIqBuffer(obj, std::move(samples).template reuseAs<int16_t>(static_cast<size_t>(values)));
    *iq = obj->iqBuffer;
    return 0;
}

// Runs of equal samples: each run's value is converted once, as the array
// conversion would convert it, then written along the run.
template <class Sample>
int deliverRuns(GenSignalClass* obj, const Buffer<SampleRun<Sample>>& runs, int n, int16_t** iq, int* count,
                double fullScale) {
    const size_t used = runs.size();
    Sample levels[kMaxRuns];
    size_t distinct = 0;
    for (size_t r = 0; r < used; ++r)
        if (runs[r].length > 0) levels[distinct++] = runs[r].value;
    const double combined = chunkPeak(levels, distinct);
    const double peak = n < 1 ? 0.0 : peakFrom(combined, levels);
    const float scale = static_cast<float>(fullScale / peak);
    const bool scaled = !std::isnan(combined) && peakScales(combined, scale, levels);
    if (int rc = refuseScale(!std::isnan(combined), scaled, peak, levels, distinct)) return rc;

    const int values = 2 * n;
    Buffer<int16_t> fresh;
    if (values > obj->iqCapacity) {  // a new buffer, allocated before the old one goes
        fresh = Buffer<int16_t>(static_cast<size_t>(values));
        if (!fresh) return outOfMemory<int16_t>(-1, static_cast<size_t>(values), "I/Q buffer");
    } else if (!obj->iqBuffer) {
        return refuse(-1, "the waveform is empty and the handle holds no earlier buffer to hand out");
    }
    int16_t* dest = fresh ? fresh.get() : obj->iqBuffer;
    for (size_t r = 0; r < used; ++r) {
        int16_t pair[2] = {0, 0};
        if (scaled) convertTo(&runs[r].value, 1, scale, pair);
        const int length = runs[r].length;
        for (int i = 0; i < length; ++i) {
            dest[2 * i] = pair[0];
            dest[2 * i + 1] = pair[1];
        }
        dest += 2 * static_cast<size_t>(length);
    }
    if (fresh) replaceIqBuffer(obj, std::move(fresh));
    *count = values;
    *iq = obj->iqBuffer;
    return 0;
}

}  // namespace

template <class Sample>
int deliverWave(GenSignalClass* obj, GeneratedWave<Sample>& wave, int16_t** iq, int* count, double fullScale) {
    const int n = wave.length;
    if (n < 0 || n >= kMaxSamples) return refuse(-1, "result of %d samples: must be below 2^30", n);
    if (wave.runs) {
        if (wave.runs.size() > kMaxRuns)
            return refuse(-1, "a waveform of %zu runs: at most %zu", wave.runs.size(), kMaxRuns);
        return deliverRuns(obj, wave.runs, n, iq, count, fullScale);
    }
    return deliverArray(obj, std::move(wave.samples), n, iq, count, fullScale);
}

template int deliverWave(GenSignalClass*, GeneratedWave<double>&, int16_t**, int*, double);
template int deliverWave(GenSignalClass*, GeneratedWave<float>&, int16_t**, int*, double);
template int deliverWave(GenSignalClass*, GeneratedWave<std::complex<float>>&, int16_t**, int*, double);

namespace {

template <class Sample>
int deliverMalloced(GenSignalClass* obj, Sample* samples, int n, int16_t** iq, int* count, double fullScale) {
    GeneratedWave<Sample> wave;
    wave.samples = Buffer<Sample>::adopt(samples, n > 0 ? static_cast<size_t>(n) : 0);
    wave.length = n;
    return deliverWave(obj, wave, iq, count, fullScale);
}

}  // namespace

int deliverSamples(GenSignalClass* obj, double* samples, int n, int16_t** iq, int* count, double fullScale) {
    return deliverMalloced(obj, samples, n, iq, count, fullScale);
}
int deliverSamples(GenSignalClass* obj, float* samples, int n, int16_t** iq, int* count, double fullScale) {
    return deliverMalloced(obj, samples, n, iq, count, fullScale);
}
int deliverSamples(GenSignalClass* obj, std::complex<float>* samples, int n, int16_t** iq, int* count,
                   double fullScale) {
    return deliverMalloced(obj, samples, n, iq, count, fullScale);
}
