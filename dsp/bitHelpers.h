// The bit and symbol helpers that are free functions (the others are
// members of GenSignalClass: getOrderM, bi2deForC, rectpulseForC).
#pragma once

// Spreads `value` over `width` bits, most significant first (array new).
void dec2bin(int value, int width, signed char** bits);
// The same into the caller's array of `width` elements.
void dec2binInto(int value, int width, signed char* bits);

// symbols[j] = bi2deForC(bits + j * k, k) for j < count: bit 0 of each group
// is the least significant, any non-zero byte counts as a one, and only the
// low 16 bits of a symbol are kept.
void packSymbols(const signed char* bits, int k, int count, short* symbols);
