// What each of the channel's random draws is for: the stage word of the
// counter (counterRandom.h), so that no two uses of one seed draw the same
// bits. The numbers are part of what a seed means; never renumber them.
#pragma once

#include <cstdint>

constexpr uint32_t kStageFading = 1;       // tap k, line m: the line's complex Gaussian amplitude
constexpr uint32_t kStageLineOfSight = 2;  // tap k: the phase of its line-of-sight part
constexpr uint32_t kStagePhaseNoise = 3;   // DFT bin k: the phase of its line
constexpr uint32_t kStageNoise = 4;        // sample n: its complex Gaussian value
