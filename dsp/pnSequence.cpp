// Fibonacci linear-feedback shift register with a maximal-length tap set
// for every order from 4 to 32.
#include <cstdint>
#include <cstring>

#include "genSignalClass.h"

namespace {

struct PnTaps {
    int count;
    int pos[4];  // tap positions 1 ... order, the first is the order itself
};

// Index = order - 4.
constexpr PnTaps kPnTaps[29] = {
    {2, {4, 3}},           {2, {5, 3}},        {2, {6, 5}},           {2, {7, 6}},          {4, {8, 6, 5, 4}},
    {2, {9, 5}},           {2, {10, 7}},       {2, {11, 9}},          {4, {12, 11, 10, 4}}, {4, {13, 12, 11, 8}},
    {4, {14, 13, 12, 2}},  {2, {15, 14}},      {4, {16, 14, 13, 11}}, {2, {17, 14}},        {2, {18, 11}},
    {4, {19, 18, 17, 14}}, {2, {20, 17}},      {2, {21, 19}},         {2, {22, 21}},        {2, {23, 18}},
    {4, {24, 23, 22, 17}}, {2, {25, 22}},      {4, {26, 6, 2, 1}},    {4, {27, 5, 2, 1}},   {2, {28, 25}},
    {2, {29, 27}},         {4, {30, 6, 4, 1}}, {2, {31, 28}},         {4, {32, 22, 2, 1}},
};

}  // namespace

namespace {

// Bytes produced per step of the word-wide recurrence.
constexpr int kWord = 32;

// u[k] = u[k - d0] ^ ... over the output array itself, one byte at a time.
void byteRecurrence(signed char* out, int from, int to, const int* d, int count) {
    if (count == 2) {
        for (int k = from; k < to; ++k) out[k] = static_cast<signed char>(out[k - d[0]] ^ out[k - d[1]]);
    } else {
        for (int k = from; k < to; ++k)
            out[k] = static_cast<signed char>(out[k - d[0]] ^ out[k - d[1]] ^ out[k - d[2]] ^ out[k - d[3]]);
    }
}

// The same recurrence kWord bytes at a time; every distance is at least
// kWord, so a step reads only bytes written by earlier steps.
void wordRecurrence(signed char* out, int from, int to, const int* d, int count) {
    int k = from;
    for (; k + kWord <= to; k += kWord) {
        uint64_t w[kWord / 8], v[kWord / 8];
        std::memcpy(w, out + k - d[0], kWord);
        for (int t = 1; t < count; ++t) {
            std::memcpy(v, out + k - d[t], kWord);
            for (int q = 0; q < kWord / 8; ++q) w[q] ^= v[q];
        }
        std::memcpy(out + k, w, kWord);
    }
    byteRecurrence(out, k, to, d, count);
}

}  // namespace

void GenSignalClass::func_PN_gen(int order, signed char const* start, signed char* out, int length) {
    if (order < 4 || order > 32) order = 9;
    const PnTaps& taps = kPnTaps[order - 4];
    if (length <= 0) return;

    // The register at step j holds s[i] = u[j + order - 1 - i] of the output
    // stream u, so the shift register is the recurrence
    // u[k] = u[k - t1] ^ ... ^ u[k - tm] run over the output array itself:
    // the same values as shifting element by element, without the shifting.
    const int head = length < order ? length : order;
    for (int j = 0; j < head; ++j) out[j] = start[order - 1 - j];

    // Each bit of the bytes is a sequence over GF(2) with the feedback
    // polynomial p(x) = 1 + x^t1 + ... + x^tm, and p(x)^2 = p(x^2) there, so
    // the same sequences also obey the recurrence with every distance
    // doubled, once those distances reach back into the stream. Doubling
    // until the shortest distance spans a whole word lets a word of bytes
    // be produced at once.
    int spread[4];
    int shortest = order;
    for (int t = 0; t < taps.count; ++t) shortest = taps.pos[t] < shortest ? taps.pos[t] : shortest;
    int scale = 1;
    while (shortest * scale < kWord) scale *= 2;
    for (int t = 0; t < taps.count; ++t) spread[t] = taps.pos[t] * scale;
    const int longest = order * scale;  // the first tap is the order itself

    const int plainEnd = length < longest ? length : longest;
    byteRecurrence(out, order, plainEnd, taps.pos, taps.count);
    if (length > longest) wordRecurrence(out, longest, length, spread, taps.count);
}
