#include "genSignalClass.h"

// Not built yet: every request is refused.
int GenSignalClass::genPulseSig(PulseParams const*, double, float**, int*) { return -1; }
