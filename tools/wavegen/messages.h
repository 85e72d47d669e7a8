// The library's reason for a refusal, told in wavegen's words: a field or
// argument it names becomes the option that set it.
#pragma once

#include <string>

#include "kinds.h"

// The library's reason for the last call it refused on this thread, or
// "no reason given".
std::string lastReason();

// "DigitalModParams.pnOrder = 40: must be 4 to 32" -> "--pn-order 40: must be 4 to 32";
// "sampleRate = nan: ..." -> "--sample-rate nan: ..."; any other text as it is.
std::string inOptionTerms(const KindTable& kind, const std::string& message);
