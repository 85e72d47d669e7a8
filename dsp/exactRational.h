// Exact arithmetic on the numbers a host writes. A rate of 30.72e6 reaches
// the library as the double nearest to it, whose binary value is not
// 30720000 / 1 in general (1.023e6 is exact, 0.35 is not); loop lengths
// follow from the decimal the host meant, so every double is read as the
// shortest decimal that converts back to it, and that decimal as a fraction.
#pragma once

#include <cstdint>
#include <optional>

using u128 = unsigned __int128;

// A fraction num / den in lowest terms, den > 0. Only values >= 0: loop
// lengths come from magnitudes.
struct Rational {
    u128 num = 0;
    u128 den = 1;

    bool whole() const { return den == 1; }
    double value() const;
    friend bool operator==(const Rational& a, const Rational& b) { return a.num == b.num && a.den == b.den; }
};

u128 gcd128(u128 a, u128 b);

// n / 1 for n >= 0.
Rational wholeRational(uint64_t n);

// 10^e as a fraction, for -38 <= e <= 38.
std::optional<Rational> tenToThe(int e);

// The shortest decimal that reads back to |v|, as a fraction: 30.72e6 ->
// 30720000/1, 0.35 -> 7/20. Empty when v is not finite or the fraction
// needs more than 128 bits (magnitudes beyond about 1e38 or below 1e-38).
std::optional<Rational> decimalRational(double v);

// Products and quotients in lowest terms; empty when a term would need more
// than 128 bits, or on division by 0.
std::optional<Rational> multiply(const Rational& a, const Rational& b);
std::optional<Rational> divide(const Rational& a, const Rational& b);

// Whether a / b is a decimal of at most 15 significant digits: every such
// decimal reads back from its double unchanged (the shortest decimal of the
// double is that decimal), so it can be suggested to a host as a value to
// type. On success `v` receives that double.
bool shortDecimal(const Rational& r, double* v);
