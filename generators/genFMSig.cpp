#include "genSignalClass.h"

// Not built yet: every request is refused.
int GenSignalClass::genFMSig(FMModParams const*, double, std::complex<float>**, int*) { return -1; }
