// The reason for the last refusal: per thread, cleared by a success,
// truncated safely into the host's buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lastError.h"
#include "wrapperGenSignalWave.h"

namespace {

std::string lastError() {
    char buffer[512];
    const int n = GenSignalGetLastError(buffer, sizeof buffer);
    EXPECT_GE(n, 0);
    EXPECT_EQ(static_cast<size_t>(n), std::string(buffer).size());
    return buffer;
}

TEST(LastError, UnknownHandleIsNamedAndASuccessClearsIt) {
    const AMModParams am{1000.0, 50.0, 1};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateAmWaveform(1000000, &am, &iq, &count, 48000.0), -1);
    EXPECT_EQ(lastError(), "handle 1000000 is not a live generator object");

    const int h = GenSignalObjCreatSelfEncode();
    ASSERT_GE(h, 0);
    EXPECT_EQ(lastError(), "");
    ASSERT_EQ(GenSignalObjRelease(h), 0);
    ASSERT_EQ(GenSignalObjRelease(h), -1);
    EXPECT_EQ(lastError(), "handle " + std::to_string(h) + " is not a live generator object");
    char version[32];
    ASSERT_EQ(GetALGVersion(version), 25);
    EXPECT_EQ(lastError(), "");
}

TEST(LastError, NullPointersAreNamed) {
    const int h = GenSignalObjCreatSelfEncode();
    const AWGNParams awgn{1e3, 1e-3};
    int count = 0;
    ASSERT_EQ(GenerateAWGNWaveform(h, &awgn, nullptr, &count, 1e6), -1);
    EXPECT_EQ(lastError(), "GenerateAWGNWaveform: iq is a null pointer");
    int16_t* iq = nullptr;
    ASSERT_EQ(GenerateOFDMWaveform(h, nullptr, &iq, &count, 1e6), -1);
    EXPECT_EQ(lastError(), "GenerateOFDMWaveform: params is a null pointer");
    ASSERT_EQ(GetALGVersion(nullptr), -1);
    EXPECT_EQ(lastError(), "GetALGVersion: version is a null pointer");
    GenSignalObjRelease(h);
}

TEST(LastError, TruncatesToTheBufferAndReportsTheFullLength) {
    ASSERT_EQ(GenSignalObjRelease(-5), -1);
    const std::string full = "handle -5 is not a live generator object";
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(GenSignalGetLastError(buffer, 6), static_cast<int>(full.size()));
    EXPECT_STREQ(buffer, "handl");
    EXPECT_EQ(GenSignalGetLastError(buffer, 1), static_cast<int>(full.size()));
    EXPECT_STREQ(buffer, "");
    // Reading the message does not change it.
    EXPECT_EQ(lastError(), full);
}

TEST(LastError, RefusesAMissingOrEmptyBuffer) {
    char buffer[4] = "abc";
    EXPECT_EQ(GenSignalGetLastError(nullptr, 16), -1);
    EXPECT_EQ(GenSignalGetLastError(buffer, 0), -1);
    EXPECT_EQ(GenSignalGetLastError(buffer, -3), -1);
    EXPECT_STREQ(buffer, "abc");
}

TEST(LastError, ValuesAreQuotedAsAHostWritesThem) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{48000, "48000"},
                 {-1000, "-1000"},
                 {0.35, "0.35"},
                 {-0.0, "-0"},
                 {1e15, "1e+15"},
                 {1e-300, "1e-300"},
                 {5e-324, "5e-324"},
                 {0.1 + 0.2, "0.30000000000000004"},
                 {1.0 / 0.0, "inf"},
                 {-1.0 / 0.0, "-inf"},
                 {999999999999999, "999999999999999"}};
    for (const auto& c : cases) EXPECT_STREQ(numberText(c.value).text, c.text) << c.text;
    EXPECT_STREQ(numberText(std::nan("")).text, "nan");
}

}  // namespace
