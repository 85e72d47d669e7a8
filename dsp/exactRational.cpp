#include "exactRational.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr u128 kMax = ~static_cast<u128>(0);

bool mulFits(u128 a, u128 b, u128* out) {
    if (a != 0 && b > kMax / a) return false;
    *out = a * b;
    return true;
}

// 10^e for 0 <= e <= 38.
bool powerOfTen(int e, u128* out) {
    if (e < 0 || e > 38) return false;
    u128 p = 1;
    for (int i = 0; i < e; ++i) p *= 10;
    *out = p;
    return true;
}

Rational reduced(u128 num, u128 den) {
    const u128 g = gcd128(num, den);
    return g > 1 ? Rational{num / g, den / g} : Rational{num, den};
}

}  // namespace

u128 gcd128(u128 a, u128 b) {
    // Most terms fit 64 bits, where the remainder is one instruction.
    while (b != 0 && ((a | b) >> 64) != 0) {
        const u128 t = a % b;
        a = b;
        b = t;
    }
    if (b == 0) return a;
    uint64_t x = static_cast<uint64_t>(a), y = static_cast<uint64_t>(b);
    while (y != 0) {
        const uint64_t t = x % y;
        x = y;
        y = t;
    }
    return x;
}

double Rational::value() const {
    // Both parts to long double first: 64 significant bits keep the quotient
    // within a rounding of the exact one for every use here (reports and
    // choosing the nearest of several candidates).
    return static_cast<double>(static_cast<long double>(num) / static_cast<long double>(den));
}

Rational wholeRational(uint64_t n) { return Rational{n, 1}; }

std::optional<Rational> tenToThe(int e) {
    u128 p = 0;
    if (!powerOfTen(e < 0 ? -e : e, &p)) return std::nullopt;
    return e < 0 ? Rational{1, p} : Rational{p, 1};
}

std::optional<Rational> decimalRational(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    v = std::fabs(v);
    if (v == 0) return Rational{0, 1};
    char text[40];
    int precision = 1;
    for (; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*e", precision - 1, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    // "d.ddde+XX": the digits as one integer D, v = D * 10^(XX - (digits - 1)).
    u128 digits = 0;
    int count = 0;
    const char* p = text;
    for (; *p && *p != 'e'; ++p) {
        if (*p < '0' || *p > '9') continue;
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
        ++count;
    }
    if (*p != 'e') return std::nullopt;
    int exponent = std::atoi(p + 1) - (count - 1);
    while (digits % 10 == 0 && digits != 0) {
        digits /= 10;
        ++exponent;
    }
    u128 scale = 0;
    if (exponent >= 0) {
        u128 num = 0;
        if (!powerOfTen(exponent, &scale) || !mulFits(digits, scale, &num)) return std::nullopt;
        return Rational{num, 1};
    }
    if (!powerOfTen(-exponent, &scale)) return std::nullopt;
    return reduced(digits, scale);
}

std::optional<Rational> multiply(const Rational& a, const Rational& b) {
    if (a.num == 0 || b.num == 0) return Rational{0, 1};
    // Cross-reduced first, so the product is in lowest terms and overflows
    // only when the result itself does not fit.
    const u128 g1 = gcd128(a.num, b.den), g2 = gcd128(b.num, a.den);
    Rational r;
    if (!mulFits(a.num / g1, b.num / g2, &r.num) || !mulFits(a.den / g2, b.den / g1, &r.den)) return std::nullopt;
    return r;
}

std::optional<Rational> divide(const Rational& a, const Rational& b) {
    if (b.num == 0) return std::nullopt;
    return multiply(a, Rational{b.den, b.num});
}

bool shortDecimal(const Rational& r, double* v) {
    // The denominator must be 2^i 5^j; then r = D / 10^max(i, j).
    u128 den = r.den;
    int twos = 0, fives = 0;
    while (den % 2 == 0) {
        den /= 2;
        ++twos;
    }
    while (den % 5 == 0) {
        den /= 5;
        ++fives;
    }
    if (den != 1) return false;
    const int places = twos > fives ? twos : fives;
    u128 scale = 0, digits = 0;
    if (!powerOfTen(places, &scale) || !mulFits(r.num, scale / r.den, &digits)) return false;
    int exponent = -places;
    while (digits % 10 == 0 && digits != 0) {
        digits /= 10;
        ++exponent;
    }
    // At most 15 significant digits.
    if (digits >= static_cast<u128>(1000000000000000ULL)) return false;
    char text[48];
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(digits), exponent);
    *v = std::strtod(text, nullptr);
    return std::isfinite(*v);
}
