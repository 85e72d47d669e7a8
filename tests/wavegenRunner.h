// Running the wavegen program end to end: a scratch directory per test,
// the program's exit status and console text, the files it wrote, and the
// comparison of a written data file with the library's own I/Q buffer.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "wrapperGenSignalWave.h"

#ifndef WAVEGEN_PATH
#define WAVEGEN_PATH ""  // no wavegen in this build: its tests skip
#endif

// A scratch directory for wavegen runs, removed again with the object.
class WavegenDir {
public:
    WavegenDir() = default;
    WavegenDir(const WavegenDir&) = delete;
    WavegenDir& operator=(const WavegenDir&) = delete;
    ~WavegenDir() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }

    // Skips the current test when wavegen is not built; otherwise makes the
    // directory. Check ready() afterwards (a skip or failure leaves it false).
    void open() {
        if (std::string(WAVEGEN_PATH).empty()) GTEST_SKIP() << "wavegen not built";
        char tmpl[] = "/tmp/wavegen_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    bool ready() const { return !dir_.empty(); }
    const std::string& dir() const { return dir_; }

    // Runs wavegen with `args` in the directory; returns the exit status (-1
    // when it did not exit normally) and leaves stdout+stderr in `output`.
    int run(const std::string& args, std::string& output) const {
        const std::string cmd = "cd " + dir_ + " && " + WAVEGEN_PATH + " " + args + " > out.txt 2>&1";
        const int status = std::system(cmd.c_str());
        output = readText("out.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // A file of the directory, empty when it does not exist.
    std::vector<char> readFile(const std::string& name) const {
        std::ifstream f(dir_ + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    std::string readText(const std::string& name) const {
        const auto bytes = readFile(name);
        return {bytes.begin(), bytes.end()};
    }

private:
    std::string dir_;
};

// Fixture for wavegen tests: the directory exists for the test body, and the
// test is skipped when wavegen is not built.
class WavegenRun : public ::testing::Test, protected WavegenDir {
protected:
    void SetUp() override { open(); }
};

// The library's buffer for one request, made through an entry point on a
// handle of its own: `generate(handle, &iq, &count)` returns the result code.
struct LibraryIq {
    int rc = -1;
    std::vector<int16_t> iq;
};
template <class Generate>
LibraryIq libraryIq(Generate generate) {
    const int h = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 0;
    LibraryIq r;
    r.rc = generate(h, &iq, &count);
    if (r.rc == 0) r.iq.assign(iq, iq + count);
    GenSignalObjRelease(h);
    return r;
}

// Whether `data` (as written: little-endian int16 I/Q) holds exactly the
// `count` values of the library's buffer `iq`; names the first difference.
inline ::testing::AssertionResult sameSamples(const std::vector<char>& data, const int16_t* iq, int count) {
    if (data.size() != static_cast<size_t>(count) * 2)
        return ::testing::AssertionFailure()
               << "file has " << data.size() << " bytes, library buffer " << count << " values";
    for (int i = 0; i < count; ++i) {
        const auto lo = static_cast<uint8_t>(data[2 * i]);
        const auto hi = static_cast<uint8_t>(data[2 * i + 1]);
        const auto value = static_cast<int16_t>(lo | (hi << 8));
        if (value != iq[i])
            return ::testing::AssertionFailure() << "value " << i << ": file " << value << ", library " << iq[i];
    }
    return ::testing::AssertionSuccess();
}
inline ::testing::AssertionResult sameSamples(const std::vector<char>& data, const std::vector<int16_t>& iq) {
    return sameSamples(data, iq.data(), static_cast<int>(iq.size()));
}
