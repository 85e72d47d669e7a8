// A YAML scene read into the JSON object a .json scene gives: mappings as
// objects, sequences as arrays, plain scalars typed as YAML 1.2's core
// schema types them (null, true/false, whole numbers, reals with .inf and
// .nan), quoted scalars as texts.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// "" or why the text is not a YAML document this reads (a nesting deeper
// than 64, a key that repeats, a key that is not a scalar).
std::string jsonOfYaml(const std::string& text, nlohmann::json& out);
