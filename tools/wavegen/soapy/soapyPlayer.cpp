#include "soapyPlayer.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// The loop in the stream's format, followed by its own beginning so that
// any piece of up to one MTU starting inside the loop is contiguous.
struct NativeLoop {
    std::vector<char> bytes;
    size_t elementSize = 0;
    int64_t samples = 0;  // of one loop
};

NativeLoop convert(const int16_t* iq, int count, const std::string& format, size_t mtu) {
    NativeLoop loop;
    loop.samples = count / 2;
    const size_t total = static_cast<size_t>(loop.samples) + mtu;
    if (format == SOAPY_SDR_CS16) {
        // The library's values as they are: full scale 32767 of 32768.
        loop.elementSize = 4;
        loop.bytes.resize(total * 4);
        for (size_t i = 0; i < total; ++i)
            std::memcpy(&loop.bytes[4 * i], iq + 2 * (i % static_cast<size_t>(loop.samples)), 4);
    } else {
        // CF32, as wavegen's cf32: each value over 32767, rounded once.
        loop.elementSize = 8;
        loop.bytes.resize(total * 8);
        for (size_t i = 0; i < total; ++i) {
            const size_t k = 2 * (i % static_cast<size_t>(loop.samples));
            const float pair[2] = {static_cast<float>(iq[k] / 32767.0), static_cast<float>(iq[k + 1] / 32767.0)};
            std::memcpy(&loop.bytes[8 * i], pair, 8);
        }
    }
    return loop;
}

struct DeviceCloser {
    void operator()(SoapySDR::Device* d) const { SoapySDR::Device::unmake(d); }
};

// Reads every status the stream has now (timeoutUs 0), or waits up to
// timeoutUs for one; counts and reports underruns and late packets.
void readStatus(SoapySDR::Device& device, SoapySDR::Stream* stream, long timeoutUs, PlayReport& report,
                const std::function<void(const std::string&)>& event) {
    while (report.statusReported) {
        size_t mask = 0;
        int flags = 0;
        long long timeNs = 0;
        const int rc = device.readStreamStatus(stream, mask, flags, timeNs, timeoutUs);
        if (rc == SOAPY_SDR_TIMEOUT) return;
        if (rc == SOAPY_SDR_NOT_SUPPORTED) {
            report.statusReported = false;
            return;
        }
        if (rc == 0) continue;  // a burst acknowledged, nothing wrong
        const std::string at = " after " + std::to_string(report.samples) + " samples";
        if (rc == SOAPY_SDR_UNDERFLOW) {
            ++report.underruns;
            event("underrun" + at);
        } else if (rc == SOAPY_SDR_TIME_ERROR) {
            ++report.late;
            event("late packet" + at);
        } else {
            ++report.otherErrors;
            event(std::string("stream status: ") + SoapySDR::errToStr(rc) + at);
        }
    }
}

}  // namespace

std::string playLoop(const int16_t* iq, int count, const PlaySettings& s, const std::atomic<bool>& stop,
                     PlayReport& report, const std::function<void(const std::string&)>& event) {
    report = PlayReport();
    if (count < 2) return "the loop holds no samples";
    std::unique_ptr<SoapySDR::Device, DeviceCloser> device;
    SoapySDR::Stream* stream = nullptr;
    try {
        device.reset(SoapySDR::Device::make(s.device));
        if (!device) return "no device for \"" + s.device + "\"";
        if (device->getNumChannels(SOAPY_SDR_TX) <= s.channel) return "the device has no transmit channel";
        device->setSampleRate(SOAPY_SDR_TX, s.channel, s.sampleRate);
        report.deviceRate = device->getSampleRate(SOAPY_SDR_TX, s.channel);
        if (s.centerFrequency) device->setFrequency(SOAPY_SDR_TX, s.channel, *s.centerFrequency);
        if (s.gainDb) device->setGain(SOAPY_SDR_TX, s.channel, *s.gainDb);
        if (s.rfBandwidth) device->setBandwidth(SOAPY_SDR_TX, s.channel, *s.rfBandwidth);
        double fullScale = 0;
        const std::string native = device->getNativeStreamFormat(SOAPY_SDR_TX, s.channel, fullScale);
        // Native 16-bit with full scale 32768 takes the values as they are;
        // anything else gets floats, which SoapySDR converts on its way.
        report.format = native == SOAPY_SDR_CS16 && fullScale >= 32767 ? SOAPY_SDR_CS16 : SOAPY_SDR_CF32;
        stream = device->setupStream(SOAPY_SDR_TX, report.format, {s.channel});
        report.mtu = device->getStreamMTU(stream);
        const NativeLoop loop = convert(iq, count, report.format, report.mtu);
        int64_t total = -1;  // no end
        if (s.loops > 0) total = s.loops * loop.samples;
        if (s.playSeconds > 0) {
            const auto bySeconds = static_cast<int64_t>(std::llround(s.playSeconds * s.sampleRate));
            total = total < 0 ? bySeconds : std::min(total, bySeconds);
        }
        if (const int rc = device->activateStream(stream); rc != 0)
            throw std::runtime_error(std::string("activateStream: ") + SoapySDR::errToStr(rc));
        int64_t at = 0;  // where the next piece starts in the loop
        while (total < 0 || report.samples < total) {
            if (stop.load(std::memory_order_relaxed)) {
                report.interrupted = true;
                break;
            }
            int64_t n = static_cast<int64_t>(report.mtu);
            if (total >= 0) n = std::min(n, total - report.samples);
            int flags = total >= 0 && report.samples + n == total ? SOAPY_SDR_END_BURST : 0;
            const void* buffs[1] = {loop.bytes.data() + static_cast<size_t>(at) * loop.elementSize};
            const int rc = device->writeStream(stream, buffs, static_cast<size_t>(n), flags, 0, 100000);
            if (rc > 0) {
                report.samples += rc;
                at = (at + rc) % loop.samples;
            } else if (rc == SOAPY_SDR_UNDERFLOW) {
                ++report.underruns;
                event("underrun after " + std::to_string(report.samples) + " samples");
            } else if (rc != SOAPY_SDR_TIMEOUT) {
                throw std::runtime_error(std::string("writeStream: ") + SoapySDR::errToStr(rc));
            }
            readStatus(*device, stream, 0, report, event);
        }
        // What the device says of the last pieces.
        readStatus(*device, stream, 100000, report, event);
        device->deactivateStream(stream);
        device->closeStream(stream);
        stream = nullptr;
    } catch (const std::exception& e) {
        if (device && stream) device->closeStream(stream);
        return e.what();
    }
    return {};
}
