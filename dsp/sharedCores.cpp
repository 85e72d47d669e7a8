#include "sharedCores.h"

#include <fcntl.h>
#include <omp.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kRecheckNanoseconds = 5'000'000;

std::atomic<int64_t> checkedAt{INT64_MIN};
std::atomic<int> freeCores{0};  // 0: not known
std::atomic<int> lastLook{0};   // what the last look saw; 0: none yet

int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A small file of /proc into `text`, NUL-terminated; its length, or -1.
int readSmall(const char* path, char* text, int size) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const ssize_t got = read(fd, text, static_cast<size_t>(size - 1));
    close(fd);
    if (got < 0) return -1;
    text[got] = '\0';
    return static_cast<int>(got);
}

// Runnable threads on the machine: the first number of loadavg's fourth
// field ("running/total"), counted as it is read.
int runnableOnMachine() {
    char text[256];
    if (readSmall("/proc/loadavg", text, sizeof text) < 0) return -1;
    const char* p = text;
    for (int field = 0; field < 3 && p; ++field) {
        p = std::strchr(p, ' ');
        if (p) ++p;
    }
    return p ? std::atoi(p) : -1;
}

// A process with more threads than this is not looked through: its
// teams stay as the host chose them.
constexpr int kMostTasksRead = 256;

// Runnable threads of this process (the caller among them), counted up to
// `enough`: the state after the command's closing parenthesis in each
// task's stat. The task list is read with getdents64 into the stack, so
// nothing is allocated. -1 when it cannot be read.
int runnableHere(int enough) {
    const int dir = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    int running = 0, looked = 0;
    alignas(8) char entries[4096];
    for (;;) {
        const long got = syscall(SYS_getdents64, dir, entries, sizeof entries);
        if (got <= 0 || running >= enough) break;
        for (long at = 0; at < got;) {
            const char* name = entries + at + 19;  // d_ino 8, d_off 8, d_reclen 2, d_type 1
            unsigned short length;
            std::memcpy(&length, entries + at + 16, sizeof length);
            at += length;
            if (name[0] < '0' || name[0] > '9') continue;
            if (running >= enough) break;
            if (++looked > kMostTasksRead) {
                close(dir);
                return -1;
            }
            char path[64], line[512];
            std::snprintf(path, sizeof path, "/proc/self/task/%s/stat", name);
            if (readSmall(path, line, sizeof line) < 0) continue;
            const char* paren = std::strrchr(line, ')');
            if (paren && paren[1] == ' ' && paren[2] == 'R') ++running;
        }
    }
    close(dir);
    return running;
}

// The cores other processes leave free, or kAlone when they use none (the
// team is then the host's to choose, even above the processor count).
constexpr int kAlone = 1 << 20;

// Read at every look, so that a test can turn it off.
bool hostTeams() {
    const char* v = std::getenv("GENSIGNAL_TEAMS");
    return v && std::strcmp(v, "host") == 0;
}

int measureFreeCores() {
    if (hostTeams()) return kAlone;
    // Our own team threads go between spinning and sleeping while the
    // files are read: one counted running by the machine but asleep by the
    // time its stat is read would pass for another process and halve an
    // idle machine's team. Our tasks are counted before and after, and a
    // thread running at either look is ours.
    const int before = runnableHere(kMostTasksRead);
    const int machine = runnableOnMachine();
    if (machine <= 1) return kAlone;  // the caller alone, or no /proc
    const int after = runnableHere(kMostTasksRead);
    if (before < 0 || after < 0) return kAlone;
    const int others = machine - std::max(before, after);
    return others <= 0 ? kAlone : std::max(1, omp_get_num_procs() - others);
}

}  // namespace

int teamOnFreeCores(int wanted) {
    if (wanted <= 1) return 1;
    const int64_t t = now();
    int cores = freeCores.load(std::memory_order_relaxed);
    if (cores == 0 || t - checkedAt.load(std::memory_order_relaxed) > kRecheckNanoseconds) {
        checkedAt.store(t, std::memory_order_relaxed);
        const int seen = measureFreeCores();
        const int before = lastLook.exchange(seen, std::memory_order_relaxed);
        // Other processes count once two looks in a row see them: a thread
        // runnable for a moment (a shell, a kernel worker) would otherwise
        // halve an idle machine's teams until the next look. The first
        // look stands alone, so that a single call on a busy machine fits.
        cores = before == 0 ? seen : std::max(seen, before);
        freeCores.store(cores, std::memory_order_relaxed);
    }
    return std::min(wanted, cores);
}

int availableTeam() { return teamOnFreeCores(omp_get_max_threads()); }
