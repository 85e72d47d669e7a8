#include "recordingFiles.h"

#include <iostream>

#include "instrumentFiles.h"
#include "outputNames.h"
#include "request.h"
#include "sink.h"
#include "writers.h"

namespace {

bool writeData(Sink& sink, const Output& out, const int16_t* iq, int count) {
    if (out.format == "cf32") return writeCf32(sink, iq, count, out.repeat, out.cf32Scale);
    if (out.format == "wav") return writeWav(sink, iq, count, out.repeat, out.sampleRate);
    return writeInt16(sink, iq, count, out.repeat);
}

// Bytes of the data file: count values, `repeat` times, and WAV's header.
double dataBytes(const Output& out, int count) {
    const double values = static_cast<double>(count) * static_cast<double>(out.repeat);
    if (out.format == "cf32") return 4 * values;
    return 2 * values + (out.format == "wav" ? 44 : 0);
}

int cannotWrite(const Sink& sink) {
    std::cerr << "wavegen: cannot write " << sink.name() << ": " << sink.reason() << "\n";
    return 1;
}

int refuseSpace(const std::string& path, double bytes) {
    const std::string refusal = spaceRefusal(path, bytes);
    if (refusal.empty()) return 0;
    std::cerr << "wavegen: cannot write " << path << ": " << refusal << "\n";
    return 1;
}

// The data file and, for SigMF, the metadata: a failure at any point
// leaves the earlier files as they were and nothing new.
int writeFiles(const Output& out, const OutputNames& names, const int16_t* iq, int count, const std::string& meta) {
    if (int rc = refuseSpace(names.data, dataBytes(out, count) + static_cast<double>(meta.size()))) return rc;
    Sink data(names.data);
    if (!writeData(data, out, iq, count) || !data.finish()) return cannotWrite(data);
    if (names.meta.empty()) return data.commit() ? 0 : cannotWrite(data);
    Sink metadata(names.meta);
    if (!metadata.write(meta.data(), meta.size()) || !metadata.finish()) return cannotWrite(metadata);
    if (!data.commit()) return cannotWrite(data);
    return metadata.commit() ? 0 : cannotWrite(metadata);
}

}  // namespace

int writeRecording(const Output& out, const int16_t* iq, int count, const std::function<std::string()>& meta,
                   const std::string& rateOption, std::string& written, const std::string& comment,
                   const std::vector<MarkerLine>& markers) {
    if (out.format == "wv" || out.format == "iqbin") {
        const InstrumentWaveform w{iq, count, comment, markers};
        const std::string refusal = instrumentRefusal(out, w);
        if (!refusal.empty()) {
            std::cerr << "wavegen: " << refusal << "\n";
            return 2;
        }
        return writeInstrumentFiles(out, w, written);
    }
    if (out.format == "wav") {
        const std::string refusal = wavRefusal(out.sampleRate, static_cast<int64_t>(count) * out.repeat);
        if (!refusal.empty()) {
            std::cerr << "wavegen: " << rateOption << " " << numberWord(out.sampleRate) << ": " << refusal << "\n";
            return 2;
        }
    }
    if (out.toStandardOutput()) {
        Sink sink("-");
        written = sink.name();
        return writeData(sink, out, iq, count) && sink.finish() ? 0 : cannotWrite(sink);
    }
    const OutputNames names = outputNames(out.name, out.format);
    written = names.data;
    // Checked before the metadata's digest, which reads every byte to be written.
    if (int rc = refuseSpace(names.data, dataBytes(out, count))) return rc;
    if (out.format != "sigmf") return writeFiles(out, names, iq, count, std::string());
    const std::string text = meta();
    // The reason is said: nothing is written without its metadata.
    return text.empty() ? 1 : writeFiles(out, names, iq, count, text);
}
