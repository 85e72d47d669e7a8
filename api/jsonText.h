// The JSON text of every file and report the library's hosts write: the
// layout of Python's json.dumps(value, indent=2, sort_keys=True,
// ensure_ascii=False), every float in its shortest form that reads back to
// the same double (Python's repr), which nlohmann::json's own dump does not
// always find, and null for a float that is not finite.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

std::string jsonText(const nlohmann::json& value);

// A double as Python's repr writes it: "0.35", "585500.0", "1e-05", "1e+16".
std::string floatText(double v);
