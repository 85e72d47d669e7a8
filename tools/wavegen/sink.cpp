#include "sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file beside `path`, "path.3f9a0c.partial", created exclusively so
// that two writers never share one; -1 with errno on failure.
int createTemporary(const std::string& path, std::string& temp) {
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.partial", static_cast<unsigned>(entropy()));
        temp = path + suffix;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

std::string sizeText(double bytes) {
    static const std::pair<double, const char*> units[] = {{1e12, "TB"}, {1e9, "GB"}, {1e6, "MB"}, {1e3, "kB"}};
    char text[64];
    for (const auto& [scale, unit] : units)
        if (bytes >= scale) {
            std::snprintf(text, sizeof text, "%.1f %s", bytes / scale, unit);
            return text;
        }
    std::snprintf(text, sizeof text, "%.0f bytes", bytes);
    return text;
}

}  // namespace

Sink::Sink(const std::string& path) : standardOutput_(path == "-"), path_(path) {
    name_ = standardOutput_ ? "standard output" : path;
    if (standardOutput_) {
        file_ = stdout;
        return;
    }
    // A folder in the way would refuse only the rename, after the files before it were renamed.
    struct stat there {};
    if (::lstat(path.c_str(), &there) == 0 && S_ISDIR(there.st_mode)) {
        fail(EISDIR);
        return;
    }
    const int fd = createTemporary(path, temp_);
    if (fd < 0) {
        fail(errno);
        temp_.clear();
        return;
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        fail(errno);
        ::close(fd);
        discard();
    }
}

Sink::~Sink() { discard(); }

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
        // Synced before the rename, so that the new name never points at data still unwritten.
        if (ok() && ::fsync(::fileno(file_)) != 0) fail(errno);
        if (std::fclose(file_) != 0) fail(errno);
        file_ = nullptr;
    }
    return ok();
}

bool Sink::commit() {
    if (standardOutput_) return ok();
    if (!ok() || file_ || temp_.empty()) return false;
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        fail(errno);
        return false;
    }
    temp_.clear();
    return true;
}

void Sink::discard() {
    if (file_ && !standardOutput_) std::fclose(file_);
    if (!standardOutput_) file_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

std::string spaceRefusal(const std::string& path, double bytes) {
    const std::string folder = folderOf(path);
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return {};  // the writing will say what is wrong
    const double free = static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
    if (bytes <= free) return {};
    char text[96];
    std::snprintf(text, sizeof text, " (%.0f bytes)", bytes);
    return "the recording needs " + sizeText(bytes) + text + "; the file system of " + folder + " has " +
           sizeText(free) + " free";
}
