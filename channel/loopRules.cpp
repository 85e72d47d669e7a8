#include "loopRules.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "exactRational.h"
#include "lastError.h"

namespace {

// cfoHz * n / sampleRate as a whole number of cycles, read from the
// decimals the host wrote; empty when it is not whole.
std::optional<int64_t> wholeCycles(double cfoHz, int64_t n, double sampleRate) {
    if (cfoHz == 0) return 0;
    const auto f = decimalRational(cfoHz), rate = decimalRational(sampleRate);
    if (!f || !rate) return std::nullopt;
    const auto product = multiply(*f, wholeRational(static_cast<uint64_t>(n)));
    if (!product) return std::nullopt;
    const auto cycles = divide(*product, *rate);
    if (!cycles || !cycles->whole() || cycles->num > static_cast<u128>(INT64_MAX)) return std::nullopt;
    const int64_t k = static_cast<int64_t>(cycles->num);
    return cfoHz < 0 ? -k : k;
}

// Refuses (exact) or notes (defined) the same text.
int breaks(bool exact, ChannelNotes* notes, const char* text) {
    if (exact) return refuse(-1, "%s", text);
    if (notes) notes->add("%s", text);
    return 0;
}

}  // namespace

int applyLoopRules(const GenSignalChannel& c, int64_t n, double sampleRate, bool exact, ChannelNotes* notes,
                   LoopFacts& facts) {
    const double duration = static_cast<double>(n) / sampleRate;
    const double binWidth = sampleRate / static_cast<double>(n);
    char text[320];
    const std::optional<int64_t> k = wholeCycles(c.cfoHz, n, sampleRate);
    facts.cfoCloses = k.has_value();
    facts.cfoCycles = k ? *k : 0;
    if (!k) {
        const double nearest = std::round(c.cfoHz / binWidth) * binWidth;
        std::snprintf(text, sizeof text,
                      "GenSignalChannel.cfoHz = %s: not a whole number of cycles over the loop of %lld samples at "
                      "sampleRate = %s, which closes on multiples of %s Hz; the nearest that closes is %s",
                      numberText(c.cfoHz).text, static_cast<long long>(n), numberText(sampleRate).text,
                      numberText(binWidth).text, numberText(nearest).text);
        if (int rc = breaks(exact, notes, text)) return rc;
    }
    if (c.phaseNoisePoints > 0 && c.phaseNoiseOffsetHz[0] < binWidth) {
        std::snprintf(text, sizeof text,
                      "GenSignalChannel.phaseNoiseOffsetHz[0] = %s: below the lowest offset the loop of %lld samples "
                      "resolves, sampleRate / samples = %s Hz; a loop of at least %.6g s holds it",
                      numberText(c.phaseNoiseOffsetHz[0]).text, static_cast<long long>(n), numberText(binWidth).text,
                      1 / c.phaseNoiseOffsetHz[0]);
        if (int rc = breaks(exact, notes, text)) return rc;
    }
    const double periods = c.dopplerHz / sampleRate * static_cast<double>(n);  // fD T, finite at any rate
    if (c.fading != GENSIGNAL_FADING_OFF && c.dopplerHz > 0 && periods < kFewestDopplerPeriods) {
        const long long lines = 2 * static_cast<long long>(std::floor(periods)) + 1;
        std::snprintf(text, sizeof text,
                      "GenSignalChannel.dopplerHz = %s: the loop of %lld samples (%.4g s) holds %.3g Doppler periods, "
                      "%lld line%s within +-%s Hz; at least 8 lines need a loop of at least %.6g s",
                      numberText(c.dopplerHz).text, static_cast<long long>(n), duration, periods, lines,
                      lines == 1 ? "" : "s", numberText(c.dopplerHz).text, kFewestDopplerPeriods / c.dopplerHz);
        if (int rc = breaks(exact, notes, text)) return rc;
    }
    return 0;
}
