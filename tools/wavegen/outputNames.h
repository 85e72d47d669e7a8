// The files a format writes for the name given with -o. The format's suffix
// is added unless the name already ends in it; for SigMF a name ending in
// .sigmf-data, .sigmf-meta or .sigmf is the recording's base name with that
// suffix. The Python package names its files the same way.
#pragma once

#include <string>

struct OutputNames {
    std::string data;
    std::string meta;  // empty unless the format is sigmf
};

OutputNames outputNames(const std::string& name, const std::string& format);
