// The exact loop mode's generators, one per record: each returns the fewest
// whole natural periods that span a whole number of samples (at most 4096
// periods and 2^26 samples), band-limited to the sample rate, with the loop
// it made; or refuses with the reason (a record reaching above half the
// sample rate, a loop beyond the caps with the nearest value that closes,
// an FSK phase that does not close). Kinds whose defined output is already
// a whole loop return it unchanged.
#pragma once

#include <complex>
#include <optional>

#include "buffer.h"
#include "handleOptions.h"
#include "loopLength.h"
#include "naturalPeriods.h"
#include "wrapperGenSignalWave.h"

class GenSignalClass;

// One of the three sample types the frame converts, with its count and loop.
struct ExactWaveform {
    Buffer<std::complex<float>> complexSamples;
    Buffer<float> realSamples;  // pulse trains
    Buffer<double> envelope;    // AM
    int samples = 0;
    GenSignalLoopInfo loop{};
};

int exactWaveform(GenSignalClass& dsp, const DigitalModParams& p, int symbolCount, double sampleRate,
                  const HandleOptions& options, ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const DSSParams& p, int bitCount, double sampleRate,
                  const HandleOptions& options, ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const AMModParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const FMModParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const MultitoneParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const PulseParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const StepSweepParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const RampSweepParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const AWGNParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);
int exactWaveform(GenSignalClass& dsp, const OFDMParams& p, int, double sampleRate, const HandleOptions& options,
                  ExactWaveform& out);

// Shared by the generators above.

// -1 with the reason when the record reaches above half the sample rate.
template <class Params>
int refuseAboveNyquist(const Params& p, double sampleRate);

// The loop of `period` within the caps (and a multiple of `multipleOf`
// periods), or -1 with the reason: the field `field` = `value` (a rate,
// spacing or duration that `rule` turns into samples per period) and the
// nearest value of it that closes. `countField`, when given, names an
// integer count (symbolCount, bitCount) whose nearest closing value is
// offered first.
struct LoopField {
    const char* field;
    double value;
    ClosingRule rule;
    const char* countField = nullptr;
    int64_t count = 0;
    ClosingRule countRule{};
};
int closeLoop(const NaturalPeriod& period, double sampleRate, const LoopField& field, LoopLength& loop,
              uint64_t multipleOf = 1);

// A duration field that must span whole samples (a dwell, a ramp, a noise
// burst): its samples, or -1 with the nearest value that does.
int wholeSpan(const char* field, double seconds, double sampleRate, int64_t& samples);

#include "bandLimits.h"
#include "lastError.h"

template <class Params>
int refuseAboveNyquist(const Params& p, double sampleRate) {
    BandReason why;
    return aboveNyquist(p, sampleRate, why) ? refuse(-1, "%s", why.text) : 0;
}
