#include "genSignalClass.h"

// Not built yet: every request is refused.
int GenSignalClass::genDigitalSig(DigitalModParams const*, double, int, std::complex<float>**, int&) { return -1; }
