#include "libraryText.h"

#include <iostream>

#include "wrapperGenSignalWave.h"

namespace {

// Asks for the length, then for the text.
std::string textOf(int (*make)(const char*, char*, int), const nlohmann::json& given) {
    // Strings that are not UTF-8 (a file's name) keep their place as U+FFFD.
    const std::string in = given.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    const int length = make(in.c_str(), nullptr, 0);
    std::string out;
    if (length >= 0) {
        out.resize(static_cast<size_t>(length) + 1);
        if (make(in.c_str(), out.data(), length + 1) == length) {
            out.resize(static_cast<size_t>(length));
            return out;
        }
    }
    char why[512];
    GenSignalGetLastError(why, sizeof why);
    std::cerr << "wavegen: " << why << "\n";
    return "";
}

}  // namespace

std::string sigmfText(const nlohmann::json& recording) { return textOf(GenSignalSigmfMetadata, recording); }

std::string documentText(const nlohmann::json& document) { return textOf(GenSignalJsonText, document); }
