// Bit and symbol helpers: alphabet sizes, bit spreading and packing, and
// bit repetition.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bitHelpers.h"
#include "genSignalClass.h"

namespace {

using Bits = std::vector<signed char>;

Bits spread(int value, int width) {
    signed char* b = nullptr;
    dec2bin(value, width, &b);
    Bits v(b, b + (width > 0 ? width : 0));
    delete[] b;
    return v;
}

TEST(OrderM, EveryKindAndInvalidValues) {
    GenSignalClass obj;
    const int expected[23] = {0, 2, 2, 4, 4, 4, 4, 8, 8, 16, 16, 64, 256, 1024, 2, 2, 4, 8, 16, 4, 8, 16, 8};
    for (int t = 1; t <= 22; ++t) {
        int order = -5, error = -5;
        obj.getOrderM(static_cast<DigitalModulType>(t), &order, &error);
        EXPECT_EQ(error, 0) << t;
        EXPECT_EQ(order, expected[t]) << t;
    }
    for (int t : {0, 23, -1, 1000}) {
        int order = -5, error = 0;
        obj.getOrderM(static_cast<DigitalModulType>(t), &order, &error);
        EXPECT_EQ(error, -1) << t;
        EXPECT_EQ(order, 2) << t;
    }
}

TEST(Dec2bin, MostSignificantFirst) {
    EXPECT_EQ(spread(6, 4), (Bits{0, 1, 1, 0}));
    EXPECT_EQ(spread(1, 1), (Bits{1}));
    EXPECT_EQ(spread(0x15, 9), (Bits{0, 0, 0, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(spread(-1, 3), (Bits{1, 1, 1}));
    EXPECT_EQ(spread(1 << 31, 32)[0], 1);
}

TEST(Dec2bin, WidthsBeyond32RepeatTheSignBit) {
    const Bits neg = spread(-2, 34);
    EXPECT_EQ(neg[0], 1);
    EXPECT_EQ(neg[1], 1);
    EXPECT_EQ(neg[33], 0);
    const Bits pos = spread(5, 34);
    EXPECT_EQ(pos[0], 0);
    EXPECT_EQ(pos[31], 1);
    EXPECT_EQ(pos[33], 1);
    EXPECT_TRUE(spread(5, -3).empty());
}

TEST(Bi2de, LeastSignificantFirst) {
    GenSignalClass obj;
    const signed char a[] = {1, 1, 0}, b[] = {0, 1, 1}, c[] = {0, 0, 0, 0, 1}, d[] = {7, -1, 0};
    EXPECT_EQ(obj.bi2deForC(a, 3), 3);
    EXPECT_EQ(obj.bi2deForC(b, 3), 6);
    EXPECT_EQ(obj.bi2deForC(c, 5), 16);
    EXPECT_EQ(obj.bi2deForC(d, 3), 3);
    EXPECT_EQ(obj.bi2deForC(a, 0), 0);
    EXPECT_EQ(obj.bi2deForC(a, -2), 0);
}

TEST(Bi2de, KeepsTheLow16Bits) {
    GenSignalClass obj;
    Bits ones(40, 1);
    EXPECT_EQ(obj.bi2deForC(ones.data(), 40), -1);
    Bits high(17, 0);
    high[15] = 1;
    high[16] = 1;
    EXPECT_EQ(obj.bi2deForC(high.data(), 17), static_cast<short>(0x8000));
}

TEST(Bi2de, PackingSpreadBitsReversesThem) {
    GenSignalClass obj;
    EXPECT_EQ(obj.bi2deForC(spread(1, 3).data(), 3), 4);
    for (int k = 1; k <= 10; ++k) {
        for (int v = 0; v < (1 << k); ++v) {
            int reversed = 0;
            for (int j = 0; j < k; ++j)
                if (v & (1 << j)) reversed |= 1 << (k - 1 - j);
            ASSERT_EQ(obj.bi2deForC(spread(v, k).data(), k), reversed) << v << " " << k;
        }
    }
}

TEST(Rectpulse, RepeatsEachElement) {
    GenSignalClass obj;
    const signed char in[] = {1, 0};
    Bits out(6, 9);
    obj.rectpulseForC(in, 2, 3, out.data());
    EXPECT_EQ(out, (Bits{1, 1, 1, 0, 0, 0}));
    Bits untouched(6, 9);
    obj.rectpulseForC(in, 2, 0, untouched.data());
    obj.rectpulseForC(in, 0, 3, untouched.data());
    EXPECT_EQ(untouched, Bits(6, 9));
}

// The packing as first written: a branch per bit.
short literalBi2de(const signed char* bits, int count) {
    int acc = 0;
    for (int j = 0; j < count; ++j)
        if (bits[j] != 0) acc |= 1 << (j & 31);
    return static_cast<short>(static_cast<uint16_t>(acc & 0xFFFF));
}

TEST(PackSymbols, EqualsGroupByGroupPacking) {
    GenSignalClass obj;
    std::mt19937 rng(13);
    for (int k = 0; k <= 17; ++k) {
        for (int count : {0, 1, 2, 7, 1000}) {
            Bits bits(static_cast<size_t>(k) * count + 1);
            for (auto& b : bits) b = static_cast<signed char>(rng() % 3 == 0 ? static_cast<int>(rng() % 256) - 128 : 0);
            std::vector<short> packed(count + 1, 777);
            packSymbols(bits.data(), k, count, packed.data());
            for (int j = 0; j < count; ++j) {
                const short want = literalBi2de(bits.data() + static_cast<size_t>(j) * k, k);
                ASSERT_EQ(packed[j], want) << k << " " << j;
                ASSERT_EQ(obj.bi2deForC(bits.data() + static_cast<size_t>(j) * k, k), want) << k << " " << j;
            }
            EXPECT_EQ(packed[count], 777) << "wrote past the symbols";
        }
    }
}

}  // namespace
