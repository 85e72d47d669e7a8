// Playback into the tests' SoapySDR device (no recording: it copies each
// piece as a driver copies into its transfer buffers), on one core:
// wavegen play's player, the loop converted once and written from memory,
// beside the peer an application usually writes, converting each piece to
// complex float as it goes. Items are samples.
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Formats.hpp>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "soapy/soapyPlayer.h"

namespace {

constexpr int64_t kLoopSamples = 61440;  // an exact loop at 30.72 MS/s
constexpr int64_t kLoops = 10000;        // 614 M samples: the end's 0.1 s wait for status is small beside them

const std::vector<int16_t>& loop() {
    static const std::vector<int16_t> iq = [] {
        std::mt19937 draw(7);
        std::vector<int16_t> v(2 * kLoopSamples);
        for (auto& x : v) x = static_cast<int16_t>(static_cast<int>(draw() % 65535) - 32767);
        return v;
    }();
    return iq;
}

std::string deviceArgs(int64_t mtu, const char* format) {
    // The tests' module and no other.
    setenv("SOAPY_SDR_PLUGIN_PATH", GENSIGNAL_TEST_DEVICE_DIR, 1);
    setenv("SOAPY_SDR_ROOT", "/nonexistent", 1);
    return "driver=gensigtest,mtu=" + std::to_string(mtu) + ",format=" + format;
}

void PlayConvertedOnce(benchmark::State& state) {
    PlaySettings s;
    s.device = deviceArgs(state.range(0), SOAPY_SDR_CS16);
    s.sampleRate = 30.72e6;
    s.loops = kLoops;
    const std::atomic<bool> stop{false};
    for (auto _ : state) {
        PlayReport report;
        const std::string error =
            playLoop(loop().data(), static_cast<int>(loop().size()), s, stop, report, [](const std::string&) {});
        if (!error.empty()) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(report.samples);
    }
    state.SetItemsProcessed(state.iterations() * kLoops * kLoopSamples);
}

void PlayConvertingEachPiece(benchmark::State& state) {
    const int64_t mtu = state.range(0);
    const std::string args = deviceArgs(mtu, SOAPY_SDR_CF32);
    for (auto _ : state) {
        SoapySDR::Device* device = SoapySDR::Device::make(args);
        device->setSampleRate(SOAPY_SDR_TX, 0, 30.72e6);
        SoapySDR::Stream* stream = device->setupStream(SOAPY_SDR_TX, SOAPY_SDR_CF32, {0});
        device->activateStream(stream);
        std::vector<float> piece(2 * static_cast<size_t>(mtu));
        const int16_t* iq = loop().data();
        int64_t at = 0;
        for (int64_t left = kLoops * kLoopSamples; left > 0;) {
            const int64_t n = std::min(mtu, left);
            for (int64_t i = 0; i < n; ++i) {
                piece[2 * i] = static_cast<float>(iq[2 * at] / 32767.0);
                piece[2 * i + 1] = static_cast<float>(iq[2 * at + 1] / 32767.0);
                if (++at == kLoopSamples) at = 0;
            }
            const void* buffs[1] = {piece.data()};
            int flags = 0;
            left -= device->writeStream(stream, buffs, static_cast<size_t>(n), flags, 0, 100000);
        }
        device->deactivateStream(stream);
        device->closeStream(stream);
        SoapySDR::Device::unmake(device);
    }
    state.SetItemsProcessed(state.iterations() * kLoops * kLoopSamples);
}

}  // namespace

BENCHMARK(PlayConvertedOnce)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlayConvertingEachPiece)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
