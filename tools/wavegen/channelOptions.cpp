#include "channelOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "optionText.h"

namespace {

struct RealOption {
    const char* option;  // --pa-backoff-db
    const char* key;     // pa_backoff_db
    const char* field;   // paBackoffDb, as the library names it
    std::string ChannelOptions::*text;
    double GenSignalChannel::*value;
    const char* help;
};

const RealOption kReals[] = {
    {"--pa-backoff-db", "pa_backoff_db", "paBackoffDb", &ChannelOptions::paBackoffDb, &GenSignalChannel::paBackoffDb,
     "amplifier input back-off: the input RMS this many dB below saturation [dB]"},
    {"--pa-smoothness", "pa_smoothness", "paSmoothness", &ChannelOptions::paSmoothness, &GenSignalChannel::paSmoothness,
     "Rapp smoothness p (default 2)"},
    {"--saleh-alpha-a", "saleh_alpha_a", "salehAlphaA", &ChannelOptions::salehAlphaA, &GenSignalChannel::salehAlphaA,
     "Saleh AM/AM alpha (default 2.1587)"},
    {"--saleh-beta-a", "saleh_beta_a", "salehBetaA", &ChannelOptions::salehBetaA, &GenSignalChannel::salehBetaA,
     "Saleh AM/AM beta (default 1.1517)"},
    {"--saleh-alpha-phi", "saleh_alpha_phi", "salehAlphaPhi", &ChannelOptions::salehAlphaPhi,
     &GenSignalChannel::salehAlphaPhi, "Saleh AM/PM alpha (default 4.0033) [rad]"},
    {"--saleh-beta-phi", "saleh_beta_phi", "salehBetaPhi", &ChannelOptions::salehBetaPhi,
     &GenSignalChannel::salehBetaPhi, "Saleh AM/PM beta (default 9.1040)"},
    {"--delay-spread", "delay_spread", "delaySpread", &ChannelOptions::delaySpread, &GenSignalChannel::delaySpread,
     "RMS delay spread of TDL-A ... TDL-E [s]"},
    {"--doppler-hz", "doppler_hz", "dopplerHz", &ChannelOptions::dopplerHz, &GenSignalChannel::dopplerHz,
     "maximum Doppler of the fading (Jakes spectrum); 0: static taps [Hz]"},
    {"--rician-k-db", "rician_k_db", "ricianKDb", &ChannelOptions::ricianKDb, &GenSignalChannel::ricianKDb,
     "K factor of --fading rician [dB]"},
    {"--timing-offset", "timing_offset", "timingOffset", &ChannelOptions::timingOffset, &GenSignalChannel::timingOffset,
     "circular band-limited delay [samples]"},
    {"--cfo-hz", "cfo_hz", "cfoHz", &ChannelOptions::cfoHz, &GenSignalChannel::cfoHz, "carrier frequency offset [Hz]"},
    {"--phase-offset-deg", "phase_offset_deg", "phaseOffsetDeg", &ChannelOptions::phaseOffsetDeg,
     &GenSignalChannel::phaseOffsetDeg, "carrier phase offset [degrees]"},
    {"--noise-bandwidth", "noise_bandwidth", "noiseBandwidthHz", &ChannelOptions::noiseBandwidth,
     &GenSignalChannel::noiseBandwidthHz, "the band of --cn-db, centred at 0 Hz [Hz]"},
    {"--samples-per-symbol", "samples_per_symbol", "samplesPerSymbol", &ChannelOptions::samplesPerSymbol,
     &GenSignalChannel::samplesPerSymbol, "for --esn0-db and --ebn0-db (default: the recording's record)"},
    {"--bits-per-symbol", "bits_per_symbol", "bitsPerSymbol", &ChannelOptions::bitsPerSymbol,
     &GenSignalChannel::bitsPerSymbol, "for --ebn0-db (default: the recording's record)"},
    {"--iq-gain-db", "iq_gain_db", "iqGainDb", &ChannelOptions::iqGainDb, &GenSignalChannel::iqGainDb,
     "I/Q gain imbalance, half on each rail [dB]"},
    {"--iq-phase-deg", "iq_phase_deg", "iqPhaseDeg", &ChannelOptions::iqPhaseDeg, &GenSignalChannel::iqPhaseDeg,
     "I/Q phase imbalance, half on each rail [degrees]"},
    {"--dc-phase-deg", "dc_phase_deg", "dcPhaseDeg", &ChannelOptions::dcPhaseDeg, &GenSignalChannel::dcPhaseDeg,
     "angle of the DC offset [degrees]"},
};

struct NoiseOption {
    const char* option;
    const char* key;
    std::string ChannelOptions::*text;
    int mode;
    const char* help;
};

const NoiseOption kNoise[] = {
    {"--snr-db", "snr_db", &ChannelOptions::snrDb, GENSIGNAL_NOISE_SNR,
     "AWGN: mean signal over noise power over the full sample rate [dB]"},
    {"--esn0-db", "esn0_db", &ChannelOptions::esn0Db, GENSIGNAL_NOISE_ESN0, "AWGN: symbol energy over N0 [dB]"},
    {"--ebn0-db", "ebn0_db", &ChannelOptions::ebn0Db, GENSIGNAL_NOISE_EBN0, "AWGN: bit energy over N0 [dB]"},
    {"--cn-db", "cn_db", &ChannelOptions::cnDb, GENSIGNAL_NOISE_CN,
     "AWGN: carrier over the noise inside --noise-bandwidth [dB]"},
};

const std::vector<std::pair<std::string, int>> kPaModels = {{"rapp", GENSIGNAL_PA_RAPP}, {"saleh", GENSIGNAL_PA_SALEH}};
const std::vector<std::pair<std::string, int>> kFadings = {
    {"epa", GENSIGNAL_FADING_EPA},       {"eva", GENSIGNAL_FADING_EVA},     {"etu", GENSIGNAL_FADING_ETU},
    {"tdl-a", GENSIGNAL_FADING_TDL_A},   {"tdl-b", GENSIGNAL_FADING_TDL_B}, {"tdl-c", GENSIGNAL_FADING_TDL_C},
    {"tdl-d", GENSIGNAL_FADING_TDL_D},   {"tdl-e", GENSIGNAL_FADING_TDL_E}, {"rayleigh", GENSIGNAL_FADING_RAYLEIGH},
    {"rician", GENSIGNAL_FADING_RICIAN}, {"taps", GENSIGNAL_FADING_TAPS}};

bool given(const std::string& text) { return !text.empty(); }

// "a:b,c:d" -> {{a, b}, {c, d}} with 2 (or, when `three`, 2 or 3) numbers per entry.
std::string readPairs(const std::string& text, bool three, std::vector<std::vector<double>>& out) {
    std::stringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        std::vector<double> numbers;
        std::stringstream parts(entry);
        std::string part;
        while (std::getline(parts, part, ':')) {
            double v = 0;
            if (!readNumber(part, v).empty()) return "\"" + part + "\" is not a number";
            numbers.push_back(v);
        }
        if (numbers.size() != 2 && !(three && numbers.size() == 3)) return "\"" + entry + "\" is not a pair";
        out.push_back(numbers);
    }
    if (out.empty()) return "no entries";
    return {};
}

nlohmann::json numberOrNull(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

}  // namespace

void addChannelOptions(CLI::App* command, ChannelOptions& o) {
    // A kind's own field of the same name (digital's --samples-per-symbol)
    // keeps it: its record then gives the channel what the option would.
    auto add = [command](const char* name, std::string& text, const char* help) {
        if (!command->get_option_no_throw(name)) command->add_option(name, text, help);
    };
    add("--pa", o.pa, "amplifier model: rapp or saleh (off when not given)");
    add("--fading", o.fading,
        "multipath fading: epa, eva, etu (TS 36.104), tdl-a ... tdl-e (TR 38.901), rayleigh, rician (one flat tap) "
        "or taps (--taps)");
    add("--taps", o.taps, "taps of --fading taps: DELAY:DB,... (s, dB), DELAY:DB:K for a Rician tap (K in dB)");
    add("--phase-noise", o.phaseNoise,
        "phase-noise mask: OFFSET:DBC,... (Hz, dBc/Hz, single sideband, up to 16 points)");
    add("--dc-dbc", o.dcDbc, "DC offset relative to the mean power reaching it [dBc]");
    add("--channel-seed", o.channelSeed, "seed of every random draw of the channel (0 ... 2^64-1)");
    for (const RealOption& r : kReals) add(r.option, o.*(r.text), r.help);
    for (const NoiseOption& n : kNoise) add(n.option, o.*(n.text), n.help);
}

namespace {

// Each reader below takes its options into the record and `settings` and
// answers empty text, or the refusal of the first option it cannot read.

std::string readModels(const ChannelOptions& o, GenSignalChannel& c, nlohmann::json& settings) {
    if (given(o.pa)) {
        int32_t v = 0;
        const std::string why = readChoice(o.pa, kPaModels, v);
        if (!why.empty()) return optionRefusal("--pa", o.pa, why);
        c.paModel = v;
        settings["pa"] = o.pa;
    }
    if (given(o.fading)) {
        int32_t v = 0;
        const std::string why = readChoice(o.fading, kFadings, v);
        if (!why.empty()) return optionRefusal("--fading", o.fading, why);
        c.fading = v;
        settings["fading"] = o.fading;
    }
    return {};
}

std::string readReals(const ChannelOptions& o, GenSignalChannel& c, nlohmann::json& settings) {
    for (const RealOption& r : kReals) {
        const std::string& text = o.*(r.text);
        if (!given(text)) continue;
        double v = 0;
        const std::string why = readNumber(text, v);
        if (!why.empty()) return optionRefusal(r.option, text, why);
        std::memcpy(&(c.*(r.value)), &v, sizeof v);  // the record is packed
        settings[r.key] = v;
    }
    return {};
}

// At most one of the noise levels.
std::string readNoise(const ChannelOptions& o, GenSignalChannel& c, nlohmann::json& settings) {
    const NoiseOption* noise = nullptr;
    for (const NoiseOption& n : kNoise) {
        const std::string& text = o.*(n.text);
        if (!given(text)) continue;
        if (noise)
            return optionRefusal(n.option, text,
                                 std::string("give one noise level; ") + noise->option + " was given too");
        noise = &n;
        double v = 0;
        const std::string why = readNumber(text, v);
        if (!why.empty()) return optionRefusal(n.option, text, why);
        c.noiseMode = n.mode;
        c.noiseDb = v;
        settings[n.key] = v;
    }
    return {};
}

// The pairs (or, with `triples`, also triples) of `option`, at most `most`
// of them.
std::string readList(const char* option, const std::string& text, bool triples, const char* expected, size_t most,
                     const char* noun, std::vector<std::vector<double>>& list) {
    const std::string why = readPairs(text, triples, list);
    if (!why.empty()) return optionRefusal(option, text, expected + why);
    if (list.size() > most)
        return optionRefusal(option, text,
                             std::to_string(list.size()) + " " + noun + ": at most " + std::to_string(most));
    return {};
}

// The taps' delays, powers and Rician K factors; taps without --fading
// fade as taps.
std::string readTaps(const ChannelOptions& o, GenSignalChannel& c, nlohmann::json& settings) {
    if (!given(o.taps)) return {};
    std::vector<std::vector<double>> taps;
    if (std::string why = readList("--taps", o.taps, true,
                                   "expected DELAY:DB or DELAY:DB:K, ...: ", GENSIGNAL_CHANNEL_MAX_TAPS, "taps", taps);
        !why.empty())
        return why;
    c.tapCount = static_cast<int32_t>(taps.size());
    for (size_t i = 0; i < taps.size(); ++i) {
        c.taps[i].delay = taps[i][0];
        c.taps[i].powerDb = taps[i][1];
        if (taps[i].size() == 3) {
            c.taps[i].kFactorDb = taps[i][2];
            c.taps[i].rician = 1;
        }
    }
    if (!given(o.fading)) c.fading = GENSIGNAL_FADING_TAPS;
    settings["taps"] = taps;
    return {};
}

std::string readPhaseNoise(const ChannelOptions& o, GenSignalChannel& c, nlohmann::json& settings) {
    if (!given(o.phaseNoise)) return {};
    std::vector<std::vector<double>> mask;
    if (std::string why = readList("--phase-noise", o.phaseNoise, false,
                                   "expected OFFSET:DBC, ...: ", GENSIGNAL_CHANNEL_MAX_MASK_POINTS, "points", mask);
        !why.empty())
        return why;
    c.phaseNoisePoints = static_cast<int32_t>(mask.size());
    for (size_t i = 0; i < mask.size(); ++i) {
        c.phaseNoiseOffsetHz[i] = mask[i][0];
        c.phaseNoiseDbcHz[i] = mask[i][1];
    }
    settings["phase_noise"] = mask;
    return {};
}

std::string readDcAndSeed(const ChannelOptions& o, GenSignalChannel& c, nlohmann::json& settings) {
    if (given(o.dcDbc)) {
        double v = 0;
        const std::string why = readNumber(o.dcDbc, v);
        if (!why.empty()) return optionRefusal("--dc-dbc", o.dcDbc, why);
        c.dcEnabled = 1;
        c.dcDbc = v;
        settings["dc_dbc"] = v;
    }
    if (given(o.channelSeed)) {
        // Beyond 2^53 a double no longer holds every whole number: read the digits.
        char* end = nullptr;
        errno = 0;
        const unsigned long long v = std::strtoull(o.channelSeed.c_str(), &end, 10);
        if (o.channelSeed[0] == '-' || errno != 0 || end != o.channelSeed.c_str() + o.channelSeed.size())
            return optionRefusal("--channel-seed", o.channelSeed,
                                 "expected a whole number from 0 to 18446744073709551615");
        c.seed = v;
        settings["channel_seed"] = v;
    }
    return {};
}

}  // namespace

std::string readChannelOptions(const ChannelOptions& o, GenSignalChannel& c, nlohmann::json& settings) {
    std::memset(&c, 0, sizeof c);
    settings = nlohmann::json::object();
    for (auto read : {readModels, readReals, readNoise, readTaps, readPhaseNoise, readDcAndSeed})
        if (std::string why = read(o, c, settings); !why.empty()) return why;
    return {};
}

nlohmann::json channelRealisedJson(const GenSignalChannelRealised& r) {
    return {
        {"samples", r.samples},
        {"sample_rate", r.sampleRate},
        {"input_power", numberOrNull(r.inputPower)},
        {"output_power", numberOrNull(r.outputPower)},
        {"pa_gain_db", numberOrNull(r.paGainDb)},
        {"fading_power_db", numberOrNull(r.fadingPowerDb)},
        {"fading_gain_db", numberOrNull(r.fadingGainDb)},
        {"fading_taps", r.fadingTaps},
        {"doppler_lines", r.dopplerLines},
        {"doppler_spacing_hz", numberOrNull(r.dopplerSpacingHz)},
        {"doppler_lowest_hz", numberOrNull(r.dopplerLowestHz)},
        {"doppler_highest_hz", numberOrNull(r.dopplerHighestHz)},
        {"timing_offset", numberOrNull(r.timingOffset)},
        {"cfo_hz", numberOrNull(r.cfoHz)},
        {"phase_offset_deg", numberOrNull(r.phaseOffsetDeg)},
        {"cfo_closes", r.cfoCloses != 0},
        {"phase_noise_bins", r.phaseNoiseBins},
        {"phase_noise_rms_deg", numberOrNull(r.phaseNoiseRmsDeg)},
        {"phase_noise_resolution_hz", numberOrNull(r.phaseNoiseResolutionHz)},
        {"signal_power", numberOrNull(r.signalPower)},
        {"noise_power", numberOrNull(r.noisePower)},
        {"noise_power_in_band", numberOrNull(r.noisePowerInBand)},
        {"snr_db", numberOrNull(r.snrDb)},
        {"snr_in_band_db", numberOrNull(r.snrInBandDb)},
        {"esn0_db", numberOrNull(r.esn0Db)},
        {"ebn0_db", numberOrNull(r.ebn0Db)},
        {"cn_db", numberOrNull(r.cnDb)},
        {"iq_image_rejection_db", numberOrNull(r.iqImageRejectionDb)},
        {"dc_power", numberOrNull(r.dcPower)},
        {"note", std::string(r.note, strnlen(r.note, sizeof r.note))},
    };
}

std::string inChannelTerms(const std::string& message, const GenSignalChannel& c) {
    const std::string prefix = "GenSignalChannel.";
    if (message.rfind(prefix, 0) != 0) return message;
    const size_t equals = message.find(" = ");
    if (equals == std::string::npos) return message;
    std::string field = message.substr(prefix.size(), equals - prefix.size());
    const std::string rest = message.substr(equals + 3);
    const std::string base = field.substr(0, field.find_first_of("[."));
    static const std::pair<const char*, const char*> named[] = {{"paModel", "--pa"},
                                                                {"fading", "--fading"},
                                                                {"tapCount", "--taps"},
                                                                {"taps", "--taps"},
                                                                {"phaseNoisePoints", "--phase-noise"},
                                                                {"phaseNoiseOffsetHz", "--phase-noise"},
                                                                {"phaseNoiseDbcHz", "--phase-noise"},
                                                                {"dcEnabled", "--dc-dbc"},
                                                                {"dcDbc", "--dc-dbc"}};
    for (const NoiseOption& n : kNoise)
        if ((base == "noiseDb" || base == "noiseMode") && n.mode == c.noiseMode)
            return std::string(n.option) + (base == "noiseDb" ? " " + rest : " (" + field + " = " + rest + ")");
    for (const auto& [name, option] : named)
        if (base == name) return std::string(option) + " (" + field + " = " + rest + ")";
    for (const RealOption& r : kReals)
        if (base == r.field) return std::string(r.option) + " " + rest;
    return message;
}

std::string channelFromSettings(const nlohmann::json& settings, GenSignalChannel& channel) {
    if (!settings.is_object()) return "gensignal:channel settings are not an object";
    ChannelOptions o;
    auto text = [&](const std::string& key, const nlohmann::json& v, std::string& out) -> std::string {
        if (v.is_string()) {
            out = v.get<std::string>();
        } else if (v.is_number_unsigned()) {
            out = std::to_string(v.get<unsigned long long>());
        } else if (v.is_number()) {
            char digits[40];
            std::snprintf(digits, sizeof digits, "%.17g", v.get<double>());
            out = digits;
        } else if (v.is_array()) {
            // [[a, b], [c, d, k]] -> "a:b,c:d:k"
            for (const auto& entry : v) {
                if (!entry.is_array()) return key + " holds an entry that is not a list";
                std::string part;
                for (const auto& number : entry) {
                    if (!number.is_number()) return key + " holds a value that is not a number";
                    char digits[40];
                    std::snprintf(digits, sizeof digits, "%.17g", number.get<double>());
                    part += (part.empty() ? "" : ":") + std::string(digits);
                }
                out += (out.empty() ? "" : ",") + part;
            }
        } else {
            return key + " is neither a number, a text nor a list";
        }
        return {};
    };
    std::vector<std::pair<std::string, std::string ChannelOptions::*>> keys = {
        {"pa", &ChannelOptions::pa},        {"fading", &ChannelOptions::fading},
        {"taps", &ChannelOptions::taps},    {"phase_noise", &ChannelOptions::phaseNoise},
        {"dc_dbc", &ChannelOptions::dcDbc}, {"channel_seed", &ChannelOptions::channelSeed}};
    for (const RealOption& r : kReals) keys.emplace_back(r.key, r.text);
    for (const NoiseOption& n : kNoise) keys.emplace_back(n.key, n.text);
    for (const auto& [key, value] : settings.items()) {
        const std::string& field = key;  // a binding a lambda may capture
        const auto known = std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == field; });
        if (known == keys.end()) return "gensignal:channel settings: \"" + key + "\" is no channel setting";
        if (std::string why = text(key, value, o.*(known->second)); !why.empty())
            return "gensignal:channel settings: " + why;
    }
    nlohmann::json ignored;
    return readChannelOptions(o, channel, ignored);
}

void KindChannel::addOptions(CLI::App* command) { addChannelOptions(command, options_); }

std::string KindChannel::read() {
    if (std::string why = readChannelOptions(options_, record_, settings_); !why.empty()) return why;
    given_ = !settings_.empty();
    return {};
}

int KindChannel::apply(int handle) const { return given_ ? GenSignalSetChannel(handle, &record_) : 0; }

void KindChannel::collect(int handle) {
    double source = 0;
    noiseFromChannel_ = GenSignalGetOption(handle, GENSIGNAL_OPTION_NOISE_SOURCE, &source) == 0 &&
                        source == GENSIGNAL_NOISE_SOURCE_CHANNEL;
    GenSignalChannelRealised r{};
    realised_ = given_ && GenSignalGetChannelRealised(handle, &r) == 0 ? channelRealisedJson(r) : nlohmann::json();
}

nlohmann::json KindChannel::metadata() const {
    if (!given_ && !noiseFromChannel_) return nullptr;
    // "generation": applied as the waveform was made, not to a buffer after.
    nlohmann::json m = {{"settings", settings_}, {"realised", realised_}, {"stage", "generation"}};
    if (noiseFromChannel_) m["noise_source"] = "channel";
    return m;
}
