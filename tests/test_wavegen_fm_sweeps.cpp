// wavegen fm, stepsweep and rampsweep: the data file is the library's buffer
// for the same record, and the metadata carries every record field.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

struct KindCase {
    const char* name;
    std::string args;
    std::function<int(int, int16_t**, int*)> generate;  // the same request, straight to the library
    nlohmann::json fields;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.args; }

class WavegenFmSweeps : public WavegenRun, public ::testing::WithParamInterface<KindCase> {};

TEST_P(WavegenFmSweeps, DataIsTheLibraryBufferAndMetaHasEveryField) {
    const auto& c = GetParam();
    std::string output;
    ASSERT_EQ(run(c.args + " -o w", output), 0) << output;

    const auto lib = libraryIq(c.generate);
    ASSERT_EQ(lib.rc, 0);
    ASSERT_TRUE(sameSamples(readFile("w.sigmf-data"), lib.iq));

    const auto global = nlohmann::json::parse(readText("w.sigmf-meta")).at("global");
    EXPECT_EQ(global.at("gensignal:kind"), c.name);
    EXPECT_EQ(global.at("gensignal:samples"), lib.iq.size() / 2);
    for (const auto& [field, value] : c.fields.items()) EXPECT_EQ(global.at("gensignal:" + field), value) << field;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WavegenFmSweeps,
    ::testing::Values(KindCase{"fm",
                               "fm --mod-frequency 400 --freq-deviation -250 --mod-shape triangle --sample-rate 1000",
                               [](int h, int16_t** iq, int* count) {
                                   const FMModParams p{400, -250, 3};
                                   return GenerateFmWaveform(h, &p, iq, count, 1000);
                               },
                               {{"modFrequency", 400.0}, {"freqDeviation", -250.0}, {"modShape", "triangle"}}},
                      KindCase{
                          "stepsweep",
                          "stepsweep --start-frequency 1000 --stop-frequency 0 --step-count 4 --dwell-time 1e-3 "
                          "--sample-rate 48000",
                          [](int h, int16_t** iq, int* count) {
                              const StepSweepParams p{1000, 0, 4, 1e-3};
                              return GenerateStepSweepWaveform(h, &p, iq, count, 48000);
                          },
                          {{"startFrequency", 1000.0}, {"stopFrequency", 0.0}, {"stepCount", 4}, {"dwellTime", 1e-3}}},
                      KindCase{"rampsweep",
                               "rampsweep --sweep-bandwidth 2e5 --sweep-time 2e-3 --duration 1e-3 --sample-rate 1e6",
                               [](int h, int16_t** iq, int* count) {
                                   const RampSweepParams p{2e5, 2e-3, 1e-3};
                                   return GenerateRampSweepWaveform(h, &p, iq, count, 1e6);
                               },
                               {{"sweepBandwidth", 2e5}, {"sweepTime", 2e-3}, {"duration", 1e-3}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
