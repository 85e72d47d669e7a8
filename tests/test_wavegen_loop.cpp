// wavegen's opt-in settings end to end: the exact loop's data is the
// library's buffer with the same settings, its metadata records the loop,
// refused settings and records exit with status 2 in option terms, and a
// defined record above half the sample rate leaves a note.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using WavegenLoop = WavegenRun;

TEST_F(WavegenLoop, ExactDigitalIsTheLibrarysLoopAndItsMetadataSaysSo) {
    std::string output;
    ASSERT_EQ(run("digital --mod-type qpsk --symbol-rate 1.023e6 --freq-deviation 0 --pn-order 9 --pn-seed 1 "
                  "--filter-type rrcos --filter-span 6 --samples-per-symbol 8 --rolloff 0.35 --symbol-count 100 "
                  "--sample-rate 10e6 --loop exact --peak-dbfs -3 -o d",
                  output),
              0)
        << output;
    const DigitalModParams p{QPSK, 1.023e6, 0, 9, 1, RRCOS, 6, 8, 0.35};
    const auto fields = nlohmann::json::parse(readText("d.sigmf-meta")).at("global");
    const auto lib = libraryIq([&](int h, int16_t** iq, int* count) {
        GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
        GenSignalSetOption(h, GENSIGNAL_OPTION_PEAK_DBFS, -3);
        return GenerateDigitalModWaveform(h, &p, 100, iq, count, 10e6);
    });
    ASSERT_EQ(lib.rc, 0);
    EXPECT_TRUE(sameSamples(readFile("d.sigmf-data"), lib.iq));
    // 100 symbols at 1.023 Msym/s into 10 MS/s: 977.5... samples, whole after 1023 periods.
    const auto loop = fields.at("gensignal:loop");
    EXPECT_EQ(loop.at("mode"), "exact");
    EXPECT_EQ(loop.at("periods"), 1023);
    EXPECT_EQ(loop.at("duration"), 0.1);
    EXPECT_EQ(loop.at("whole_periods"), true);
    EXPECT_EQ(fields.at("gensignal:samples"), 1000000);
}

TEST_F(WavegenLoop, RefusalsAndNotesAreInOptionTerms) {
    std::string output;
    EXPECT_EQ(run("am --peak-dbfs 1", output), 2);
    EXPECT_NE(output.find("wavegen: --peak-dbfs 1: must be -90 to 0 dBFS"), std::string::npos) << output;
    EXPECT_EQ(run("fm --freq-deviation 30000 --sample-rate 48000 --loop exact", output), 2);
    EXPECT_NE(output.find("wavegen: --freq-deviation 30000: lies at or above half the sample rate"), std::string::npos)
        << output;
    EXPECT_EQ(run("fm --freq-deviation 30000 --sample-rate 48000 -o f", output), 0);
    EXPECT_NE(output.find("wavegen: note: --freq-deviation 30000: lies at or above half the sample rate"),
              std::string::npos)
        << output;
    EXPECT_EQ(run("multitone --tone-phases squiggle", output), 2);
}

}  // namespace
