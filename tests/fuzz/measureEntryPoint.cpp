// The measurement entry points as a hostile host calls them: buffers made
// by the generators and measured against their records (kept, spoiled or
// cut short), or bytes of any format with any record, options and null
// pointers; the CCDF curve and the constellation on the same input. After
// every call the promises are checked: 0 or -1, a reason for every refusal
// and none after a success, nothing written on refusal, and numbers that
// hang together on success.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "entryPoints.h"
#include "fuzzFailure.h"
#include "fuzzInput.h"
#include "wrapperGenSignalWave.h"

namespace fuzzing {

namespace {

constexpr int kMaxValues = 1 << 13;  // int16 or float values of a byte-made buffer

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    stopFuzzing("measure", format, args);
}

std::string lastError() {
    char buffer[1024];
    return GenSignalGetLastError(buffer, sizeof buffer) < 0 ? std::string() : std::string(buffer);
}

void expectRefusalSaid(const char* function) {
    const std::string m = lastError();
    if (m.empty()) fail("%s refused without a reason", function);
    for (char c : m)
        if (static_cast<unsigned char>(c) < 0x20)
            fail("%s: the reason holds a control byte: \"%s\"", function, m.c_str());
}

void expectNoReason(const char* function) {
    if (!lastError().empty()) fail("%s succeeded but left the reason \"%s\"", function, lastError().c_str());
}

// NaN or finite: nothing infinite reaches a host.
void finiteOrNone(double v, const char* what) {
    if (std::isinf(v)) fail("%s is %g", what, v);
}

void checkMeasurement(const GenSignalMeasurement& m, const GenSignalMeasureInput& in) {
    if (m.samples != in.valueCount / 2)
        fail("samples %lld for %lld values", (long long)m.samples, (long long)in.valueCount);
    if (!(m.sampleRate == in.sampleRate)) fail("sample rate %g for %g", m.sampleRate, in.sampleRate);
    const std::pair<const char*, double> values[] = {{"peakDbfs", m.peakDbfs},
                                                     {"rmsDbfs", m.rmsDbfs},
                                                     {"paprDb", m.paprDb},
                                                     {"ccdfDb[0]", m.ccdfDb[0]},
                                                     {"ccdfDb[1]", m.ccdfDb[1]},
                                                     {"ccdfDb[2]", m.ccdfDb[2]},
                                                     {"ccdfDb[3]", m.ccdfDb[3]},
                                                     {"obwHz", m.obwHz},
                                                     {"obwLowerHz", m.obwLowerHz},
                                                     {"obwUpperHz", m.obwUpperHz},
                                                     {"channelBandwidthHz", m.channelBandwidthHz},
                                                     {"channelSpacingHz", m.channelSpacingHz},
                                                     {"acprLowerDb", m.acprLowerDb},
                                                     {"acprUpperDb", m.acprUpperDb},
                                                     {"sfdrDb", m.sfdrDb},
                                                     {"seamRatio", m.seamRatio},
                                                     {"evmPercent", m.evmPercent},
                                                     {"evmPeakPercent", m.evmPeakPercent},
                                                     {"merDb", m.merDb}};
    for (const auto& [name, v] : values) finiteOrNone(v, name);
    if (m.evmStatus < GENSIGNAL_EVM_MEASURED || m.evmStatus > GENSIGNAL_EVM_ONE_SYMBOL)
        fail("EVM status %d", m.evmStatus);
    if (m.evmStatus != GENSIGNAL_EVM_MEASURED && (!std::isnan(m.evmPercent) || m.symbols != 0))
        fail("EVM %g over %d symbols with status %d", m.evmPercent, m.symbols, m.evmStatus);
    // A reference without power (an all-zero seed's ASK symbols) has no EVM even when measured.
    if (m.evmStatus == GENSIGNAL_EVM_MEASURED && !std::isnan(m.evmPercent) &&
        !(m.evmPercent >= 0 && m.evmPeakPercent >= m.evmPercent * (1 - 1e-12)))
        fail("EVM %g %%, peak %g %%", m.evmPercent, m.evmPeakPercent);
    if (m.paprDb < -1e-9) fail("PAPR %g dB below 0", m.paprDb);
    for (int r = 0; r < 4; ++r) {
        if (m.ccdfDb[r] > m.paprDb + 1e-9) fail("CCDF %g dB above the PAPR %g", m.ccdfDb[r], m.paprDb);
        if (r > 0 && m.ccdfDb[r] < m.ccdfDb[r - 1] - 1e-9)
            fail("CCDF falls from %g to %g", m.ccdfDb[r - 1], m.ccdfDb[r]);
    }
    if (!(m.seamRatio >= 0)) fail("seam ratio %g", m.seamRatio);
    if (!std::isnan(m.obwHz)) {
        const double bin = in.sampleRate / static_cast<double>(m.samples);
        if (!(m.obwLowerHz <= m.obwUpperHz) || m.obwLowerHz < -in.sampleRate / 2 - bin ||
            m.obwUpperHz > in.sampleRate / 2 + bin)
            fail("occupied band %g ... %g Hz at %g samples/s", m.obwLowerHz, m.obwUpperHz, in.sampleRate);
    }
}

// Every measurement entry point on one input, each checked.
void measureAll(FuzzInput& in, const GenSignalMeasureInput& input) {
    GenSignalMeasureOptions options{};
    const uint8_t which = in.byte();
    if (which & 1) options.obwPercent = in.real(0.5, 100);
    if (which & 2) options.channelBandwidth = in.real(1e-3 * input.sampleRate, input.sampleRate);
    if (which & 4) options.channelSpacing = in.real(1e-3 * input.sampleRate, input.sampleRate);
    const bool nullInput = (which & 0xe0) == 0xe0, nullOptions = (which & 0x18) == 0x18;
    const bool nullResult = (which & 0x60) == 0x40;
    auto held = std::make_unique<GenSignalMeasurement>();
    std::memset(held.get(), 0xa5, sizeof *held);
    const GenSignalMeasurement before = *held;
    const int rc = GenSignalMeasure(nullInput ? nullptr : &input, nullOptions ? nullptr : &options,
                                    nullResult ? nullptr : held.get());
    if (rc != 0 && rc != -1) fail("GenSignalMeasure returned %d", rc);
    if ((nullInput || nullResult) && rc == 0) fail("GenSignalMeasure accepted a null pointer");
    if (rc != 0) {
        expectRefusalSaid("GenSignalMeasure");
        if (std::memcmp(held.get(), &before, sizeof before) != 0) fail("GenSignalMeasure refused but wrote its result");
    } else {
        expectNoReason("GenSignalMeasure");
        checkMeasurement(*held, input);
    }

    // The curve at a few probabilities, some out of range.
    const int points = in.byte() % 6;
    auto probabilities = std::make_unique<double[]>(points + 1);
    auto levels = std::make_unique<double[]>(points + 1);
    for (int i = 0; i < points; ++i) probabilities[i] = in.byte() < 240 ? in.real(1e-6, 0.999) : in.real(-1, 2);
    const int curve = GenSignalMeasureCcdf(&input, probabilities.get(), points, levels.get());
    if (curve != 0 && curve != -1) fail("GenSignalMeasureCcdf returned %d", curve);
    if (curve != 0) expectRefusalSaid("GenSignalMeasureCcdf");
    if (curve == 0 && rc == 0 && input.valueCount > 0)
        for (int i = 0; i < points; ++i)
            if (levels[i] > held->paprDb + 1e-9) fail("curve level %g above the PAPR %g", levels[i], held->paprDb);

    // The seam: a finite ratio of at least 0, or NaN (silent, short).
    double seam = -7;
    const int seamed = GenSignalMeasureSeam(&input, &seam);
    if (seamed != 0 && seamed != -1) fail("GenSignalMeasureSeam returned %d", seamed);
    if (seamed != 0) expectRefusalSaid("GenSignalMeasureSeam");
    if (seamed == 0 && !(std::isnan(seam) || (seam >= 0 && std::isfinite(seam)))) fail("seam ratio %g", seam);
    if (seamed != 0 && seam != -7) fail("GenSignalMeasureSeam refused but wrote its ratio");

    // A described modulation, often out of range.
    const GenSignalModulationDescription description{in.byte() % 24, in.byte() % 4, in.real(-1e3, 1e7),
                                                     in.real(-0.5, 1.5)};
    GenSignalMeasurement describedResult{};
    const int describedRc = GenSignalMeasureDescribed(&input, &options, &description, &describedResult);
    if (describedRc != 0 && describedRc != -1) fail("GenSignalMeasureDescribed returned %d", describedRc);
    if (describedRc != 0) expectRefusalSaid("GenSignalMeasureDescribed");

    // The constellation into arrays of exactly the offered capacity.
    const int capacity = in.byte() % 70;  // the host's arrays hold this many
    auto received = std::make_unique<double[]>(2 * static_cast<size_t>(capacity) + 1);
    auto references = std::make_unique<double[]>(2 * static_cast<size_t>(capacity) + 1);
    int count = -7, status = -7;
    const int got =
        GenSignalMeasureConstellation(&input, capacity ? received.get() : nullptr,
                                      in.byte() & 1 ? references.get() : nullptr, capacity, &count, &status);
    if (got != 0 && got != -1) fail("GenSignalMeasureConstellation returned %d", got);
    if (got != 0) {
        expectRefusalSaid("GenSignalMeasureConstellation");
        if (count != -7 || status != -7) fail("GenSignalMeasureConstellation refused but wrote its counts");
    } else if (rc == 0 && (status != held->evmStatus || count != held->symbols)) {
        fail("constellation of %d points with status %d, measurement %d symbols with status %d", count, status,
             held->symbols, held->evmStatus);
    }
}

// A count for a record the generators run here: in [lo, hi] whatever the
// input's edge values, so that every made buffer stays small.
int small(FuzzInput& in, int lo, int hi) {
    const int v = in.integer(lo, hi);
    return v < lo ? lo : v > hi ? hi : v;
}

// A buffer the generators made from a decoded record, measured against it
// (or a spoiled copy of it).
int madeBuffer(FuzzInput& in) {
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) fail("no handle: %s", lastError().c_str());
    int16_t* iq = nullptr;
    int count = 0;
    int kind = 0, argument = 0;
    double rate = 0;
    std::vector<unsigned char> record;
    switch (in.byte() % 3) {
        case 0: {
            DigitalModParams p{};
            p.modType = static_cast<DigitalModulType>(in.integer(1, 22));
            p.symbolRate = in.real(1e3, 1e7);
            p.freqDeviation = in.real(1, 1e6);
            p.pnOrder = in.integer(4, 16);
            p.pnSeed = static_cast<int32_t>(in.bits(2));
            p.filterType = static_cast<FilterType>(in.integer(1, 5));
            p.filterSpan = small(in, 0, 12);
            p.samplesPerSymbol = small(in, 1, 16);
            p.rolloff = in.real(0.01, 1);
            argument = small(in, 1, 300);
            // On the symbol-locked rate mostly; else resampled by at most 2.
            const double locked = p.samplesPerSymbol * p.symbolRate;
            rate = in.byte() < 200 ? locked : locked * (0.5 + (in.byte() + 1) / 170.0);
            kind = GENSIGNAL_RECORD_DIGITAL;
            record.resize(sizeof p);
            std::memcpy(record.data(), &p, sizeof p);
            if (GenerateDigitalModWaveform(handle, &p, argument, &iq, &count, rate) != 0) count = -1;
            break;
        }
        case 1: {
            DSSParams p{};
            p.bitRate = in.real(10, 1e5);
            p.modType = BPSK;
            p.pnOrder = small(in, 4, 7);
            p.filterSpan = small(in, 0, 8);
            p.samplesPerChip = small(in, 1, 8);
            p.rolloff = in.real(0.01, 1);
            p.pnSeed = static_cast<int32_t>(in.bits(1));
            p.filterType = in.integer(1, 5);
            argument = small(in, 1, 20);
            rate = p.samplesPerChip * p.bitRate * ((1 << p.pnOrder) - 1);
            kind = GENSIGNAL_RECORD_DSS;
            record.resize(sizeof p);
            std::memcpy(record.data(), &p, sizeof p);
            if (GenerateDssWaveform(handle, &p, argument, &iq, &count, rate) != 0) count = -1;
            break;
        }
        default: {
            OFDMParams p{};
            p.fftSize = 1 << small(in, 0, 9);
            p.numSymbols = small(in, 1, 20);
            p.guardLow = in.integer(0, p.fftSize);
            p.guardHigh = in.integer(0, p.fftSize);
            p.cpPercent = in.integer(0, 100);
            p.windowing = in.byte() & 1;
            static const int mods[] = {BPSK, QPSK, PSK8, PSK16, QAM16, QAM64, QAM256};
            p.modType = static_cast<DigitalModulType>(mods[in.byte() % 7]);
            p.nullDC = in.byte() & 1;
            rate = in.real(1e3, 1e8);
            kind = GENSIGNAL_RECORD_OFDM;
            record.resize(sizeof p);
            std::memcpy(record.data(), &p, sizeof p);
            if (GenerateOFDMWaveform(handle, &p, &iq, &count, rate) != 0) count = -1;
        }
    }
    std::vector<int16_t> samples(iq, iq + (count > 0 ? count : 0));
    GenSignalObjRelease(handle);
    if (count < 0) return 0;  // the generator refused the record: nothing to measure
    // Spoiled: a sample fewer, another record field byte, another argument.
    const uint8_t spoil = in.byte();
    int64_t values = static_cast<int64_t>(samples.size());
    if (spoil % 4 == 1 && values >= 2) values -= 2;
    if (spoil % 4 == 2 && !record.empty()) record[in.byte() % record.size()] ^= in.byte();
    if (spoil % 4 == 3) argument = in.integer(-2, 400);
    // The record at its exact size on the heap: a read past its end is caught.
    auto exact = std::make_unique<unsigned char[]>(record.size());
    std::memcpy(exact.get(), record.data(), record.size());
    const int16_t none = 0;
    const GenSignalMeasureInput input{
        samples.empty() ? &none : samples.data(), values, GENSIGNAL_FORMAT_CI16, kind, exact.get(), argument, 0, rate};
    measureAll(in, input);
    return 0;
}

// Bytes as a buffer of either format (or none), with any record kind.
int byteBuffer(FuzzInput& in) {
    const uint8_t shape = in.byte();
    const int format = shape % 8 == 7 ? static_cast<int>(in.bits(1)) : 1 + shape % 2;
    int64_t values = small(in, 0, kMaxValues);
    if (shape / 8 % 8 == 5) values = small(in, -3, 5);  // odd, negative, tiny
    const size_t stored = values > 0 ? static_cast<size_t>(values) : 0;
    const bool floats = format == GENSIGNAL_FORMAT_CF32;
    std::vector<unsigned char> bytes(stored * (floats ? 4 : 2));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = in.byte();
    if (floats)  // mostly ordinary floats, now and then an edge value
        for (size_t i = 0; i < stored; i += 1 + in.byte()) {
            const float v = static_cast<float>(in.byte() < 250 ? in.real(-2, 2) : in.real(-1e30, 1e30));
            std::memcpy(&bytes[4 * i], &v, 4);
        }
    auto buffer = std::make_unique<unsigned char[]>(bytes.size() + 1);
    if (!bytes.empty()) std::memcpy(buffer.get(), bytes.data(), bytes.size());
    const int kind = in.integer(-1, 11);
    static const size_t sizes[] = {0,
                                   sizeof(DigitalModParams),
                                   sizeof(DSSParams),
                                   sizeof(AMModParams),
                                   sizeof(FMModParams),
                                   sizeof(MultitoneParams),
                                   sizeof(PulseParams),
                                   sizeof(StepSweepParams),
                                   sizeof(RampSweepParams),
                                   sizeof(AWGNParams),
                                   sizeof(OFDMParams)};
    const size_t recordSize = kind >= 1 && kind <= 10 ? sizes[kind] : 8;
    auto record = std::make_unique<unsigned char[]>(recordSize);
    for (size_t i = 0; i < recordSize; ++i) record[i] = in.byte();
    const GenSignalMeasureInput input{shape / 64 == 3 ? nullptr : buffer.get(),
                                      values,
                                      format,
                                      kind,
                                      in.byte() < 16 ? nullptr : record.get(),
                                      in.integer(-1, 1 << 12),
                                      0,
                                      in.rate(1e6)};
    measureAll(in, input);
    return 0;
}

}  // namespace

int fuzzMeasure(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    return in.byte() < 96 ? madeBuffer(in) : byteBuffer(in);
}

}  // namespace fuzzing
