// The channel's options (--pa, --fading, --snr-db, ...), bound to their
// texts and read after parsing into the library's GenSignalChannel record,
// so that a refusal names the option; the settings and what the channel
// realised as the SigMF metadata's gensignal:channel records them (the same
// keys as the Python package's Channel and realised values).
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <string>

#include "wrapperGenSignalWave.h"

struct ChannelOptions {
    std::string pa, paBackoffDb, paSmoothness, salehAlphaA, salehBetaA, salehAlphaPhi, salehBetaPhi;
    std::string fading, delaySpread, dopplerHz, ricianKDb, taps;
    std::string timingOffset, cfoHz, phaseOffsetDeg, phaseNoise;
    std::string snrDb, esn0Db, ebn0Db, cnDb, noiseBandwidth, samplesPerSymbol, bitsPerSymbol;
    std::string iqGainDb, iqPhaseDeg, dcDbc, dcPhaseDeg, channelSeed;
};

void addChannelOptions(CLI::App* command, ChannelOptions& options);

// The record the options ask for (every stage off where none is given);
// `settings` receives them by their snake-case names. Returns the first
// refusal ("--taps 1e-6:x: expected DELAY:DB or DELAY:DB:K, ...") or "".
std::string readChannelOptions(const ChannelOptions& options, GenSignalChannel& channel, nlohmann::json& settings);

// What the channel did, by snake-case names; NaN as null.
nlohmann::json channelRealisedJson(const GenSignalChannelRealised& realised);

// "GenSignalChannel.cfoHz = 1234: ..." -> "--cfo-hz 1234: ..."; other texts
// unchanged. `channel` says which noise option set noiseMode and noiseDb.
std::string inChannelTerms(const std::string& message, const GenSignalChannel& channel);
