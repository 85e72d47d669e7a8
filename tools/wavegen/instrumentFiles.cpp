#include "instrumentFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "iqbinFormat.h"
#include "outputNames.h"
#include "sink.h"
#include "wvFormat.h"

namespace {

bool writeRepeated(Sink& sink, const std::vector<char>& bytes, int64_t repeat) {
    for (int64_t r = 0; r < repeat; ++r)
        if (!sink.write(bytes.data(), bytes.size())) return false;
    return true;
}

std::vector<char> littleEndianWords(const int16_t* iq, int count) {
    std::vector<char> bytes(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<uint16_t>(iq[i]);
        bytes[2 * i] = static_cast<char>(v & 0xff);
        bytes[2 * i + 1] = static_cast<char>(v >> 8);
    }
    return bytes;
}

int cannotWrite(const std::string& name, const std::string& reason) {
    std::cerr << "wavegen: cannot write " << name << ": " << reason << "\n";
    return 1;
}

bool wvContents(Sink& sink, const Output& out, const InstrumentWaveform& w) {
    WvHeader h;
    h.clock = out.sampleRate;
    h.samples = static_cast<int64_t>(w.count / 2) * out.repeat;
    h.checksum = wvChecksum(w.iq, w.count, out.repeat);
    h.levels = levelOffsets(w.iq, w.count);
    h.comment = w.comment;
    h.date = wvDate(out.datetime);
    h.markers = w.markers;
    // The lists repeat every CONTROL LENGTH samples: the buffer, played
    // `repeat` times in the file.
    h.controlLength = w.count / 2;
    const std::string tags = wvTags(h);
    return sink.write(tags.data(), tags.size()) && writeRepeated(sink, littleEndianWords(w.iq, w.count), out.repeat) &&
           sink.write("}", 1);
}

bool iqbinContents(Sink& sink, const Output& out, const InstrumentWaveform& w) {
    return writeRepeated(sink, iqbinBytes(w.iq, w.count), out.repeat);
}

bool markerContents(Sink& sink, const Output& out, const InstrumentWaveform& w) {
    const std::vector<uint8_t> bytes = markerBytes(w.markers, w.count / 2);
    return writeRepeated(sink, std::vector<char>(bytes.begin(), bytes.end()), out.repeat);
}

}  // namespace

std::string wvDate(const std::string& isoTime) {
    if (isoTime.size() < 19) return {};
    return isoTime.substr(0, 10) + ";" + isoTime.substr(11, 8);
}

std::string instrumentRefusal(const Output& out, const InstrumentWaveform& w) {
    if (out.format == "iqbin" && out.toStandardOutput() && !w.markers.empty())
        return "--marker: iqbin keeps its markers in a second file, NAME.marker; -o - writes one file";
    return {};
}

int writeInstrumentFiles(const Output& out, const InstrumentWaveform& w, std::string& written) {
    const bool wv = out.format == "wv";
    if (out.toStandardOutput()) {
        Sink sink("-");
        written = sink.name();
        const bool ok = wv ? wvContents(sink, out, w) : iqbinContents(sink, out, w);
        return ok && sink.finish() ? 0 : cannotWrite(sink.name(), sink.reason());
    }
    const std::string dataName = outputNames(out.name, out.format).data;
    written = dataName;
    const bool markerFile = !wv && !w.markers.empty();
    if (const std::string refusal = spaceRefusal(dataName, 2.0 * w.count * static_cast<double>(out.repeat) + 4096);
        !refusal.empty())
        return cannotWrite(dataName, refusal);
    // Each file whole under a temporary name, then the data renamed before
    // its markers.
    Sink data(dataName);
    if (!(wv ? wvContents(data, out, w) : iqbinContents(data, out, w)) || !data.finish())
        return cannotWrite(data.name(), data.reason());
    if (markerFile) {
        Sink markers(markerFileName(dataName));
        if (!markerContents(markers, out, w) || !markers.finish()) return cannotWrite(markers.name(), markers.reason());
        if (!data.commit()) return cannotWrite(data.name(), data.reason());
        if (!markers.commit()) return cannotWrite(markers.name(), markers.reason());
    } else if (!data.commit()) {
        return cannotWrite(data.name(), data.reason());
    }
    // A marker file left from an earlier waveform of the name would be
    // played with this one.
    if (!wv && !markerFile) {
        const std::string stale = markerFileName(dataName);
        if (std::remove(stale.c_str()) == 0)
            std::cerr << "wavegen: note: removed " << stale << ", the markers of the waveform " << dataName
                      << " held before\n";
    }
    return 0;
}
