// The crest factor of a complex buffer: its mean power (summed in fixed
// blocks, then the blocks in order: the same bits at any thread count) and
// the power that the instantaneous power exceeds with a probability p (the
// power ranked floor(p n) from the top; 0 gives the peak).
#pragma once

#include <complex>
#include <cstdint>

double meanPower(const std::complex<double>* x, int64_t n);
// The same of floats, their powers in double.
double meanPower(const std::complex<float>* x, int64_t n);

// The PAPR in dB at probability p in [0, 1): NaN for a silent buffer, or
// when the working memory (each block's largest powers, or for a large p a
// copy of all, 8n bytes) cannot be had.
double paprAtDb(const std::complex<double>* x, int64_t n, double p);

// The PAPR at p and the peak's, from one ranking of the buffer: the same
// values as paprAtDb(x, n, p) and paprAtDb(x, n, 0).
struct PaprFigures {
    double atProbabilityDb, peakDb;
};
PaprFigures paprFigures(const std::complex<double>* x, int64_t n, double p);
// The same of floats, their powers in double.
PaprFigures paprFigures(const std::complex<float>* x, int64_t n, double p);

// As paprFigures and paprAtDb, for a caller that must not take a failure
// for a figure: 0 with them (NaN for a silent buffer), or -3 with the
// reason when the working memory cannot be had.
int rankPapr(const std::complex<double>* x, int64_t n, double p, PaprFigures& out);
int rankPapr(const std::complex<float>* x, int64_t n, double p, PaprFigures& out);
int rankPaprAtDb(const std::complex<double>* x, int64_t n, double p, double& db);
