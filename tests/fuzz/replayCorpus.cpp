// Runs every input of a target's corpus once through the same decoding and
// checks as the fuzz target, without libFuzzer: the corpus is a regression
// suite in every build. Usage: fuzz_replay TARGET DIRECTORY...
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "entryPointCheck.h"
#include "entryPoints.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const fuzzing::FuzzTarget* target = argc >= 3 ? fuzzing::findFuzzTarget(argv[1]) : nullptr;
    if (!target) {
        std::fprintf(stderr, "usage: %s TARGET DIRECTORY...\ntargets:", argv[0]);
        for (int i = 0; i < fuzzing::kFuzzTargetCount; ++i) std::fprintf(stderr, " %s", fuzzing::kFuzzTargets[i].name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 2; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "%s: no inputs\n", target->name);
        return 1;
    }
    int skipped = 0;
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        fuzzing::setCurrentInput(path.c_str());
        if (target->run(bytes.data(), bytes.size()) != 0) ++skipped;
    }
    std::printf("%s: %zu inputs replayed, %d skipped as too large\n", target->name, inputs.size(), skipped);
    return 0;
}
