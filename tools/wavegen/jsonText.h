// JSON text exactly as Python's json.dumps(value, indent=2, sort_keys=True,
// ensure_ascii=False) writes it, so that wavegen's metadata and the Python
// package's are the same bytes: the same layout, and every float in its
// shortest form that reads back to the same double (Python's repr), which
// nlohmann::json's own dump does not always find.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

std::string jsonText(const nlohmann::json& value);

// A double as Python's repr writes it: "0.35", "585500.0", "1e-05", "1e+16".
std::string floatText(double v);
