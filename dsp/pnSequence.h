// The PN sequence generator's fixed start state (the generator itself is a
// member of GenSignalClass: func_PN_gen).
#pragma once

// Start state of the order-9 register that draws the payload bits of the
// spread-spectrum and OFDM waveforms (element 0 first).
constexpr signed char kPnDataStart[9] = {0, 0, 0, 0, 0, 1, 0, 1, 0};
