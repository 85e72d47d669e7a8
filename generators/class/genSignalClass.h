// The generator object behind a handle id, and the member functions that
// carry every algorithm. Apart from the constructor and destructor no member
// function reads or writes the object's fields; the API layer owns those
// (and keeps a handle's settings beside the object). The DSP routines are
// static: they are called without an object.
#pragma once

#include <complex>
#include <cstdint>
#include <mutex>

#include "wrapperGenSignalWave.h"

// The plans of the ten records (one header each, xxxPlan.h) and what a
// generator hands the frame (generatedWave.h).
struct DigitalPlan;
struct DssPlan;
struct AmPlan;
struct FmPlan;
struct MultitonePlan;
struct PulsePlan;
struct StepSweepPlan;
struct RampSweepPlan;
struct AwgnPlan;
struct OfdmPlan;
template <class Sample>
struct GeneratedWave;

class GenSignalClass {
public:
    GenSignalClass();
    ~GenSignalClass();
    GenSignalClass(const GenSignalClass&) = delete;
    GenSignalClass& operator=(const GenSignalClass&) = delete;

    int16_t* iqBuffer;   // interleaved I/Q of the last successful call (malloc)
    int iqCapacity;      // int16 values iqBuffer holds; 0 when it is null
    std::mutex objLock;  // held by the destructor while it frees iqBuffer

    // Bit and symbol helpers.
    static void getOrderM(DigitalModulType type, int* order, int* error);
    static short bi2deForC(signed char const* bits, int count);
    static void rectpulseForC(signed char const* in, int count, int factor, signed char* out);

    // Constellation mappers: one point every `stride` elements of `out`.
    static void DigitalModAPQAM(short const* symbols, int count, DigitalModulType type, int span, int stride,
                                std::complex<float>* out);
    static void pskmodForC(short const* symbols, int count, int M, double phase, int stride, std::complex<float>* out);
    static void dpskmodForC(short const* symbols, int count, int M, double phase, int stride, std::complex<float>* out);

    // Pulse-shaping filter design into a caller-supplied tap array.
    static void getFilter(FilterType type, double param, int span, int sps, float* taps, int* tapCount, int* error);
    static void rcosdesignForC(double beta, int span, int sps, char const* shape, float* taps, int* tapCount);
    static void gaussdesignForC(double bt, int span, int sps, float* taps, int* tapCount);

    // Fully overlapped FIR filtering (taps not reversed).
    static void conv2_complex(std::complex<float> const* in, int n, float const* taps, int m, std::complex<float>* out,
                              int* outLen);
    static void conv2_real(float const* in, int n, float const* taps, int m, float** out, int* outLen);

    // Cubic Farrow resampler.
    static void FarrowInterp(std::complex<float> const* in, int n, double outRate, double inRate,
                             std::complex<float>* out, int* outLen);
    static void FarrowInterp_real(float* in, int n, double outRate, double inRate, float** out, int* outLen);

    // Maximal-length PN sequences, orders 4 ... 32.
    static void func_PN_gen(int order, signed char const* start, signed char* out, int length);

    // Continuous-phase FSK.
    static int DigitalModFSK(short* symbols, int n, int M, double deviation, int sps, double symbolRate, float* taps,
                             int tapCount, int guard, double sampleRate, std::complex<float>** out, int* outLen);

    // OFDM symbol modulator.
    static void ofdmmodForC(std::complex<float> const* points, int symbols, int nfft, int cpLen, int const* positions,
                            int used, std::complex<float>* out, int* outLen);

    // Generators: 0 on success, a negative code on failure. Each checks the
    // record by making its plan, then generates from the plan.
    int genDigitalSig(DigitalModParams const* params, double sampleRate, int symbolCount, std::complex<float>** samples,
                      int& sampleCount);
    int genDSSSig(DSSParams const* params, double sampleRate, int bitCount, std::complex<float>** samples,
                  int* sampleCount);
    int genAMSig(AMModParams const* params, double sampleRate, double** samples, int* sampleCount);
    int genFMSig(FMModParams const* params, double sampleRate, std::complex<float>** samples, int* sampleCount);
    int genMultitoneSig(MultitoneParams const* params, double sampleRate, std::complex<float>** samples,
                        int* sampleCount);
    int genPulseSig(PulseParams const* params, double sampleRate, float** samples, int* sampleCount);
    int genStepSweepSig(StepSweepParams const* params, double sampleRate, std::complex<float>* samples,
                        int* sampleCount);
    int genRampSweepSig(RampSweepParams const* params, double sampleRate, std::complex<float>* samples,
                        int* sampleCount);
    int genAWGNSig(AWGNParams const* params, double sampleRate, std::complex<float>* samples, int* sampleCount);
    int genOFDMSig(OFDMParams const* params, double sampleRate, std::complex<float>** samples, int* sampleCount);

    // The same generators from a plan already made: the entry points make
    // one plan per call. The pre-sized ones fill plan.samples samples.
    int genDigitalSig(const DigitalPlan& plan, GeneratedWave<std::complex<float>>& wave);
    int genDSSSig(const DssPlan& plan, GeneratedWave<std::complex<float>>& wave);
    int genAMSig(const AmPlan& plan, GeneratedWave<double>& wave);
    int genFMSig(const FmPlan& plan, GeneratedWave<std::complex<float>>& wave);
    int genMultitoneSig(const MultitonePlan& plan, GeneratedWave<std::complex<float>>& wave);
    int genPulseSig(const PulsePlan& plan, GeneratedWave<float>& wave);
    int genStepSweepSig(const StepSweepPlan& plan, std::complex<float>* samples);
    int genRampSweepSig(const RampSweepPlan& plan, std::complex<float>* samples);
    int genAWGNSig(const AwgnPlan& plan, std::complex<float>* samples);
    int genOFDMSig(const OfdmPlan& plan, GeneratedWave<std::complex<float>>& wave);
};
