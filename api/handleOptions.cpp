#include "handleOptions.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "lastError.h"

namespace {

constexpr double kFullScale = 32766.0;
constexpr uint32_t kEveryKind = 0x7FE;  // records 1 ... 10
constexpr uint32_t kMultitone = 1u << GENSIGNAL_RECORD_MULTITONE;
constexpr uint32_t kAwgn = 1u << GENSIGNAL_RECORD_AWGN;

struct OptionSpec {
    int option;
    const char* name;
    const char* keyword;
    int type;
    double minimum, maximum, byDefault;
    const char* choices;  // "a,b,c" for a choice
    const char* unit;
    uint32_t kinds;
    const char* help;
};

// Every option, declared once: the library checks values against it and
// hosts build their settings from it.
const OptionSpec kOptions[] = {
    {GENSIGNAL_OPTION_LOOP_MODE, "GENSIGNAL_OPTION_LOOP_MODE", "loop", GENSIGNAL_OPTION_TYPE_CHOICE, 0, 1, 0,
     "defined,exact", "", kEveryKind,
     "defined (the waveform as defined) or exact (the fewest whole periods that span whole samples, band-limited; "
     "refused when it cannot close)"},
    {GENSIGNAL_OPTION_TONE_PHASES, "GENSIGNAL_OPTION_TONE_PHASES", "tone_phases", GENSIGNAL_OPTION_TYPE_CHOICE, 0, 3, 0,
     "zero,newman,schroeder,random", "", kMultitone,
     "starting phases of the tones: zero, newman (pi k^2/N), schroeder (-pi k(k+1)/N) or random"},
    {GENSIGNAL_OPTION_PHASE_SEED, "GENSIGNAL_OPTION_PHASE_SEED", "phase_seed", GENSIGNAL_OPTION_TYPE_WHOLE, 0,
     4294967295.0, 0, nullptr, "", kMultitone, "seed of the random tone phases"},
    {GENSIGNAL_OPTION_PEAK_DBFS, "GENSIGNAL_OPTION_PEAK_DBFS", "peak_dbfs", GENSIGNAL_OPTION_TYPE_REAL, -90, 0, 0,
     nullptr, "dBFS", kEveryKind, "peak level (0 dBFS: a peak of 32766)"},
    {GENSIGNAL_OPTION_SNAP, "GENSIGNAL_OPTION_SNAP", "snap", GENSIGNAL_OPTION_TYPE_FLAG, 0, 1, 0, nullptr, "",
     kEveryKind, "exact mode: take the nearest value that closes instead of refusing, and say what changed"},
    {GENSIGNAL_OPTION_GRANULARITY, "GENSIGNAL_OPTION_GRANULARITY", "granularity", GENSIGNAL_OPTION_TYPE_WHOLE, 1,
     67108864, 1, nullptr, "samples", kEveryKind, "the buffer's length a multiple of this"},
    {GENSIGNAL_OPTION_MIN_LENGTH, "GENSIGNAL_OPTION_MIN_LENGTH", "min_length", GENSIGNAL_OPTION_TYPE_WHOLE, 0, 67108864,
     0, nullptr, "samples", kEveryKind, "the buffer at least this long"},
    {GENSIGNAL_OPTION_MAX_SAMPLES, "GENSIGNAL_OPTION_MAX_SAMPLES", "max_samples", GENSIGNAL_OPTION_TYPE_WHOLE, 0,
     1073741823, 0, nullptr, "samples", kEveryKind,
     "the buffer at most this long (0: no limit beyond the loop's caps)"},
    {GENSIGNAL_OPTION_MIN_LOOP_DURATION, "GENSIGNAL_OPTION_MIN_LOOP_DURATION", "min_loop_duration",
     GENSIGNAL_OPTION_TYPE_REAL, 0, 86400, 0, nullptr, "s", kEveryKind,
     "the buffer lasts at least this long (exact mode: as many whole loops as it takes)"},
    {GENSIGNAL_OPTION_NOISE_SOURCE, "GENSIGNAL_OPTION_NOISE_SOURCE", "noise_source", GENSIGNAL_OPTION_TYPE_CHOICE, 0, 1,
     0, "defined,channel", "", kAwgn,
     "the noise kind's Gaussian draws: defined (rand() through the polar method) or channel (the counter-based "
     "generator under the channel seed, Gaussian once band-limited)"},
};
constexpr int kOptionCount = static_cast<int>(sizeof kOptions / sizeof kOptions[0]);

const OptionSpec* find(int option) {
    for (const OptionSpec& o : kOptions)
        if (o.option == option) return &o;
    return nullptr;
}

int refuseOption(int option) {
    std::string known;
    for (int i = 0; i < kOptionCount; ++i) {
        known += i == 0 ? "" : i + 1 < kOptionCount ? ", " : " or ";
        known += std::to_string(kOptions[i].option) + " (" + kOptions[i].name + ")";
    }
    return refuse(-1, "option %d: must be %s", option, known.c_str());
}

// "0 (defined) or 1 (exact)".
std::string choiceWords(const char* choices) {
    std::string words, rest = choices;
    int i = 0;
    for (size_t at = 0; at != std::string::npos; ++i) {
        const size_t comma = rest.find(',', at);
        const std::string name = rest.substr(at, comma == std::string::npos ? comma : comma - at);
        at = comma == std::string::npos ? comma : comma + 1;
        words += (i == 0 ? "" : at == std::string::npos ? " or " : ", ") + std::to_string(i) + " (" + name + ")";
    }
    return words;
}

// The value within the option's range, whole where it must be; NaN and
// infinities fail.
int check(const OptionSpec& o, double v) {
    const NumberText shown = numberText(v);
    const char* text = shown.text;
    const bool within = v >= o.minimum && v <= o.maximum;
    const bool whole = v == std::floor(v);
    switch (o.type) {
        case GENSIGNAL_OPTION_TYPE_CHOICE:
            if (within && whole) return 0;
            return refuse(-1, "%s = %s: must be %s", o.name, text, choiceWords(o.choices).c_str());
        case GENSIGNAL_OPTION_TYPE_FLAG:
            if (within && whole) return 0;
            return refuse(-1, "%s = %s: must be 0 or 1", o.name, text);
        case GENSIGNAL_OPTION_TYPE_WHOLE:
            if (within && whole) return 0;
            return refuse(-1, "%s = %s: must be a whole number from %s to %s", o.name, text, numberText(o.minimum).text,
                          numberText(o.maximum).text);
        default:
            if (within) return 0;
            return refuse(-1, "%s = %s: must be %s to %s%s%s", o.name, text, numberText(o.minimum).text,
                          numberText(o.maximum).text, o.unit[0] ? " " : "", o.unit);
    }
}

}  // namespace

HandleOptions::HandleOptions() : value{} {
    for (const OptionSpec& o : kOptions) value[o.option] = o.byDefault;
}

double HandleOptions::fullScale() const {
    // Exactly 32766 at the default, so that the scale is the defined one.
    const double dbfs = value[GENSIGNAL_OPTION_PEAK_DBFS];
    return dbfs == 0 ? kFullScale : kFullScale * std::pow(10.0, dbfs / 20);
}

WaveSettings HandleOptions::wave() const {
    return {static_cast<LoopMode>(static_cast<int>(value[GENSIGNAL_OPTION_LOOP_MODE])),
            static_cast<TonePhases>(static_cast<int>(value[GENSIGNAL_OPTION_TONE_PHASES])),
            static_cast<uint32_t>(value[GENSIGNAL_OPTION_PHASE_SEED]),
            static_cast<NoiseSource>(static_cast<int>(value[GENSIGNAL_OPTION_NOISE_SOURCE]))};
}

HardwareLengths HandleOptions::lengths(double sampleRate) const {
    HardwareLengths rule;
    rule.granularity = static_cast<uint64_t>(value[GENSIGNAL_OPTION_GRANULARITY]);
    rule.minLength = static_cast<int64_t>(value[GENSIGNAL_OPTION_MIN_LENGTH]);
    rule.maxSamples = static_cast<int64_t>(value[GENSIGNAL_OPTION_MAX_SAMPLES]);
    const double duration = std::ceil(value[GENSIGNAL_OPTION_MIN_LOOP_DURATION] * sampleRate);
    if (duration > static_cast<double>(rule.minLength))
        rule.minLength = duration < 9e18 ? static_cast<int64_t>(duration) : INT64_MAX;
    return rule;
}

int setOption(HandleOptions& options, int option, double value) {
    const OptionSpec* o = find(option);
    if (!o) return refuseOption(option);
    if (int rc = check(*o, value)) return rc;
    options.value[option] = value == 0 ? 0.0 : value;  // -0 is the default too
    return 0;
}

int getOption(const HandleOptions& options, int option, double* value) {
    if (!find(option)) return refuseOption(option);
    if (!value) return refuse(-1, "GenSignalGetOption: value is a null pointer");
    *value = options.value[option];
    return 0;
}

int listOptions(GenSignalOptionInfo* infos, int capacity) {
    if (capacity < 0 || (!infos && capacity > 0))
        return refuse(-1, "GenSignalListOptions: capacity = %d: must be 0 or more, with an array when above 0",
                      capacity);
    for (int i = 0; i < kOptionCount && i < capacity; ++i) {
        const OptionSpec& o = kOptions[i];
        infos[i] = {o.option,    o.type, o.kinds,   0,         o.minimum, o.maximum,
                    o.byDefault, o.name, o.keyword, o.choices, o.unit,    o.help};
    }
    return kOptionCount;
}

const char* optionName(int option) {
    const OptionSpec* o = find(option);
    return o ? o->name : "option";
}

void LastCall::setNote(const char* format, ...) {
    va_list args;
    va_start(args, format);
    noteLength = formatBounded(note, kNoteCapacity, format, args);
    va_end(args);
}
