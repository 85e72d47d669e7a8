/*
 * gensignal: complex baseband waveform generation.
 *
 * A host creates generator objects (known by integer handle ids), asks them
 * for waveforms described by the packed parameter records below, and reads
 * the result as interleaved int16 I/Q values scaled so that the largest
 * sample magnitude is 32766. The buffer belongs to the generator object and
 * stays valid until the next generation call on the same handle or its
 * release.
 *
 * Result codes: 0 success; -1 unknown handle, rejected parameters or no
 * buffer; -3 the generator could not allocate its working memory.
 * GenSignalGetLastError tells why the last failed call was refused.
 *
 * Compiles as C11 and as C++17.
 */
#ifndef WRAPPER_GEN_SIGNAL_WAVE_H
#define WRAPPER_GEN_SIGNAL_WAVE_H

#include <stddef.h>
#include <stdint.h>

#if defined(GENSIGNAL_BUILDING)
#define GENSIGNAL_API __attribute__((visibility("default")))
#else
#define GENSIGNAL_API
#endif

#ifdef __cplusplus
#define GENSIGNAL_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define GENSIGNAL_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Modulation kinds. The numbering is part of the ABI. */
#ifdef __cplusplus
enum DigitalModulType : int32_t {
#else
enum DigitalModulType {
#endif
    BPSK = 1,
    DBPSK = 2,
    QPSK = 3,
    DQPSK = 4,
    OQPSK = 5,
    PI4_DQPSK = 6,
    PSK8 = 7,
    DPSK8 = 8,
    PSK16 = 9,
    QAM16 = 10,
    QAM64 = 11,
    QAM256 = 12,
    QAM1024 = 13,
    ASK2 = 14,
    FSK2 = 15,
    FSK4 = 16,
    FSK8 = 17,
    FSK16 = 18,
    ASK4 = 19,
    ASK8 = 20,
    APSK16 = 21,
    QAM8 = 22
};

/* Pulse-shaping filters. The numbering is part of the ABI. */
#ifdef __cplusplus
enum FilterType : int32_t {
#else
enum FilterType {
#endif
    RECT = 1,
    RCOS = 2,
    RRCOS = 3,
    GAUSSIAN = 4,
    HALF_SINE = 5
};

#ifndef __cplusplus
typedef enum DigitalModulType DigitalModulType;
typedef enum FilterType FilterType;
#endif

/* The records are packed: every field follows the previous one without a gap. */
#pragma pack(push, 1)

typedef struct DigitalModParams {
    DigitalModulType modType; /* 1 ... 22 */
    double symbolRate;        /* symbols per second */
    double freqDeviation;     /* Hz, FSK kinds only: frequency of the outermost level */
    int32_t pnOrder;          /* 4 ... 32 */
    int32_t pnSeed;           /* low pnOrder bits, most significant first */
    FilterType filterType;    /* 1 ... 5 */
    int32_t filterSpan;       /* symbols; taken as 1 for RECT and HALF_SINE */
    int32_t samplesPerSymbol; /* at least 1 */
    double rolloff;           /* roll-off (RCOS, RRCOS) or BT (GAUSSIAN) */
} DigitalModParams;

typedef struct DSSParams {
    double bitRate;         /* data bits per second */
    int32_t modType;        /* only BPSK (1) */
    int32_t pnOrder;        /* spreading code order, 4 ... 32 */
    int32_t filterSpan;     /* chips; taken as 1 for RECT and HALF_SINE */
    int32_t samplesPerChip; /* at least 1 */
    double rolloff;         /* roll-off (RCOS, RRCOS) or BT (GAUSSIAN) */
    int32_t pnSeed;         /* spreading code start state */
    int32_t filterType;     /* FilterType, 1 ... 5 */
} DSSParams;

typedef struct AMModParams {
    double modFrequency; /* Hz, > 0 */
    double modDepth;     /* percent, > 0 */
    int32_t modShape;    /* 1 sine, 2 square, 3 triangle, 4 sawtooth */
} AMModParams;

typedef struct FMModParams {
    double modFrequency;  /* Hz, > 0 */
    double freqDeviation; /* Hz, peak deviation */
    int32_t modShape;     /* 1 sine, 2 square, 3 triangle, 4 sawtooth */
} FMModParams;

typedef struct MultitoneParams {
    uint8_t reserved[8]; /* not read */
    int32_t toneCount;   /* at least 2 */
    double toneSpacing;  /* Hz, > 0 */
} MultitoneParams;

typedef struct PulseParams {
    double pulseWidth;  /* s */
    double pulsePeriod; /* s */
} PulseParams;

typedef struct StepSweepParams {
    double startFrequency; /* Hz */
    double stopFrequency;  /* Hz */
    int32_t stepCount;     /* at least 2 */
    double dwellTime;      /* s per step */
} StepSweepParams;

typedef struct RampSweepParams {
    double sweepBandwidth; /* Hz */
    double sweepTime;      /* s */
    double duration;       /* s, ramp plus silence */
} RampSweepParams;

typedef struct AWGNParams {
    double bandwidth; /* Hz, two-sided */
    double duration;  /* s */
} AWGNParams;

typedef struct OFDMParams {
    uint8_t reserved0[8];     /* not read */
    int32_t fftSize;          /* power of two */
    int32_t numSymbols;       /* at least 1 */
    int32_t guardLow;         /* empty positions at the low edge */
    int32_t guardHigh;        /* empty positions at the high edge */
    int32_t cpPercent;        /* cyclic prefix, percent of fftSize */
    uint8_t reserved1[4];     /* not read */
    uint8_t windowing;        /* non-zero: cross-fade symbol transitions */
    DigitalModulType modType; /* BPSK, QPSK, PSK8, PSK16, QAM16, QAM64, QAM256 */
    uint8_t nullDC;           /* non-zero: leave the DC subcarrier empty */
} OFDMParams;

#pragma pack(pop)

/* The records are the ABI: hosts and library must agree on every byte. */
GENSIGNAL_STATIC_ASSERT(sizeof(DigitalModulType) == 4, "DigitalModulType is 32-bit");
GENSIGNAL_STATIC_ASSERT(sizeof(FilterType) == 4, "FilterType is 32-bit");

GENSIGNAL_STATIC_ASSERT(sizeof(DigitalModParams) == 48, "DigitalModParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, modType) == 0, "DigitalModParams.modType");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, symbolRate) == 4, "DigitalModParams.symbolRate");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, freqDeviation) == 12, "DigitalModParams.freqDeviation");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, pnOrder) == 20, "DigitalModParams.pnOrder");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, pnSeed) == 24, "DigitalModParams.pnSeed");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, filterType) == 28, "DigitalModParams.filterType");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, filterSpan) == 32, "DigitalModParams.filterSpan");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, samplesPerSymbol) == 36, "DigitalModParams.samplesPerSymbol");
GENSIGNAL_STATIC_ASSERT(offsetof(DigitalModParams, rolloff) == 40, "DigitalModParams.rolloff");

GENSIGNAL_STATIC_ASSERT(sizeof(DSSParams) == 40, "DSSParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, bitRate) == 0, "DSSParams.bitRate");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, modType) == 8, "DSSParams.modType");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, pnOrder) == 12, "DSSParams.pnOrder");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, filterSpan) == 16, "DSSParams.filterSpan");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, samplesPerChip) == 20, "DSSParams.samplesPerChip");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, rolloff) == 24, "DSSParams.rolloff");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, pnSeed) == 32, "DSSParams.pnSeed");
GENSIGNAL_STATIC_ASSERT(offsetof(DSSParams, filterType) == 36, "DSSParams.filterType");

GENSIGNAL_STATIC_ASSERT(sizeof(AMModParams) == 20, "AMModParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(AMModParams, modFrequency) == 0, "AMModParams.modFrequency");
GENSIGNAL_STATIC_ASSERT(offsetof(AMModParams, modDepth) == 8, "AMModParams.modDepth");
GENSIGNAL_STATIC_ASSERT(offsetof(AMModParams, modShape) == 16, "AMModParams.modShape");

GENSIGNAL_STATIC_ASSERT(sizeof(FMModParams) == 20, "FMModParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(FMModParams, modFrequency) == 0, "FMModParams.modFrequency");
GENSIGNAL_STATIC_ASSERT(offsetof(FMModParams, freqDeviation) == 8, "FMModParams.freqDeviation");
GENSIGNAL_STATIC_ASSERT(offsetof(FMModParams, modShape) == 16, "FMModParams.modShape");

GENSIGNAL_STATIC_ASSERT(sizeof(MultitoneParams) == 20, "MultitoneParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(MultitoneParams, toneCount) == 8, "MultitoneParams.toneCount");
GENSIGNAL_STATIC_ASSERT(offsetof(MultitoneParams, toneSpacing) == 12, "MultitoneParams.toneSpacing");

GENSIGNAL_STATIC_ASSERT(sizeof(PulseParams) == 16, "PulseParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(PulseParams, pulseWidth) == 0, "PulseParams.pulseWidth");
GENSIGNAL_STATIC_ASSERT(offsetof(PulseParams, pulsePeriod) == 8, "PulseParams.pulsePeriod");

GENSIGNAL_STATIC_ASSERT(sizeof(StepSweepParams) == 28, "StepSweepParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(StepSweepParams, startFrequency) == 0, "StepSweepParams.startFrequency");
GENSIGNAL_STATIC_ASSERT(offsetof(StepSweepParams, stopFrequency) == 8, "StepSweepParams.stopFrequency");
GENSIGNAL_STATIC_ASSERT(offsetof(StepSweepParams, stepCount) == 16, "StepSweepParams.stepCount");
GENSIGNAL_STATIC_ASSERT(offsetof(StepSweepParams, dwellTime) == 20, "StepSweepParams.dwellTime");

GENSIGNAL_STATIC_ASSERT(sizeof(RampSweepParams) == 24, "RampSweepParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(RampSweepParams, sweepBandwidth) == 0, "RampSweepParams.sweepBandwidth");
GENSIGNAL_STATIC_ASSERT(offsetof(RampSweepParams, sweepTime) == 8, "RampSweepParams.sweepTime");
GENSIGNAL_STATIC_ASSERT(offsetof(RampSweepParams, duration) == 16, "RampSweepParams.duration");

GENSIGNAL_STATIC_ASSERT(sizeof(AWGNParams) == 16, "AWGNParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(AWGNParams, bandwidth) == 0, "AWGNParams.bandwidth");
GENSIGNAL_STATIC_ASSERT(offsetof(AWGNParams, duration) == 8, "AWGNParams.duration");

GENSIGNAL_STATIC_ASSERT(sizeof(OFDMParams) == 38, "OFDMParams size");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, fftSize) == 8, "OFDMParams.fftSize");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, numSymbols) == 12, "OFDMParams.numSymbols");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, guardLow) == 16, "OFDMParams.guardLow");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, guardHigh) == 20, "OFDMParams.guardHigh");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, cpPercent) == 24, "OFDMParams.cpPercent");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, windowing) == 32, "OFDMParams.windowing");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, modType) == 33, "OFDMParams.modType");
GENSIGNAL_STATIC_ASSERT(offsetof(OFDMParams, nullDC) == 37, "OFDMParams.nullDC");

/* Housekeeping. */
GENSIGNAL_API int GenSignalObjCreatSelfEncode(void);
GENSIGNAL_API int GenSignalObjRelease(int handleId);
/* Writes "V1.0.0.20260622_X86_WIN64" and its terminator (26 bytes); returns 25, or -1 for a null buffer. */
GENSIGNAL_API int GetALGVersion(char* version);

/* Copies the reason for the last failed exported call on the calling thread
 * (for example "DigitalModParams.pnOrder = 40: must be 4 to 32") into buffer
 * as a NUL-terminated string, truncated to bufferSize - 1 characters, and
 * returns its full length. A successful call clears it: the result is then 0
 * and the buffer holds "". Returns -1 for a null buffer or a bufferSize
 * below 1. Each thread has its own message; this call does not change it. */
GENSIGNAL_API int GenSignalGetLastError(char* buffer, int bufferSize);

/* Waveform entry points. On success *iq receives the object's I/Q buffer and
 * *count the number of int16 values (twice the number of samples). */
GENSIGNAL_API int GenerateDigitalModWaveform(int handleId, const DigitalModParams* params, int symbolCount,
                                             int16_t** iq, int* count, double sampleRate);
GENSIGNAL_API int GenerateDssWaveform(int handleId, const DSSParams* params, int bitCount, int16_t** iq, int* count,
                                      double sampleRate);
GENSIGNAL_API int GenerateAmWaveform(int handleId, const AMModParams* params, int16_t** iq, int* count,
                                     double sampleRate);
GENSIGNAL_API int GenerateFmWaveform(int handleId, const FMModParams* params, int16_t** iq, int* count,
                                     double sampleRate);
GENSIGNAL_API int GenerateMultitoneWaveform(int handleId, const MultitoneParams* params, int16_t** iq, int* count,
                                            double sampleRate);
GENSIGNAL_API int GeneratePulseWaveform(int handleId, const PulseParams* params, int16_t** iq, int* count,
                                        double sampleRate);
GENSIGNAL_API int GenerateStepSweepWaveform(int handleId, const StepSweepParams* params, int16_t** iq, int* count,
                                            double sampleRate);
GENSIGNAL_API int GenerateRampSweepWaveform(int handleId, const RampSweepParams* params, int16_t** iq, int* count,
                                            double sampleRate);
GENSIGNAL_API int GenerateAWGNWaveform(int handleId, const AWGNParams* params, int16_t** iq, int* count,
                                       double sampleRate);
GENSIGNAL_API int GenerateOFDMWaveform(int handleId, const OFDMParams* params, int16_t** iq, int* count,
                                       double sampleRate);

/* ---- Opt-in settings per generator object, and the loop a call made ----
 *
 * Each generator object keeps its own settings; a new object starts with
 * every default, and the defaults leave every waveform above exactly as it
 * is. Like a generation call, a setting must not be changed while a call on
 * the same handle runs. */
enum GenSignalOption {
    /* GENSIGNAL_LOOP_DEFINED (the default) or GENSIGNAL_LOOP_EXACT. */
    GENSIGNAL_OPTION_LOOP_MODE = 1,
    /* Multitone starting phases: GENSIGNAL_TONE_PHASES_*, default zero. */
    GENSIGNAL_OPTION_TONE_PHASES = 2,
    /* Seed of the random tone phases, a whole number 0 ... 4294967295 (default 0). */
    GENSIGNAL_OPTION_PHASE_SEED = 3,
    /* Peak level in dBFS, -90 ... 0, where 0 dBFS is a peak magnitude of
     * 32766 (the default); lower values leave headroom. */
    GENSIGNAL_OPTION_PEAK_DBFS = 4,
    /* Exact mode: 1 takes the nearest value that closes where the loop would
     * be refused (the value the reason names) and says what it changed
     * (GenSignalGetSnap, the note); default 0 refuses. */
    GENSIGNAL_OPTION_SNAP = 5,
    /* Lengths a player takes: the buffer's length a multiple of the
     * granularity (whole, 1 ... 2^26, default 1), at least the minimum length
     * (0 ... 2^26 samples, default 0) and the minimum loop duration (seconds,
     * 0 ... 86400, default 0), at most the maximum (0 ... 2^30 - 1 samples,
     * default 0: no limit beyond the loop's caps). The exact mode takes the
     * fewest whole loops that fit; the defined mode refuses a length that
     * does not. */
    GENSIGNAL_OPTION_GRANULARITY = 6,
    GENSIGNAL_OPTION_MIN_LENGTH = 7,
    GENSIGNAL_OPTION_MAX_SAMPLES = 8,
    GENSIGNAL_OPTION_MIN_LOOP_DURATION = 9,
    /* Where GenerateAWGNWaveform draws its Gaussian values, in either loop
     * mode: GENSIGNAL_NOISE_SOURCE_DEFINED (the default: rand() through the
     * polar method, as defined) or GENSIGNAL_NOISE_SOURCE_CHANNEL (the
     * counter-based generator, Gaussian once band-limited too, a function of
     * the seed and the sample alone). The seed is the handle's channel seed,
     * GenSignalChannel.seed of GenSignalSetChannel (a record with every stage
     * off sets the seed alone); 0 while no channel is set. The draws are
     * apart from the channel's own noise under the same seed. */
    GENSIGNAL_OPTION_NOISE_SOURCE = 10
};

enum GenSignalNoiseSource { GENSIGNAL_NOISE_SOURCE_DEFINED = 0, GENSIGNAL_NOISE_SOURCE_CHANNEL = 1 };

enum GenSignalLoopMode {
    /* Every waveform exactly as defined above. */
    GENSIGNAL_LOOP_DEFINED = 0,
    /* The buffer holds the fewest whole periods of the waveform's natural
     * period that span a whole number of samples (at most 4096 periods and
     * 2^26 samples), resampled without images or aliases; a record that
     * cannot close that way, or that reaches above half the sample rate, is
     * refused with the reason. */
    GENSIGNAL_LOOP_EXACT = 1
};

enum GenSignalTonePhases {
    GENSIGNAL_TONE_PHASES_ZERO = 0,      /* every tone starts at phase 0 */
    GENSIGNAL_TONE_PHASES_NEWMAN = 1,    /* pi k^2 / N, tones k = 0 ... N-1 in ascending frequency */
    GENSIGNAL_TONE_PHASES_SCHROEDER = 2, /* -pi k (k + 1) / N */
    GENSIGNAL_TONE_PHASES_RANDOM = 3     /* uniform, from GENSIGNAL_OPTION_PHASE_SEED */
};

/* Sets or reads one option of a generator object. 0 on success; -1 for an
 * unknown handle or option, or a value out of range (GenSignalGetLastError
 * says which), with the option unchanged. */
GENSIGNAL_API int GenSignalSetOption(int handleId, int option, double value);
GENSIGNAL_API int GenSignalGetOption(int handleId, int option, double* value);

/* What each option is, for hosts that build their own settings from it
 * (wavegen's options, Python's keywords): its value's type and range, its
 * default, the kinds it shapes, its keyword and its help. */
#define GENSIGNAL_OPTION_TYPE_CHOICE 1 /* a whole number 0 ... n-1, value i named by the i-th of `choices` */
#define GENSIGNAL_OPTION_TYPE_WHOLE 2  /* a whole number from minimum to maximum */
#define GENSIGNAL_OPTION_TYPE_REAL 3   /* a number from minimum to maximum */
#define GENSIGNAL_OPTION_TYPE_FLAG 4   /* 0 or 1 */

typedef struct GenSignalOptionInfo {
    int32_t option;   /* GENSIGNAL_OPTION_... */
    int32_t type;     /* GENSIGNAL_OPTION_TYPE_... */
    uint32_t kinds;   /* bit (1u << GENSIGNAL_RECORD_...) of every kind it shapes */
    int32_t reserved; /* 0 */
    double minimum, maximum, defaultValue;
    const char* name;    /* "GENSIGNAL_OPTION_LOOP_MODE" */
    const char* keyword; /* "loop": wavegen's --loop, Python's loop= */
    const char* choices; /* "defined,exact" for a choice, else null */
    const char* unit;    /* "dBFS", "samples", "s" or "" */
    const char* help;    /* one line */
} GenSignalOptionInfo;

/* Copies the descriptions of the options (at most `capacity`) into `options`
 * and returns how many there are; -1 for a negative capacity or a null array
 * with a capacity above 0. The strings belong to the library. */
GENSIGNAL_API int GenSignalListOptions(GenSignalOptionInfo* options, int capacity);

#pragma pack(push, 1)
/* What the last successful generation call on a handle made. */
typedef struct GenSignalLoopInfo {
    int32_t samples;         /* samples in the buffer */
    int32_t periods;         /* natural periods it is built from: N symbols, the chips of N bits, the
                                tones' common period, one pulse or modulation period; the whole
                                waveform for the sweeps, noise and OFDM */
    double samplesPerPeriod; /* output samples per natural period, as exactly as a double holds it */
    double loopDuration;     /* seconds: samples / sample rate */
    int32_t wholePeriods;    /* 1 when samples = periods * samplesPerPeriod exactly, so the buffer
                                loops without cutting a period; always 1 in exact mode */
} GenSignalLoopInfo;
#pragma pack(pop)
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalLoopInfo) == 28, "GenSignalLoopInfo size");

/* Copies the loop of the last successful generation call on the handle into
 * *info (all zero before the first). 0, or -1 for an unknown handle or a
 * null info. */
GENSIGNAL_API int GenSignalGetLoopInfo(int handleId, GenSignalLoopInfo* info);

/* Copies the note the last successful generation call on the handle left
 * (for example "MultitoneParams.toneSpacing = 30000: the highest tone,
 * 105000 Hz, reaches above half the sample rate 200000") into buffer,
 * truncated to bufferSize - 1 characters, and returns its full length; 0
 * and "" when it left none. In exact mode such a record is refused instead.
 * -1 for an unknown handle, a null buffer or a bufferSize below 1. */
GENSIGNAL_API int GenSignalGetNote(int handleId, char* buffer, int bufferSize);

/* What GENSIGNAL_OPTION_SNAP changed in the last successful generation call
 * on the handle: the field as the header spells it (the record's, or
 * "symbolCount", "bitCount"), the value asked for and the value used; an
 * empty field when it changed nothing. 0, or -1 for an unknown handle or a
 * null snap. */
typedef struct GenSignalSnap {
    char field[64];
    double requested, used;
} GenSignalSnap;
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalSnap) == 80, "GenSignalSnap size");
GENSIGNAL_API int GenSignalGetSnap(int handleId, GenSignalSnap* snap);

/* ------------------------------------------------------------------------
 * Measurements: numbers about a waveform buffer, the library's own or any
 * other. They change no waveform, take no handle and are reproducible: the
 * same buffer gives the same bits on any x86-64 machine at any thread count.
 *
 * A buffer is `valueCount` interleaved I/Q values (twice the number of
 * samples, as the waveform entry points count them) in one of two formats:
 * int16 as stored, or float where 1.0 is 32767 counts. 0 dBFS is the power
 * of a full-scale complex sine of magnitude 32767.
 *
 * Every value that does not apply, or has no finite value, is NaN: the
 * levels of a silent buffer, an adjacent channel beyond +-sampleRate/2, EVM
 * without a record. Every function returns 0, or -1 with the reason in
 * GenSignalGetLastError (null pointers, odd or negative counts, a sample
 * rate that is not finite and above 0, non-finite float samples, options or
 * records out of range, memory that cannot be had); nothing is written then.
 * ------------------------------------------------------------------------ */

/* Buffer formats. */
#define GENSIGNAL_FORMAT_CI16 1 /* int16 I, Q */
#define GENSIGNAL_FORMAT_CF32 2 /* float I, Q; 1.0 = 32767 counts */

/* The record that made a buffer, for EVM and the default channel. */
#define GENSIGNAL_RECORD_NONE 0
#define GENSIGNAL_RECORD_DIGITAL 1 /* DigitalModParams; argument: symbolCount */
#define GENSIGNAL_RECORD_DSS 2     /* DSSParams; argument: bitCount */
#define GENSIGNAL_RECORD_AM 3      /* AMModParams */
#define GENSIGNAL_RECORD_FM 4      /* FMModParams */
#define GENSIGNAL_RECORD_MULTITONE 5
#define GENSIGNAL_RECORD_PULSE 6
#define GENSIGNAL_RECORD_STEP_SWEEP 7
#define GENSIGNAL_RECORD_RAMP_SWEEP 8
#define GENSIGNAL_RECORD_AWGN 9
#define GENSIGNAL_RECORD_OFDM 10 /* OFDMParams */

/* Why EVM has a value or none. */
#define GENSIGNAL_EVM_MEASURED 0
#define GENSIGNAL_EVM_NO_RECORD 1 /* no record was given */
#define GENSIGNAL_EVM_UNDEFINED 2 /* FSK and the analog kinds have none */
#define GENSIGNAL_EVM_RESAMPLED 3 /* no longer given: a resampled record is measured at its symbol instants */
#define GENSIGNAL_EVM_MISMATCH                                                                            \
    4                              /* the buffer's length is not what the record makes (defined mode) nor \
                                      whole periods of it at the sample rate (exact loop mode) */
#define GENSIGNAL_EVM_ONE_SYMBOL 5 /* OFDM with one symbol: a gain per subcarrier fits anything */

/* The buffer, its rate and what made it. */
typedef struct GenSignalMeasureInput {
    const void* samples; /* valueCount values in `format` */
    int64_t valueCount;  /* even, 0 or more */
    int32_t format;      /* GENSIGNAL_FORMAT_... */
    int32_t recordKind;  /* GENSIGNAL_RECORD_...; NONE: no record */
    const void* record;  /* the parameter record of that kind, or null with NONE */
    int32_t argument;    /* the entry point's extra argument (symbolCount, bitCount), else 0 */
    int32_t reserved;    /* 0 */
    double sampleRate;   /* samples per second, finite and above 0 */
} GenSignalMeasureInput;

/* Choices; 0 in a field means its default. */
typedef struct GenSignalMeasureOptions {
    double obwPercent;       /* share of the power in the occupied band, (0, 100]; default 99 */
    double channelBandwidth; /* Hz; default: the record's band (symbol or chip rate x (1 + roll-off)
                                for RRCOS and RCOS, the used subcarriers x spacing for OFDM),
                                else the narrowest channel centred at 0 Hz that holds the
                                occupied band */
    double channelSpacing;   /* Hz between the main and each adjacent channel; default: the bandwidth */
} GenSignalMeasureOptions;

/* The numbers. Frequencies relative to the buffer's centre. */
typedef struct GenSignalMeasurement {
    int64_t samples;
    double sampleRate;
    double peakDbfs, rmsDbfs;
    double paprDb;    /* peak over mean power */
    double ccdfDb[4]; /* level above mean power exceeded with probability 1e-1, 1e-2, 1e-3, 1e-4 */
    double obwHz, obwLowerHz, obwUpperHz;
    double channelBandwidthHz, channelSpacingHz; /* as used */
    double acprLowerDb, acprUpperDb;             /* adjacent over main channel power */
    double sfdrDb;                               /* largest bin in the main channel over the largest outside it;
                                                    only for tones: multitone, AM, FM or no record */
    double seamRatio;                            /* |x[0] - x[n-1]| over the largest step inside the buffer */
    double evmPercent, evmPeakPercent, merDb;
    int32_t evmStatus; /* GENSIGNAL_EVM_... */
    int32_t symbols;   /* symbols (or OFDM subcarrier values) EVM was measured over */
} GenSignalMeasurement;

GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalMeasureInput) == 48, "GenSignalMeasureInput size");
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalMeasureOptions) == 24, "GenSignalMeasureOptions size");
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalMeasurement) == 176, "GenSignalMeasurement size");

/* Measures `input`; `options` may be null (every default). */
GENSIGNAL_API int GenSignalMeasure(const GenSignalMeasureInput* input, const GenSignalMeasureOptions* options,
                                   GenSignalMeasurement* result);

/* The CCDF curve: levelsDb[i] = the level above mean power that the
 * instantaneous power exceeds with probability probabilities[i] (each in
 * [0, 1); for p * samples < 1 the PAPR), for `points` probabilities. The
 * record fields of `input` are not read. */
GENSIGNAL_API int GenSignalMeasureCcdf(const GenSignalMeasureInput* input, const double* probabilities, int points,
                                       double* levelsDb);

/* The received points EVM compares, after the receive filter and the best
 * complex gain, in the units of the record's constellation (pairs of I, Q
 * into `points`, at most `capacity` of them), with their references when
 * `references` is not null; *count receives how many there are in all
 * (0 when EVM has none: see *status). capacity 0 asks for the count only. */
GENSIGNAL_API int GenSignalMeasureConstellation(const GenSignalMeasureInput* input, double* points, double* references,
                                                int capacity, int* count, int* status);

/* The loop's seam judged by what the signal itself predicts: the error of a
 * linear predictor, fitted on the buffer, across the seam over its errors
 * inside the buffer (README: "The seam"). It reads near 1 (0.5 ... 2) for a
 * buffer that loops seamlessly, noise included, at most sqrt(2) where the
 * buffer holds an event as large as the seam (a pulse's edge), and far above
 * 1 (beyond 10) where the loop jumps. *ratio is NaN for a silent buffer or
 * one of fewer than 32 samples. The record fields of `input` are not read.
 * Unlike GenSignalMeasurement.seamRatio, which only compares the step
 * across the seam with the largest step inside. */
GENSIGNAL_API int GenSignalMeasureSeam(const GenSignalMeasureInput* input, double* ratio);

/* Adjacent-channel presets of public standards, for
 * GenSignalMeasureOptions.channelBandwidth and channelSpacing: "lte1.4",
 * "lte3", "lte5", "lte10", "lte15", "lte20" (3GPP TS 36.104), "nr5", "nr10",
 * "nr15", "nr20" (15 kHz subcarriers), "nr40", "nr50", "nr100" (30 kHz; 3GPP
 * TS 38.104) and "wcdma" (3GPP TS 25.104): the measured bandwidth and the
 * spacing in Hz. 0, or -1 for an unknown name (the reason lists them).
 * GenSignalMeasureChannelName(i) is the i-th name, null past the last. */
GENSIGNAL_API int GenSignalMeasureChannelPreset(const char* name, double* bandwidth, double* spacing);
GENSIGNAL_API const char* GenSignalMeasureChannelName(int index);

/* A capture's modulation as its user describes it, for a buffer without a
 * gensignal record: a linear kind (BPSK, QPSK, PSK8, PSK16, QAM8 ... QAM1024,
 * ASK2, ASK4, ASK8, APSK16), its pulse (RRCOS: a matched filter; RCOS,
 * RECT: none) and symbol rate. */
typedef struct GenSignalModulationDescription {
    int32_t modType;    /* DigitalModulType */
    int32_t filterType; /* RRCOS, RCOS or RECT */
    double symbolRate;  /* symbols per second, finite, above 0, at most the sample rate / 2 */
    double rolloff;     /* (0, 1] for RRCOS and RCOS */
} GenSignalModulationDescription;
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalModulationDescription) == 24, "GenSignalModulationDescription size");

/* GenSignalMeasure with the modulation described: the channel defaults to
 * symbolRate x (1 + rolloff) (symbolRate for RECT), and EVM is measured
 * data-aided against the record where `input` has one, else decision-
 * directed: the buffer sampled again at 8 samples per symbol as one period,
 * the matched filter, the symbol phase of the most power, each point
 * decided to the alphabet's nearest under one fitted complex gain (so that
 * an error beyond half the distance between points reads too low). */
GENSIGNAL_API int GenSignalMeasureDescribed(const GenSignalMeasureInput* input, const GenSignalMeasureOptions* options,
                                            const GenSignalModulationDescription* description,
                                            GenSignalMeasurement* result);

/* ------------------------------------------------------------------------
 * Channel: a waveform as a receiver sees it. A chain of impairments in
 * physical units, each off until its record fields turn it on (an all-zero
 * record changes nothing), applied in this order: amplifier, multipath
 * fading, timing offset, carrier frequency and phase offset, phase noise,
 * additive white Gaussian noise, I/Q imbalance, DC offset. Every stage keeps
 * a looped buffer a loop: fading, delays and phase noise are circular over
 * the buffer, noise is one draw per sample of it. Where a setting cannot
 * close the loop (a frequency offset off the buffer's 1/T grid, a
 * phase-noise mask point below sampleRate / samples, fewer than 8 Doppler
 * lines), a handle in GENSIGNAL_LOOP_EXACT refuses it, naming what would
 * close; in the defined mode it is applied and noted.
 *
 * Every random draw (tap gains, Doppler and phase-noise phases, noise) is a
 * function of the 64-bit seed and of what it is for, so the same record and
 * buffer give the same bytes at any thread count, with either kernel set,
 * on any x86-64 machine. Powers are in int16 counts squared of the output.
 * ------------------------------------------------------------------------ */

#define GENSIGNAL_CHANNEL_MAX_TAPS 48
#define GENSIGNAL_CHANNEL_MAX_MASK_POINTS 16
#define GENSIGNAL_CHANNEL_NOTE_CAPACITY 256

/* Amplifier models (GenSignalChannel.paModel). */
#define GENSIGNAL_PA_OFF 0
#define GENSIGNAL_PA_RAPP 1  /* |y| = |x| / (1 + (|x|/Vsat)^(2p))^(1/(2p)), phase unchanged */
#define GENSIGNAL_PA_SALEH 2 /* A(r) = aa r / (1 + ba r^2), phi(r) = ap r^2 / (1 + bp r^2) rad */

/* Fading (GenSignalChannel.fading): a published profile, one flat tap, or the record's taps. */
#define GENSIGNAL_FADING_OFF 0
#define GENSIGNAL_FADING_EPA 1      /* 3GPP TS 36.104 annex B, Table B.2-2 */
#define GENSIGNAL_FADING_EVA 2      /* Table B.2-3 */
#define GENSIGNAL_FADING_ETU 3      /* Table B.2-4 */
#define GENSIGNAL_FADING_TDL_A 4    /* 3GPP TR 38.901 Table 7.7.2-1, delays x delaySpread */
#define GENSIGNAL_FADING_TDL_B 5    /* Table 7.7.2-2 */
#define GENSIGNAL_FADING_TDL_C 6    /* Table 7.7.2-3 */
#define GENSIGNAL_FADING_TDL_D 7    /* Table 7.7.2-4: line-of-sight first tap, K 13.3 dB */
#define GENSIGNAL_FADING_TDL_E 8    /* Table 7.7.2-5: line-of-sight first tap, K 22 dB */
#define GENSIGNAL_FADING_RAYLEIGH 9 /* one flat Rayleigh tap */
#define GENSIGNAL_FADING_RICIAN 10  /* one flat Rician tap, K = ricianKDb */
#define GENSIGNAL_FADING_TAPS 11    /* taps[0 ... tapCount-1] */

/* How the noise level is stated (GenSignalChannel.noiseMode). */
#define GENSIGNAL_NOISE_OFF 0
#define GENSIGNAL_NOISE_SNR 1  /* mean signal over mean noise power over the full sample rate */
#define GENSIGNAL_NOISE_ESN0 2 /* SNR + 10 log10(samples per symbol); digital kinds */
#define GENSIGNAL_NOISE_EBN0 3 /* Es/N0 - 10 log10(bits per symbol); digital and spread spectrum */
#define GENSIGNAL_NOISE_CN 4   /* carrier over the noise inside noiseBandwidthHz, centred at 0 Hz */

#pragma pack(push, 1)

typedef struct GenSignalChannelTap {
    double delay;     /* s, at least 0 */
    double powerDb;   /* mean power; the taps are normalised to a total of 0 dB */
    double kFactorDb; /* Rician K factor, when rician is 1 */
    int32_t rician;   /* 0 Rayleigh, 1 Rician */
} GenSignalChannelTap;

typedef struct GenSignalChannel {
    uint64_t seed; /* every random draw of the channel */

    /* 1. Amplifier, memoryless. The drive is an input back-off: the input RMS
     * lies paBackoffDb below the saturation amplitude (Vsat for Rapp,
     * 1/sqrt(salehBetaA) for Saleh), whatever the buffer's scale. */
    int32_t paModel;      /* GENSIGNAL_PA_... */
    double paBackoffDb;   /* dB, -40 ... 100 */
    double paSmoothness;  /* Rapp p, 0.1 ... 100; 0: 2 */
    double salehAlphaA;   /* 0: 2.1587 */
    double salehBetaA;    /* 0: 1.1517 */
    double salehAlphaPhi; /* rad; 0: 4.0033 */
    double salehBetaPhi;  /* 0: 9.1040 */

    /* 2. Multipath fading: a tapped delay line, circular over the buffer,
     * fractional delays band-limited; the profile's mean power is 0 dB. */
    int32_t fading;     /* GENSIGNAL_FADING_... */
    double delaySpread; /* s, TDL-A ... TDL-E: the normalised delays times this */
    double dopplerHz;   /* maximum Doppler of the Jakes spectrum; 0: static taps */
    double ricianKDb;   /* K factor of GENSIGNAL_FADING_RICIAN, dB */
    int32_t tapCount;   /* GENSIGNAL_FADING_TAPS: 1 ... 48 */
    GenSignalChannelTap taps[GENSIGNAL_CHANNEL_MAX_TAPS];

    /* 3. Timing offset: a circular band-limited delay, in samples. */
    double timingOffset;

    /* 4. Carrier: y[n] = x[n] exp(j (2 pi cfoHz n / sampleRate + phaseOffsetDeg)). */
    double cfoHz;
    double phaseOffsetDeg;

    /* 5. Phase noise from a mask of single-sideband levels, interpolated
     * linearly in dB against log10(offset), held below the first and above
     * the last point; synthesised on the buffer's DFT bins. */
    int32_t phaseNoisePoints;                                     /* 0 off, 1 ... 16 */
    double phaseNoiseOffsetHz[GENSIGNAL_CHANNEL_MAX_MASK_POINTS]; /* ascending, above 0 */
    double phaseNoiseDbcHz[GENSIGNAL_CHANNEL_MAX_MASK_POINTS];    /* L(f), dBc/Hz */

    /* 6. Additive white Gaussian noise, its power over the buffer made exact
     * (inside noiseBandwidthHz for C/N). */
    int32_t noiseMode;       /* GENSIGNAL_NOISE_... */
    double noiseDb;          /* the ratio the mode states, dB */
    double noiseBandwidthHz; /* GENSIGNAL_NOISE_CN: the band, centred at 0 Hz */
    double samplesPerSymbol; /* Es/N0 and Eb/N0; 0: from the record (sampleRate / symbol rate) */
    double bitsPerSymbol;    /* Eb/N0; 0: from the record */

    /* 7. I/Q imbalance, half of each error on each rail. */
    double iqGainDb;   /* A: gI = 10^(A/40), gQ = 10^(-A/40) */
    double iqPhaseDeg; /* P: the rails turn by -P/2 and +P/2 */

    /* 8. DC offset, relative to the mean power reaching it. */
    int32_t dcEnabled; /* 0 off, 1 on */
    double dcDbc;
    double dcPhaseDeg;

    uint8_t reserved[32]; /* 0 */
} GenSignalChannel;

/* What a channel did to a buffer. Values that do not apply are NaN. */
typedef struct GenSignalChannelRealised {
    int64_t samples;
    double sampleRate;
    double inputPower;       /* mean power of the buffer handed in, at the output's scale */
    double outputPower;      /* mean power of the impaired buffer */
    double paGainDb;         /* amplifier: output over input power */
    double fadingPowerDb;    /* mean over the buffer of the taps' summed power gains */
    double fadingGainDb;     /* fading: output over input power */
    int32_t fadingTaps;      /* taps of the delay line (a line-of-sight part counts with its tap) */
    int32_t dopplerLines;    /* lines of each faded tap's Doppler spectrum; 1 for static taps */
    double dopplerSpacingHz; /* the lines lie on multiples of sampleRate / samples */
    double dopplerLowestHz, dopplerHighestHz;
    double timingOffset; /* samples */
    double cfoHz, phaseOffsetDeg;
    int32_t cfoCloses;             /* 1 when cfoHz is a whole number of cycles over the buffer */
    int32_t phaseNoiseBins;        /* DFT bins the phase noise occupies */
    double phaseNoiseRmsDeg;       /* realised RMS phase error */
    double phaseNoiseResolutionHz; /* sampleRate / samples: the lowest offset the buffer holds */
    double signalPower;            /* reaching the noise stage */
    double noisePower;             /* added, over the full sample rate */
    double noisePowerInBand;       /* added, inside the C/N band (else the full-rate power) */
    double snrDb;                  /* signalPower / noisePower */
    double snrInBandDb;            /* in the band that defines the setting */
    double esn0Db, ebn0Db, cnDb;
    double iqImageRejectionDb;
    double dcPower;
    int32_t noteLength;
    char note[GENSIGNAL_CHANNEL_NOTE_CAPACITY]; /* what the defined mode applied that does not close the loop */
} GenSignalChannelRealised;

#pragma pack(pop)

GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalChannelTap) == 28, "GenSignalChannelTap size");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannelTap, rician) == 24, "GenSignalChannelTap.rician");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannel, paModel) == 8, "GenSignalChannel.paModel");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannel, fading) == 60, "GenSignalChannel.fading");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannel, taps) == 92, "GenSignalChannel.taps");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannel, timingOffset) == 1436, "GenSignalChannel.timingOffset");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannel, phaseNoisePoints) == 1460, "GenSignalChannel.phaseNoisePoints");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannel, noiseMode) == 1720, "GenSignalChannel.noiseMode");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannel, dcEnabled) == 1772, "GenSignalChannel.dcEnabled");
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalChannel) == 1824, "GenSignalChannel size");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannelRealised, signalPower) == 136, "GenSignalChannelRealised.signalPower");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalChannelRealised, note) == 220, "GenSignalChannelRealised.note");
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalChannelRealised) == 476, "GenSignalChannelRealised size");

/* Applies `channel` to the buffer `input` describes (its record, when
 * given, tells the samples and bits per symbol), then scales the result as
 * the waveform entry points do: its peak to 32766 times the handle's
 * GENSIGNAL_OPTION_PEAK_DBFS. *iq receives the handle's buffer of int16
 * I/Q values and *count their number; `impaired`, when not null, receives
 * input->valueCount floats, the same values before rounding (1.0 = 32767
 * counts); `realised`, when not null, what the channel did. The handle's
 * GENSIGNAL_OPTION_LOOP_MODE says whether the buffer is an exact loop.
 * 0, or -1 (-3 without working memory) with the reason; nothing is written
 * then. */
GENSIGNAL_API int GenSignalApplyChannel(int handleId, const GenSignalChannel* channel,
                                        const GenSignalMeasureInput* input, float* impaired, int16_t** iq, int* count,
                                        GenSignalChannelRealised* realised);

/* Sets the channel every generation call on the handle applies (a null
 * pointer turns it off; the record is copied). The channel is a stage of
 * the call: after the waveform is made (either loop mode, its lengths
 * fitted) and before the scale to int16, so the peak of the impaired
 * waveform becomes the full scale. Es/N0 and Eb/N0 take the samples and
 * bits per symbol from the call's record, as GenSignalApplyChannel does.
 * In GENSIGNAL_LOOP_EXACT what would break the loop is refused by the call,
 * naming what closes; in the defined mode it is applied and noted
 * (GenSignalGetNote). A record with every stage off changes no waveform;
 * its seed still seeds GENSIGNAL_OPTION_NOISE_SOURCE's draws. Each field's
 * own range is checked here: 0, or -1 with the reason naming the field and
 * the handle's channel unchanged; what depends on the sample rate or the
 * buffer (offsets within half the rate, tap delays, the C/N band, the
 * symbols of Es/N0, the loop rules) is checked by each call. */
GENSIGNAL_API int GenSignalSetChannel(int handleId, const GenSignalChannel* channel);

/* What the handle's channel did in its last successful call that applied
 * one (a generation call with an active channel, or GenSignalApplyChannel),
 * powers in int16 counts squared of the output. -1 when the last successful
 * call applied none. */
GENSIGNAL_API int GenSignalGetChannelRealised(int handleId, GenSignalChannelRealised* realised);

/* ------------------------------------------------------------------------
 * Scenes: several waveforms on one loop. Each part is any kind's record,
 * made at the scene's sample rate with its own loop mode and tone phases
 * (the peak level option is not applied to a part), through its own
 * channel when it has one, then placed: normalised to unit mean power and
 * set to its level, delayed, turned by its phase, shifted by its frequency
 * offset and gated by its bursts. The parts are summed, the crest factor
 * reduced when asked, the whole-scene channel applied, and the sum scaled
 * into the handle's buffer like any waveform (peak to 32766 times
 * GENSIGNAL_OPTION_PEAK_DBFS).
 *
 * The handle's GENSIGNAL_OPTION_LOOP_MODE is the scene's. Exact: the
 * scene's length is the least common multiple of the parts' loops and
 * burst periods (at most 2^26 samples and the handle's length options),
 * every frequency offset a whole number of cycles over it and every burst
 * time a whole number of samples (refused otherwise, naming the nearest
 * value that closes). Defined: every part is cut or repeated to the
 * longest part's length, and the note says where the loop breaks.
 *
 * Noise parts draw as GENSIGNAL_OPTION_NOISE_SOURCE says. With
 * GENSIGNAL_NOISE_SOURCE_CHANNEL part i draws its own stream under the
 * handle's channel seed (part 0 the very draws of GenerateAWGNWaveform), so
 * the scene is the same bytes on every call and noise parts are
 * independent; with the defined source they take rand()'s next values.
 * ------------------------------------------------------------------------ */

#define GENSIGNAL_SCENE_MAX_PARTS 64

/* GenSignalScenePart.loopMode */
#define GENSIGNAL_SCENE_LOOP_SCENE 0   /* the scene's (the handle's option) */
#define GENSIGNAL_SCENE_LOOP_DEFINED 1 /* the part as defined; its buffer counts as its loop */
#define GENSIGNAL_SCENE_LOOP_EXACT 2   /* the part's exact loop */

/* GenSignalScene.cfrMethod */
#define GENSIGNAL_CFR_OFF 0
#define GENSIGNAL_CFR_CLIP_FILTER 1 /* clip to the target, keep only the clipping's in-band bins, repeat */
#define GENSIGNAL_CFR_PEAK_WINDOW                                             \
    2 /* bring each peak to the target with a raised-cosine dip of cfrWindow, \
         the deepest dip where they overlap, circular; repeat. No filter: its \
         regrowth spreads over about 2 / cfrWindow around every band */

#pragma pack(push, 1)

typedef struct GenSignalScenePart {
    int32_t recordKind;              /* GENSIGNAL_RECORD_DIGITAL ... GENSIGNAL_RECORD_OFDM */
    const void* record;              /* that kind's parameter record */
    int32_t argument;                /* symbolCount, bitCount; else 0 */
    int32_t loopMode;                /* GENSIGNAL_SCENE_LOOP_... */
    int32_t tonePhases;              /* GENSIGNAL_TONE_PHASES_... (multitone) */
    uint32_t phaseSeed;              /* of GENSIGNAL_TONE_PHASES_RANDOM */
    const GenSignalChannel* channel; /* null: none; applied over the scene's length */
    double frequencyOffset;          /* Hz */
    double levelDb;                  /* mean power while on, relative to the first part's (whose own
                                        level counts as given, so only differences matter) */
    double delay;                    /* s, rounded to whole samples; circular */
    double phaseDeg;                 /* carrier phase at sample 0 */
    double burstOn;                  /* s; 0: always on */
    double burstOff;                 /* s between bursts */
    double burstStart;               /* s, the first burst's start; circular */
    double burstRamp;                /* s, raised-cosine rise and fall inside the on time */
    uint8_t reserved[16];            /* 0 */
} GenSignalScenePart;

typedef struct GenSignalScene {
    double sampleRate;               /* samples per second, common to every part */
    int32_t partCount;               /* 1 ... GENSIGNAL_SCENE_MAX_PARTS */
    const GenSignalScenePart* parts; /* partCount parts */
    const GenSignalChannel* channel; /* null: none; after the sum and the crest-factor reduction */
    int32_t cfrMethod;               /* GENSIGNAL_CFR_... */
    double cfrTargetPaprDb;          /* PAPR to reach at cfrProbability, 0 ... 30 dB */
    double cfrProbability;           /* CCDF probability, (0, 0.1]; 0: 1e-4 */
    int32_t cfrIterations;           /* 1 ... 100; 0: 8 */
    double cfrWindow;                /* s, GENSIGNAL_CFR_PEAK_WINDOW's dip, 3 ... 65537 samples long;
                                        0: 17 samples; not read by the other methods */
    uint8_t reserved[24];            /* 0 */
} GenSignalScene;

/* One part of the last scene, or one of its bursts (a burst that runs over
 * the loop's end is labelled as two). Frequencies at the part's offset:
 * the outer borders of the edge bins of the 99 % occupied band of the part
 * made alone (after its own channel). */
typedef struct GenSignalSceneLabel {
    int32_t part;          /* index into GenSignalScene.parts */
    int32_t burst;         /* -1: the part as a whole; else its burst's number, 0 first */
    int64_t sampleStart;   /* first sample */
    int64_t sampleCount;   /* samples */
    double freqLowerEdge;  /* Hz */
    double freqUpperEdge;  /* Hz */
    int32_t recordKind;    /* GENSIGNAL_RECORD_... */
    int32_t modType;       /* DigitalModulType of digital, spread-spectrum and OFDM parts, else 0 */
    double levelDb;        /* realised: its band's power while on, over the first part's, dB */
    double powerDbfs;      /* its band's power while on in the delivered buffer, dBFS */
    double evmCostPercent; /* what the crest-factor reduction cost in its band; 0 without */
} GenSignalSceneLabel;

/* What the last scene's crest-factor reduction did. PAPR at the scene's
 * probability; ACPR of the outermost parts: a channel as wide as the
 * part's band, one neighbour's spacing further out (its band's width for
 * a lone part), over the part's band, dB. NaN where it does not apply. */
typedef struct GenSignalSceneReport {
    int64_t samples;
    int32_t parts;
    int32_t labels;
    int32_t iterations; /* of the reduction, 0 without */
    int32_t reserved;
    double paprBeforeDb, paprAfterDb;
    double peakBeforeDb, peakAfterDb; /* peak over mean power */
    double acprLowerBeforeDb, acprLowerAfterDb;
    double acprUpperBeforeDb, acprUpperAfterDb;
} GenSignalSceneReport;

#pragma pack(pop)

GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalScenePart) == 116, "GenSignalScenePart size");
GENSIGNAL_STATIC_ASSERT(offsetof(GenSignalScenePart, frequencyOffset) == 36, "GenSignalScenePart.frequencyOffset");
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalScene) == 84, "GenSignalScene size");
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalSceneLabel) == 72, "GenSignalSceneLabel size");
GENSIGNAL_STATIC_ASSERT(sizeof(GenSignalSceneReport) == 88, "GenSignalSceneReport size");

/* Makes the scene into the handle's buffer: *iq and *count as the waveform
 * entry points give them. 0, or -1 (-3 without working memory) with the
 * reason naming the field (GenSignalScene.parts[2].frequencyOffset = ...);
 * the labels and the report of the last scene stay then. */
GENSIGNAL_API int GenerateSceneWaveform(int handleId, const GenSignalScene* scene, int16_t** iq, int* count);

/* Copies the labels of the last scene made on the handle (at most
 * `capacity`) and returns how many there are; capacity 0 asks for the
 * count. -1 for an unknown handle, a negative capacity or a null array
 * with a capacity above 0. */
GENSIGNAL_API int GenSignalGetSceneLabels(int handleId, GenSignalSceneLabel* labels, int capacity);

/* The report of the last scene made on the handle (all zero before the
 * first). 0, or -1 for an unknown handle or a null report. */
GENSIGNAL_API int GenSignalGetSceneReport(int handleId, GenSignalSceneReport* report);

/* ---- Recording texts ----
 * The text of the files hosts write, from one implementation, so that
 * wavegen, the Python package and any other host write the same bytes.
 * Each returns the text's length in bytes; a null buffer with bufferSize 0
 * asks for it. The text and its terminating zero are copied only when the
 * buffer holds both; otherwise -1 and nothing is written. -1 for input that
 * is not JSON (UTF-8, finite numbers) or is nested deeper than 64 levels,
 * with the reason in GenSignalGetLastError; -3 without working memory. */

/* The SigMF 1.2 metadata (.sigmf-meta) of a ci16_le recording. `recording`
 * is a JSON object:
 *   "sample_rate"      Hz, above 0
 *   "sha512"           the data file's SHA-512, 128 hexadecimal digits
 *   "description"      core:description
 *   "samples"          gensignal:samples: samples in one buffer
 *   "repeat"           times the data file holds the buffer (1 if absent)
 *   "center_frequency" Hz at RF, from -1e12 to 1e12 (absent or null: none)
 *   "datetime"         ISO 8601 UTC, 2026-06-22T12:00:00Z (absent: none)
 *   "global"           the host's own entries of the global object
 *                      ("gensignal:kind", ...); no core: entries
 *   "annotations"      objects with core:sample_start, core:sample_count,
 *                      and the band's edges relative to the centre
 * The library writes the core entries, the extensions (signal's when an
 * annotation carries signal:detail), the capture, each annotation's
 * core:generator, and moves the edges to RF when the centre is given. */
GENSIGNAL_API int GenSignalSigmfMetadata(const char* recording, char* buffer, int bufferSize);

/* What a recording's SigMF metadata says of its data, checked, so that
 * every host reads recordings by the same rules; the host then reads the
 * data and checks it against these. The text is a JSON object:
 *   "datatype"    core:datatype as written ("" when absent)
 *   "floats"      false for ci16_le, true for cf32_le; null for data that
 *                 is not read (nothing else is then given)
 *   "sample_rate" core:sample_rate
 *   "repeat"      gensignal:repeat, 1 when absent
 *   "samples"     gensignal:samples, the buffer's length (0 when absent)
 *   "described"   samples the data must hold: samples times repeat, and
 *                 the end of every annotation
 *   "sha512"      core:sha512 in lower case, null when absent
 * -1 with the reason alone (no function name: the host puts the file's
 * name before it) for metadata without a global object, of more than one
 * channel, without a numeric rate or with a repeat below 1. */
GENSIGNAL_API int GenSignalSigmfRead(const char* metadata, char* buffer, int bufferSize);

/* Any JSON document in the layout of the metadata: keys sorted, two-space
 * indent, floats in their shortest form that reads back, no final newline. */
GENSIGNAL_API int GenSignalJsonText(const char* document, char* buffer, int bufferSize);

#ifdef __cplusplus
}
#endif

#endif /* WRAPPER_GEN_SIGNAL_WAVE_H */
