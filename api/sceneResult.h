// What a handle keeps of its last scene: a label per part and per burst,
// and what the crest-factor reduction did.
#pragma once

#include <vector>

#include "wrapperGenSignalWave.h"

struct SceneResult {
    std::vector<GenSignalSceneLabel> labels;
    GenSignalSceneReport report{};
};
