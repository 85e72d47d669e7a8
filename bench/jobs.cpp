// The job table and the peak-memory measurement.
#include "jobs.h"

#include <omp.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "wrapperGenSignalWave.h"

namespace {

// QPSK, QAM256 and FSK4 (Gaussian, BT 0.35, deviation 750 kHz) at 10^6
// symbols per second, PN order 15, seed 1, 8 samples per symbol, 125,000
// symbols: 10^6 samples at 8 MHz, resampled by 1.25 at 10 MHz.
DigitalModParams digital(DigitalModulType kind) {
    DigitalModParams p;
    std::memset(&p, 0, sizeof p);
    p.modType = kind;
    p.symbolRate = 1e6;
    p.freqDeviation = 750e3;
    p.pnOrder = 15;
    p.pnSeed = 1;
    p.filterType = kind == FSK4 ? GAUSSIAN : RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = 0.35;
    return p;
}

template <DigitalModulType Kind, int MHz>
int generateDigital(int handle, int16_t** iq, int* count) {
    const DigitalModParams p = digital(Kind);
    return GenerateDigitalModWaveform(handle, &p, 125000, iq, count, MHz * 1e6);
}

// Spread spectrum: 10 kbit/s, BPSK, order 7, root raised cosine over 6
// chips at 4 samples per chip, seed 1; 1,000 bits at the chip-locked
// 5.08 MHz (508,000 samples).
int generateDss(int handle, int16_t** iq, int* count) {
    DSSParams p;
    std::memset(&p, 0, sizeof p);
    p.bitRate = 10e3;
    p.modType = BPSK;
    p.pnOrder = 7;
    p.filterSpan = 6;
    p.samplesPerChip = 4;
    p.rolloff = 0.35;
    p.pnSeed = 1;
    p.filterType = RRCOS;
    return GenerateDssWaveform(handle, &p, 1000, iq, count, 5.08e6);
}

const Job kJobs[] = {
    {"QPSK_RRC_8MHz", generateDigital<QPSK, 8>},
    {"QPSK_RRC_10MHz", generateDigital<QPSK, 10>},
    {"QAM256_RRC_8MHz", generateDigital<QAM256, 8>},
    {"QAM256_RRC_10MHz", generateDigital<QAM256, 10>},
    {"FSK4_Gauss_8MHz", generateDigital<FSK4, 8>},
    {"FSK4_Gauss_10MHz", generateDigital<FSK4, 10>},
    {"DSS_BPSK_o7_5.08MHz", generateDss},
};

// A field of /proc/self/status in kB, -1 when missing.
long statusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const size_t len = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, len) == 0 && line[len] == ':') kb = std::atol(line + len + 1);
    std::fclose(f);
    return kb;
}

}  // namespace

constexpr int kDigitalJobs = static_cast<int>(sizeof kJobs / sizeof kJobs[0]);
const Job& job(int index) {
    if (index < kDigitalJobs) return kJobs[index];
    if (index < kDigitalJobs + kWaveJobCount) return kWaveJobs[index - kDigitalJobs];
    return kExactJobs[index - kDigitalJobs - kWaveJobCount];
}
int jobCount() { return kDigitalJobs + kWaveJobCount + kExactJobCount; }

int runPeakChild(int index, int threads) {
    if (index < 0 || index >= jobCount() || threads < 1) return 2;
    // The OpenMP team and the handle exist before the measurement starts:
    // a host pays for them once, not per call.
    omp_set_num_threads(threads);
#pragma omp parallel
    { (void)omp_get_thread_num(); }
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) return 3;
    // Writing 5 resets the high-water mark to the current resident size.
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    if (!clear || std::fputs("5", clear) < 0 || std::fclose(clear) != 0) return 4;
    const long before = statusKb("VmRSS");
    int16_t* iq = nullptr;
    int count = 0;
    if (job(index).generate(handle, &iq, &count) != 0) return 5;
    const long peak = statusKb("VmHWM");
    if (before < 0 || peak < 0) return 6;
    std::printf("%ld %d\n", (peak - before) * 1024, count / 2);
    return 0;
}

double peakBytesPerSample(int index, int threads) {
    static std::mutex lock;
    static std::map<std::pair<int, int>, double> measured;
    std::lock_guard<std::mutex> guard(lock);
    const auto key = std::make_pair(index, threads);
    const auto it = measured.find(key);
    if (it != measured.end()) return it->second;
    double result = -1;
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len > 0) {
        self[len] = '\0';
        char command[4200];
        std::snprintf(command, sizeof command, "'%s' --peak-child=%d %d", self, index, threads);
        if (FILE* child = popen(command, "r")) {
            long bytes = 0;
            int samples = 0;
            if (std::fscanf(child, "%ld %d", &bytes, &samples) == 2 && samples > 0)
                result = static_cast<double>(bytes) / samples;
            pclose(child);
        }
    }
    measured[key] = result;
    return result;
}

#ifndef GENSIGNAL_HAVE_LIQUID
double peerRate(bool) { return 0; }
double liquidFmRate() { return 0; }
double liquidNoiseRate() { return 0; }
double liquidOfdmRate() { return 0; }
double liquidMultitoneRate() { return 0; }
#endif
