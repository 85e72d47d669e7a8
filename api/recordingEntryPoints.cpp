// The entry points of the recordings' texts: the SigMF metadata a host
// writes, what a recording's metadata says of its data when a host reads
// it, and the house JSON of any document, so that every host writes and
// reads recordings by one implementation.
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "jsonText.h"
#include "lastError.h"
#include "sigmfMetadata.h"
#include "wrapperGenSignalWave.h"

namespace {

using nlohmann::json;

// Deeper documents are refused: the text is written by recursion.
constexpr int kMaxDepth = 64;

bool deeperThan(const json& v, int levels) {
    if (!v.is_structured()) return false;
    if (levels == 0) return true;
    for (const json& child : v)
        if (deeperThan(child, levels - 1)) return true;
    return false;
}

// Parses `text` into `out`; -1 with the reason otherwise.
int parsed(const char* function, const char* text, json& out) {
    if (!text) return refuse(-1, "%s: the JSON text is a null pointer", function);
    out = json::parse(text, nullptr, false);
    if (out.is_discarded())
        return refuse(-1, "%s: not JSON (UTF-8, numbers finite, as json.dumps(allow_nan=False) writes)", function);
    if (deeperThan(out, kMaxDepth)) return refuse(-1, "%s: nested deeper than %d levels", function, kMaxDepth);
    return 0;
}

// The text's length; copied with its terminating zero when the buffer holds
// both, nothing written when it is too small.
int handOver(const char* function, const std::string& text, char* buffer, int bufferSize) {
    if (text.size() >= static_cast<size_t>(INT_MAX))
        return refuse(-1, "%s: the text would be %zu bytes, above what an int counts", function, text.size());
    const int length = static_cast<int>(text.size());
    if (!buffer && bufferSize == 0) return length;
    if (!buffer || bufferSize < 1)
        return refuse(-1, "%s: buffer is null or bufferSize below 1 (null and 0 ask for the length)", function);
    if (bufferSize <= length)
        return refuse(-1, "%s: bufferSize %d does not hold the %d bytes of the text and its zero", function, bufferSize,
                      length);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return length;
}

// The shape of every text entry point: the document parsed, the text made
// (or the reason it is not, as `make` words it), handed over; nothing that
// is thrown leaves the library.
template <class Make>
int textEntryPoint(const char* function, const char* given, char* buffer, int bufferSize, Make make) {
    clearLastError();
    try {
        json document;
        if (parsed(function, given, document) != 0) return -1;
        std::string why;
        const std::string text = make(document, why);
        if (!why.empty()) return refuse(-1, "%s", why.c_str());
        return handOver(function, text, buffer, bufferSize);
    } catch (const std::bad_alloc&) {
        return refuse(-3, "%s: out of memory for the text", function);
    } catch (...) {
        return refuse(-1, "%s: the document could not be written", function);
    }
}

}  // namespace

extern "C" {

GENSIGNAL_API int GenSignalSigmfMetadata(const char* recording, char* buffer, int bufferSize) {
    static const char kName[] = "GenSignalSigmfMetadata";
    return textEntryPoint(kName, recording, buffer, bufferSize, [](const json& given, std::string& why) {
        const json meta = sigmfMetadata(given, why);
        if (!why.empty()) why = std::string(kName) + ": " + why;
        return why.empty() ? jsonText(meta) + '\n' : std::string();
    });
}

// The reason alone: the host puts the file's name before it.
GENSIGNAL_API int GenSignalSigmfRead(const char* metadata, char* buffer, int bufferSize) {
    return textEntryPoint("GenSignalSigmfRead", metadata, buffer, bufferSize,
                          [](const json& given, std::string& why) { return sigmfFacts(given, why).dump(); });
}

GENSIGNAL_API int GenSignalJsonText(const char* document, char* buffer, int bufferSize) {
    return textEntryPoint("GenSignalJsonText", document, buffer, bufferSize,
                          [](const json& given, std::string&) { return jsonText(given); });
}

}  // extern "C"
