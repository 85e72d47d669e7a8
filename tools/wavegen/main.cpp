// wavegen: asks the gensignal library for a waveform and writes it as a SigMF
// recording (ci16_le data plus JSON metadata) or as raw int16 I/Q.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {

bool writeData(const std::string& path, const int16_t* iq, int count) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    file.write(reinterpret_cast<const char*>(iq), static_cast<std::streamsize>(count) * 2);
#else
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<uint16_t>(iq[i]);
        const char bytes[2] = {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
        file.write(bytes, 2);
    }
#endif
    return static_cast<bool>(file.flush());
}

bool writeMeta(const std::string& path, const Kind& kind, double sampleRate, int samples) {
    char version[32] = {};
    GetALGVersion(version);
    nlohmann::json global = {
        {"core:datatype", "ci16_le"},
        {"core:sample_rate", sampleRate},
        {"core:version", "1.0.0"},
        {"core:num_channels", 1},
        {"core:description", kind.description},
        {"core:recorder", std::string("wavegen (gensignal ") + version + ")"},
        {"core:extensions", nlohmann::json::array({{{"name", "gensignal"}, {"version", "1.0.0"}, {"optional", true}}})},
        {"gensignal:kind", kind.name},
        {"gensignal:samples", samples},
    };
    const nlohmann::json fields = kind.fields();
    for (const auto& [field, value] : fields.items()) global["gensignal:" + field] = value;
    nlohmann::json meta = {
        {"global", global},
        {"captures", nlohmann::json::array({{{"core:sample_start", 0}}})},
        {"annotations", nlohmann::json::array()},
    };
    std::ofstream file(path, std::ios::trunc);
    if (!file) return false;
    file << meta.dump(2) << '\n';
    return static_cast<bool>(file.flush());
}

void printSummary(const Kind& kind, const int16_t* iq, int count, double sampleRate, const std::string& where) {
    const int samples = count / 2;
    double peak2 = 0, sum2 = 0;
    for (int i = 0; i < samples; ++i) {
        const double p = double(iq[2 * i]) * iq[2 * i] + double(iq[2 * i + 1]) * iq[2 * i + 1];
        peak2 = std::max(peak2, p);
        sum2 += p;
    }
    const double peak = std::sqrt(peak2);
    const double rms = samples > 0 ? std::sqrt(sum2 / samples) : 0.0;
    const double crest = rms > 0 ? 20 * std::log10(peak / rms) : 0.0;
    std::printf("%s: %d samples, %.6g s at %.10g Hz, peak %.1f, RMS %.1f, crest factor %.2f dB -> %s\n",
                kind.name.c_str(), samples, samples / sampleRate, sampleRate, peak, rms, crest, where.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"wavegen: writes a gensignal waveform as a SigMF recording (ci16_le) or raw int16 I/Q.\n"
                 "Without a subcommand it writes the default waveform."};
    app.require_subcommand(0, 1);
    OutputOptions out;
    addOutputOptions(&app, out);

    std::vector<std::unique_ptr<Kind>> kinds;
    kinds.push_back(addDigitalKind(app, out));  // first: the default waveform
    kinds.push_back(addDssKind(app, out));
    kinds.push_back(addAmKind(app, out));
    kinds.push_back(addFmKind(app, out));
    kinds.push_back(addMultitoneKind(app, out));
    kinds.push_back(addPulseKind(app, out));
    kinds.push_back(addStepSweepKind(app, out));
    kinds.push_back(addRampSweepKind(app, out));
    kinds.push_back(addAwgnKind(app, out));
    kinds.push_back(addOfdmKind(app, out));
    Kind* fallback = kinds.front().get();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    Kind* kind = fallback;
    for (auto& k : kinds)
        if (k->command->parsed()) kind = k.get();
    const double sampleRate = out.sampleRate > 0 ? out.sampleRate : kind->defaultSampleRate;

    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) {
        std::cerr << "wavegen: could not create a generator object\n";
        return 3;
    }
    int16_t* iq = nullptr;
    int count = 0;
    const int rc = kind->generate(handle, sampleRate, &iq, &count);
    if (rc != 0) {
        std::cerr << "wavegen: the library refused the " << kind->name << " request with result code " << rc
                  << (rc == -3 ? " (out of memory)" : " (rejected parameters)") << "; fields: " << kind->fields().dump()
                  << ", sampleRate: " << sampleRate << "\n";
        GenSignalObjRelease(handle);
        return 3;
    }

    const bool raw = out.format == "raw";
    const std::string dataPath = out.base + (raw ? ".raw" : ".sigmf-data");
    bool ok = writeData(dataPath, iq, count);
    if (ok && !raw) ok = writeMeta(out.base + ".sigmf-meta", *kind, sampleRate, count / 2);
    if (!ok) {
        std::cerr << "wavegen: cannot write " << out.base << (raw ? "" : ".sigmf-*") << "\n";
        GenSignalObjRelease(handle);
        return 1;
    }
    printSummary(*kind, iq, count, sampleRate, dataPath);
    GenSignalObjRelease(handle);
    return 0;
}
