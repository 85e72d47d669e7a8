// Fibonacci linear-feedback shift register with a maximal-length tap set
// for every order from 4 to 32.
#include "genSignalClass.h"

namespace {

struct PnTaps {
    int count;
    int pos[4];  // tap positions 1 ... order, the first is the order itself
};

// Index = order - 4.
constexpr PnTaps kPnTaps[29] = {
    {2, {4, 3}},          {2, {5, 3}},          {2, {6, 5}},          {2, {7, 6}},
    {4, {8, 6, 5, 4}},    {2, {9, 5}},          {2, {10, 7}},         {2, {11, 9}},
    {4, {12, 11, 10, 4}}, {4, {13, 12, 11, 8}}, {4, {14, 13, 12, 2}}, {2, {15, 14}},
    {4, {16, 14, 13, 11}}, {2, {17, 14}},        {2, {18, 11}},        {4, {19, 18, 17, 14}},
    {2, {20, 17}},        {2, {21, 19}},        {2, {22, 21}},        {2, {23, 18}},
    {4, {24, 23, 22, 17}}, {2, {25, 22}},        {4, {26, 6, 2, 1}},   {4, {27, 5, 2, 1}},
    {2, {28, 25}},        {2, {29, 27}},        {4, {30, 6, 4, 1}},   {2, {31, 28}},
    {4, {32, 22, 2, 1}},
};

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
    if (taps.count == 2) {
        const int p0 = taps.pos[0], p1 = taps.pos[1];
        for (int k = order; k < length; ++k) out[k] = static_cast<signed char>(out[k - p0] ^ out[k - p1]);
    } else {
        const int p0 = taps.pos[0], p1 = taps.pos[1], p2 = taps.pos[2], p3 = taps.pos[3];
        for (int k = order; k < length; ++k)
            out[k] = static_cast<signed char>(out[k - p0] ^ out[k - p1] ^ out[k - p2] ^ out[k - p3]);
    }
}
