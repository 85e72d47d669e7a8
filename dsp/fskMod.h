// The FSK modulator's two count rules, shared with the digital generator's
// checks so that both judge a burst the same way.
#pragma once

#include <cstdint>

// Levels the modulator works on: the symbol count made even.
inline int64_t fskLevelCount(int64_t symbols) { return symbols + (symbols & 1); }

// The balance walk needs at least one symbol between the two guards.
inline bool fskGuardsLeaveRoom(int64_t levels, int guard) { return levels >= 2 * static_cast<int64_t>(guard) + 2; }
