// What the SigMF `signal` extension (its annotation object `signal:detail`)
// says of each kind, and of each modulation a kind's modType can name. Only
// words of the extension's vocabulary that hold for the waveform are given;
// kinds it has no words for get none.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "kinds.h"

// The kind's own entries ({} when none): {"type": "digital", ...}.
nlohmann::json kindSignalDetail(const std::string& kind);

// For a modType field, the entries each of its choices adds, by choice name:
// {"qpsk": {"mod_class": "psk", "order": 4}, ...}; {} for other fields.
nlohmann::json choiceSignalDetails(const Field& field);
