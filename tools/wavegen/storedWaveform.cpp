#include "storedWaveform.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <strings.h>
#include <fstream>
#include <iterator>
#include <limits>

#include "channelOptions.h"
#include "libraryText.h"
#include "iqbinFormat.h"
#include "writers.h"
#include "wvFormat.h"

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool exists(const std::string& path) { return static_cast<bool>(std::ifstream(path)); }

// A choice field's value: its name (any case; the metadata writes names) or its number.
bool choiceNumber(const Field& f, const nlohmann::json& value, int64_t& number) {
    if (value.is_number_integer()) {
        number = value.get<int64_t>();
        return true;
    }
    if (!value.is_string()) return false;
    for (const auto& [name, n] : f.choices)
        if (strcasecmp(name.c_str(), value.get_ref<const std::string&>().c_str()) == 0) {
            number = n;
            return true;
        }
    return false;
}

bool readBytes(const std::string& path, std::vector<char>& bytes, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = path + ": read error";
        return false;
    }
    return true;
}

uint32_t le32(const char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
uint16_t le16(const char* p) {
    return static_cast<uint16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
}

// Little-endian int16 or float32 pairs from raw bytes.
bool fromBytes(const std::string& path, const std::vector<char>& bytes, size_t begin, size_t end, bool floats,
               StoredWaveform& out, std::string& error) {
    const size_t size = end - begin, sample = floats ? 8 : 4;
    if (size % sample != 0) {
        error = path + ": " + std::to_string(size) + " bytes of data is not a whole number of " +
                (floats ? "complex float" : "int16 I/Q") + " samples; truncated?";
        return false;
    }
    if (size == 0) {
        error = path + ": holds no samples";
        return false;
    }
    out.dataPath = path;
    out.floats = floats;
    const char* p = bytes.data() + begin;
    if (floats) {
        out.cf32.resize(size / 4);
        for (size_t i = 0; i < out.cf32.size(); ++i) {
            const uint32_t bits = le32(p + 4 * i);
            std::memcpy(&out.cf32[i], &bits, 4);
        }
    } else {
        out.ci16.resize(size / 2);
        for (size_t i = 0; i < out.ci16.size(); ++i) out.ci16[i] = static_cast<int16_t>(le16(p + 2 * i));
    }
    return true;
}

bool readWav(const std::string& path, StoredWaveform& out, std::string& error) {
    std::vector<char> bytes;
    if (!readBytes(path, bytes, error)) return false;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = path + ": not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(bytes.data() + at, 4);
        const uint64_t size = le32(bytes.data() + at + 4);
        const size_t body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > bytes.size()) break;
            const uint16_t format = le16(bytes.data() + body), channels = le16(bytes.data() + body + 2);
            const uint16_t bits = le16(bytes.data() + body + 14);
            if (format != 1 || channels != 2 || bits != 16) {
                error = path + ": WAV format " + std::to_string(format) + ", " + std::to_string(channels) +
                        " channels, " + std::to_string(bits) +
                        " bits; only 16-bit PCM with two channels (I, Q) is read";
                return false;
            }
            out.sampleRate = le32(bytes.data() + body + 4);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) break;
            if (body + size > bytes.size()) {
                error = path + ": its data chunk says " + std::to_string(size) + " bytes, the file holds " +
                        std::to_string(bytes.size() - body) + "; truncated?";
                return false;
            }
            out.rateInFile = true;
            return fromBytes(path, bytes, body, body + size, false, out, error);
        }
        at = body + size + (size & 1);
    }
    error = path + ": no " + std::string(haveFormat ? "data" : "fmt ") + " chunk where a WAV file has one";
    return false;
}

// The record the metadata's gensignal: fields describe, in the header's layout.
bool readRecord(const std::string& metaPath, const nlohmann::json& global, StoredWaveform& out, std::string& error) {
    const auto kindName = global.find("gensignal:kind");
    if (kindName == global.end()) return true;
    if (!kindName->is_string()) {
        error = metaPath + ": gensignal:kind is not a text";
        return false;
    }
    for (const KindTable& kind : allKinds())
        if (kind.name == kindName->get<std::string>()) out.kind = &kind;
    if (!out.kind) {
        error = metaPath + ": gensignal:kind \"" + kindName->get<std::string>() + "\" is no kind wavegen knows";
        return false;
    }
    out.record.assign(out.kind->recordSize, 0);
    for (const Field& f : out.kind->fields) {
        if (f.target == FieldTarget::Program) continue;
        const auto value = global.find("gensignal:" + f.name);
        int64_t v = 0;
        const bool readable = value != global.end() && (f.type == FieldType::Real     ? value->is_number()
                                                        : f.type == FieldType::Choice ? choiceNumber(f, *value, v)
                                                                                      : value->is_number_integer());
        if (!readable) {
            const char* expected = f.type == FieldType::Real     ? "a number"
                                   : f.type == FieldType::Choice ? "one of its names or a whole number"
                                                                 : "a whole number";
            error = metaPath + ": gensignal:" + f.name + " is " +
                    (value == global.end() ? std::string("missing") : "not " + std::string(expected)) + " in the " +
                    out.kind->name + " record";
            return false;
        }
        if (f.type == FieldType::Real) {
            const double real = value->get<double>();
            std::memcpy(&out.record[f.offset], &real, sizeof real);
            continue;
        }
        if (f.type != FieldType::Choice) v = value->get<int64_t>();
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
            error = metaPath + ": gensignal:" + f.name + " = " + std::to_string(v) + " does not fit 32 bits";
            return false;
        }
        if (f.target == FieldTarget::Argument) {
            out.argument = static_cast<int>(v);
        } else if (f.type == FieldType::Flag) {
            out.record[f.offset] = v != 0 ? 1 : 0;
        } else {
            const int32_t i = static_cast<int32_t>(v);
            std::memcpy(&out.record[f.offset], &i, sizeof i);
        }
    }
    return true;
}

bool readSigmfPair(const std::string& base, StoredWaveform& out, std::string& error) {
    const std::string metaPath = base + ".sigmf-meta", dataPath = base + ".sigmf-data";
    std::vector<char> text;
    if (!readBytes(metaPath, text, error)) return false;
    nlohmann::json meta;
    try {
        meta = nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::exception& e) {
        error = metaPath + ": not JSON: " + e.what();
        return false;
    }
    std::string refusal;
    const nlohmann::json facts = recordingFacts(meta, refusal);
    if (facts.is_null()) {
        error = metaPath + ": " + refusal;
        return false;
    }
    if (facts["floats"].is_null()) {
        error = metaPath + ": core:datatype \"" + facts["datatype"].get<std::string>() +
                "\" is not read (only ci16_le and cf32_le)";
        return false;
    }
    const nlohmann::json& g = meta["global"];
    out.sampleRate = facts["sample_rate"].get<double>();
    out.rateInFile = true;
    out.global = g;
    if (!readRecord(metaPath, g, out, error)) return false;
    // A channel that cannot be read back does not keep the samples from
    // being read: what needs it (a regeneration) says why it is missing.
    if (const auto channel = g.find("gensignal:channel"); channel != g.end() && !channel->is_null()) {
        const auto settings = channel->is_object() ? channel->find("settings") : channel->end();
        std::string why = settings == channel->end() ? "gensignal:channel has no settings"
                                                     : channelFromSettings(*settings, out.channel);
        if (!why.empty()) {
            out.channelProblem = metaPath + ": " + why;
            std::memset(&out.channel, 0, sizeof out.channel);
        } else {
            out.hasChannel = true;
            const auto stage = channel->find("stage");
            out.channelInGeneration = stage != channel->end() && *stage == "generation";
            const auto source = channel->find("noise_source");
            out.noiseFromChannel = source != channel->end() && *source == "channel";
        }
    }

    // The data may hold the generated buffer several times over (it loops).
    const int64_t repeat = facts["repeat"].get<int64_t>(), period = facts["samples"].get<int64_t>();
    const int64_t described = facts["described"].get<int64_t>();
    std::vector<char> data;
    if (!readBytes(dataPath, data, error)) return false;
    if (!fromBytes(dataPath, data, 0, data.size(), facts["floats"].get<bool>(), out, error)) return false;
    const int64_t samples = out.values() / 2;
    if (samples < described) {
        error = dataPath + ": holds " + std::to_string(samples) + " samples, the metadata describes " +
                std::to_string(described) + "; truncated?";
        return false;
    }
    if (facts["sha512"].is_string()) {
        if (sha512Hex(data.data(), data.size(), 1) != facts["sha512"].get<std::string>()) {
            error = dataPath + ": its SHA-512 does not match core:sha512 of " + metaPath;
            return false;
        }
    }
    // Measured once: the buffer the library made.
    if (repeat > 1 && period > 0) {
        out.ci16.resize(out.floats ? 0 : static_cast<size_t>(2 * period));
        out.cf32.resize(out.floats ? static_cast<size_t>(2 * period) : 0);
    }
    return true;
}

// A metadata field of an unexpected type is a fault of the file too.
bool readSigmf(const std::string& base, StoredWaveform& out, std::string& error) {
    try {
        return readSigmfPair(base, out, error);
    } catch (const nlohmann::json::exception& e) {
        error = base + ".sigmf-meta: " + e.what();
        return false;
    }
}

bool readWvFile(const std::string& path, double sampleRate, StoredWaveform& out, std::string& error) {
    std::vector<char> bytes;
    if (!readBytes(path, bytes, error)) return false;
    WvFile file;
    if (!parseWv(bytes.data(), bytes.size(), file, error)) {
        error = path + ": " + error;
        return false;
    }
    out.dataPath = path;
    out.ci16 = std::move(file.iq);
    out.markers = std::move(file.header.markers);
    if (file.clockStated) {
        out.sampleRate = file.header.clock;
        out.rateInFile = true;
    } else if (sampleRate > 0 && std::isfinite(sampleRate)) {
        out.sampleRate = sampleRate;
    } else {
        error = path + ": no CLOCK tag states its rate: give --sample-rate";
        return false;
    }
    return true;
}

bool readIqbinFile(const std::string& path, double sampleRate, StoredWaveform& out, std::string& error) {
    if (!(sampleRate > 0 && std::isfinite(sampleRate))) {
        error = path + ": an iqbin file does not say its rate: give --sample-rate";
        return false;
    }
    std::vector<char> bytes;
    if (!readBytes(path, bytes, error)) return false;
    if (!parseIqbin(bytes.data(), bytes.size(), out.ci16, error)) {
        error = path + ": " + error;
        return false;
    }
    out.dataPath = path;
    out.sampleRate = sampleRate;
    const std::string markerPath = markerFileName(path);
    if (!exists(markerPath)) return true;
    std::vector<char> markers;
    if (!readBytes(markerPath, markers, error)) return false;
    const size_t samples = out.ci16.size() / 2;
    if (markers.size() != samples) {
        error = markerPath + ": " + std::to_string(markers.size()) + " marker bytes for the " +
                std::to_string(samples) + " samples of " + path;
        return false;
    }
    out.markers = linesFromBytes(reinterpret_cast<const uint8_t*>(markers.data()), static_cast<int64_t>(samples));
    return true;
}

}  // namespace

bool readStoredWaveform(const std::string& name, double sampleRate, StoredWaveform& out, std::string& error) {
    out = StoredWaveform();
    for (const char* suffix : {".sigmf-meta", ".sigmf-data", ".sigmf"})
        if (endsWith(name, suffix)) return readSigmf(name.substr(0, name.size() - std::strlen(suffix)), out, error);
    if (endsWith(name, ".wav")) return readWav(name, out, error);
    if (endsWith(name, ".wv")) return readWvFile(name, sampleRate, out, error);
    if (endsWith(name, ".iqbin")) return readIqbinFile(name, sampleRate, out, error);
    const bool raw = endsWith(name, ".raw"), cf32 = endsWith(name, ".cf32");
    if (raw || cf32) {
        if (!(sampleRate > 0 && std::isfinite(sampleRate))) {
            error =
                name + ": a " + std::string(raw ? "raw" : "cf32") + " file does not say its rate: give --sample-rate";
            return false;
        }
        std::vector<char> bytes;
        if (!readBytes(name, bytes, error)) return false;
        out.sampleRate = sampleRate;
        return fromBytes(name, bytes, 0, bytes.size(), cf32, out, error);
    }
    if (exists(name + ".sigmf-meta")) return readSigmf(name, out, error);
    error = name +
            ": not a file wavegen reads: name a .sigmf-meta, .sigmf-data, .raw, .cf32, .wav, .wv or .iqbin file, or "
            "the base name of a SigMF pair";
    return false;
}
