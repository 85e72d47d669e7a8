#include "measurement.h"

#include <cmath>
#include <cstdio>

#include "messages.h"

namespace {

// null for what has no value.
nlohmann::json number(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

std::string line(const char* label, const std::string& value) {
    char text[160];
    std::snprintf(text, sizeof text, "  %-18s %s\n", label, value.c_str());
    return text;
}

std::string decibels(double v, const char* unit) {
    if (!std::isfinite(v)) return "none";
    char text[48];
    std::snprintf(text, sizeof text, "%.2f %s", v, unit);
    return text;
}

}  // namespace

int recordKindOf(const KindTable& kind) {
    static const std::pair<const char*, int> kinds[] = {{"DigitalModParams", GENSIGNAL_RECORD_DIGITAL},
                                                        {"DSSParams", GENSIGNAL_RECORD_DSS},
                                                        {"AMModParams", GENSIGNAL_RECORD_AM},
                                                        {"FMModParams", GENSIGNAL_RECORD_FM},
                                                        {"MultitoneParams", GENSIGNAL_RECORD_MULTITONE},
                                                        {"PulseParams", GENSIGNAL_RECORD_PULSE},
                                                        {"StepSweepParams", GENSIGNAL_RECORD_STEP_SWEEP},
                                                        {"RampSweepParams", GENSIGNAL_RECORD_RAMP_SWEEP},
                                                        {"AWGNParams", GENSIGNAL_RECORD_AWGN},
                                                        {"OFDMParams", GENSIGNAL_RECORD_OFDM}};
    for (const auto& [name, number] : kinds)
        if (kind.record == name) return number;
    return GENSIGNAL_RECORD_NONE;
}

bool measureWith(const MeasureCall& call, Measured& out, std::string& error) {
    const GenSignalMeasureInput input{call.samples, call.valueCount, call.format, call.recordKind,
                                      call.record,  call.argument,   0,           call.sampleRate};
    const int rc = call.description ? GenSignalMeasureDescribed(&input, &call.options, call.description, &out.m)
                                    : GenSignalMeasure(&input, &call.options, &out.m);
    if (rc == 0 && GenSignalMeasureSeam(&input, &out.seamPrediction) == 0) return true;
    error = lastReason();
    return false;
}

nlohmann::json measuredJson(const Measured& measured) {
    const GenSignalMeasurement& m = measured.m;
    return {{"samples", m.samples},
            {"sample_rate", m.sampleRate},
            {"peak_dbfs", number(m.peakDbfs)},
            {"rms_dbfs", number(m.rmsDbfs)},
            {"papr_db", number(m.paprDb)},
            {"ccdf_db",
             {{"1e-1", number(m.ccdfDb[0])},
              {"1e-2", number(m.ccdfDb[1])},
              {"1e-3", number(m.ccdfDb[2])},
              {"1e-4", number(m.ccdfDb[3])}}},
            {"obw_hz", number(m.obwHz)},
            {"obw_lower_hz", number(m.obwLowerHz)},
            {"obw_upper_hz", number(m.obwUpperHz)},
            {"acpr_db", {{"lower", number(m.acprLowerDb)}, {"upper", number(m.acprUpperDb)}}},
            {"sfdr_db", number(m.sfdrDb)},
            {"seam_ratio", number(m.seamRatio)},
            {"seam_prediction", number(measured.seamPrediction)},
            {"evm_percent", number(m.evmPercent)},
            {"evm_peak_percent", number(m.evmPeakPercent)},
            {"mer_db", number(m.merDb)}};
}

std::string hertzText(double hz) {
    if (!std::isfinite(hz)) return "none";
    static const std::pair<double, const char*> units[] = {{1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}};
    char text[48];
    for (const auto& [scale, unit] : units)
        if (std::fabs(hz) >= scale) {
            std::snprintf(text, sizeof text, "%.6g %s", hz / scale, unit);
            return text;
        }
    std::snprintf(text, sizeof text, "%.6g Hz", hz);
    return text;
}

const char* evmStatusText(int status) {
    switch (status) {
        case GENSIGNAL_EVM_MEASURED: return "measured";
        case GENSIGNAL_EVM_NO_RECORD: return "no gensignal record to compare with";
        case GENSIGNAL_EVM_UNDEFINED: return "none defined for this kind";
        case GENSIGNAL_EVM_RESAMPLED: return "resampled: the symbol instants are not on the sample grid";
        case GENSIGNAL_EVM_MISMATCH: return "the samples are not what the record makes";
        case GENSIGNAL_EVM_ONE_SYMBOL: return "one OFDM symbol: a gain per subcarrier fits anything";
        default: return "none";
    }
}

std::string measuredTable(const Measured& measured, double obwPercent) {
    const GenSignalMeasurement& m = measured.m;
    std::string t;
    t += line("peak", decibels(m.peakDbfs, "dBFS"));
    t += line("RMS", decibels(m.rmsDbfs, "dBFS"));
    t += line("PAPR", decibels(m.paprDb, "dB"));
    static const char* const ccdfLabels[] = {"CCDF 1e-1", "CCDF 1e-2", "CCDF 1e-3", "CCDF 1e-4"};
    for (int i = 0; i < 4; ++i) t += line(ccdfLabels[i], decibels(m.ccdfDb[i], "dB above mean power"));
    char text[200];
    std::snprintf(text, sizeof text, "%s (%.10g %%), %s to %s", hertzText(m.obwHz).c_str(), obwPercent,
                  hertzText(m.obwLowerHz).c_str(), hertzText(m.obwUpperHz).c_str());
    t += line("occupied band", std::isfinite(m.obwHz) ? text : "none");
    std::snprintf(text, sizeof text, "lower %s, upper %s (channel %s, spacing %s)",
                  decibels(m.acprLowerDb, "dB").c_str(), decibels(m.acprUpperDb, "dB").c_str(),
                  hertzText(m.channelBandwidthHz).c_str(), hertzText(m.channelSpacingHz).c_str());
    t += line("ACPR", text);
    t += line("SFDR", decibels(m.sfdrDb, "dB"));
    std::snprintf(text, sizeof text, "%.4g", m.seamRatio);
    t += line("seam ratio", std::isfinite(m.seamRatio) ? text : "none");
    std::snprintf(text, sizeof text, "%.4g (about 1 seamless, above 10 a glitch)", measured.seamPrediction);
    t += line("seam prediction", std::isfinite(measured.seamPrediction) ? text : "none");
    if (m.evmStatus == GENSIGNAL_EVM_MEASURED) {
        std::snprintf(text, sizeof text, "%.4g %% RMS, %.4g %% peak over %d symbols", m.evmPercent, m.evmPeakPercent,
                      m.symbols);
        t += line("EVM", text);
        t += line("MER", decibels(m.merDb, "dB"));
    } else {
        t += line("EVM", std::string("none: ") + evmStatusText(m.evmStatus));
    }
    return t;
}
