#include "libraryText.h"

#include <iostream>

#include "wrapperGenSignalWave.h"

namespace {

using TextEntryPoint = int (*)(const char*, char*, int);

// Asks for the length, then for the text; false with the library's reason.
bool textOf(TextEntryPoint make, const std::string& in, std::string& out, std::string& why) {
    const int length = make(in.c_str(), nullptr, 0);
    if (length >= 0) {
        out.resize(static_cast<size_t>(length) + 1);
        if (make(in.c_str(), out.data(), length + 1) == length) {
            out.resize(static_cast<size_t>(length));
            return true;
        }
    }
    char reason[512];
    why = GenSignalGetLastError(reason, sizeof reason) > 0 ? reason : "refused without a reason";
    return false;
}

// Strings that are not UTF-8 (a file's name) keep their place as U+FFFD.
std::string dumped(const nlohmann::json& given) {
    return given.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string saidOnFailure(TextEntryPoint make, const nlohmann::json& given) {
    std::string out, why;
    if (textOf(make, dumped(given), out, why)) return out;
    std::cerr << "wavegen: " << why << "\n";
    return "";
}

}  // namespace

std::string sigmfText(const nlohmann::json& recording) { return saidOnFailure(GenSignalSigmfMetadata, recording); }

std::string documentText(const nlohmann::json& document) { return saidOnFailure(GenSignalJsonText, document); }

nlohmann::json recordingFacts(const nlohmann::json& metadata, std::string& why) {
    std::string out;
    if (!textOf(GenSignalSigmfRead, dumped(metadata), out, why)) return nullptr;
    return nlohmann::json::parse(out);
}
