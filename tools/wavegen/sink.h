// Where wavegen's bytes go: standard output ("-"), or a file written under
// a temporary name beside its final one and renamed into place by commit()
// only when whole, so that a failure leaves what was there before exactly
// as it was. A failed write or close keeps the operating system's reason.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class Sink {
public:
    explicit Sink(const std::string& path);
    ~Sink();  // removes the temporary file unless committed
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    bool write(const void* data, size_t size);
    // Flushes, syncs and closes the file (flushes standard output); false on failure.
    bool finish();
    // Gives a finished file its final name (replacing what is there, a
    // symbolic link included, without following it); false on failure.
    bool commit();
    // Removes the temporary file after a failure.
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
    std::string path_;
    std::string temp_;  // empty once committed or removed
    std::string name_;
    std::string reason_;
};

// Empty when the file system that holds `path` has `bytes` free, else the
// refusal ("the recording needs 8.0 GB (8000000044 bytes); the file system
// of /data has 1.2 GB free").
std::string spaceRefusal(const std::string& path, double bytes);
