// What the channel's tests share: a QPSK record and its buffer, a channel
// record with every stage off, one call of GenSignalApplyChannel with all
// it hands back, and the channel applied to a float buffer in place.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "channelChain.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace testing_support {

// QPSK, RRC 0.35 over 6 symbols, 8 samples per symbol at 8 MS/s.
inline DigitalModParams qpskRecord() {
    DigitalModParams p{};
    p.modType = QPSK;
    p.symbolRate = 1e6;
    p.pnOrder = 15;
    p.pnSeed = 1;
    p.filterType = RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = 0.35;
    return p;
}

inline std::vector<int16_t> qpskBuffer(const DigitalModParams& p, int symbols, double rate, int handle = -1) {
    Handle own;
    int16_t* iq = nullptr;
    int count = 0;
    EXPECT_EQ(GenerateDigitalModWaveform(handle >= 0 ? handle : own.id, &p, symbols, &iq, &count, rate), 0);
    return std::vector<int16_t>(iq, iq + count);
}

inline GenSignalChannel channelOff(uint64_t seed = 1) {
    GenSignalChannel c;
    std::memset(&c, 0, sizeof c);
    c.seed = seed;
    return c;
}

inline void setMask(GenSignalChannel& c, std::initializer_list<std::pair<double, double>> points) {
    c.phaseNoisePoints = 0;
    for (const auto& [f, l] : points) {
        c.phaseNoiseOffsetHz[c.phaseNoisePoints] = f;
        c.phaseNoiseDbcHz[c.phaseNoisePoints++] = l;
    }
}

// One call of GenSignalApplyChannel on `handle` and what it handed back.
struct Impaired {
    int rc = 0;
    std::vector<int16_t> iq;
    std::vector<float> floats;
    GenSignalChannelRealised realised{};
    std::string reason;
    std::complex<double> at(size_t i) const { return {floats[2 * i] * 32767.0, floats[2 * i + 1] * 32767.0}; }
};

inline GenSignalMeasureInput inputOf(const std::vector<int16_t>& iq, double rate, int recordKind = 0,
                                     const void* record = nullptr, int argument = 0) {
    GenSignalMeasureInput in{};
    in.samples = iq.data();
    in.valueCount = static_cast<int64_t>(iq.size());
    in.format = GENSIGNAL_FORMAT_CI16;
    in.recordKind = recordKind;
    in.record = record;
    in.argument = argument;
    in.sampleRate = rate;
    return in;
}

inline Impaired impair(int handle, const GenSignalChannel& c, const GenSignalMeasureInput& in) {
    Impaired out;
    out.floats.assign(static_cast<size_t>(in.valueCount), 0.0f);
    int16_t* iq = nullptr;
    int count = 0;
    out.rc = GenSignalApplyChannel(handle, &c, &in, out.floats.data(), &iq, &count, &out.realised);
    out.reason = lastError();
    if (out.rc == 0) out.iq.assign(iq, iq + count);
    return out;
}

// The channel on a float buffer, in place, as the frame will call it.
inline int applyInPlace(const GenSignalChannel& c, std::vector<std::complex<float>>& x, double rate,
                        GenSignalChannelRealised& r, double samplesPerSymbol = 0, double bitsPerSymbol = 0,
                        bool exact = false) {
    ChannelContext context;
    context.samplesPerSymbol = samplesPerSymbol;
    context.bitsPerSymbol = bitsPerSymbol;
    context.exactLoop = exact;
    return applyChannel(c, context, x.data(), static_cast<int64_t>(x.size()), rate, r);
}

}  // namespace testing_support
