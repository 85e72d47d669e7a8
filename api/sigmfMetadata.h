// SigMF 1.2 metadata of an int16 I/Q recording, one writer for every host:
// the core entries, the capture and the annotations' shared entries come
// from here; the host adds the gensignal extension's entries it records.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// "gensignal 1.0.0": core:recorder and each annotation's core:generator.
std::string recorderName();

// The metadata of `recording` (see GenSignalSigmfMetadata), or an empty
// object with the reason, naming the field, in `why`.
nlohmann::json sigmfMetadata(const nlohmann::json& recording, std::string& why);

// What a recording's metadata says of its data, checked (see
// GenSignalSigmfRead), or an empty object with the reason in `why`.
nlohmann::json sigmfFacts(const nlohmann::json& metadata, std::string& why);
