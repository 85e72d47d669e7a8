// Discrete Fourier transforms for the opt-in features (measurements, exact
// loops), never for a defined output. FFTW does the work, planned so that the
// same input gives the same bits on every x86-64 machine and at any thread
// count: estimated plans (no timing runs, no wisdom), no SIMD codelets (which
// ones FFTW picks depends on the CPU), unaligned data allowed, one thread.
#pragma once

#include <complex>

enum class DftDirection { forward, backward };

// An n-point complex transform, unscaled in both directions:
// X[k] = sum x[j] e^(-+2 pi i jk/n), minus sign forward.
template <class Real>
class Dft {
public:
    Dft() = default;
    ~Dft();
    Dft(const Dft&) = delete;
    Dft& operator=(const Dft&) = delete;
    Dft(Dft&& other) noexcept;
    Dft& operator=(Dft&& other) noexcept;

    // Plans the transform for arrays of n values (in place when in == out).
    // False when n < 1 or FFTW cannot plan it. FFTW ends the process when its
    // own memory runs out, so callers allocate their large arrays first.
    bool plan(int n, std::complex<Real>* in, std::complex<Real>* out, DftDirection direction);
    explicit operator bool() const { return plan_ != nullptr; }
    int size() const { return n_; }

    // Runs the planned transform on any arrays of the planned size, in place
    // when the plan was made in place and out-of-place otherwise.
    void execute(std::complex<Real>* in, std::complex<Real>* out) const;

private:
    void* plan_ = nullptr;
    int n_ = 0;
};

extern template class Dft<float>;
extern template class Dft<double>;
