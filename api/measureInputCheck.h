// The checks a buffer handed to the library (GenSignalMeasureInput) gets
// from every entry point that reads one, past the count, whose bounds are
// the caller's: the pointer, the rate, the record and, for floats, that
// every value is finite.
#pragma once

#include "wrapperGenSignalWave.h"

// 0 when the format is one the library reads, else -1 naming the field.
int checkInputFormat(const GenSignalMeasureInput& in);
// 0 when the fields past the count describe a buffer that can be read, else
// -1 with the reason, naming the field.
int checkInputFields(const GenSignalMeasureInput& in);
