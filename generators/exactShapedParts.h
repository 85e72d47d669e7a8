// What the exact loop mode takes from the digital and spread-spectrum
// generators: the symbols, points and taps they make, so that one period is
// built from the very same data.
#pragma once

#include <complex>

#include "buffer.h"
#include "digitalPlan.h"
#include "dssPlan.h"

class GenSignalClass;

// The record's N + S symbols (with the FSK kinds' spare element), the
// designed taps and, for every kind but FSK, the N + S points, the last S
// repeating the first S. 0, or -3 with the reason.
int digitalPeriodParts(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<short>& symbols,
                       Buffer<std::complex<float>>& points, Buffer<float>& taps);

// The S + Nc chip points, the last S repeating the first S, and the taps.
int dssPeriodParts(GenSignalClass& dsp, const DssPlan& plan, Buffer<std::complex<float>>& points, Buffer<float>& taps);
