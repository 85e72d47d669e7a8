// Conversions between bit streams and symbol streams, and the alphabet size
// of every modulation kind.
#include <cstdint>
#include <new>

#include "bitHelpers.h"
#include "genSignalClass.h"

void GenSignalClass::getOrderM(DigitalModulType type, int* order, int* error) {
    *error = 0;
    switch (type) {
        case BPSK:
        case DBPSK:
        case ASK2:
        case FSK2: *order = 2; return;
        case QPSK:
        case DQPSK:
        case OQPSK:
        case PI4_DQPSK:
        case FSK4:
        case ASK4: *order = 4; return;
        case PSK8:
        case DPSK8:
        case FSK8:
        case ASK8:
        case QAM8: *order = 8; return;
        case PSK16:
        case QAM16:
        case FSK16:
        case APSK16: *order = 16; return;
        case QAM64: *order = 64; return;
        case QAM256: *order = 256; return;
        case QAM1024: *order = 1024; return;
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

namespace {

// Branch-free: each byte becomes 0 or 1 by comparison and is shifted into
// place. Only the low 16 bits reach the result, so later bits are skipped.
inline short packGroup(const signed char* bits, int count) {
    uint32_t acc = 0;
    const int n = count < 16 ? count : 16;
    for (int j = 0; j < n; ++j) acc |= static_cast<uint32_t>(bits[j] != 0) << j;
    return static_cast<short>(static_cast<uint16_t>(acc));
}

// The group width as a constant, so that the compiler unrolls the group.
template <int K>
void packFixed(const signed char* bits, int count, short* symbols) {
    for (int j = 0; j < count; ++j) {
        const signed char* b = bits + static_cast<int64_t>(j) * K;
        uint32_t acc = 0;
        for (int q = 0; q < K; ++q) acc |= static_cast<uint32_t>(b[q] != 0) << q;
        symbols[j] = static_cast<short>(static_cast<uint16_t>(acc));
    }
}

}  // namespace

short GenSignalClass::bi2deForC(signed char const* bits, int count) { return packGroup(bits, count); }

void packSymbols(const signed char* bits, int k, int count, short* symbols) {
    if (k < 1) {  // an empty group packs to 0
        for (int j = 0; j < count; ++j) symbols[j] = 0;
        return;
    }
    switch (k) {
        case 1: return packFixed<1>(bits, count, symbols);
        case 2: return packFixed<2>(bits, count, symbols);
        case 3: return packFixed<3>(bits, count, symbols);
        case 4: return packFixed<4>(bits, count, symbols);
        case 6: return packFixed<6>(bits, count, symbols);
        case 8: return packFixed<8>(bits, count, symbols);
        case 10: return packFixed<10>(bits, count, symbols);
        default:
            for (int j = 0; j < count; ++j) symbols[j] = packGroup(bits + static_cast<int64_t>(j) * k, k);
    }
}

void GenSignalClass::rectpulseForC(signed char const* in, int count, int factor, signed char* out) {
    if (count < 1 || factor < 1) return;
    for (int64_t i = 0; i < count; ++i)
        for (int64_t j = 0; j < factor; ++j) out[i * factor + j] = in[i];
}
