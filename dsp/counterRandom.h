// Random draws that are a pure function of a seed and a position: Philox
// 4x32 with 10 rounds (Salmon et al., "Parallel random numbers: as easy as
// 1, 2, 3", SC 2011) maps a 128-bit counter and a 64-bit key to 128 random
// bits. The key is the host's seed; the counter says what the draw is for
// (a stage, a stream within it, an index), so any sample's draws can be
// made on any thread, in any order, and again, with the same bits. Nothing
// here touches rand(), whose sequence belongs to the noise kind.
#pragma once

#include <cstdint>

struct CounterBlock {
    uint32_t w[4];
};

// The 128 bits at counter (index, stream, stage) under `seed`: the index
// fills the counter's low 64 bits, the stream and the stage one word each.
CounterBlock counterBlock(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t index);

// The Philox 4x32-10 bijection itself, counter words c[0..3] and key words
// k[0..1] in the order of the published test vectors.
CounterBlock philox4x32(const uint32_t counter[4], const uint32_t key[2]);

// A uniform double in (0, 1) from 64 bits (its top 53, offset by half a
// step): never 0 or 1, so logarithms stay finite.
double openUnit(uint32_t high, uint32_t low);
// A uniform double in [0, 1) from 32 bits.
double unitFrom32(uint32_t w);

// Standard normal values by the ziggurat method (Marsaglia and Tsang 2000)
// with 128 layers, the layer and the value from separate bits (Doornik,
// "An improved ziggurat method to generate normal random samples", 2005):
// exact, and all but about 1.2 % of the values cost a table look-up and a
// product. Each value starts from 64 random bits; the few that are
// rejected draw again from blocks of their own, at the same index and
// stream with an attempt number in the stage word's upper 16 bits, so a
// value still depends on its position only. Stages use the lower 16 bits.
//
// One complex Gaussian value of unit power (each rail of variance 1/2) at
// (index, stream, stage): the real part from the first block's words 0 and
// 1, the imaginary part from words 2 and 3 (odd and even attempts beyond).
void complexGaussian(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t index, float* re, float* im);
// The same when the first block is already made (counterBlocks below).
void complexGaussianFrom(const CounterBlock& first, uint64_t seed, uint32_t stage, uint32_t stream, uint64_t index,
                         float* re, float* im);

// The blocks of `count` consecutive indices from `first`, in one pass that
// either kernel set computes lane by lane (integer arithmetic: the same bits).
void counterBlocks(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t first, int count, CounterBlock* out);
