// One libFuzzer target: GENSIGNAL_FUZZ_TARGET names the entry point's
// function in entryPoints.h; the build makes one executable per entry point.
#include "entryPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::GENSIGNAL_FUZZ_TARGET(data, size);
}
