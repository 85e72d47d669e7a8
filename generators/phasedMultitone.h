// The defined multitone with the tone phases a handle asks for: the defined
// plan (internal rate, one period of the base tone, the cubic resampler),
// each tone starting at its phase. Zero phases are the defined generator
// itself, bit for bit.
#pragma once

#include <complex>

#include "generatedWave.h"
#include "handleOptions.h"
#include "multitonePlan.h"

class GenSignalClass;

int phasedMultitone(GenSignalClass& dsp, const MultitonePlan& plan, const HandleOptions& options,
                    GeneratedWave<std::complex<float>>& wave);
