// Conversions between bit streams and symbol streams, and the alphabet size
// of every modulation kind.
#include <cstdint>
#include <new>

#include "function.h"
#include "genSignalClass.h"

void GenSignalClass::getOrderM(DigitalModulType type, int* order, int* error) {
    *error = 0;
    switch (type) {
        case BPSK:
        case DBPSK:
        case ASK2:
        case FSK2:
            *order = 2;
            return;
        case QPSK:
        case DQPSK:
        case OQPSK:
        case PI4_DQPSK:
        case FSK4:
        case ASK4:
            *order = 4;
            return;
        case PSK8:
        case DPSK8:
        case FSK8:
        case ASK8:
        case QAM8:
            *order = 8;
            return;
        case PSK16:
        case QAM16:
        case FSK16:
        case APSK16:
            *order = 16;
            return;
        case QAM64:
            *order = 64;
            return;
        case QAM256:
            *order = 256;
            return;
        case QAM1024:
            *order = 1024;
            return;
    }
    *order = 2;
    *error = -1;
}

void dec2binInto(int value, int width, signed char* bits) {
    for (int j = 0; j < width; ++j) {
        // Bits above bit 31 repeat the sign bit, as an arithmetic shift would.
        int shift = width - 1 - j;
        if (shift > 31) shift = 31;
        bits[j] = static_cast<signed char>((value >> shift) & 1);
    }
}

void dec2bin(int value, int width, signed char** bits) {
    // A negative width yields an empty array rather than a throwing new; a
    // failed allocation is reported as a null array.
    const int n = width > 0 ? width : 0;
    signed char* b = new (std::nothrow) signed char[n];
    *bits = b;
    if (b != nullptr) dec2binInto(value, n, b);
}

short GenSignalClass::bi2deForC(signed char const* bits, int count) {
    // Only the low 16 bits reach the result, so later bits can be skipped.
    uint32_t acc = 0;
    const int n = count < 16 ? count : 16;
    for (int j = 0; j < n; ++j)
        if (bits[j] != 0) acc |= 1u << j;
    return static_cast<short>(static_cast<uint16_t>(acc));
}

void GenSignalClass::rectpulseForC(signed char const* in, int count, int factor, signed char* out) {
    if (count < 1 || factor < 1) return;
    for (int64_t i = 0; i < count; ++i)
        for (int64_t j = 0; j < factor; ++j) out[i * factor + j] = in[i];
}
