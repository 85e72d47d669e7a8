// Multitone in the exact loop mode: the tones straight at the output rate,
// each a whole number of cycles in the fewest common periods that span
// whole samples, starting at the phases the handle asks for.
#include <cstdint>

#include "exactLoops.h"
#include "hugePages.h"
#include "multitonePlan.h"
#include "toneSynthesis.h"

int exactWaveform(GenSignalClass&, const MultitoneParams& params, int, double fs, const HandleOptions& options,
                  ExactWaveform& out) {
    // The record's rules are the defined multitone's.
    MultitonePlan plan{};
    if (int rc = planMultitone(params, fs, plan)) return rc;
    const MultitoneParams p = params;
    const int N = plan.tones;
    if (int rc = refuseAboveNyquist(p, fs)) return rc;

    // Samples per period: fs over the lowest tone's distance from the centre.
    const NaturalPeriod period = naturalPeriod(p, 0, fs);
    const bool even = N % 2 == 0;
    const auto rate = decimalRational(fs);
    const Rational K = rate ? (even ? *multiply(*rate, Rational{2, 1}) : *rate) : Rational{0, 1};
    LoopLength loop{};
    if (int rc = closeLoop(period, fs, {"MultitoneParams.toneSpacing", p.toneSpacing, {K, FieldRole::divides}}, loop))
        return rc;

    // Tone k, ascending, turns (2k - N + 1) P times in the buffer for an even
    // count (its frequency is (k - N/2 + 1/2) spacings), (k - (N-1)/2) P
    // times for an odd one.
    Buffer<int64_t> cycles(static_cast<size_t>(N));
    Buffer<double> phases(static_cast<size_t>(N));
    if (!cycles || !phases) return outOfMemory<double>(-3, 2 * static_cast<size_t>(N), "tone list");
    for (int k = 0; k < N; ++k) {
        cycles[k] = even ? (2 * static_cast<int64_t>(k) - N + 1) * loop.periods
                         : (static_cast<int64_t>(k) - (N - 1) / 2) * loop.periods;
        phases[k] = tonePhase(options.phases, k, N, options.phaseSeed);
    }
    const size_t M = static_cast<size_t>(loop.samples);
    Buffer<std::complex<float>> samples(M);
    if (!samples) return outOfMemory<std::complex<float>>(-3, M, "multitone samples");
    preferHugePages(samples.get(), samples.bytesFor(M));
    if (int rc = synthesizeTones({cycles.get(), phases.get(), N, loop.samples}, samples.get())) return rc;
    out.complexSamples = std::move(samples);
    out.samples = static_cast<int>(loop.samples);
    out.loop = loopInfo(period, static_cast<int32_t>(loop.periods), out.samples, fs);
    return 0;
}
