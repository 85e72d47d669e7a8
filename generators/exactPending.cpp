// Kinds whose exact loop is still to come.
#include "exactLoops.h"

int exactWaveform(GenSignalClass&, const AWGNParams&, int, double, const HandleOptions&, ExactWaveform&) {
    return refuse(-1, "GenerateAWGNWaveform: the exact loop mode is not available yet");
}
