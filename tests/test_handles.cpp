// Handle life cycle, version query and the exported functions' refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "wrapperGenSignalWave.h"

namespace {

TEST(Handles, IdsIncreaseAndAreNeverReused) {
    const int a = GenSignalObjCreatSelfEncode();
    const int b = GenSignalObjCreatSelfEncode();
    const int c = GenSignalObjCreatSelfEncode();
    ASSERT_GE(a, 0);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(c, a + 2);
    EXPECT_EQ(GenSignalObjRelease(a), 0);
    const int d = GenSignalObjCreatSelfEncode();
    EXPECT_EQ(d, a + 3);
    for (int id : {b, c, d}) EXPECT_EQ(GenSignalObjRelease(id), 0);
}

TEST(Handles, SecondReleaseFails) {
    const int h = GenSignalObjCreatSelfEncode();
    EXPECT_EQ(GenSignalObjRelease(h), 0);
    EXPECT_EQ(GenSignalObjRelease(h), -1);
}

TEST(Handles, UnknownIdsCannotBeReleased) {
    const int released = GenSignalObjCreatSelfEncode();
    ASSERT_EQ(GenSignalObjRelease(released), 0);
    for (int id : {1000000, -5, released}) EXPECT_EQ(GenSignalObjRelease(id), -1) << id;
}

TEST(Version, WritesTwentySixBytes) {
    char buffer[40];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetALGVersion(buffer), 25);
    EXPECT_EQ(std::memcmp(buffer, "V1.0.0.20260622_X86_WIN64", 26), 0);
    EXPECT_EQ(buffer[25], '\0');
    EXPECT_EQ(buffer[26], 'x');
    EXPECT_EQ(GetALGVersion(nullptr), -1);
}

}  // namespace

extern int objcount;

namespace {

TEST(Handles, CreationStopsAtTheLargestInt) {
    const int saved = objcount;
    objcount = std::numeric_limits<int>::max() - 1;
    const int last = GenSignalObjCreatSelfEncode();
    EXPECT_EQ(last, std::numeric_limits<int>::max() - 1);
    EXPECT_EQ(GenSignalObjCreatSelfEncode(), -1);
    EXPECT_EQ(GenSignalObjCreatSelfEncode(), -1);
    EXPECT_EQ(GenSignalObjRelease(last), 0);
    objcount = saved;
}

}  // namespace
