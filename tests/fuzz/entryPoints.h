// The fuzzed entry points: the ten waveforms and the measurements. Each function decodes one input into its
// entry point's record, extra count argument (where there is one) and sample
// rate, calls it on the handle the input chooses and checks the outcome.
// Returns 0, or -1 for an input whose record was skipped as too large.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzing {

using FuzzFunction = int (*)(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;  // also the corpus folder's name
    FuzzFunction run;
};

int fuzzDigital(const uint8_t* data, size_t size);
int fuzzDss(const uint8_t* data, size_t size);
int fuzzAm(const uint8_t* data, size_t size);
int fuzzFm(const uint8_t* data, size_t size);
int fuzzMultitone(const uint8_t* data, size_t size);
int fuzzPulse(const uint8_t* data, size_t size);
int fuzzStepSweep(const uint8_t* data, size_t size);
int fuzzRampSweep(const uint8_t* data, size_t size);
int fuzzAwgn(const uint8_t* data, size_t size);
int fuzzOfdm(const uint8_t* data, size_t size);
// The three measurement entry points on one input (measureEntryPoint.cpp).
int fuzzMeasure(const uint8_t* data, size_t size);
// wavegen's instrument file readers (.wv, .iqbin and its marker file) on
// any bytes (fileReaders.cpp).
int fuzzFiles(const uint8_t* data, size_t size);
// The channel's buffer entry point (channelEntryPoint.cpp), and the same
// behind wavegen's reader of hostile files (impairFile.cpp).
int fuzzChannel(const uint8_t* data, size_t size);
int fuzzImpairFile(const uint8_t* data, size_t size);
// The scene entry point (sceneEntryPoint.cpp).
int fuzzScene(const uint8_t* data, size_t size);
// wavegen's reader of YAML scene files on any text (sceneYaml.cpp).
int fuzzSceneYaml(const uint8_t* data, size_t size);
// The SigMF metadata and JSON text entry points (recordingTexts.cpp).
int fuzzRecordingTexts(const uint8_t* data, size_t size);

// All of them, and one by name (null for an unknown name).
extern const FuzzTarget kFuzzTargets[];
extern const int kFuzzTargetCount;
const FuzzTarget* findFuzzTarget(const char* name);

}  // namespace fuzzing
