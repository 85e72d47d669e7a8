// Where wavegen's bytes go: a file it creates, or standard output ("-").
// A failed write or close keeps the operating system's reason.
#pragma once

#include <cstdio>
#include <string>

class Sink {
public:
    explicit Sink(const std::string& path);
    ~Sink();
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    bool write(const void* data, size_t size);
    // Flushes and closes a file (flushes standard output); false on failure.
    bool finish();
    // Removes the file this sink made, after a failure (nothing else, and
    // nothing for standard output).
    void discard();

    bool ok() const { return reason_.empty(); }
    // "x.sigmf-data" or "standard output".
    const std::string& name() const { return name_; }
    // "No space left on device"; empty while all went well.
    const std::string& reason() const { return reason_; }

private:
    void fail(int error);

    FILE* file_ = nullptr;
    bool standardOutput_ = false;
    bool created_ = false;
    std::string path_;
    std::string name_;
    std::string reason_;
};
