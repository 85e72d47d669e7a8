// The range rules of every GenSignalChannel field, each refusal naming the
// field as the header spells it, its value and the rule. A field is checked
// whatever its stage (0 lies in every range), the taps up to tapCount and
// the mask points up to phaseNoisePoints.
#pragma once

#include "wrapperGenSignalWave.h"

// 0, or -1 with the reason.
int checkChannelRecord(const GenSignalChannel& channel, double sampleRate);
