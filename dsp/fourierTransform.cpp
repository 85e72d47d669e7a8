#include "fourierTransform.h"

#include <fftw3.h>

#include <mutex>
#include <utility>

namespace {

// FFTW's planner is not thread-safe; execution of a finished plan is.
std::mutex& plannerLock() {
    static std::mutex lock;
    return lock;
}

constexpr unsigned kPlanFlags = FFTW_ESTIMATE | FFTW_NO_SIMD | FFTW_UNALIGNED;

template <class Real>
struct Fftw;

template <>
struct Fftw<double> {
    static void* plan(int n, std::complex<double>* in, std::complex<double>* out, int sign) {
        return fftw_plan_dft_1d(n, reinterpret_cast<fftw_complex*>(in), reinterpret_cast<fftw_complex*>(out), sign,
                                kPlanFlags);
    }
    static void destroy(void* p) { fftw_destroy_plan(static_cast<fftw_plan>(p)); }
    static void execute(void* p, std::complex<double>* in, std::complex<double>* out) {
        fftw_execute_dft(static_cast<fftw_plan>(p), reinterpret_cast<fftw_complex*>(in),
                         reinterpret_cast<fftw_complex*>(out));
    }
};

template <>
struct Fftw<float> {
    static void* plan(int n, std::complex<float>* in, std::complex<float>* out, int sign) {
        return fftwf_plan_dft_1d(n, reinterpret_cast<fftwf_complex*>(in), reinterpret_cast<fftwf_complex*>(out), sign,
                                 kPlanFlags);
    }
    static void destroy(void* p) { fftwf_destroy_plan(static_cast<fftwf_plan>(p)); }
    static void execute(void* p, std::complex<float>* in, std::complex<float>* out) {
        fftwf_execute_dft(static_cast<fftwf_plan>(p), reinterpret_cast<fftwf_complex*>(in),
                          reinterpret_cast<fftwf_complex*>(out));
    }
};

}  // namespace

template <class Real>
Dft<Real>::~Dft() {
    if (plan_) {
        std::lock_guard<std::mutex> guard(plannerLock());
        Fftw<Real>::destroy(plan_);
    }
}

template <class Real>
Dft<Real>::Dft(Dft&& other) noexcept : plan_(std::exchange(other.plan_, nullptr)), n_(std::exchange(other.n_, 0)) {}

template <class Real>
Dft<Real>& Dft<Real>::operator=(Dft&& other) noexcept {
    if (this != &other) {
        Dft old(std::move(*this));
        plan_ = std::exchange(other.plan_, nullptr);
        n_ = std::exchange(other.n_, 0);
    }
    return *this;
}

template <class Real>
bool Dft<Real>::plan(int n, std::complex<Real>* in, std::complex<Real>* out, DftDirection direction) {
    *this = Dft();
    if (n < 1) return false;
    std::lock_guard<std::mutex> guard(plannerLock());
    plan_ = Fftw<Real>::plan(n, in, out, direction == DftDirection::forward ? FFTW_FORWARD : FFTW_BACKWARD);
    n_ = plan_ ? n : 0;
    return plan_ != nullptr;
}

template <class Real>
void Dft<Real>::execute(std::complex<Real>* in, std::complex<Real>* out) const {
    Fftw<Real>::execute(plan_, in, out);
}

template class Dft<float>;
template class Dft<double>;
