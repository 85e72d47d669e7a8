#include "writers.h"

#include <nettle/sha2.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "jsonText.h"

namespace {

void put16(std::vector<char>& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}
void put32(std::vector<char>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xff));
}

bool writeBytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

std::vector<char> int16Bytes(const int16_t* iq, int count) {
    std::vector<char> bytes;
    bytes.reserve(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) put16(bytes, static_cast<uint16_t>(iq[i]));
    return bytes;
}

// The largest WAV data chunk: the RIFF size field counts 36 more bytes.
constexpr uint64_t kWavDataLimit = 0xffffffffull - 36;
constexpr double kWavRateLimit = 0xffffffffu / 4;

}  // namespace

bool writeRaw(const std::string& path, const int16_t* iq, int count) { return writeBytes(path, int16Bytes(iq, count)); }

bool writeCf32(const std::string& path, const int16_t* iq, int count) {
    std::vector<char> bytes;
    bytes.reserve(static_cast<size_t>(count) * 4);
    for (int i = 0; i < count; ++i) {
        const float v = static_cast<float>(iq[i] / 32767.0);
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        put32(bytes, bits);
    }
    return writeBytes(path, bytes);
}

std::string wavRefusal(double sampleRate, int count) {
    // The header also stores rate * 4 bytes per second in 32 bits.
    if (!(sampleRate >= 1 && sampleRate <= kWavRateLimit) || sampleRate != std::floor(sampleRate))
        return "a WAV file needs a whole number of samples per second from 1 to " +
               std::to_string(static_cast<uint32_t>(kWavRateLimit));
    if (static_cast<uint64_t>(count) * 2 > kWavDataLimit)
        return "a WAV file holds at most " + std::to_string(kWavDataLimit / 4) + " samples, this waveform has " +
               std::to_string(count / 2);
    return {};
}

bool writeWav(const std::string& path, const int16_t* iq, int count, double sampleRate) {
    const auto rate = static_cast<uint32_t>(sampleRate);
    const auto dataBytes = static_cast<uint32_t>(count) * 2;
    std::vector<char> bytes{'R', 'I', 'F', 'F'};
    put32(bytes, 36 + dataBytes);
    for (char c : std::string("WAVEfmt ")) bytes.push_back(c);
    put32(bytes, 16);        // fmt chunk size
    put16(bytes, 1);         // PCM
    put16(bytes, 2);         // channels: I, Q
    put32(bytes, rate);      // frames per second
    put32(bytes, rate * 4);  // bytes per second
    put16(bytes, 4);         // bytes per frame
    put16(bytes, 16);        // bits per sample
    for (char c : std::string("data")) bytes.push_back(c);
    put32(bytes, dataBytes);
    const std::vector<char> data = int16Bytes(iq, count);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return writeBytes(path, bytes);
}

std::string sha512OfFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    sha512_ctx ctx;
    sha512_init(&ctx);
    std::vector<char> chunk(1 << 16);
    while (file) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        sha512_update(&ctx, static_cast<size_t>(file.gcount()), reinterpret_cast<const uint8_t*>(chunk.data()));
    }
    if (file.bad()) return {};
    uint8_t digest[SHA512_DIGEST_SIZE];
    sha512_digest(&ctx, sizeof digest, digest);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : digest) {
        text += hex[b >> 4];
        text += hex[b & 15];
    }
    return text;
}

bool writeJson(const std::string& path, const nlohmann::json& meta) {
    std::ofstream file(path, std::ios::trunc);
    if (!file) return false;
    file << jsonText(meta) << '\n';
    return static_cast<bool>(file.flush());
}
