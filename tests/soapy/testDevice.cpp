// A SoapySDR device of the tests' own ("driver=gensigtest"), loaded through
// SOAPY_SDR_PLUGIN_PATH: it takes a transmit stream and records what it is
// given, and can play out in real time behind a small buffer and be made
// slow, so that a player's underruns show. Arguments:
//   record=PATH   the stream's bytes as given, appended write by write
//   log=PATH      the settings and the stream's calls, one line each
//   format=F      the native format, CS16 (full scale 32768) or CF32; a
//                 stream takes either
//   mtu=N         the stream's MTU in samples (default 4096)
//   realtime=1    consume at the sample rate behind a buffer of
//                 buffer=N samples (default 8 MTUs); a write that finds the
//                 buffer empty reports an underflow
//   slow_us=N     each write takes N microseconds more
//   no_status=1   readStreamStatus is not supported, as on some radios
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Registry.hpp>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string arg(const SoapySDR::Kwargs& args, const char* key, const char* fallback = "") {
    const auto it = args.find(key);
    return it == args.end() ? fallback : it->second;
}

class TestDevice : public SoapySDR::Device {
public:
    explicit TestDevice(const SoapySDR::Kwargs& args)
        : recordPath_(arg(args, "record")),
          logPath_(arg(args, "log")),
          format_(arg(args, "format", SOAPY_SDR_CS16)),
          mtu_(std::stoul(arg(args, "mtu", "4096"))),
          realtime_(arg(args, "realtime") == "1"),
          slowUs_(std::stol(arg(args, "slow_us", "0"))),
          noStatus_(arg(args, "no_status") == "1") {
        buffer_ = std::stoul(arg(args, "buffer", std::to_string(8 * mtu_).c_str()));
        if (format_ != SOAPY_SDR_CS16 && format_ != SOAPY_SDR_CF32) throw std::runtime_error("format: CS16 or CF32");
        if (!logPath_.empty()) log_ = std::fopen(logPath_.c_str(), "w");
    }
    ~TestDevice() override {
        if (record_) std::fclose(record_);
        if (log_) std::fclose(log_);
    }

    std::string getDriverKey() const override { return "gensigtest"; }
    std::string getHardwareKey() const override { return "gensignal test device"; }
    size_t getNumChannels(const int direction) const override { return direction == SOAPY_SDR_TX ? 1 : 0; }

    std::vector<std::string> getStreamFormats(const int, const size_t) const override {
        return {SOAPY_SDR_CS16, SOAPY_SDR_CF32};
    }
    std::string getNativeStreamFormat(const int, const size_t, double& fullScale) const override {
        fullScale = format_ == SOAPY_SDR_CS16 ? 32768 : 1;
        return format_;
    }

    void setSampleRate(const int, const size_t, const double rate) override {
        rate_ = rate;
        note("rate %.17g", rate);
    }
    double getSampleRate(const int, const size_t) const override { return rate_; }
    SoapySDR::RangeList getSampleRateRange(const int, const size_t) const override { return {{1, 1e10}}; }
    void setFrequency(const int, const size_t, const double frequency, const SoapySDR::Kwargs&) override {
        frequency_ = frequency;
        note("frequency %.17g", frequency);
    }
    double getFrequency(const int, const size_t) const override { return frequency_; }
    void setGain(const int, const size_t, const double gain) override {
        gain_ = gain;
        note("gain %.17g", gain);
    }
    double getGain(const int, const size_t) const override { return gain_; }
    void setBandwidth(const int, const size_t, const double bandwidth) override {
        bandwidth_ = bandwidth;
        note("bandwidth %.17g", bandwidth);
    }
    double getBandwidth(const int, const size_t) const override { return bandwidth_; }

    SoapySDR::Stream* setupStream(const int direction, const std::string& format, const std::vector<size_t>& channels,
                                  const SoapySDR::Kwargs&) override {
        if (direction != SOAPY_SDR_TX) throw std::runtime_error("the test device only transmits");
        if (format != SOAPY_SDR_CS16 && format != SOAPY_SDR_CF32) throw std::runtime_error("CS16 or CF32 only");
        if (channels.size() > 1) throw std::runtime_error("one channel");
        if (!recordPath_.empty() && !(record_ = std::fopen(recordPath_.c_str(), "wb")))
            throw std::runtime_error("cannot record to " + recordPath_);
        elementSize_ = format == SOAPY_SDR_CS16 ? 4 : 8;
        scratch_.resize(mtu_ * elementSize_);
        note("stream %s mtu %zu", format.c_str(), mtu_);
        return reinterpret_cast<SoapySDR::Stream*>(this);
    }
    void closeStream(SoapySDR::Stream*) override {
        if (record_) std::fclose(record_);
        record_ = nullptr;
        note("close writes %lld samples %lld underflows %lld", writes_, samples_, underflows_);
    }
    size_t getStreamMTU(SoapySDR::Stream*) const override { return mtu_; }
    int activateStream(SoapySDR::Stream*, const int, const long long, const size_t) override {
        start_ = Clock::now();
        lost_ = 0;
        note("activate");
        return 0;
    }
    int deactivateStream(SoapySDR::Stream*, const int, const long long) override {
        note("deactivate");
        return 0;
    }

    int writeStream(SoapySDR::Stream*, const void* const* buffs, const size_t numElems, int& flags, const long long,
                    const long) override {
        if (slowUs_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(slowUs_));
        const size_t n = std::min(numElems, mtu_);
        if (realtime_) pace(n);
        const size_t bytes = n * elementSize_;
        if (record_) {
            if (std::fwrite(buffs[0], 1, bytes, record_) != bytes) return SOAPY_SDR_STREAM_ERROR;
        } else {
            std::memcpy(scratch_.data(), buffs[0], bytes);  // as a driver copies into its transfer buffers
        }
        ++writes_;
        samples_ += static_cast<long long>(n);
        if (flags & SOAPY_SDR_END_BURST) note("end burst after %lld samples", samples_);
        return static_cast<int>(n);
    }

    int readStreamStatus(SoapySDR::Stream*, size_t& chanMask, int& flags, long long& timeNs,
                         const long timeoutUs) override {
        if (noStatus_) return SOAPY_SDR_NOT_SUPPORTED;
        const auto until = Clock::now() + std::chrono::microseconds(timeoutUs);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!events_.empty()) {
                    const int event = events_.front();
                    events_.pop_front();
                    chanMask = 1;
                    flags = 0;
                    timeNs = 0;
                    return event;
                }
            }
            if (Clock::now() >= until) return SOAPY_SDR_TIMEOUT;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

private:
    // The playout clock: samples played since activation, at the rate.
    void pace(size_t n) {
        bool checked = false;
        for (;;) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
            double queued = static_cast<double>(samples_) - (elapsed * rate_ - lost_);
            if (!checked && queued < 0 && samples_ > 0) {
                // Ran dry: silent for -queued samples; this write starts anew.
                lost_ += -queued;
                queued = 0;
                ++underflows_;
                std::lock_guard<std::mutex> lock(mutex_);
                events_.push_back(SOAPY_SDR_UNDERFLOW);
            }
            checked = true;
            if (queued + static_cast<double>(n) <= static_cast<double>(buffer_)) return;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }

    __attribute__((format(printf, 2, 3))) void note(const char* format, ...) {
        if (!log_) return;
        va_list args;
        va_start(args, format);
        std::vfprintf(log_, format, args);
        va_end(args);
        std::fputc('\n', log_);
        std::fflush(log_);
    }

    std::string recordPath_, logPath_, format_;
    size_t mtu_, buffer_ = 0, elementSize_ = 4;
    bool realtime_;
    long slowUs_;
    bool noStatus_;
    double rate_ = 1e6, frequency_ = 0, gain_ = 0, bandwidth_ = 0;
    FILE* record_ = nullptr;
    FILE* log_ = nullptr;
    std::vector<char> scratch_;
    Clock::time_point start_{};
    double lost_ = 0;  // samples of silence the output played while dry
    long long writes_ = 0, samples_ = 0, underflows_ = 0;
    std::mutex mutex_;
    std::deque<int> events_;
};

SoapySDR::KwargsList findTestDevice(const SoapySDR::Kwargs& args) {
    if (arg(args, "driver", "gensigtest") != "gensigtest") return {};
    SoapySDR::Kwargs found = args;
    found["driver"] = "gensigtest";
    found["label"] = "gensignal test device";
    return {found};
}

SoapySDR::Device* makeTestDevice(const SoapySDR::Kwargs& args) { return new TestDevice(args); }

const SoapySDR::Registry registerTestDevice("gensigtest", &findTestDevice, &makeTestDevice, SOAPY_SDR_ABI_VERSION);

}  // namespace
