// The channel's buffer entry point as a hostile host calls it: a decoded
// channel record (realistic values, edge values, garbage enumerations and
// reserved bytes) on a buffer the generators made or on bytes of either
// format, on a handle in either loop mode, with null pointers now and then.
// After every call the promises are checked: 0, -1 or -3; a reason for a
// refusal and nothing written; on success the int16 values are the floats
// rounded, the peak where the handle's level puts it, and no realised value
// infinite. The same record is then set on a handle (GenSignalSetChannel)
// whose generation of the buffer's QPSK applies it, with the same promises.
#include "channelFuzz.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "entryPoints.h"
#include "fuzzFailure.h"

namespace fuzzing {

namespace {

constexpr int kMaxValues = 1 << 13;

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    stopFuzzing("channel", format, args);
}

std::string lastError() {
    char buffer[1024];
    return GenSignalGetLastError(buffer, sizeof buffer) < 0 ? std::string() : std::string(buffer);
}

// Mostly a realistic value, now and then an edge one: `in.real` gives both.
double maybe(FuzzInput& in, double lo, double hi) { return in.byte() < 200 ? 0 : in.real(lo, hi); }

}  // namespace

GenSignalChannel decodeChannel(FuzzInput& in, double sampleRate) {
    GenSignalChannel c;
    std::memset(&c, 0, sizeof c);
    c.seed = in.bits(8);
    const uint8_t stages = in.byte();
    if (stages & 1) {
        c.paModel = in.integer(0, 3);
        c.paBackoffDb = in.real(-40, 100);
        c.paSmoothness = maybe(in, 0.1, 100);
        c.salehAlphaA = maybe(in, 0.1, 10);
        c.salehBetaPhi = maybe(in, 0.1, 10);
    }
    if (stages & 2) {
        c.fading = in.integer(0, 12);
        c.delaySpread = in.real(1e-9, 1e-5);
        c.dopplerHz = in.byte() < 128 ? 0 : in.real(0.1, sampleRate / 2);
        c.ricianKDb = in.real(-50, 50);
        c.tapCount = in.integer(0, 49);
        for (int i = 0; i < c.tapCount && i < GENSIGNAL_CHANNEL_MAX_TAPS; ++i) {
            c.taps[i].delay = in.real(0, 1e-4);
            c.taps[i].powerDb = in.real(-150, 50);
            c.taps[i].kFactorDb = in.real(-50, 50);
            c.taps[i].rician = in.integer(0, 2);
        }
    }
    if (stages & 4) c.timingOffset = in.signedReal(1e-3, 1e4);
    if (stages & 8) {
        c.cfoHz = in.signedReal(1, sampleRate / 2);
        c.phaseOffsetDeg = in.signedReal(0.1, 360);
    }
    if (stages & 16) {
        c.phaseNoisePoints = in.integer(0, 17);
        double offset = in.real(1, 1e4);
        for (int i = 0; i < c.phaseNoisePoints && i < GENSIGNAL_CHANNEL_MAX_MASK_POINTS; ++i) {
            c.phaseNoiseOffsetHz[i] = offset;
            offset *= in.byte() < 240 ? 1 + in.real(0.1, 100) : in.real(-2, 2);
            c.phaseNoiseDbcHz[i] = in.real(-300, 0);
        }
    }
    if (stages & 32) {
        c.noiseMode = in.integer(0, 5);
        c.noiseDb = in.signedReal(0.1, 300);
        c.noiseBandwidthHz = in.real(1, sampleRate);
        c.samplesPerSymbol = maybe(in, 1, 64);
        c.bitsPerSymbol = maybe(in, 0.5, 10);
    }
    if (stages & 64) {
        c.iqGainDb = in.signedReal(0.01, 20);
        c.iqPhaseDeg = in.signedReal(0.01, 90);
    }
    if (stages & 128) {
        c.dcEnabled = in.integer(0, 2);
        c.dcDbc = in.real(-200, 50);
        c.dcPhaseDeg = in.signedReal(0.1, 360);
    }
    if (in.byte() == 255) c.reserved[in.byte() % sizeof c.reserved] = in.byte();
    return c;
}

void checkApplyChannel(FuzzInput& in, const GenSignalChannel& channel, const GenSignalMeasureInput& input) {
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) fail("no handle: %s", lastError().c_str());
    const uint8_t how = in.byte();
    const bool exact = how & 1;
    const double peakDbfs = how & 2 ? -in.real(0, 90) : 0;
    GenSignalSetOption(handle, GENSIGNAL_OPTION_LOOP_MODE, exact ? 1 : 0);
    if (GenSignalSetOption(handle, GENSIGNAL_OPTION_PEAK_DBFS, peakDbfs) != 0) GenSignalSetOption(handle, 4, 0);
    double level = 0;
    GenSignalGetOption(handle, GENSIGNAL_OPTION_PEAK_DBFS, &level);
    const bool nullChannel = (how & 0x1c) == 0x1c, nullInput = (how & 0x70) == 0x70;
    const bool withFloats = how & 0x80;
    const size_t values =
        input.valueCount > 0 && input.valueCount <= kMaxValues ? static_cast<size_t>(input.valueCount) : 0;
    // The channel record at its exact size on the heap: a read past its end is caught.
    auto record = std::make_unique<GenSignalChannel>(channel);
    std::vector<float> floats(values + 1, 9.0f);
    GenSignalChannelRealised realised;
    std::memset(&realised, 0x3c, sizeof realised);
    const GenSignalChannelRealised before = realised;
    int16_t sentinel = 0;
    int16_t* iq = &sentinel;
    int count = -7;
    const int rc = GenSignalApplyChannel(handle, nullChannel ? nullptr : record.get(), nullInput ? nullptr : &input,
                                         withFloats ? floats.data() : nullptr, &iq, &count, &realised);
    if (rc != 0 && rc != -1 && rc != -3) fail("GenSignalApplyChannel returned %d", rc);
    if (rc != 0) {
        const std::string reason = lastError();
        if (reason.empty()) fail("refused (%d) without a reason", rc);
        if (iq != &sentinel || count != -7) fail("refused but handed out a buffer: %s", reason.c_str());
        if (std::memcmp(&realised, &before, sizeof realised) != 0)
            fail("refused but wrote realised: %s", reason.c_str());
        for (float v : floats)
            if (v != 9.0f) fail("refused but wrote impaired floats: %s", reason.c_str());
        GenSignalObjRelease(handle);
        return;
    }
    if (nullChannel || nullInput) fail("accepted a null pointer");
    if (!lastError().empty()) fail("succeeded but left the reason \"%s\"", lastError().c_str());
    if (count != input.valueCount || !iq) fail("count %d for %lld values", count, (long long)input.valueCount);
    const double full = 32766 * std::pow(10.0, level / 20);
    double peak = 0;
    for (int i = 0; i + 1 < count; i += 2) peak = std::max(peak, std::hypot(double(iq[i]), double(iq[i + 1])));
    if (peak > full + 1.5) fail("peak %g above the level %g", peak, full);
    if (withFloats)
        for (int i = 0; i < count; ++i) {
            if (!std::isfinite(floats[i])) fail("impaired value %d is %g", i, floats[i]);
            if (iq[i] != static_cast<int16_t>(std::lround(floats[i] * 32767.0f)))
                fail("int16 value %d is %d, the float %.9g rounds otherwise", i, iq[i], floats[i]);
        }
    if (floats[values] != 9.0f) fail("wrote beyond the impaired floats");
    const double* doubles = &realised.inputPower;
    for (const double* v = doubles; v <= &realised.fadingGainDb; ++v)
        if (std::isinf(*v)) fail("a realised value is infinite");
    for (double v : {realised.signalPower, realised.noisePower, realised.snrDb, realised.snrInBandDb, realised.esn0Db,
                     realised.ebn0Db, realised.cnDb, realised.phaseNoiseRmsDeg, realised.dcPower})
        if (std::isinf(v)) fail("a realised value is infinite");
    if (realised.noteLength < 0 || realised.noteLength >= GENSIGNAL_CHANNEL_NOTE_CAPACITY ||
        realised.note[realised.noteLength] != '\0' || std::strlen(realised.note) != size_t(realised.noteLength))
        fail("note of length %d", realised.noteLength);
    if (exact && realised.noteLength > 0 && std::strstr(realised.note, "closes"))
        fail("the exact mode applied what breaks the loop: %s", realised.note);
    GenSignalObjRelease(handle);
}

namespace {

// The channel set on a handle in either loop mode, the record generated
// through it: a refused set keeps the handle's channel and the call still
// succeeds or refuses with a reason, touching nothing; a made waveform has
// its peak at the full scale, and what the channel realised when a stage is on.
void checkHandleChannel(FuzzInput& in, const GenSignalChannel& channel, const DigitalModParams& p, int symbols,
                        double rate) {
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) fail("no handle: %s", lastError().c_str());
    GenSignalSetOption(handle, GENSIGNAL_OPTION_LOOP_MODE, in.byte() & 1);
    auto record = std::make_unique<GenSignalChannel>(channel);
    const int set = GenSignalSetChannel(handle, record.get());
    if (set != 0 && set != -1) fail("GenSignalSetChannel returned %d", set);
    if (set != 0 && lastError().empty()) fail("GenSignalSetChannel refused without a reason");
    int16_t sentinel = 0;
    int16_t* iq = &sentinel;
    int count = -7;
    const int rc = GenerateDigitalModWaveform(handle, &p, symbols, &iq, &count, rate);
    if (rc != 0 && rc != -1 && rc != -3) fail("a generation with a channel returned %d", rc);
    if (rc != 0) {
        if (lastError().empty()) fail("a generation with a channel refused (%d) without a reason", rc);
        if (iq != &sentinel || count != -7) fail("refused but handed out a buffer: %s", lastError().c_str());
        GenSignalObjRelease(handle);
        return;
    }
    double peak = 0;
    for (int i = 0; i + 1 < count; i += 2) peak = std::max(peak, std::hypot(double(iq[i]), double(iq[i + 1])));
    if (peak > 32766 + 1.5) fail("peak %g above full scale", peak);
    GenSignalChannelRealised realised{};
    if (set == 0 && GenSignalGetChannelRealised(handle, &realised) == 0) {
        if (realised.samples != count / 2) fail("realised %lld samples of %d", (long long)realised.samples, count / 2);
        for (double v : {realised.signalPower, realised.noisePower, realised.snrDb, realised.outputPower})
            if (std::isinf(v)) fail("a realised value is infinite");
    }
    GenSignalObjRelease(handle);
}

// A generated QPSK or DSS buffer with its record, or bytes of either format.
int channelOnBuffer(FuzzInput& in) {
    const uint8_t shape = in.byte();
    std::vector<unsigned char> bytes;
    GenSignalMeasureInput input{};
    DigitalModParams p{};
    DSSParams d{};
    bool generated = false;
    int symbols = 0;
    if (shape % 4 == 0) {
        p.modType = static_cast<DigitalModulType>(in.integer(1, 22));
        p.symbolRate = in.real(1e3, 1e7);
        p.freqDeviation = in.real(1, 1e6);
        p.pnOrder = 9;
        p.pnSeed = 3;
        p.filterType = RRCOS;
        p.filterSpan = 4;
        p.samplesPerSymbol = 1 + in.byte() % 8;
        p.rolloff = 0.35;
        symbols = 1 + in.byte() * 2;
        const int handle = GenSignalObjCreatSelfEncode();
        int16_t* iq = nullptr;
        int count = 0;
        const double rate = p.symbolRate * p.samplesPerSymbol;
        if (GenerateDigitalModWaveform(handle, &p, symbols, &iq, &count, rate) != 0 || count > kMaxValues) {
            GenSignalObjRelease(handle);
            return 0;
        }
        bytes.assign(reinterpret_cast<unsigned char*>(iq), reinterpret_cast<unsigned char*>(iq + count));
        GenSignalObjRelease(handle);
        input = {nullptr, count, GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_DIGITAL, &p, symbols, 0, rate};
        generated = in.byte() >= 32;
        if (!generated) std::memset(&p, in.byte(), sizeof p);  // a spoiled record
    } else {
        const int format = shape % 16 == 15 ? static_cast<int>(in.bits(1)) : 1 + shape % 2;
        int64_t values = in.integer(0, kMaxValues);
        if (values < -3 || values > kMaxValues) values = 2;
        const bool floats = format == GENSIGNAL_FORMAT_CF32;
        bytes.resize(static_cast<size_t>(values > 0 ? values : 0) * (floats ? 4 : 2));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = in.byte();
        if (floats)
            for (size_t i = 0; 4 * i < bytes.size(); i += 1 + in.byte()) {
                const float v = static_cast<float>(in.byte() < 250 ? in.real(-2, 2) : in.real(-1e30, 1e30));
                std::memcpy(&bytes[4 * i], &v, 4);
            }
        d.bitRate = in.real(1, 1e6);
        const bool dss = shape & 32;
        input = {nullptr, values, format, dss ? GENSIGNAL_RECORD_DSS : 0, dss ? &d : nullptr, 0, 0, in.rate(1e6)};
    }
    auto buffer = std::make_unique<unsigned char[]>(bytes.size() + 1);
    if (!bytes.empty()) std::memcpy(buffer.get(), bytes.data(), bytes.size());
    input.samples = buffer.get();
    const GenSignalChannel channel = decodeChannel(in, std::isfinite(input.sampleRate) ? input.sampleRate : 1e6);
    // A channel's valid work grows with taps x samples x Doppler lines, past
    // the fuzzer's time limit under the sanitizers: such records are skipped.
    const double samples = input.valueCount > 0 ? static_cast<double>(input.valueCount / 2) : 0;
    const double lines = channel.fading ? std::fabs(channel.dopplerHz / input.sampleRate) * samples : 0;
    if (channel.fading && (!std::isfinite(lines) || 48 * samples * lines > 1 << 24)) return -1;
    checkApplyChannel(in, channel, input);
    if (generated) checkHandleChannel(in, channel, p, symbols, input.sampleRate);
    return 0;
}

}  // namespace

int fuzzChannel(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    return channelOnBuffer(in);
}

}  // namespace fuzzing
