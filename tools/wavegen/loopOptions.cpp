#include "loopOptions.h"

#include <map>

#include "messages.h"

namespace {

const std::map<std::string, int> kLoopModes = {{"defined", GENSIGNAL_LOOP_DEFINED}, {"exact", GENSIGNAL_LOOP_EXACT}};
const std::map<std::string, int> kTonePhases = {{"zero", GENSIGNAL_TONE_PHASES_ZERO},
                                                {"newman", GENSIGNAL_TONE_PHASES_NEWMAN},
                                                {"schroeder", GENSIGNAL_TONE_PHASES_SCHROEDER},
                                                {"random", GENSIGNAL_TONE_PHASES_RANDOM}};

std::string lastReason() {
    char message[512];
    return GenSignalGetLastError(message, sizeof message) > 0 ? message : "no reason given";
}

// "GENSIGNAL_OPTION_PEAK_DBFS = 3: must be ..." -> "--peak-dbfs 3: must be ...".
std::string inOptionWords(const std::string& reason) {
    static const std::map<std::string, std::string> names = {{"GENSIGNAL_OPTION_LOOP_MODE", "--loop"},
                                                             {"GENSIGNAL_OPTION_TONE_PHASES", "--tone-phases"},
                                                             {"GENSIGNAL_OPTION_PHASE_SEED", "--phase-seed"},
                                                             {"GENSIGNAL_OPTION_PEAK_DBFS", "--peak-dbfs"}};
    const size_t equals = reason.find(" = ");
    if (equals == std::string::npos) return reason;
    const auto it = names.find(reason.substr(0, equals));
    return it == names.end() ? reason : it->second + " " + reason.substr(equals + 3);
}

}  // namespace

void addLoopOptions(CLI::App* command, LoopOptions& options, bool tones) {
    command
        ->add_option("--loop", options.loop,
                     "defined (the waveform as defined) or exact (the fewest whole periods that span whole "
                     "samples, band-limited; refused when it cannot close)")
        ->check(CLI::IsMember({"defined", "exact"}))
        ->capture_default_str();
    command->add_option("--peak-dbfs", options.peakDbfs, "peak level, -90 to 0 dBFS (0 dBFS: a peak of 32766)")
        ->capture_default_str();
    if (!tones) return;
    command
        ->add_option("--tone-phases", options.tonePhases,
                     "starting phases of the tones: zero, newman (pi k^2/N), schroeder (-pi k(k+1)/N) or random")
        ->check(CLI::IsMember({"zero", "newman", "schroeder", "random"}))
        ->capture_default_str();
    command->add_option("--phase-seed", options.phaseSeed, "seed of the random tone phases")->capture_default_str();
}

std::string applyLoopOptions(int handle, const LoopOptions& options) {
    const std::pair<int, double> settings[] = {
        {GENSIGNAL_OPTION_LOOP_MODE, kLoopModes.at(options.loop)},
        {GENSIGNAL_OPTION_TONE_PHASES, kTonePhases.at(options.tonePhases)},
        {GENSIGNAL_OPTION_PHASE_SEED, options.phaseSeed},
        {GENSIGNAL_OPTION_PEAK_DBFS, options.peakDbfs},
    };
    for (const auto& [option, value] : settings)
        if (GenSignalSetOption(handle, option, value) != 0) return inOptionWords(lastReason());
    return {};
}

std::string loopNote(int handle, const KindTable& kind) {
    char note[512];
    if (GenSignalGetNote(handle, note, sizeof note) <= 0) return {};
    return inOptionTerms(kind, note);
}

nlohmann::json loopMetadata(int handle, const LoopOptions& options, bool tones) {
    GenSignalLoopInfo info{};
    GenSignalGetLoopInfo(handle, &info);
    nlohmann::json loop = {{"mode", options.loop},          {"peak_dbfs", options.peakDbfs},
                           {"periods", info.periods},       {"samples_per_period", info.samplesPerPeriod},
                           {"duration", info.loopDuration}, {"whole_periods", info.wholePeriods == 1}};
    if (tones) {
        loop["tone_phases"] = options.tonePhases;
        loop["phase_seed"] = options.phaseSeed;
    }
    return loop;
}

LoopPeriods loopPeriods(int handle) {
    GenSignalLoopInfo info{};
    GenSignalGetLoopInfo(handle, &info);
    return {info.samples, info.periods, info.samplesPerPeriod, info.wholePeriods == 1};
}
