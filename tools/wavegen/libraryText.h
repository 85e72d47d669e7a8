// The texts of wavegen's files and reports, as the library writes them for
// every host: the same bytes as the Python package's.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// The SigMF metadata text of a recording (GenSignalSigmfMetadata's fields);
// empty, with the reason said on standard error, when the library refuses.
std::string sigmfText(const nlohmann::json& recording);

// A document in the metadata's layout, without a final newline; empty, with
// the reason said, when the library refuses.
std::string documentText(const nlohmann::json& document);

// What a recording's metadata says of its data, checked by the library
// (GenSignalSigmfRead's object); null, with the reason in `why`, when it is
// not a recording wavegen reads.
nlohmann::json recordingFacts(const nlohmann::json& metadata, std::string& why);
