// (a + bi)(c + di) = (ac - bd) + (ad + bc)i: what the complex operator
// gives for finite values, without its check of both parts for NaN and its
// call to recover infinities, which a loop of twiddles pays at every value.
#pragma once

#include <complex>

template <class T>
std::complex<T> times(const std::complex<T>& x, const std::complex<T>& t) {
    const T a = x.real(), b = x.imag(), c = t.real(), d = t.imag();
    return {a * c - b * d, a * d + b * c};
}
