#include "sink.h"

#include <cerrno>
#include <cstring>

Sink::Sink(const std::string& path) : standardOutput_(path == "-"), path_(path) {
    name_ = standardOutput_ ? "standard output" : path;
    if (standardOutput_) {
        file_ = stdout;
        return;
    }
    file_ = std::fopen(path.c_str(), "wb");
    created_ = file_ != nullptr;
    if (!file_) fail(errno);
}

Sink::~Sink() {
    if (file_ && !standardOutput_) std::fclose(file_);
}

void Sink::fail(int error) {
    if (reason_.empty()) reason_ = error != 0 ? std::strerror(error) : "write error";
}

bool Sink::write(const void* data, size_t size) {
    if (!ok()) return false;
    errno = 0;
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) fail(errno);
    return ok();
}

bool Sink::finish() {
    if (!file_) return false;
    errno = 0;
    if (std::fflush(file_) != 0) fail(errno);
    if (!standardOutput_) {
        if (std::fclose(file_) != 0) fail(errno);
        file_ = nullptr;
    }
    return ok();
}

void Sink::discard() {
    if (!created_) return;  // never what was there before (a folder, say)
    if (file_) std::fclose(file_);
    file_ = nullptr;
    std::remove(path_.c_str());
    created_ = false;
}
