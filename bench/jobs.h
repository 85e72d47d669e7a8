// The jobs our speed is judged by, through the public C API only, so that
// the same benchmark builds against an older library for a before figure;
// and the liquid-dsp peer doing the same work, when it is installed.
#pragma once

#include <cstdint>
#include <string>

// One of our jobs: a first call on `handle` generates the waveform into
// the handle's I/Q buffer. Returns the library's result code.
struct Job {
    const char* name;
    int (*generate)(int handle, int16_t** iq, int* count);
    // The peer's output samples per second for the same job, measured once
    // per run (0 when the peer is not built), and its name; null for the
    // digital jobs, whose peer is liquid's QPSK job (peerRate).
    double (*peer)() = nullptr;
    const char* peerName = nullptr;
};

// The jobs of the other generators (waveJobs.cpp), after the digital ones.
extern const Job kWaveJobs[];
extern const int kWaveJobCount;

// The exact loop mode's jobs, each after its defined twin (exactJobs.cpp),
// last in the table.
extern const Job kExactJobs[];
extern const int kExactJobCount;

// Our jobs by index, and their count.
const Job& job(int index);
int jobCount();

// Resident growth of the first call of a job on a fresh handle in a fresh
// process, I/Q buffer included, per output sample; -1 when it could not be
// measured. Each (job, threads) is measured once per run.
double peakBytesPerSample(int index, int threads);

// The child side of that measurement: runs the job once and prints
// "<bytes> <samples>". Returns the process exit code.
int runPeakChild(int index, int threads);

// liquid-dsp's output samples per second for its QPSK job (resampled: with
// the x1.25 stage), measured once per run; 0 when the peer is not built.
double peerRate(bool resampled);

// The peers of the wave jobs: liquid-dsp's (0 when it is not built) and a
// plain C chirp. Each is measured once per run, output samples per second.
double liquidFmRate();
double liquidNoiseRate();
double liquidOfdmRate();
double liquidMultitoneRate();
double plainChirpRate();
