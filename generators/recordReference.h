// The reference EVM compares a buffer with, made from the record by the
// generator's own stages: what the generator sent.
#pragma once

#include <cstdint>

#include "evmReference.h"

// 0 with `ref` filled (its evmStatus says whether EVM applies to `samples`
// samples at `sampleRate`), or -1 with the reason when the record is refused
// or its symbols' memory cannot be had.
int makeRecordReference(int kind, const void* record, int argument, double sampleRate, int64_t samples,
                        RecordReference& ref);
