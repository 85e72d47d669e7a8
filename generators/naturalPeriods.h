// Each record's natural period, the unit its loop is made of, in output
// samples by exact arithmetic on the decimals the host wrote: N symbols
// (N fs / Rs), the chips of N bits (N fs / bit rate), one modulation period
// (fs / fm), the tones' common period (fs over the lowest tone's distance
// from the centre: half the spacing for an even count, the spacing for an
// odd one), one pulse period, the whole sweep, the noise's duration, the
// OFDM frame. With it, the loop information of a call.
#pragma once

#include <cstdint>
#include <optional>

#include "exactRational.h"
#include "wrapperGenSignalWave.h"

struct NaturalPeriod {
    std::optional<Rational> samples;  // per period; empty when the fields do not allow exact arithmetic
    double approximate = 0;           // the same in double (0 when not finite)
    int32_t definedPeriods = 1;       // periods the defined output is built from
};

NaturalPeriod naturalPeriod(const DigitalModParams& p, int symbolCount, double sampleRate);
NaturalPeriod naturalPeriod(const DSSParams& p, int bitCount, double sampleRate);
NaturalPeriod naturalPeriod(const AMModParams& p, int, double sampleRate);
NaturalPeriod naturalPeriod(const FMModParams& p, int, double sampleRate);
NaturalPeriod naturalPeriod(const MultitoneParams& p, int, double sampleRate);
NaturalPeriod naturalPeriod(const PulseParams& p, int, double sampleRate);
NaturalPeriod naturalPeriod(const StepSweepParams& p, int, double sampleRate);
NaturalPeriod naturalPeriod(const RampSweepParams& p, int, double sampleRate);
NaturalPeriod naturalPeriod(const AWGNParams& p, int, double sampleRate);
// The OFDM frame, S (N + P) samples whatever the rate.
NaturalPeriod naturalPeriod(const OFDMParams& p, int, double sampleRate);

// What a buffer of n samples made of `periods` natural periods is.
GenSignalLoopInfo loopInfo(const NaturalPeriod& period, int32_t periods, int n, double sampleRate);
