// The modified Bessel function of the first kind, order 0, for Kaiser
// windows.
#pragma once

// I0(x) by its power series, sum over k of ((x/2)^2)^k / (k!)^2, taken until
// a term no longer changes the sum: every term is positive, so nothing
// cancels. (The standard library's cyl_bessel_i gives the same values to
// within a rounding, some fifty times slower.) Meant for window betas, x at
// most a few tens.
double besselI0(double x);
