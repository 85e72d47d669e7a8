// wavegen's instrument formats on their own: the marker lines of a loop,
// the .wv tags and their reader, the documented checksum, and big-endian
// I/Q. (The files wavegen writes are read back by an independent reader in
// the Python tests.)
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "iqbinFormat.h"
#include "markers.h"
#include "wvFormat.h"

namespace {

using Ranges = std::vector<std::pair<int64_t, int64_t>>;

struct MarkerCase {
    const char* spec;
    LoopPeriods loop;
    Ranges high;
};

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.spec; }

class MarkerRanges : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(MarkerRanges, FollowTheLoopsPeriods) {
    const MarkerCase c = GetParam();
    MarkerSpec spec;
    ASSERT_EQ(parseMarker(c.spec, spec), "");
    std::vector<MarkerLine> lines;
    ASSERT_EQ(markerLines({spec}, c.loop, lines), "");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].high, c.high) << c.spec;
}

INSTANTIATE_TEST_SUITE_P(Specs, MarkerRanges,
                         ::testing::Values(MarkerCase{"1:start", {100, 1, 100, true}, {{0, 1}}},
                                           MarkerCase{"2:start:16", {100, 1, 100, true}, {{0, 16}}},
                                           // Longer than the loop: high throughout.
                                           MarkerCase{"2:start:500", {100, 1, 100, true}, {{0, 100}}},
                                           // 4 periods over 10 samples begin at 0, 2.5, 5 and 7.5: the first
                                           // sample at or after each.
                                           MarkerCase{
                                               "3:period:1", {10, 4, 2.5, true}, {{0, 1}, {3, 4}, {5, 6}, {8, 9}}},
                                           MarkerCase{"3:period:2", {10, 4, 2.5, true}, {{0, 1}, {5, 6}}},
                                           // A defined buffer that does not hold whole periods: by the double.
                                           MarkerCase{"4:period:1", {10, 3, 3.5, false}, {{0, 1}, {4, 5}, {7, 8}}},
                                           // Periods shorter than a sample: every sample a period starts on, once.
                                           MarkerCase{"1:period:1", {4, 10, 0.4, true}, {{0, 4}}}));

// A scene's bursts, overlapping, unordered and past the loop's end, as one
// line of ranges apart; no line without a scene.
TEST(MarkerSpecs, BurstsAreTheUnionOfTheScenesBursts) {
    MarkerSpec s;
    ASSERT_EQ(parseMarker("4:bursts", s), "");
    std::vector<MarkerLine> lines;
    const BurstRanges bursts = {{50, 70}, {0, 10}, {60, 80}, {80, 85}, {95, 120}, {5, 8}};
    ASSERT_EQ(markerLines({s}, {100, 1, 100, true}, lines, &bursts), "");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].high, (std::vector<std::pair<int64_t, int64_t>>{{0, 10}, {50, 85}, {95, 100}}));
    EXPECT_EQ(markerLines({s}, {100, 1, 100, true}, lines),
              "--marker 4:bursts: bursts marks a scene's bursts: wavegen scene makes them");
}

TEST(MarkerSpecs, AreRefusedWithTheRule) {
    MarkerSpec s;
    for (const char* bad : {"0:start", "5:start", "1", "1:", "x:start", "1:start:0", "1:start:-2", "1:period",
                            "1:period:0", "1:period:1.5", "1:stop", "1:bursts:2"})
        EXPECT_NE(parseMarker(bad, s), "") << bad;
    std::vector<MarkerLine> lines;
    MarkerSpec a, b;
    ASSERT_EQ(parseMarker("2:start", a), "");
    ASSERT_EQ(parseMarker("2:period:1", b), "");
    EXPECT_EQ(markerLines({a, b}, {10, 2, 5, true}, lines), "--marker 2:period:1: marker 2 given twice");
    EXPECT_NE(markerLines({b}, {10, 0, 0, false}, lines), "");
}

TEST(MarkerBytes, RoundTripThroughTheMarkerFileAndTheLists) {
    MarkerSpec a, b;
    ASSERT_EQ(parseMarker("1:start:3", a), "");
    ASSERT_EQ(parseMarker("4:period:1", b), "");
    std::vector<MarkerLine> lines;
    ASSERT_EQ(markerLines({b, a}, {12, 3, 4, true}, lines), "");
    const std::vector<uint8_t> bytes = markerBytes(lines, 12);
    const std::vector<uint8_t> want = {9, 1, 1, 0, 8, 0, 0, 0, 8, 0, 0, 0};
    EXPECT_EQ(bytes, want);
    const std::vector<MarkerLine> back = linesFromBytes(bytes.data(), 12);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].line, 1);
    EXPECT_EQ(back[0].high, lines[0].high);
    EXPECT_EQ(back[1].high, lines[1].high);
    EXPECT_EQ(markerListText(lines[0], 12), "0:1;3:0");
    EXPECT_EQ(markerListText(lines[1], 12), "0:1;1:0;4:1;5:0;8:1;9:0");
    // High to the end: no position at the loop's end.
    EXPECT_EQ(markerListText({2, "", {{4, 12}}}, 12), "0:0;4:1");
}

std::string wvFile(const WvHeader& h, const std::vector<int16_t>& iq) {
    std::string file = wvTags(h);
    for (int16_t v : iq) {
        file += static_cast<char>(static_cast<uint16_t>(v) & 0xff);
        file += static_cast<char>(static_cast<uint16_t>(v) >> 8);
    }
    return file + "}";
}

TEST(WvChecksum, IsTheDocumentedXorOfTheSampleWords) {
    const std::vector<int16_t> iq = {1, 2, 3, 4, -1, 0};
    // Words 0x00020001, 0x00040003, 0x0000FFFF XOR-ed into 0xA50F74FF.
    const uint32_t want = 0xA50F74FFu ^ 0x00020001u ^ 0x00040003u ^ 0x0000FFFFu;
    EXPECT_EQ(wvChecksum(iq.data(), 6, 1), want);
    EXPECT_EQ(wvChecksum(iq.data(), 6, 3), want);
    EXPECT_EQ(wvChecksum(iq.data(), 6, 2), 0xA50F74FFu);
}

TEST(WvFile, ReadsBackWhatItWrites) {
    const std::vector<int16_t> iq = {32767, 0, 0, -32767, -100, 100, 5, -5};
    WvHeader h;
    h.clock = 30.72e6;
    h.samples = 4;
    h.checksum = wvChecksum(iq.data(), 8, 1);
    h.levels = levelOffsets(iq.data(), 8);
    h.comment = "a {comment} with\ta brace";
    h.date = "2026-06-22;12:00:00";
    h.markers = {{1, "start:2", {{0, 2}}}, {3, "period:1", {{1, 2}, {3, 4}}}};
    h.controlLength = 4;
    const std::string file = wvFile(h, iq);
    EXPECT_NE(file.find("{CLOCK: 30720000}"), std::string::npos);
    EXPECT_NE(file.find("{COMMENT: a {comment  with a brace}"), std::string::npos);
    EXPECT_NE(file.find("{WAVEFORM-17:#"), std::string::npos);
    WvFile back;
    std::string error;
    ASSERT_TRUE(parseWv(file.data(), file.size(), back, error)) << error;
    EXPECT_EQ(back.iq, iq);
    EXPECT_EQ(back.header.clock, 30.72e6);
    EXPECT_EQ(back.header.samples, 4);
    EXPECT_TRUE(back.checksumStated);
    ASSERT_TRUE(back.header.levels.has_value());
    EXPECT_EQ(back.header.levels->rmsDb, h.levels->rmsDb);
    EXPECT_EQ(back.header.levels->peakDb, 0.0);
    ASSERT_EQ(back.header.markers.size(), 2u);
    EXPECT_EQ(back.header.markers[1].high, h.markers[1].high);
    EXPECT_EQ(back.header.date, h.date);
}

TEST(WvFile, LevelOffsetsAreTheRmsAndPeakBelowFullScale) {
    // |s| = 32767 / 2 throughout: 6.02 dB below full scale, crest factor 0.
    const std::vector<int16_t> half = {16383, 0, 0, 16383, -16383, 0};
    const auto l = levelOffsets(half.data(), 6);
    ASSERT_TRUE(l.has_value());
    EXPECT_NEAR(l->rmsDb, 6.0206, 1e-3);
    EXPECT_DOUBLE_EQ(l->rmsDb, l->peakDb);
    const std::vector<int16_t> silence(8, 0);
    EXPECT_FALSE(levelOffsets(silence.data(), 8).has_value());
}

struct WvFault {
    const char* what;
    std::string file;
    const char* says;
};

void PrintTo(const WvFault& c, std::ostream* os) { *os << c.what; }

class WvFaults : public ::testing::TestWithParam<WvFault> {};

TEST_P(WvFaults, AreRefusedNamingTheFault) {
    const WvFault c = GetParam();
    WvFile out;
    std::string error;
    EXPECT_FALSE(parseWv(c.file.data(), c.file.size(), out, error)) << c.what;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
}

const std::string kData = std::string("\x01\x00\x02\x00", 4);

INSTANTIATE_TEST_SUITE_P(
    Files, WvFaults,
    ::testing::Values(
        WvFault{"no TYPE first", "{CLOCK: 1}{TYPE: SMU-WV,0}{WAVEFORM-5:#" + kData + "}", "first tag is not TYPE"},
        WvFault{"a multi-segment file", "{TYPE: SMU-MWV,0}{WAVEFORM-5:#" + kData + "}", "only single waveforms"},
        WvFault{"wrong checksum", "{TYPE: SMU-WV,12345}{CLOCK: 1}{WAVEFORM-5:#" + kData + "}", "does not match"},
        WvFault{"truncated", "{TYPE: SMU-WV,0}{CLOCK: 1}{WAVEFORM-9:#" + kData + "}", "truncated?"},
        WvFault{"count disagrees", "{TYPE: SMU-WV,0}{SAMPLES: 2}{CLOCK: 1}{WAVEFORM-5:#" + kData + "}", "SAMPLES 2"},
        WvFault{"half a sample", "{TYPE: SMU-WV,0}{CLOCK: 1}{WAVEFORM-4:#" + std::string("\x01\x00\x02}", 4),
                "not a whole number"},
        WvFault{"no samples", "{TYPE: SMU-WV,0}{CLOCK: 1}", "no WAVEFORM tag"},
        WvFault{"two waveforms", "{TYPE: SMU-WV,0}{WAVEFORM-5:#" + kData + "}{WAVEFORM-5:#" + kData + "}",
                "second WAVEFORM"},
        WvFault{"bad clock", "{TYPE: SMU-WV,0}{CLOCK: fast}{WAVEFORM-5:#" + kData + "}", "CLOCK fast"},
        WvFault{"marker 5", "{TYPE: SMU-WV,0}{MARKER LIST 5: 0:1}{WAVEFORM-5:#" + kData + "}", "numbered 1 to 4"},
        WvFault{"marker state 2", "{TYPE: SMU-WV,0}{MARKER LIST 1: 0:2}{WAVEFORM-5:#" + kData + "}", "Pos:State"},
        WvFault{"falling positions", "{TYPE: SMU-WV,0}{MARKER LIST 1: 4:1;2:0}{WAVEFORM-5:#" + kData + "}",
                "Pos:State"},
        WvFault{"no closing brace", "{TYPE: SMU-WV,0", "no closing"},
        WvFault{"text between tags", "{TYPE: SMU-WV,0}x{WAVEFORM-5:#" + kData + "}", "not the '{'"},
        WvFault{"counted tag too short", "{TYPE: SMU-WV,0}{EMPTYTAG-40: #  }{WAVEFORM-5:#" + kData + "}",
                "EMPTYTAG-40"},
        WvFault{"a tag without a colon", "{TYPE SMU-WV}", "has no ':'"},
        WvFault{"a colon after the brace", "{TYPE}{CLOCK: 1}", "no ':' before its '}'"},
        WvFault{"a length of 0", "{TYPE: SMU-WV,0}{WAVEFORM-0:#}", "a whole number from 1"},
        WvFault{"no hash", "{TYPE: SMU-WV,0}{WAVEFORM-5: " + kData + "}", "no '#'"},
        WvFault{"a checksum beyond 32 bits", "{TYPE: SMU-WV,4294967296}{WAVEFORM-5:#" + kData + "}",
                "does not fit 32 bits"},
        WvFault{"one level offset", "{TYPE: SMU-WV,0}{LEVEL OFFS: 3}{WAVEFORM-5:#" + kData + "}", "two numbers"},
        WvFault{"a count in words", "{TYPE: SMU-WV,0}{SAMPLES: one}{WAVEFORM-5:#" + kData + "}", "SAMPLES one"},
        WvFault{"a control length of 0", "{TYPE: SMU-WV,0}{CONTROL LENGTH: 0}{WAVEFORM-5:#" + kData + "}",
                "CONTROL LENGTH 0"},
        WvFault{"a marker line twice",
                "{TYPE: SMU-WV,0}{MARKER LIST 2: 0:1}{MARKER LIST 2: 0:0}{WAVEFORM-5:#" + kData + "}",
                "MARKER LIST 2 given twice"}));

TEST(WvFile, ShowsTheFilesTextWithoutItsControlBytes) {
    // A file's bytes reach a terminal in the message: escapes, not commands.
    const std::string file = "{TYPE: SMU-WV,0}{CLOCK: \x1b[2J\x07x}{WAVEFORM-5:#" + kData + "}";
    WvFile out;
    std::string error;
    ASSERT_FALSE(parseWv(file.data(), file.size(), out, error));
    EXPECT_EQ(error, "CLOCK \\x1b[2J\\x07x: not a rate above 0");
    const std::string longName =
        "{TYPE: SMU-WV,0}{MARKER LIST " + std::string(100, '7') + ": 0:1}{WAVEFORM-5:#" + kData + "}";
    ASSERT_FALSE(parseWv(longName.data(), longName.size(), out, error));
    EXPECT_EQ(error, "MARKER LIST " + std::string(48, '7') + "...: markers are numbered 1 to 4");
}

TEST(WvFile, TakesWhatTheFormatAllows) {
    WvFile out;
    std::string error;
    // A checksum of 0 or text is none; a space before '#', the length
    // counted from '#'; a counted placeholder tag; tags after the samples.
    const std::string file = "{TYPE: SMU-WV, 0}\r\n{EMPTYTAG-4: #  }{WAVEFORM-5: #" + kData +
                             "}{CLOCK: 1000}{MARKER LIST 2: 0:0;1:1}{CONTROL LENGTH: 1}";
    ASSERT_TRUE(parseWv(file.data(), file.size(), out, error)) << error;
    EXPECT_EQ(out.iq, (std::vector<int16_t>{1, 2}));
    EXPECT_FALSE(out.checksumStated);
    EXPECT_EQ(out.header.clock, 1000);
    ASSERT_EQ(out.header.markers.size(), 1u);
    EXPECT_TRUE(out.header.markers[0].high.empty());  // high from 1 on, beyond the length of 1
    // Lists in any order are read by their numbers.
    const std::string lists =
        "{TYPE: SMU-WV,0}{MARKER LIST 3: 0:1}{MARKER LIST 1: 0:1;1:1}{CONTROL LENGTH: 3}{WAVEFORM-5:#" + kData + "}";
    ASSERT_TRUE(parseWv(lists.data(), lists.size(), out, error)) << error;
    ASSERT_EQ(out.header.markers.size(), 2u);
    EXPECT_EQ(out.header.markers[0].line, 1);
    EXPECT_EQ(out.header.markers[0].high, (Ranges{{0, 3}}));  // 1 stated twice running: one range
    EXPECT_EQ(out.header.markers[1].line, 3);
    const std::string text = "{TYPE: SMU-WV,checked}{WAVEFORM-5:#" + kData + "}";
    EXPECT_TRUE(parseWv(text.data(), text.size(), out, error)) << error;
}

TEST(IqbinFile, IsBigEndianIThenQ) {
    const std::vector<int16_t> iq = {0x1234, -2, 32767, -32768};
    const std::vector<char> bytes = iqbinBytes(iq.data(), 4);
    const std::vector<char> want = {0x12, 0x34, char(0xff), char(0xfe), 0x7f, char(0xff), char(0x80), 0x00};
    EXPECT_EQ(bytes, want);
    std::vector<int16_t> back;
    std::string error;
    ASSERT_TRUE(parseIqbin(bytes.data(), bytes.size(), back, error));
    EXPECT_EQ(back, iq);
    EXPECT_FALSE(parseIqbin(bytes.data(), 6, back, error));
    EXPECT_FALSE(parseIqbin(bytes.data(), 0, back, error));
    EXPECT_EQ(markerFileName("dir/x.iqbin"), "dir/x.marker");
    EXPECT_EQ(markerFileName("x"), "x.marker");
}

}  // namespace
