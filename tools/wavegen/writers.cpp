#include "writers.h"

#include <nettle/sha2.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

void put16(std::vector<char>& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}
void put32(std::vector<char>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xff));
}

std::vector<char> int16Bytes(const int16_t* iq, int count) {
    std::vector<char> bytes;
    bytes.reserve(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) put16(bytes, static_cast<uint16_t>(iq[i]));
    return bytes;
}

bool writeRepeated(Sink& sink, const std::vector<char>& bytes, int64_t repeat) {
    for (int64_t r = 0; r < repeat; ++r)
        if (!sink.write(bytes.data(), bytes.size())) return false;
    return true;
}

// The largest WAV data chunk: the RIFF size field counts 36 more bytes.
constexpr uint64_t kWavDataLimit = 0xffffffffull - 36;
constexpr double kWavRateLimit = 0xffffffffu / 4;

}  // namespace

bool writeInt16(Sink& sink, const int16_t* iq, int count, int64_t repeat) {
    return writeRepeated(sink, int16Bytes(iq, count), repeat);
}

bool writeCf32(Sink& sink, const int16_t* iq, int count, int64_t repeat, double scale) {
    std::vector<char> bytes;
    bytes.reserve(static_cast<size_t>(count) * 4);
    for (int i = 0; i < count; ++i) {
        const float v = static_cast<float>(iq[i] / scale);
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        put32(bytes, bits);
    }
    return writeRepeated(sink, bytes, repeat);
}

std::string wavRefusal(double sampleRate, int64_t values) {
    // The header also stores rate * 4 bytes per second in 32 bits.
    if (!(sampleRate >= 1 && sampleRate <= kWavRateLimit) || sampleRate != std::floor(sampleRate))
        return "a WAV file needs a whole number of samples per second from 1 to " +
               std::to_string(static_cast<uint32_t>(kWavRateLimit));
    if (static_cast<uint64_t>(values) * 2 > kWavDataLimit)
        return "a WAV file holds at most " + std::to_string(kWavDataLimit / 4) + " samples, this waveform has " +
               std::to_string(values / 2);
    return {};
}

bool writeWav(Sink& sink, const int16_t* iq, int count, int64_t repeat, double sampleRate) {
    const auto rate = static_cast<uint32_t>(sampleRate);
    const auto dataBytes = static_cast<uint32_t>(static_cast<uint64_t>(count) * repeat * 2);
    std::vector<char> header{'R', 'I', 'F', 'F'};
    put32(header, 36 + dataBytes);
    for (char c : std::string("WAVEfmt ")) header.push_back(c);
    put32(header, 16);        // fmt chunk size
    put16(header, 1);         // PCM
    put16(header, 2);         // channels: I, Q
    put32(header, rate);      // frames per second
    put32(header, rate * 4);  // bytes per second
    put16(header, 4);         // bytes per frame
    put16(header, 16);        // bits per sample
    for (char c : std::string("data")) header.push_back(c);
    put32(header, dataBytes);
    return sink.write(header.data(), header.size()) && writeInt16(sink, iq, count, repeat);
}

std::string sha512Hex(const char* bytes, size_t size, int64_t repeat) {
    sha512_ctx ctx;
    sha512_init(&ctx);
    for (int64_t r = 0; r < repeat; ++r) sha512_update(&ctx, size, reinterpret_cast<const uint8_t*>(bytes));
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

std::string sha512OfInt16(const int16_t* iq, int count, int64_t repeat) {
    const std::vector<char> bytes = int16Bytes(iq, count);
    return sha512Hex(bytes.data(), bytes.size(), repeat);
}
