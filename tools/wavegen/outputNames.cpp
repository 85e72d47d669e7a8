#include "outputNames.h"

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

OutputNames outputNames(const std::string& name, const std::string& format) {
    if (format == "sigmf") {
        std::string base = name;
        for (const char* suffix : {".sigmf-meta", ".sigmf-data", ".sigmf"})
            if (endsWith(base, suffix)) {
                base.resize(base.size() - std::string(suffix).size());
                break;
            }
        return {base + ".sigmf-data", base + ".sigmf-meta"};
    }
    const std::string suffix = "." + format;
    return {endsWith(name, suffix) ? name : name + suffix, {}};
}
