// One job of every kind at 1 and 2 threads, on the machine as it is and
// with two busy processes spinning beside it: output samples per second
// and, at 2 threads, the ratio to the 1-thread rate under the same load
// (x_one_thread). A descheduled thread that the others wait for shows here
// as a ratio far below 1. Wall-clock time: the library runs on OpenMP
// threads. Run alone, e.g. --benchmark_filter=Busy/ --benchmark_min_time=0.3s
#include <benchmark/benchmark.h>
#include <omp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

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

// Samples per second of each (job, loaded) at one thread, for the ratio.
std::map<std::pair<int, bool>, double>& oneThreadRates() {
    static std::map<std::pair<int, bool>, double> rates;
    return rates;
}

void BM_Busy(benchmark::State& state, int index, bool loaded, int threads) {
    const Job& j = job(index);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
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
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = j.generate(handle, &iq, &count);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (rc != 0) {
            state.SkipWithError("generation failed");
            break;
        }
        benchmark::DoNotOptimize(iq);
    }
    load.stop();
    GenSignalObjRelease(handle);
    omp_set_num_threads(saved);
    const double rate = seconds > 0 ? static_cast<double>(state.iterations()) * (count / 2.0) / seconds : 0;
    state.counters["Msamples/s"] = rate / 1e6;
    const auto key = std::make_pair(index, loaded);
    if (threads == 1) {
        oneThreadRates()[key] = rate;
    } else {
        const auto one = oneThreadRates().find(key);
        if (one != oneThreadRates().end() && one->second > 0) state.counters["x_one_thread"] = rate / one->second;
    }
}

const bool registered = [] {
    for (const char* name : kKindJobs) {
        const int index = jobIndex(name);
        if (index < 0) continue;
        for (bool loaded : {false, true})
            for (int threads : {1, 2})
                benchmark::RegisterBenchmark((std::string("Busy/") + name + (loaded ? "/loaded" : "/idle") +
                                              "/threads:" + std::to_string(threads))
                                                 .c_str(),
                                             BM_Busy, index, loaded, threads)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
