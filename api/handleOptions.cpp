#include "handleOptions.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "lastError.h"

namespace {

constexpr double kFullScale = 32766.0;
constexpr double kLowestDbfs = -90;  // 32766 * 10^(-90/20) is about one step of 16 bits
constexpr double kLargestSeed = 4294967295.0;

const char* optionName(int option) {
    switch (option) {
        case GENSIGNAL_OPTION_LOOP_MODE: return "GENSIGNAL_OPTION_LOOP_MODE";
        case GENSIGNAL_OPTION_TONE_PHASES: return "GENSIGNAL_OPTION_TONE_PHASES";
        case GENSIGNAL_OPTION_PHASE_SEED: return "GENSIGNAL_OPTION_PHASE_SEED";
        case GENSIGNAL_OPTION_PEAK_DBFS: return "GENSIGNAL_OPTION_PEAK_DBFS";
        default: return nullptr;
    }
}

int refuseOption(int option) {
    return refuse(-1,
                  "option %d: must be 1 (GENSIGNAL_OPTION_LOOP_MODE), 2 (GENSIGNAL_OPTION_TONE_PHASES), "
                  "3 (GENSIGNAL_OPTION_PHASE_SEED) or 4 (GENSIGNAL_OPTION_PEAK_DBFS)",
                  option);
}

// A whole number within [lo, hi]; NaN and infinities fail.
bool wholeWithin(double v, double lo, double hi) { return v >= lo && v <= hi && v == std::floor(v); }

}  // namespace

double HandleOptions::fullScale() const {
    // Exactly 32766 at the default, so that the scale is the defined one.
    return peakDbfs == 0 ? kFullScale : kFullScale * std::pow(10.0, peakDbfs / 20);
}

int setOption(HandleOptions& options, int option, double value) {
    const char* name = optionName(option);
    if (!name) return refuseOption(option);
    const NumberText shown = numberText(value);
    const char* text = shown.text;
    switch (option) {
        case GENSIGNAL_OPTION_LOOP_MODE:
            if (!wholeWithin(value, 0, 1))
                return refuse(-1, "%s = %s: must be 0 (GENSIGNAL_LOOP_DEFINED) or 1 (GENSIGNAL_LOOP_EXACT)", name,
                              text);
            options.loop = static_cast<LoopMode>(static_cast<int>(value));
            return 0;
        case GENSIGNAL_OPTION_TONE_PHASES:
            if (!wholeWithin(value, 0, 3))
                return refuse(-1, "%s = %s: must be 0 (zero), 1 (Newman), 2 (Schroeder) or 3 (random)", name, text);
            options.phases = static_cast<TonePhases>(static_cast<int>(value));
            return 0;
        case GENSIGNAL_OPTION_PHASE_SEED:
            if (!wholeWithin(value, 0, kLargestSeed))
                return refuse(-1, "%s = %s: must be a whole number from 0 to 4294967295", name, text);
            options.phaseSeed = static_cast<uint32_t>(value);
            return 0;
        default:
            if (!(value >= kLowestDbfs && value <= 0)) return refuse(-1, "%s = %s: must be -90 to 0 dBFS", name, text);
            options.peakDbfs = value == 0 ? 0.0 : value;  // -0 is the default too
            return 0;
    }
}

int getOption(const HandleOptions& options, int option, double* value) {
    if (!optionName(option)) return refuseOption(option);
    if (!value) return refuse(-1, "GenSignalGetOption: value is a null pointer");
    switch (option) {
        case GENSIGNAL_OPTION_LOOP_MODE: *value = static_cast<int>(options.loop); break;
        case GENSIGNAL_OPTION_TONE_PHASES: *value = static_cast<int>(options.phases); break;
        case GENSIGNAL_OPTION_PHASE_SEED: *value = options.phaseSeed; break;
        default: *value = options.peakDbfs; break;
    }
    return 0;
}

void LastCall::setNote(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(note, kNoteCapacity, format, args);
    va_end(args);
    noteLength = n < 0 ? 0 : (n < kNoteCapacity ? n : kNoteCapacity - 1);
    note[noteLength] = '\0';
}
