// One job of every kind on the machine as it is and with two busy
// processes spinning beside it, calls at 1 and at 2 threads alternating
// under the same load (which one goes first alternates too): the median
// output samples per second of each, and x_one_thread, the median over the
// pairs of the 2-thread rate over the 1-thread rate. Pairing the calls
// keeps the load's drift between runs out of the ratio. A descheduled
// thread that the others wait for shows here as a ratio far below 1.
// Wall-clock time: the library runs on OpenMP threads. Run alone:
// --benchmark_filter=Busy/ (each job at least 4 s and 40 pairs, at most a
// minute).
#include <benchmark/benchmark.h>
#include <omp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "jobs.h"
#include "wrapperGenSignalWave.h"

namespace {

// The kinds' jobs from the job table, worst first by the figures.
const char* const kKindJobs[] = {
    "DSS_BPSK_o7_5.08MHz", "QPSK_RRC_8MHz",        "FSK4_Gauss_8MHz",        "OFDM_64_QPSK_20000sym",
    "QPSK_RRC_10MHz",      "AM_sine_10MHz",        "FM_sine_1kHz_dev_10MHz", "Multitone_8_20Hz_7MHz",
    "Pulse_10MHz",         "StepSweep_1000_10MHz", "Chirp_1MHz_10MHz",       "Noise_128taps_1e6",
};
constexpr int kBusyProcesses = 2;

constexpr size_t kLeastPairs = 40;
constexpr double kLeastSeconds = 4, kMostSeconds = 60;

// Child processes that spin until killed. They die with the benchmark too
// (PR_SET_PDEATHSIG), so a crash or an abort leaves none behind.
class BusyLoad {
public:
    bool start() {
        const pid_t parent = getpid();
        for (int i = 0; i < kBusyProcesses; ++i) {
            const pid_t pid = fork();
            if (pid < 0) {
                stop();
                return false;
            }
            if (pid == 0) {
                // Only system calls after fork in a threaded process.
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (getppid() != parent) _exit(0);
                for (volatile unsigned long spin = 0;; spin = spin + 1) {
                }
            }
            pids_[count_++] = pid;
        }
        return true;
    }
    void stop() {
        for (int i = 0; i < count_; ++i) {
            kill(pids_[i], SIGKILL);
            waitpid(pids_[i], nullptr, 0);
        }
        count_ = 0;
    }
    ~BusyLoad() { stop(); }

private:
    pid_t pids_[kBusyProcesses] = {};
    int count_ = 0;
};

int jobIndex(const char* name) {
    for (int i = 0; i < jobCount(); ++i)
        if (std::strcmp(job(i).name, name) == 0) return i;
    return -1;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + mid, v.end());
    return v[mid];
}

// One call at `threads`: its wall-clock seconds, or -1 when it failed.
double timedCall(const Job& j, int handle, int threads, int16_t** iq, int* count) {
    omp_set_num_threads(threads);
    const auto start = std::chrono::steady_clock::now();
    const int rc = j.generate(handle, iq, count);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return rc == 0 ? seconds : -1;
}

void BM_Busy(benchmark::State& state, int index, bool loaded) {
    const Job& j = job(index);
    const int saved = omp_get_max_threads();
    const int handle = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 0;
    BusyLoad load;
    if (j.generate(handle, &iq, &count) != 0)
        state.SkipWithError("generation failed");
    else if (loaded && !load.start())
        state.SkipWithError("could not start the busy processes");
    else if (loaded)
        usleep(20000);  // let the spinners reach the cores
    std::vector<double> one, two;
    bool twoFirst = false;
    // One benchmark iteration holds every pair: at least kLeastPairs and
    // kLeastSeconds, so that the slowest calls get a median too.
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
        while ((one.size() < kLeastPairs || elapsed() < kLeastSeconds) && elapsed() < kMostSeconds) {
            double t1 = 0, t2 = 0;
            if (twoFirst) {
                t2 = timedCall(j, handle, 2, &iq, &count);
                t1 = timedCall(j, handle, 1, &iq, &count);
            } else {
                t1 = timedCall(j, handle, 1, &iq, &count);
                t2 = timedCall(j, handle, 2, &iq, &count);
            }
            twoFirst = !twoFirst;
            if (t1 < 0 || t2 < 0) {
                state.SkipWithError("generation failed");
                break;
            }
            one.push_back(t1);
            two.push_back(t2);
            benchmark::DoNotOptimize(iq);
        }
    }
    load.stop();
    GenSignalObjRelease(handle);
    omp_set_num_threads(saved);
    const double samples = count / 2.0, m1 = median(one), m2 = median(two);
    if (m1 > 0 && m2 > 0) {
        state.counters["Ms/s_1thread"] = samples / m1 / 1e6;
        state.counters["Ms/s_2threads"] = samples / m2 / 1e6;
        // Each pair ran under the same load: the median of the pairs' own
        // ratios keeps the drift between pairs out of it.
        std::vector<double> ratios(one.size());
        for (size_t i = 0; i < one.size(); ++i) ratios[i] = one[i] / two[i];
        state.counters["x_one_thread"] = median(ratios);
    }
    state.counters["pairs"] = static_cast<double>(one.size());
}

const bool registered = [] {
    for (const char* name : kKindJobs) {
        const int index = jobIndex(name);
        if (index < 0) continue;
        for (bool loaded : {false, true})
            benchmark::RegisterBenchmark((std::string("Busy/") + name + (loaded ? "/loaded" : "/idle")).c_str(),
                                         BM_Busy, index, loaded)
                ->UseRealTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
