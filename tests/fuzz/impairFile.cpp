// `wavegen impair` on hostile files: a SigMF pair (metadata of fuzzed
// fields, some missing or of the wrong type, with or without a gensignal
// record; data of any length), a raw, cf32 or WAV file of fuzzed bytes,
// written to a scratch folder and read back by wavegen's own reader; what it
// accepts goes through the channel with the entry point's checks.
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "channelFuzz.h"
#include "entryPoints.h"
#include "measurement.h"
#include "storedWaveform.h"

namespace fuzzing {

namespace {

// A metadata value of the type the field wants, another type, or nothing.
nlohmann::json fuzzedValue(FuzzInput& in, const nlohmann::json& usual) {
    switch (in.byte() % 8) {
        case 0: return nullptr;
        case 1: return "text";
        case 2: return in.real(-1e6, 1e6);
        case 3: return static_cast<int64_t>(in.integer(-5, 1 << 20));
        default: return usual;
    }
}

std::string scratchFolder() {
    static const std::string folder = [] {
        char name[] = "/tmp/gensignal-fuzz-impair-XXXXXX";
        const char* made = mkdtemp(name);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

void writeFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int fuzzImpairFile(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::string base = scratchFolder() + "/f";
    const uint8_t kind = in.byte() % 4;
    const int length = in.integer(0, 1 << 12);  // or an edge value
    std::vector<char> bytes(length >= 0 && length <= (1 << 16) ? static_cast<size_t>(length) : 7);
    for (char& b : bytes) b = static_cast<char>(in.byte());
    std::string name;
    double rate = 0;
    if (kind == 0) {
        nlohmann::json global = {{"core:datatype", in.byte() < 200 ? "ci16_le" : (in.byte() & 1 ? "cf32_le" : "ri8")},
                                 {"core:sample_rate", fuzzedValue(in, in.rate(1e6))},
                                 {"core:num_channels", fuzzedValue(in, 1)}};
        if (in.byte() & 1) {
            global["gensignal:kind"] = fuzzedValue(in, "digital");
            for (const char* field : {"modType", "symbolRate", "freqDeviation", "pnOrder", "pnSeed", "filterType",
                                      "filterSpan", "samplesPerSymbol", "rolloff", "symbolCount"})
                if (in.byte() < 230) global[std::string("gensignal:") + field] = fuzzedValue(in, in.integer(1, 9));
        }
        if (in.byte() < 40) global["gensignal:repeat"] = fuzzedValue(in, in.integer(1, 4));
        if (in.byte() < 40) global["gensignal:samples"] = fuzzedValue(in, in.integer(0, 2048));
        nlohmann::json meta = {{"global", global}};
        if (in.byte() < 40)
            meta["annotations"] = {{{"core:sample_start", fuzzedValue(in, 0)},
                                    {"core:sample_count", fuzzedValue(in, in.integer(0, 1 << 12))}}};
        const std::string text = in.byte() < 8 ? std::string("{\"global\": [") : meta.dump();
        writeFile(base + ".sigmf-meta", std::vector<char>(text.begin(), text.end()));
        writeFile(base + ".sigmf-data", bytes);
        name = base;
    } else {
        name = base + (kind == 1 ? ".raw" : kind == 2 ? ".cf32" : ".wav");
        writeFile(name, bytes);
        rate = in.rate(1e6);
    }
    StoredWaveform w;
    std::string error;
    if (!readStoredWaveform(name, rate, w, error)) {
        if (error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    GenSignalMeasureInput input{w.samples(), w.values(),  w.floats ? GENSIGNAL_FORMAT_CF32 : GENSIGNAL_FORMAT_CI16,
                                0,           nullptr,     0,
                                0,           w.sampleRate};
    if (w.kind) {
        input.recordKind = recordKindOf(*w.kind);
        input.record = w.record.data();
        input.argument = w.argument;
    }
    const GenSignalChannel channel = decodeChannel(in, std::isfinite(w.sampleRate) ? w.sampleRate : 1e6);
    checkApplyChannel(in, channel, input);
    return 0;
}

}  // namespace fuzzing
