// What a generator hands the frame: the waveform's samples in an array it
// owns, or, for a waveform made of a few runs of one value each, only the
// runs; the frame then converts each run's value once and writes no sample
// array at all.
#pragma once

#include <cstddef>
#include <utility>

#include "buffer.h"
#include "rangeChecks.h"

template <class Sample>
struct SampleRun {
    Sample value;
    int length;
};

template <class Sample>
struct GeneratedWave {
    int length = 0;          // samples in the waveform
    Buffer<Sample> samples;  // `length` samples, unless the waveform comes as runs
    // The waveform as runs, in order, their lengths adding up to `length`;
    // empty when it comes as samples.
    Buffer<SampleRun<Sample>> runs;
};

// Writes the runs out as samples (for the callers that want an array):
// 0, or `code` with the reason naming `what` when the array cannot be had.
template <class Sample>
int expandRuns(GeneratedWave<Sample>& wave, int code, const char* what) {
    if (!wave.runs) return 0;
    Buffer<Sample> samples(static_cast<size_t>(wave.length));
    if (!samples) return outOfMemory<Sample>(code, static_cast<size_t>(wave.length), what);
    size_t at = 0;
    for (size_t r = 0; r < wave.runs.size(); ++r)
        for (int i = 0; i < wave.runs[r].length; ++i) samples[at++] = wave.runs[r].value;
    wave.samples = std::move(samples);
    wave.runs.reset();
    return 0;
}

// The documented generator members, which take the record and hand out a
// malloc'ed array: null pointers refused as `method` names them, then the
// plan, the generator and the array handed over. `plan(Plan&)` and
// `generate(const Plan&, GeneratedWave<Sample>&)` answer 0 or a code.
template <class Plan, class Sample, class Params, class MakePlan, class Generate>
int generateForCaller(const char* method, const Params* params, Sample** samples, int* sampleCount, MakePlan plan,
                      Generate generate) {
    if (!params) return refuseNull(method, "params");
    if (!samples) return refuseNull(method, "samples");
    if (!sampleCount) return refuseNull(method, "sampleCount");
    Plan p{};
    if (int rc = plan(p)) return rc;
    GeneratedWave<Sample> wave;
    if (int rc = generate(p, wave)) return rc;
    if (int rc = expandRuns(wave, -1, "samples")) return rc;
    *samples = wave.samples.release();
    *sampleCount = wave.length;
    return 0;
}

// The same for the members that fill the caller's array, which must hold
// the plan's `samples` samples: `fill(const Plan&, Sample*)`.
template <class Plan, class Sample, class Params, class MakePlan, class Fill>
int fillForCaller(const char* method, const Params* params, Sample* samples, int* sampleCount, MakePlan plan,
                  Fill fill) {
    if (!params) return refuseNull(method, "params");
    if (!samples) return refuseNull(method, "samples");
    if (!sampleCount) return refuseNull(method, "sampleCount");
    Plan p{};
    if (int rc = plan(p)) return rc;
    if (int rc = fill(p, samples)) return rc;
    *sampleCount = p.samples;
    return 0;
}
