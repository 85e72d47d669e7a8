// The constants of the phase and filter computations, spelled once.
#pragma once

// 2*pi as every phase computation in the library spells it.
constexpr double kTwoPi = 6.283185307179586;

// pi as the filter designs spell it.
constexpr double kPi = 3.141592653589793;
