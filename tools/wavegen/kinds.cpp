#include "kinds.h"

#include <cctype>

std::string optionName(const std::string& fieldName) {
    std::string option;
    for (size_t i = 0; i < fieldName.size(); ++i) {
        const char c = fieldName[i];
        // A capital after a small letter starts a word; a run of capitals ("DC") is one word.
        if (std::isupper(static_cast<unsigned char>(c)) && i > 0 &&
            std::islower(static_cast<unsigned char>(fieldName[i - 1])))
            option += '-';
        option += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return option;
}

const std::vector<KindTable>& allKinds() {
    static const std::vector<KindTable> kinds{digitalKind(),   dssKind(),   amKind(),        fmKind(),
                                              multitoneKind(), pulseKind(), stepSweepKind(), rampSweepKind(),
                                              awgnKind(),      ofdmKind()};
    return kinds;
}
