#include "entryPointCheck.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzFailure.h"
#include "heapWatch.h"
#include "wrapperGenSignalWave.h"

namespace fuzzing {

namespace {

const char* currentInput = nullptr;
const std::function<std::string()>* currentDescription = nullptr;

// Working memory allowed per held sample, and for everything that does not
// grow with the samples (tap tables, the runtime's thread pools, the
// registry).
constexpr double kBytesPerHeldSample = 32;
constexpr double kFixedHeapBytes = 16 << 20;

constexpr int kCountSentinel = -12345;

[[noreturn]] __attribute__((format(printf, 2, 3))) void fail(const char* entryPoint, const char* format, ...) {
    std::string more;
    if (currentDescription) more += "\n*** call: " + (*currentDescription)();
    if (currentInput) more += std::string("\n*** input: ") + currentInput;
    va_list args;
    va_start(args, format);
    stopFuzzing(entryPoint, format, args, more);
}

const char* handleName(Target::Handle h) {
    switch (h) {
        case Target::fresh: return "a fresh handle";
        case Target::holdingBuffer: return "a handle holding a buffer";
        case Target::released: return "a released handle";
        default: return "an id never handed out";
    }
}

std::string lastError() {
    char buffer[1024];
    const int n = GenSignalGetLastError(buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer);
}

// A refusal of a record field reads "<Record>.<field> = <value>: <rule>"
// (or "... = <value> <relation>"): hosts, wavegen and the Python package
// find the field by the text before " = ".
bool wellFormedFieldMessage(const std::string& m, const std::string& record) {
    size_t i = record.size() + 1;
    const size_t fieldStart = i;
    while (i < m.size() && (std::isalnum(static_cast<unsigned char>(m[i])) || m[i] == '_')) ++i;
    if (i == fieldStart || m.compare(i, 3, " = ") != 0) return false;
    const size_t value = i + 3;
    const size_t valueEnd = m.find_first_of(": ", value);
    return valueEnd != std::string::npos && valueEnd > value && valueEnd + 2 < m.size();
}

void checkMessage(const char* entryPoint, const char* record, const std::string& m) {
    if (m.empty()) fail(entryPoint, "refused without a message");
    for (char c : m)
        if (!std::isprint(static_cast<unsigned char>(c)))
            fail(entryPoint, "message holds a control byte: \"%s\"", m.c_str());
    const std::string prefix = std::string(record) + ".";
    if (m.compare(0, prefix.size(), prefix) == 0 && !wellFormedFieldMessage(m, record))
        fail(entryPoint, "message does not read \"%s<field> = <value>: <rule>\": \"%s\"", prefix.c_str(), m.c_str());
}

// An earlier waveform on the handle: an AM sine of exactly `samples`
// samples (one period at 1000 Hz).
std::vector<int16_t> prime(int handle, int samples, int16_t** buffer) {
    const AMModParams am{1000.0, 50.0, 1};
    int count = 0;
    if (GenerateAmWaveform(handle, &am, buffer, &count, 1000.0 * samples) != 0 || count != 2 * samples)
        fail("GenerateAmWaveform", "the earlier waveform of %d samples was refused: %s", samples, lastError().c_str());
    return std::vector<int16_t>(*buffer, *buffer + count);
}

void checkValues(const char* entryPoint, Conversion conversion, const int16_t* iq, int count, double fullScale) {
    int64_t largestSquare = 0;
    int largestReal = 0;
    for (int i = 0; i < count; i += 2) {
        const int re = iq[i];
        const int im = iq[i + 1];
        if (re < -32766 || re > 32766 || im < -32766 || im > 32766)
            fail(entryPoint, "sample %d is (%d, %d): a value outside +-32766", i / 2, re, im);
        if (conversion == Conversion::real) {
            if (im != 0) fail(entryPoint, "real waveform with Q = %d at sample %d", im, i / 2);
            if (std::abs(re) > largestReal) largestReal = std::abs(re);
        } else {
            const int64_t square = int64_t{re} * re + int64_t{im} * im;
            if (square > largestSquare) largestSquare = square;
        }
    }
    // The peak sample is scaled to the full scale (32766 at 0 dBFS): exactly
    // for a real waveform at 0 dBFS, to within a rounding otherwise, and to
    // within the rounding of both components for a complex one.
    if (conversion == Conversion::real) {
        const double slack = fullScale == 32766.0 ? 0.0 : 1.0;
        if (largestReal != 0 && std::fabs(largestReal - fullScale) > slack + 0.5)
            fail(entryPoint, "largest |I| is %d, not %.1f", largestReal, fullScale);
    } else if (largestSquare != 0) {
        const double largest = std::sqrt(static_cast<double>(largestSquare));
        if (std::fabs(largest - fullScale) > 1.0)
            fail(entryPoint, "largest magnitude is %.3f, not %.1f", largest, fullScale);
    }
}

void checkHeap(const char* entryPoint, size_t peak, double heldSamples) {
    const double allowed = kBytesPerHeldSample * heldSamples + kFixedHeapBytes;
    if (static_cast<double>(peak) > allowed)
        fail(entryPoint, "held %zu bytes of heap for about %.0f samples (allowed %.0f)", peak, heldSamples, allowed);
}

}  // namespace

void setCurrentInput(const char* name) { currentInput = name; }

LoopSettings decodeSettings(FuzzInput& in) {
    LoopSettings s;
    const uint8_t mode = in.byte();
    s.exact = mode % 3 == 1;
    s.tonePhases = (mode / 3) % 4;
    s.phaseSeed = static_cast<double>(in.bits(4));
    const uint8_t level = in.byte();
    s.peakDbfs = level < 200 ? 0.0 : -static_cast<double>(level - 200) * 1.5;
    const uint8_t stray = in.byte();
    if (stray >= 128) {
        s.strayOption = stray % 7 - 1;  // -1 ... 5: the unknown ones too
        s.strayValue = in.real(-100, 1e10);
    }
    return s;
}

Target decodeTarget(FuzzInput& in) {
    static const int kDeadIds[] = {-1, INT_MIN, INT_MAX, 1 << 30, -1000};
    const uint8_t mode = in.byte();
    Target t;
    t.handle = static_cast<Target::Handle>(mode % 4);
    t.nullRecord = mode >= 252;
    t.primerSamples = 1 + static_cast<int>(in.bits(2) % 5000);
    t.deadId = kDeadIds[(mode / 4) % 5];
    return t;
}

int checkCall(const char* entryPoint, const char* record, const Target& target, Conversion conversion,
              const Expectation& expectation, const Planned& planned, const EntryCall& call,
              const std::function<std::string()>& describe) {
    const bool skip = planned.accepted && (expectation.work > kWorkBudget || planned.samples > kWorkBudget);
    const std::function<std::string()> full = [&] {
        std::string text = describe() + " on " + handleName(target.handle);
        if (target.settings.exact) text += ", exact loop";
        if (target.settings.tonePhases) text += ", tone phases " + std::to_string(target.settings.tonePhases);
        if (target.settings.peakDbfs != 0) text += ", peak " + std::to_string(target.settings.peakDbfs) + " dBFS";
        if (target.handle == Target::holdingBuffer) text += " of " + std::to_string(target.primerSamples) + " samples";
        if (target.handle == Target::neverHandedOut) text += " " + std::to_string(target.deadId);
        return target.nullRecord ? text + ", record pointer null" : text;
    };
    currentDescription = &full;
    // Crashes, timeouts and out-of-memory stops end the process outside these
    // checks: GENSIGNAL_FUZZ_DESCRIBE=1 prints the call an input makes
    // instead of making it.
    static const bool describeOnly = std::getenv("GENSIGNAL_FUZZ_DESCRIBE") != nullptr;
    if (describeOnly) {
        std::printf("%s: %s%s\n", entryPoint, full().c_str(), skip ? " (skipped: beyond the work budget)" : "");
        currentDescription = nullptr;
        return -1;
    }
    if (skip) {
        currentDescription = nullptr;
        return -1;
    }

    int handle = target.deadId;
    std::vector<int16_t> earlier;
    int16_t* earlierBuffer = nullptr;
    if (target.handle != Target::neverHandedOut) {
        handle = GenSignalObjCreatSelfEncode();
        if (handle < 0) fail(entryPoint, "no handle could be created: %s", lastError().c_str());
        if (target.handle == Target::holdingBuffer) earlier = prime(handle, target.primerSamples, &earlierBuffer);
        const LoopSettings& s = target.settings;
        if (s.strayOption != 0) {
            const int rc = GenSignalSetOption(handle, s.strayOption, s.strayValue);
            if (rc != 0 && rc != -1)
                fail(entryPoint, "GenSignalSetOption(%d, %g) returned %d", s.strayOption, s.strayValue, rc);
            if (rc != 0 && lastError().empty()) fail(entryPoint, "GenSignalSetOption refused without a message");
        }
        const std::pair<int, double> settings[] = {{GENSIGNAL_OPTION_LOOP_MODE, s.exact ? 1.0 : 0.0},
                                                   {GENSIGNAL_OPTION_TONE_PHASES, static_cast<double>(s.tonePhases)},
                                                   {GENSIGNAL_OPTION_PHASE_SEED, s.phaseSeed},
                                                   {GENSIGNAL_OPTION_PEAK_DBFS, s.peakDbfs}};
        for (const auto& [option, value] : settings)
            if (GenSignalSetOption(handle, option, value) != 0)
                fail(entryPoint, "GenSignalSetOption(%d, %g) refused a valid setting: %s", option, value,
                     lastError().c_str());
        if (target.handle == Target::released && GenSignalObjRelease(handle) != 0)
            fail(entryPoint, "handle %d could not be released", handle);
    }

    int16_t sentinel[2] = {0x5a5a, 0x5a5a};
    int16_t* iq = sentinel;
    int count = kCountSentinel;
    size_t heapPeak = 0;
    int rc;
    {
        HeapWatch watch;
        rc = call(handle, target.nullRecord, &iq, &count);
        heapPeak = watch.peakGrowth();
    }
    const std::string message = lastError();
    const char* on = handleName(target.handle);

    if (rc != 0 && rc != -1 && rc != -3) fail(entryPoint, "on %s returned %d (neither 0, -1 nor -3)", on, rc);
    const bool dead = target.handle == Target::released || target.handle == Target::neverHandedOut;
    if ((dead || target.nullRecord) && rc != -1)
        fail(entryPoint, "on %s%s returned %d, not -1", on, target.nullRecord ? " with a null record" : "", rc);
    if (target.nullRecord && message.find("params is a null pointer") == std::string::npos)
        fail(entryPoint, "null record refused with \"%s\"", message.c_str());
    else if (dead && !target.nullRecord && message.find("is not a live generator object") == std::string::npos)
        fail(entryPoint, "dead handle %d refused with \"%s\"", handle, message.c_str());

    if (rc != 0) {
        // A refusal holds no more than an accepted record within the budget
        // could: a record too large to run is refused before its arrays exist.
        const double held =
            std::isnan(expectation.heldSamples) ? kWorkBudget : std::fmin(expectation.heldSamples, kWorkBudget);
        checkHeap(entryPoint, heapPeak, std::fmax(held, 0.0));
        if (iq != sentinel || count != kCountSentinel)
            fail(entryPoint, "refused with %d on %s but wrote its out-parameters (count %d)", rc, on, count);
        checkMessage(entryPoint, record, message);
        if (earlierBuffer && !std::equal(earlier.begin(), earlier.end(), earlierBuffer))
            fail(entryPoint, "refused with %d but changed the earlier waveform in the handle's buffer", rc);
    } else {
        if (!message.empty()) fail(entryPoint, "succeeded but left the message \"%s\"", message.c_str());
        // An empty waveform succeeds only on a handle that can hand out its
        // earlier buffer unchanged.
        const bool emptyOnEarlier = count == 0 && earlierBuffer && iq == earlierBuffer;
        if ((count <= 0 && !emptyOnEarlier) || count % 2 != 0) fail(entryPoint, "succeeded with count %d", count);
        if (!iq || iq == sentinel) fail(entryPoint, "succeeded without handing out the buffer");
        if (earlierBuffer && count <= static_cast<int>(earlier.size()) && iq != earlierBuffer)
            fail(entryPoint, "%d values fit the earlier buffer of %zu, yet a new one was handed out", count,
                 earlier.size());
        const double fullScale =
            target.settings.peakDbfs == 0 ? 32766.0 : 32766.0 * std::pow(10.0, target.settings.peakDbfs / 20);
        checkValues(entryPoint, conversion, iq, count, fullScale);
        checkHeap(entryPoint, heapPeak, std::fmax(expectation.heldSamples, count / 2.0));
    }

    if (target.handle == Target::fresh || target.handle == Target::holdingBuffer) GenSignalObjRelease(handle);
    currentDescription = nullptr;
    return 0;
}

}  // namespace fuzzing
