// AWGN + carrier offset + a static 9-tap multipath over 2^20 samples, the
// same stages in one run: liquid-dsp's channel_cccf (execute_block into a
// second buffer; taps at whole samples with its own random gains, noise at
// 20 dB SNR over a -60 dB floor) and the library's channel on the float
// buffer in place (taps 0 ... 8 samples, Rayleigh, static; SNR 20 dB,
// 1 kHz offset at 30.72 MS/s), one thread each. Output samples per second;
// x_liquid is our rate over the peer's, measured in the same run.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <chrono>
#include <complex>
#include <cstring>
#include <vector>

#include <liquid/liquid.h>

#include "channelChain.h"

namespace {

constexpr double kRate = 30.72e6, kCfo = 1000;
constexpr unsigned kSamples = 1u << 20;

std::vector<std::complex<float>> input() {
    std::vector<std::complex<float>> x(kSamples);
    for (unsigned i = 0; i < kSamples; ++i) x[i] = std::polar(0.5f, static_cast<float>(0.37 * i + 1e-6 * i * i));
    return x;
}

GenSignalChannel ours() {
    GenSignalChannel c{};
    c.seed = 1;
    c.fading = GENSIGNAL_FADING_TAPS;
    c.tapCount = 9;
    for (int k = 0; k < 9; ++k) {
        c.taps[k].delay = k / kRate;
        c.taps[k].powerDb = -2.0 * k;
    }
    c.cfoHz = kCfo;
    c.noiseMode = GENSIGNAL_NOISE_SNR;
    c.noiseDb = 20;
    return c;
}

double liquidSeconds() {
    const std::vector<std::complex<float>> x = input();
    std::vector<std::complex<float>> y(kSamples);
    channel_cccf ch = channel_cccf_create();
    channel_cccf_add_awgn(ch, -60.0f, 20.0f);
    channel_cccf_add_carrier_offset(ch, static_cast<float>(2 * M_PI * kCfo / kRate), 0.0f);
    channel_cccf_add_multipath(ch, nullptr, 9);
    const auto start = std::chrono::steady_clock::now();
    channel_cccf_execute_block(ch, const_cast<std::complex<float>*>(x.data()), kSamples, y.data());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(y.data());
    channel_cccf_destroy(ch);
    return seconds;
}

void BM_ChannelPeer(benchmark::State& state) {
    const bool liquid = state.range(0) == 1;
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    const std::vector<std::complex<float>> x = input();
    std::vector<std::complex<float>> work(kSamples);
    const GenSignalChannel c = ours();
    ChannelContext context;
    GenSignalChannelRealised r{};
    double seconds = 0, peer = 0;
    for (auto _ : state) {
        double t = 0;
        if (liquid) {
            t = liquidSeconds();
        } else {
            std::memcpy(work.data(), x.data(), kSamples * sizeof x[0]);
            const auto start = std::chrono::steady_clock::now();
            applyChannel(c, context, work.data(), kSamples, kRate, r);
            t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            peer += liquidSeconds();  // in turns, so that a change of load falls on both
            benchmark::DoNotOptimize(work.data());
        }
        seconds += t;
        state.SetIterationTime(t);
    }
    omp_set_num_threads(saved);
    state.counters["Msamples/s"] = static_cast<double>(state.iterations()) * kSamples / seconds / 1e6;
    if (!liquid) state.counters["x_liquid"] = peer / seconds;
    state.SetLabel(liquid ? "liquid-dsp channel_cccf" : "gensignal channel, in place");
}
BENCHMARK(BM_ChannelPeer)->ArgName("liquid")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
