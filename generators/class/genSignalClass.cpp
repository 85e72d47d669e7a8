#include "genSignalClass.h"

#include <cstdlib>

GenSignalClass::GenSignalClass() : iqBuffer(nullptr), iqCapacity(0) {}

GenSignalClass::~GenSignalClass() {
    std::lock_guard<std::mutex> guard(objLock);
    std::free(iqBuffer);
    iqBuffer = nullptr;
    iqCapacity = 0;
}
