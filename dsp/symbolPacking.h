// Packing a whole bit stream into symbols at once.
#pragma once

// symbols[j] = bi2deForC(bits + j * k, k) for j < count: bit 0 of each group
// is the least significant, any non-zero byte counts as a one, and only the
// low 16 bits of a symbol are kept.
void packSymbols(const signed char* bits, int k, int count, short* symbols);
