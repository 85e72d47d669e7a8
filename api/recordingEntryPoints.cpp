// The entry points that give hosts the text of the files they write: the
// SigMF metadata of a recording and the house JSON of any document, so that
// every host writes the same bytes from one implementation.
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

template <class Make>
int guarded(const char* function, Make make) {
    try {
        return make();
    } catch (const std::bad_alloc&) {
        return refuse(-3, "%s: out of memory for the text", function);
    } catch (...) {
        return refuse(-1, "%s: the document could not be written", function);
    }
}

}  // namespace

extern "C" {

GENSIGNAL_API int GenSignalSigmfMetadata(const char* recording, char* buffer, int bufferSize) {
    clearLastError();
    static const char kName[] = "GenSignalSigmfMetadata";
    return guarded(kName, [&] {
        json given;
        if (parsed(kName, recording, given) != 0) return -1;
        std::string why;
        const json meta = sigmfMetadata(given, why);
        if (!why.empty()) return refuse(-1, "%s: %s", kName, why.c_str());
        return handOver(kName, jsonText(meta) + '\n', buffer, bufferSize);
    });
}

GENSIGNAL_API int GenSignalSigmfRead(const char* metadata, char* buffer, int bufferSize) {
    clearLastError();
    static const char kName[] = "GenSignalSigmfRead";
    return guarded(kName, [&] {
        json given;
        if (parsed(kName, metadata, given) != 0) return -1;
        std::string why;
        const json facts = sigmfFacts(given, why);
        if (!why.empty()) return refuse(-1, "%s", why.c_str());
        return handOver(kName, facts.dump(), buffer, bufferSize);
    });
}

GENSIGNAL_API int GenSignalJsonText(const char* document, char* buffer, int bufferSize) {
    clearLastError();
    static const char kName[] = "GenSignalJsonText";
    return guarded(kName, [&] {
        json given;
        if (parsed(kName, document, given) != 0) return -1;
        return handOver(kName, jsonText(given), buffer, bufferSize);
    });
}

}  // extern "C"
