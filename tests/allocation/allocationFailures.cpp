// Every allocation of one call fails in turn: a host whose memory runs out at
// any point of a call gets a code and a reason, never an aborted process.
//
// This program replaces malloc, calloc, realloc and the aligned allocators
// for everything in the process (the library, the C++ runtime, the OpenMP
// runtime). For each k it forks a child that runs the call once unhindered,
// so that the OpenMP team exists and every later allocation is the call's
// own, then runs it again with allocation k failing. The child must come
// back with 0, -1 or -3, a reason for a refusal, and, on success, the same
// values as the first time. The deaths accepted are the OpenMP runtime's
// and FFTW's own: each ends the process when one of its allocations fails
// (FFTW's planner, for the channel's transforms), which no library can
// prevent beyond trying its working memory first; the allocator tells which
// object asked for the memory that failed, from the caller's address.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "wrapperGenSignalWave.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GENSIGNAL_SANITIZED 1
#endif

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

// Who asked for memory, by the object the caller's address lies in.
// `threads`: the dynamic loader, which allocates each new thread's TLS.
enum class Caller : int { openmp, cxxRuntime, library, other, fftw, threads };

struct Range {
    uintptr_t first = 0, last = 0;
};
Range openmpText, cxxText, libraryText, fftwText, loaderText;

// Armed in the child only: allocation number `failAt` (counted from 1 across
// all threads) returns null, and what asked for it is written to `reportFd`.
std::atomic<long> seen{0};
std::atomic<long> failAt{0};
int reportFd = -1;

Caller callerOf(const void* address) {
    const auto a = reinterpret_cast<uintptr_t>(address);
    auto in = [a](const Range& r) { return a >= r.first && a < r.last; };
    return in(openmpText)    ? Caller::openmp
           : in(cxxText)     ? Caller::cxxRuntime
           : in(libraryText) ? Caller::library
           : in(fftwText)    ? Caller::fftw
           : in(loaderText)  ? Caller::threads
                             : Caller::other;
}

// True when this allocation is the one to fail. Writes one line to the
// report (write(2) only: no memory is needed to say it).
[[maybe_unused]] bool failsNow(const void* caller) {  // unused where a sanitizer owns the allocator
    const long limit = failAt.load(std::memory_order_relaxed);
    if (limit == 0) return false;
    if (seen.fetch_add(1, std::memory_order_relaxed) + 1 != limit) return false;
    const char line[] = {'F', static_cast<char>('0' + static_cast<int>(callerOf(caller))), '\n'};
    if (write(reportFd, line, sizeof line) < 0) _exit(90);
    errno = ENOMEM;  // as the allocator says it: glibc's thread start asserts it
    return true;
}

}  // namespace

#ifndef GENSIGNAL_SANITIZED
extern "C" {

void* malloc(size_t size) {
    if (failsNow(__builtin_return_address(0))) return nullptr;
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    if (failsNow(__builtin_return_address(0))) return nullptr;
    return __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) {
    if (failsNow(__builtin_return_address(0))) return nullptr;
    return __libc_realloc(p, size);
}

void* memalign(size_t alignment, size_t size) {
    if (failsNow(__builtin_return_address(0))) return nullptr;
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
    if (failsNow(__builtin_return_address(0))) return nullptr;
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
    if (failsNow(__builtin_return_address(0))) return ENOMEM;
    void* p = __libc_memalign(alignment, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}

}  // extern "C"
#endif

namespace {

// The executable text of the objects whose allocations matter.
int noteObject(dl_phdr_info* info, size_t, void*) {
    const std::string name = info->dlpi_name ? info->dlpi_name : "";
    Range* range = name.find("libgomp") != std::string::npos        ? &openmpText
                   : name.find("libstdc++") != std::string::npos    ? &cxxText
                   : name.find("libgensignal") != std::string::npos ? &libraryText
                   : name.find("libfftw3") != std::string::npos     ? &fftwText
                   : name.find("ld-linux") != std::string::npos     ? &loaderText
                                                                    : nullptr;
    if (!range) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X)) continue;
        range->first = info->dlpi_addr + ph.p_vaddr;
        range->last = range->first + ph.p_memsz;
    }
    return 0;
}

using Call = std::function<int(int handle, int16_t** iq, int* count)>;

struct Kind {
    const char* name;
    Call call;
    bool repeatable;  // the same values on every call (noise is not)
};
void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

std::string lastError() {
    char buffer[1024];
    return GenSignalGetLastError(buffer, sizeof buffer) < 0 ? std::string() : std::string(buffer);
}

// Child: the call once, then again with allocation k failing. Exit 0 when
// the second call answered as it must; the report gets "D<k reached>" last.
[[noreturn]] void child(const Kind& kind, long k) {
    alarm(60);  // a hang is a failure too
    // The second call goes to a fresh handle, so that the frame grows its
    // buffer under the failures too.
    const int h = GenSignalObjCreatSelfEncode(), fresh = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 0;
    if (h < 0 || fresh < 0 || kind.call(h, &iq, &count) != 0) _exit(91);
    const std::vector<int16_t> first(iq, iq + count);

    failAt = k;
    const int rc = kind.call(fresh, &iq, &count);
    failAt = 0;
    const bool reached = seen.load() >= k;
    const char done[] = {'D', reached ? '1' : '0', '\n'};
    if (write(reportFd, done, sizeof done) < 0) _exit(90);

    if (rc != 0 && rc != -1 && rc != -3) _exit(92);
    if (rc != 0) {
        const std::string reason = lastError();
        if (reason.empty()) _exit(93);
        std::fprintf(stderr, "    k = %ld: %d, \"%s\"\n", k, rc, reason.c_str());
        _exit(0);
    }
    if (kind.repeatable && (count != static_cast<int>(first.size()) || !std::equal(first.begin(), first.end(), iq)))
        _exit(94);
    _exit(0);
}

struct Outcome {
    bool reached = false;  // the call made at least k allocations
    bool completed = false;
    int failedCaller = -1;  // Caller of the failed allocation, -1 when none failed
    int status = 0;
};

Outcome runChild(const Kind& kind, long k) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        reportFd = fds[1];
        child(kind, k);
    }
    close(fds[1]);
    Outcome o;
    char line[3];
    while (read(fds[0], line, sizeof line) == static_cast<ssize_t>(sizeof line)) {
        if (line[0] == 'F') o.failedCaller = line[1] - '0';
        if (line[0] == 'D') {
            o.completed = true;
            o.reached = line[1] == '1';
        }
    }
    close(fds[0]);
    waitpid(pid, &o.status, 0);
    return o;
}

std::string describe(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

const char* callerName(int c) {
    switch (static_cast<Caller>(c)) {
        case Caller::openmp: return "the OpenMP runtime";
        case Caller::cxxRuntime: return "the C++ runtime (operator new)";
        case Caller::library: return "the library";
        case Caller::fftw: return "FFTW";
        case Caller::threads: return "the thread start (the dynamic loader)";
        default: return "another object";
    }
}

class AllocationFailure : public ::testing::TestWithParam<Kind> {};

TEST_P(AllocationFailure, EveryFailedAllocationEndsInACodeAndAReason) {
#ifdef GENSIGNAL_SANITIZED
    GTEST_SKIP() << "the sanitizer runtime owns the allocator";
#endif
    dl_iterate_phdr(noteObject, nullptr);
    ASSERT_NE(libraryText.first, 0u) << "the library was not found among the loaded objects";
    const Kind& kind = GetParam();
    long k = 1;
    int runtimeDeaths = 0;
    for (;; ++k) {
        ASSERT_LT(k, 100000) << "the call never runs out of allocations";
        const Outcome o = runChild(kind, k);
        const bool clean = WIFEXITED(o.status) && WEXITSTATUS(o.status) == 0 && o.completed;
        if (clean && !o.reached) break;  // fewer than k allocations: done
        if (clean) continue;
        // Ended otherwise: acceptable only when the allocation that failed was
        // the OpenMP runtime's, FFTW's or a new thread's own.
        const Caller failed = static_cast<Caller>(o.failedCaller);
        if ((failed == Caller::openmp || failed == Caller::fftw || failed == Caller::threads) && !o.completed) {
            ++runtimeDeaths;
            continue;
        }
        ADD_FAILURE() << kind.name << ": with allocation " << k << " failing ("
                      << (o.failedCaller < 0 ? "none failed" : callerName(o.failedCaller)) << ") the child ended with "
                      << describe(o.status) << (o.completed ? " after the call returned" : " inside the call");
    }
    std::printf("%s: %ld allocations failed in turn, %d ended by the OpenMP runtime, FFTW or a thread start\n",
                kind.name, k - 1, runtimeDeaths);
}

DigitalModParams digital(DigitalModulType type, FilterType filter, int span, int sps, double rolloff) {
    DigitalModParams p{};
    p.modType = type;
    p.symbolRate = 1e6;
    p.freqDeviation = 250e3;
    p.pnOrder = 9;
    p.pnSeed = 0x1b5;
    p.filterType = filter;
    p.filterSpan = span;
    p.samplesPerSymbol = sps;
    p.rolloff = rolloff;
    return p;
}

// Medium records: every parallel region runs with more than one thread
// (the test runs with OMP_NUM_THREADS=3).
const DigitalModParams kRrc = digital(QPSK, RRCOS, 8, 4, 0.35);
const DigitalModParams kOqpsk = digital(OQPSK, RRCOS, 6, 8, 0.25);
const DigitalModParams kFsk4 = digital(FSK4, GAUSSIAN, 4, 8, 0.5);
const DSSParams kDss{1e3, BPSK, 7, 6, 4, 0.3, 0x35, RRCOS};
const AMModParams kAm{10, 50, 1};
const FMModParams kFm{10, 5e3, 3};
const MultitoneParams kMultitone{{0}, 8, 150};
const PulseParams kPulse{0.01, 0.05};
const StepSweepParams kStep{0, 1e5, 8, 0.02};
const RampSweepParams kRamp{2e5, 0.1, 0.15};
const AWGNParams kNoise{2e5, 0.1};
const OFDMParams kOfdm{{0}, 1024, 100, 100, 99, 25, {0}, 1, QAM16, 1};
// The exact loop mode: AM at 3 Hz closes after 3 periods, FM with a
// sawtooth only after its phase has come back (both their own way).
const AMModParams kAmLoop{3, 50, 2};
const FMModParams kFmLoop{10, 5e3, 4};

// The channel with every stage on over 2^17 samples (three threads, the
// split transforms), on a buffer made before any call.
const std::vector<int16_t> kChannelInput = [] {
    std::vector<int16_t> iq(2 << 17);
    for (size_t i = 0; i < iq.size(); ++i) iq[i] = static_cast<int16_t>(8000 * ((i * 7919) % 13 - 6) / 6);
    return iq;
}();

GenSignalChannel everyStage() {
    GenSignalChannel c{};
    c.seed = 5;
    c.paModel = GENSIGNAL_PA_SALEH;
    c.paBackoffDb = 4;
    c.fading = GENSIGNAL_FADING_TDL_D;
    c.delaySpread = 1e-6;
    c.dopplerHz = 300;
    c.timingOffset = 1.5;
    c.cfoHz = 1000;
    c.phaseNoisePoints = 2;
    c.phaseNoiseOffsetHz[0] = 100;
    c.phaseNoiseDbcHz[0] = -80;
    c.phaseNoiseOffsetHz[1] = 1e5;
    c.phaseNoiseDbcHz[1] = -110;
    c.noiseMode = GENSIGNAL_NOISE_CN;
    c.noiseDb = 20;
    c.noiseBandwidthHz = 2e5;
    c.iqGainDb = 0.5;
    c.dcEnabled = 1;
    c.dcDbc = -30;
    return c;
}

int applyEveryStage(int h, int16_t** iq, int* n) {
    static const GenSignalChannel c = everyStage();
    const GenSignalMeasureInput in{
        kChannelInput.data(), static_cast<int64_t>(kChannelInput.size()), GENSIGNAL_FORMAT_CI16, 0, nullptr, 0, 0, 1e6};
    return GenSignalApplyChannel(h, &c, &in, nullptr, iq, n, nullptr);
}

// The call in the exact loop mode (with Newman phases for the tones): setting
// an option allocates nothing.
void exact(int h) {
    GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
    GenSignalSetOption(h, GENSIGNAL_OPTION_TONE_PHASES, GENSIGNAL_TONE_PHASES_NEWMAN);
}

// Two carriers of one record on one loop: the sum straight to floats, its
// spectrum built from the carrier's own beside the band's scan. Then with
// a bursting third part and either reduction: the part's own buffer, the
// sum in doubles, the reduction's rounds and the labels of every burst.
const OFDMParams kSceneCarrier{{0}, 64, 40, 8, 7, 25, {0}, 1, QAM16, 1};  // 3200 samples: one transform each

int sceneOf(int h, int16_t** iq, int* n, int cfr) {
    const bool reduced = cfr != GENSIGNAL_CFR_OFF;
    GenSignalScenePart carriers[3] = {};
    const double offsets[] = {-250000.0, 250000.0, 0.0};
    for (int i = 0; i < 3; ++i) {
        carriers[i].recordKind = GENSIGNAL_RECORD_OFDM;
        carriers[i].record = &kSceneCarrier;
        carriers[i].frequencyOffset = offsets[i];
        carriers[i].delay = i * 3e-6;
        carriers[i].phaseDeg = 40.0 * i;
    }
    carriers[2].burstOn = 1e-3;  // the third bursts, twice a loop
    carriers[2].burstOff = 0.6e-3;
    carriers[2].burstRamp = 1e-4;
    GenSignalScene s{};
    s.sampleRate = 1e6;
    s.partCount = reduced ? 3 : 2;
    s.parts = carriers;
    s.cfrMethod = cfr;
    s.cfrTargetPaprDb = 7;
    exact(h);
    return GenerateSceneWaveform(h, &s, iq, n);
}

INSTANTIATE_TEST_SUITE_P(
    EntryPoints, AllocationFailure,
    ::testing::Values(
        Kind{"DigitalRrcResampled",
             [](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &kRrc, 30000, iq, n, 5e6); }, true},
        Kind{"DigitalOqpsk",
             [](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &kOqpsk, 12000, iq, n, 7e6); },
             true},
        Kind{"Fsk4Gaussian",
             [](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &kFsk4, 20000, iq, n, 6e6); },
             true},
        Kind{"SpreadSpectrum",
             [](int h, int16_t** iq, int* n) { return GenerateDssWaveform(h, &kDss, 200, iq, n, 7e5); }, true},
        Kind{"Am", [](int h, int16_t** iq, int* n) { return GenerateAmWaveform(h, &kAm, iq, n, 1e6); }, true},
        Kind{"Fm", [](int h, int16_t** iq, int* n) { return GenerateFmWaveform(h, &kFm, iq, n, 1e6); }, true},
        Kind{"Multitone",
             [](int h, int16_t** iq, int* n) { return GenerateMultitoneWaveform(h, &kMultitone, iq, n, 1e6); }, true},
        Kind{"Pulse", [](int h, int16_t** iq, int* n) { return GeneratePulseWaveform(h, &kPulse, iq, n, 2e6 + 0.5); },
             true},
        Kind{"StepSweep", [](int h, int16_t** iq, int* n) { return GenerateStepSweepWaveform(h, &kStep, iq, n, 1e6); },
             true},
        Kind{"RampSweep", [](int h, int16_t** iq, int* n) { return GenerateRampSweepWaveform(h, &kRamp, iq, n, 1e6); },
             true},
        Kind{"Noise", [](int h, int16_t** iq, int* n) { return GenerateAWGNWaveform(h, &kNoise, iq, n, 1e6); }, false},
        Kind{"Ofdm", [](int h, int16_t** iq, int* n) { return GenerateOFDMWaveform(h, &kOfdm, iq, n, 1e6); }, true},
        Kind{"ExactDigitalOqpsk",
             [](int h, int16_t** iq, int* n) {
                 exact(h);
                 return GenerateDigitalModWaveform(h, &kOqpsk, 6000, iq, n, 7e6);
             },
             true},
        Kind{"ExactFsk4",
             [](int h, int16_t** iq, int* n) {
                 exact(h);
                 return GenerateDigitalModWaveform(h, &kFsk4, 2000, iq, n, 6e6);
             },
             true},
        Kind{"ExactSpreadSpectrum",
             [](int h, int16_t** iq, int* n) { exact(h);
                 return GenerateDssWaveform(h, &kDss, 200, iq, n, 7e5); },
             true},
        Kind{"ExactMultitone",
             [](int h, int16_t** iq,
                int* n) { exact(h);
                 return GenerateMultitoneWaveform(h, &kMultitone, iq, n, 1e6); },
             true},
        Kind{"ExactPulse",
             [](int h, int16_t** iq, int* n) { exact(h);
                 return GeneratePulseWaveform(h, &kPulse, iq, n, 2e6 + 0.5); },
             true},
        Kind{"ExactAm",
             [](int h, int16_t** iq, int* n) { exact(h);
                 return GenerateAmWaveform(h, &kAmLoop, iq, n, 1e5); }, true},
        Kind{"ExactFm",
             [](int h, int16_t** iq, int* n) { exact(h);
                 return GenerateFmWaveform(h, &kFmLoop, iq, n, 1e5); }, true},
        Kind{"ChannelEveryStage", applyEveryStage, true},
        Kind{"Scene", [](int h, int16_t** iq, int* n) { return sceneOf(h, iq, n, GENSIGNAL_CFR_OFF); }, true},
        Kind{"SceneClipped",
             [](int h, int16_t** iq, int* n) { return sceneOf(h, iq, n, GENSIGNAL_CFR_CLIP_FILTER); }, true},
        Kind{"SceneWindowed",
             [](int h, int16_t** iq, int* n) { return sceneOf(h, iq, n, GENSIGNAL_CFR_PEAK_WINDOW); }, true},
        Kind{"ExactNoise",
             [](int h, int16_t** iq, int* n) { exact(h);
                 return GenerateAWGNWaveform(h, &kNoise, iq, n, 1e6); },
             false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
