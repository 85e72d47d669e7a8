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

// The settings of gensignal:channel back into the record, as the options
// would make it: "" or the first refusal (naming the key).
std::string channelFromSettings(const nlohmann::json& settings, GenSignalChannel& channel);

// The channel of a kind subcommand: its options, set on the handle before
// the call and recorded after it as gensignal:channel (with the noise
// kind's source, an option of the table, when it is the channel's).
class KindChannel {
public:
    void addOptions(CLI::App* command);
    // "" or the first refusal.
    std::string read();
    // Sets the channel on the handle: 0, or the library's code with its
    // reason.
    int apply(int handle) const;
    // What the call realised, after a successful one.
    void collect(int handle);
    // gensignal:channel: the settings, the realised values (null when no
    // stage is on), "stage": "generation" and the noise source when it is
    // the channel's; null when no channel option was given.
    nlohmann::json metadata() const;
    const GenSignalChannel& record() const { return record_; }

private:
    ChannelOptions options_;
    bool noiseFromChannel_ = false;
    bool given_ = false;
    GenSignalChannel record_{};
    nlohmann::json settings_, realised_;
};
