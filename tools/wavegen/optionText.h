// Reading an option's text as the value it must hold. Each reader returns an
// empty string when the text holds such a value, else what was expected, so
// that wavegen can refuse in the library's shape:
//   wavegen: --symbol-rate 1M: expected a number such as 1e6
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Any number strtod reads in full, non-finite ones included (the library
// judges those and says why).
std::string readNumber(const std::string& text, double& value);

// A number with no fraction from `lowest` to `highest` ("9", "9.0", "1e3").
std::string readWhole(const std::string& text, double lowest, double highest, double& value);
std::string readInt32(const std::string& text, int32_t& value);

// true/false, yes/no, on/off or 1/0, in any case.
std::string readTruth(const std::string& text, bool& value);

// A name of the list (any case) or a 32-bit whole number, for the library to judge.
std::string readChoice(const std::string& text, const std::vector<std::pair<std::string, int>>& choices,
                       int32_t& value);

// "--symbol-rate 1M: expected a number such as 1e6".
std::string optionRefusal(const std::string& option, const std::string& text, const std::string& reason);
