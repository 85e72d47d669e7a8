#include "iqbinFormat.h"

std::vector<char> iqbinBytes(const int16_t* iq, int count) {
    std::vector<char> bytes(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<uint16_t>(iq[i]);
        bytes[2 * i] = static_cast<char>(v >> 8);
        bytes[2 * i + 1] = static_cast<char>(v & 0xff);
    }
    return bytes;
}

bool parseIqbin(const char* bytes, size_t size, std::vector<int16_t>& iq, std::string& error) {
    if (size % 4 != 0) {
        error = std::to_string(size) + " bytes is not a whole number of big-endian int16 I/Q samples; truncated?";
        return false;
    }
    if (size == 0) {
        error = "holds no samples";
        return false;
    }
    iq.resize(size / 2);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < iq.size(); ++i) iq[i] = static_cast<int16_t>((p[2 * i] << 8) | p[2 * i + 1]);
    return true;
}

std::string markerFileName(const std::string& dataName) {
    const std::string suffix = ".iqbin";
    const bool has = dataName.size() > suffix.size() &&
                     dataName.compare(dataName.size() - suffix.size(), suffix.size(), suffix) == 0;
    return (has ? dataName.substr(0, dataName.size() - suffix.size()) : dataName) + ".marker";
}
