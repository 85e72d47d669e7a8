// PN sequences: known sequences, the fallback order, equality with
// a literal shift register, and maximal periods.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "genSignalClass.h"

namespace {

using Bits = std::vector<signed char>;

Bits pn(int order, const Bits& start, int length) {
    GenSignalClass obj;
    Bits out(length > 0 ? length : 1, 77);
    obj.func_PN_gen(order, start.data(), out.data(), length);
    return out;
}

// The register shifted element by element, as the sequence is defined.
Bits shiftRegister(int order, const std::vector<int>& taps, const Bits& start, int length) {
    Bits s(start.begin(), start.begin() + order), out;
    for (int j = 0; j < length; ++j) {
        out.push_back(s[order - 1]);
        signed char f = 0;
        for (int p : taps) f = static_cast<signed char>(f ^ s[p - 1]);
        for (int i = order - 2; i >= 0; --i) s[i + 1] = s[i];
        s[0] = f;
    }
    return out;
}

const std::vector<std::vector<int>> kTaps = {
    {4, 3},           {5, 3},   {6, 5},           {7, 6},           {8, 6, 5, 4},    {9, 5},
    {10, 7},          {11, 9},  {12, 11, 10, 4},  {13, 12, 11, 8},  {14, 13, 12, 2}, {15, 14},
    {16, 14, 13, 11}, {17, 14}, {18, 11},         {19, 18, 17, 14}, {20, 17},        {21, 19},
    {22, 21},         {23, 18}, {24, 23, 22, 17}, {25, 22},         {26, 6, 2, 1},   {27, 5, 2, 1},
    {28, 25},         {29, 27}, {30, 6, 4, 1},    {31, 28},         {32, 22, 2, 1}};

TEST(Pn, Order4Example) {
    const Bits out = pn(4, {1, 0, 0, 0}, 31);
    const Bits first{0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 0};
    EXPECT_EQ(Bits(out.begin(), out.begin() + 16), first);
    for (int j = 0; j < 16; ++j) EXPECT_EQ(out[j + 15], out[j]) << j;
}

TEST(Pn, Order9Example) {
    const Bits out = pn(9, {0, 0, 0, 0, 0, 1, 0, 1, 0}, 20);
    EXPECT_EQ(out, (Bits{0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1}));
}

TEST(Pn, Order5Example) {
    const Bits out = pn(5, {0, 0, 0, 0, 1}, 62);
    EXPECT_EQ(out[0], 1);
    for (int j = 0; j < 31; ++j) EXPECT_EQ(out[j + 31], out[j]) << j;
}

TEST(Pn, UnsupportedOrdersBehaveAsOrder9) {
    const Bits start{1, 0, 1, 1, 0, 0, 1, 0, 1};
    const Bits ref = pn(9, start, 600);
    for (int order : {3, 40, 0, -1, 33}) EXPECT_EQ(pn(order, start, 600), ref) << order;
}

TEST(Pn, AllZeroStartGivesZerosAndNoLengthWritesNothing) {
    for (int order : {4, 9, 32}) EXPECT_EQ(pn(order, Bits(32, 0), 300), Bits(300, 0)) << order;
    EXPECT_EQ(pn(9, Bits(9, 1), 0), Bits{77});
    EXPECT_EQ(pn(9, Bits(9, 1), -4), Bits{77});
}

TEST(Pn, EqualsTheLiteralShiftRegister) {
    // Also with values other than 0 and 1: feedback is a whole-byte XOR.
    std::mt19937 rng(12345);
    for (int order = 4; order <= 32; ++order) {
        for (int trial = 0; trial < 4; ++trial) {
            Bits start(order);
            for (auto& b : start) b = static_cast<signed char>(trial < 2 ? rng() & 1 : rng() & 0xff);
            for (int length : {1, order - 1, order, order + 1, 3000, 4133}) {
                ASSERT_EQ(pn(order, start, length), shiftRegister(order, kTaps[order - 4], start, length))
                    << order << " " << trial << " " << length;
            }
        }
    }
}

TEST(Pn, MaximalPeriodUpToOrder20) {
    for (int order = 4; order <= 20; ++order) {
        const int period = (1 << order) - 1;
        Bits start(order, 0);
        start[order - 1] = 1;
        const Bits out = pn(order, start, period + order);
        // The register state returns to the start only after a full period.
        const uint32_t mask = (1u << order) - 1;
        uint32_t window = 0, first = 0;
        for (int j = 0; j < order; ++j) first = (first << 1) | static_cast<uint32_t>(out[j]);
        int firstRepeat = -1;
        for (int j = 0; j < period + order; ++j) {
            window = ((window << 1) | static_cast<uint32_t>(out[j])) & mask;
            if (j >= order && window == first) {
                firstRepeat = j - order + 1;
                break;
            }
        }
        EXPECT_EQ(firstRepeat, period) << order;
    }
}

}  // namespace
