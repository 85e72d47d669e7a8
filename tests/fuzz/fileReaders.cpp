// The instrument file readers as a hostile file reaches them: the first
// byte chooses the reader (the tagged .wv file, big-endian I/Q with a
// marker file, or a marker file alone), the rest is the file. After every
// call the promises are checked: a refusal says why in one printable line;
// a file read holds whole samples, agrees with its own tags (the checksum
// recomputed, SAMPLES, marker ranges in order within the loop), and written
// again from what was read it reads back the same.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "entryPoints.h"
#include "fuzzFailure.h"
#include "iqbinFormat.h"
#include "markers.h"
#include "wvFormat.h"

namespace fuzzing {

namespace {

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    stopFuzzing("files", format, args);
}

void checkRefusal(const std::string& error) {
    if (error.empty()) fail("refused without a reason");
    for (char c : error)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            fail("the reason holds a control byte: %s", error.c_str());
}

void checkLines(const std::vector<MarkerLine>& lines, int64_t length) {
    int previousLine = 0;
    for (const MarkerLine& l : lines) {
        if (l.line < 1 || l.line > kMarkerLines || l.line <= previousLine) fail("marker line %d", l.line);
        previousLine = l.line;
        int64_t end = -1;
        for (const auto& [b, e] : l.high) {
            if (!(b > end && b < e && e <= length))
                fail("marker %d range [%lld, %lld) after %lld in %lld", l.line, static_cast<long long>(b),
                     static_cast<long long>(e), static_cast<long long>(end), static_cast<long long>(length));
            end = e;
        }
    }
}

void fuzzWv(const char* bytes, size_t size) {
    WvFile file;
    std::string error;
    if (!parseWv(bytes, size, file, error)) return checkRefusal(error);
    if (!error.empty()) fail("read, yet said \"%s\"", error.c_str());
    const int64_t samples = static_cast<int64_t>(file.iq.size() / 2);
    if (file.iq.size() % 2 != 0 || samples < 1 || file.header.samples != samples)
        fail("%zu values for %lld samples", file.iq.size(), static_cast<long long>(file.header.samples));
    const uint32_t sum = wvChecksum(file.iq.data(), static_cast<int>(file.iq.size()), 1);
    if (file.checksumStated && sum != file.header.checksum)
        fail("checksum %u accepted for %u", file.header.checksum, sum);
    const int64_t length = file.header.controlLength > 0 ? file.header.controlLength : samples;
    checkLines(file.header.markers, length);
    // Written again from what was read: the same samples and lines.
    WvHeader again = file.header;
    again.checksum = sum;
    if (!(again.clock > 0)) again.clock = 1;
    if (again.controlLength == 0 && !again.markers.empty()) again.controlLength = samples;
    std::string text = wvTags(again);
    for (int16_t v : file.iq) {
        text += static_cast<char>(static_cast<uint16_t>(v) & 0xff);
        text += static_cast<char>(static_cast<uint16_t>(v) >> 8);
    }
    text += '}';
    WvFile back;
    if (!parseWv(text.data(), text.size(), back, error)) fail("written again, refused: %s", error.c_str());
    if (back.iq != file.iq) fail("written again, other samples");
    if (back.header.markers.size() != file.header.markers.size()) fail("written again, other marker lines");
    for (size_t i = 0; i < back.header.markers.size(); ++i)
        if (back.header.markers[i].high != file.header.markers[i].high)
            fail("written again, marker %d changed", back.header.markers[i].line);
}

void fuzzIqbin(const char* bytes, size_t size) {
    // Split: the first two bytes give the marker file's share.
    if (size < 2) return;
    const size_t markers =
        (static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8)) % (size - 1);
    const char* data = bytes + 2 + markers;
    const size_t dataSize = size - 2 - std::min(markers, size - 2);
    std::vector<int16_t> iq;
    std::string error;
    if (!parseIqbin(data, dataSize, iq, error)) return checkRefusal(error);
    if (iq.size() * 2 != dataSize) fail("%zu values from %zu bytes", iq.size(), dataSize);
    const std::vector<char> again = iqbinBytes(iq.data(), static_cast<int>(iq.size()));
    if (std::string(again.begin(), again.end()) != std::string(data, dataSize)) fail("written again, other bytes");
    const int64_t samples = static_cast<int64_t>(iq.size() / 2);
    const auto* marks = reinterpret_cast<const uint8_t*>(bytes + 2);
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(markers), samples);
    const std::vector<MarkerLine> lines = linesFromBytes(marks, count);
    checkLines(lines, count);
    const std::vector<uint8_t> back = markerBytes(lines, count);
    for (int64_t i = 0; i < count; ++i)
        if (back[i] != (marks[i] & 0x0f))
            fail("marker byte %lld: %u back as %u", static_cast<long long>(i), marks[i], back[i]);
}

}  // namespace

int fuzzFiles(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1 << 20)) return size < 1 ? 0 : -1;
    const char* bytes = reinterpret_cast<const char*>(data) + 1;
    if (data[0] & 1)
        fuzzIqbin(bytes, size - 1);
    else
        fuzzWv(bytes, size - 1);
    return 0;
}

}  // namespace fuzzing
