// The serial-then-parallel block pipeline: the serial pass runs in order on
// the calling thread, every block's parallel pass runs exactly once and
// only after the serial pass of the block and of its lookahead.
#include <gtest/gtest.h>
#include <omp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "blockPipeline.h"
#include "shareClaims.h"
#include "threadRows.h"
#include "sharedCores.h"

namespace {

struct PipelineCase {
    int64_t blocks;
    int team;
    int64_t lookahead;
};

class BlockPipeline : public ::testing::TestWithParam<PipelineCase> {};

TEST_P(BlockPipeline, OrderAndReadiness) {
    const PipelineCase c = GetParam();
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int64_t> serialOrder;
    std::unique_ptr<std::atomic<int>[]> serialDone(new std::atomic<int>[c.blocks]);
    std::unique_ptr<std::atomic<int>[]> runs(new std::atomic<int>[c.blocks]);
    for (int64_t b = 0; b < c.blocks; ++b) serialDone[b] = runs[b] = 0;
    std::atomic<bool> offThread{false}, early{false};
    runBlockPipeline(
        c.blocks, c.team, c.lookahead,
        [&](int64_t b) {
            if (std::this_thread::get_id() != caller) offThread = true;
            serialOrder.push_back(b);
            serialDone[b] = 1;
        },
        [&](int64_t b) {
            const int64_t last = b + c.lookahead < c.blocks - 1 ? b + c.lookahead : c.blocks - 1;
            for (int64_t k = 0; k <= last; ++k)
                if (!serialDone[k]) early = true;
            ++runs[b];
        });
    EXPECT_FALSE(offThread) << "a serial pass ran off the calling thread";
    EXPECT_FALSE(early) << "a parallel pass started before its serial passes";
    ASSERT_EQ(serialOrder.size(), static_cast<size_t>(c.blocks));
    for (int64_t b = 0; b < c.blocks; ++b) {
        EXPECT_EQ(serialOrder[b], b);
        EXPECT_EQ(runs[b], 1) << "block " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockPipeline,
                         ::testing::Values(PipelineCase{0, 2, 0}, PipelineCase{1, 1, 0}, PipelineCase{1, 3, 1},
                                           PipelineCase{2, 2, 1}, PipelineCase{500, 1, 0}, PipelineCase{500, 2, 0},
                                           PipelineCase{500, 3, 1}, PipelineCase{777, 3, 2}),
                         [](const auto& info) {
                             return "blocks" + std::to_string(info.param.blocks) + "_team" +
                                    std::to_string(info.param.team) + "_ahead" + std::to_string(info.param.lookahead);
                         });

TEST(BlockPipeline, SmallCallsStayOnOneThread) {
    const int saved = omp_get_max_threads();
    omp_set_num_threads(4);
    EXPECT_EQ(teamFor(0, 100), 1);
    EXPECT_EQ(teamFor(199, 100), 1);
    EXPECT_EQ(teamFor(200, 100), 2);
    EXPECT_EQ(teamFor(1000000, 100), 4);
    omp_set_num_threads(saved);
}

// Blocks handed out in shares: every block exactly once whatever the
// team, and a thread alone takes its own share first, then the others'.
struct ClaimCase {
    int64_t blocks;
    int shares;
    int threads;  // a team above the shares, or below them (a thread that never came)
};

class ShareClaimsRun : public ::testing::TestWithParam<ClaimCase> {};

TEST_P(ShareClaimsRun, EveryBlockOnceOwnShareFirst) {
    const ClaimCase c = GetParam();
    ShareClaims claims(c.blocks, c.shares);
    std::vector<std::vector<int64_t>> taken(static_cast<size_t>(c.threads));
#pragma omp parallel num_threads(c.threads)
    {
        const int t = omp_get_thread_num();
        for (int64_t b; (b = claims.next(t)) >= 0;) taken[t].push_back(b);
    }
    std::vector<int> runs(static_cast<size_t>(c.blocks), 0);
    for (const auto& blocks : taken)
        for (int64_t b : blocks) {
            ASSERT_GE(b, 0);
            ASSERT_LT(b, c.blocks);
            ++runs[b];
        }
    for (int64_t b = 0; b < c.blocks; ++b) EXPECT_EQ(runs[b], 1) << "block " << b;
}

INSTANTIATE_TEST_SUITE_P(Cases, ShareClaimsRun,
                         ::testing::Values(ClaimCase{0, 2, 2}, ClaimCase{1, 2, 2}, ClaimCase{5, 8, 3},
                                           ClaimCase{1000, 1, 3}, ClaimCase{1000, 2, 2}, ClaimCase{1000, 3, 1},
                                           ClaimCase{1001, 2, 5}, ClaimCase{999, 100, 4}),
                         [](const auto& info) {
                             return "blocks" + std::to_string(info.param.blocks) + "_shares" +
                                    std::to_string(info.param.shares) + "_threads" + std::to_string(info.param.threads);
                         });

TEST(ShareClaims, OneThreadAloneTakesItsShareThenTheOthersInOrder) {
    ShareClaims claims(10, 2);
    std::vector<int64_t> order;
    for (int64_t b; (b = claims.next(1)) >= 0;) order.push_back(b);
    EXPECT_EQ(order, (std::vector<int64_t>{5, 6, 7, 8, 9, 0, 1, 2, 3, 4}));
    ShareClaims single(4, 1);
    EXPECT_EQ(single.next(3), 0);
    EXPECT_EQ(single.next(0), 1);
}

// Each thread's row starts a 128-byte stretch of its own and holds its
// count without reaching the next row, whatever malloc hands back.
TEST(ThreadRows, RowsShareNoCacheLine) {
    for (size_t count : {size_t{1}, size_t{8}, size_t{15}, size_t{16}, size_t{17}, size_t{1000}})
        for (int threads : {1, 2, 3, 7}) {
            // Allocations of odd sizes in between move malloc's addresses.
            std::vector<std::unique_ptr<char[]>> shift;
            for (int k = 0; k < threads; ++k) shift.emplace_back(new char[16 * k + 8]);
            const ThreadRows<double> rows(count, threads);
            ASSERT_TRUE(rows);
            for (int t = 0; t < threads; ++t) {
                const uintptr_t at = reinterpret_cast<uintptr_t>(rows.row(t));
                EXPECT_EQ(at % 128, 0u) << count << " values, thread " << t;
                if (t + 1 < threads) {
                    EXPECT_GE(reinterpret_cast<uintptr_t>(rows.row(t + 1)), at + count * sizeof(double));
                }
            }
            EXPECT_GE(rows.bytes(), (reinterpret_cast<uintptr_t>(rows.row(threads - 1)) + count * sizeof(double)) -
                                        reinterpret_cast<uintptr_t>(rows.row(0)));
        }
}

// While other processes keep every processor busy, a team thread would wait
// for a time slice at each region's end: teams shrink to the calling
// thread. Threads of this process do not count against it.
// Busy processes, one per core asked for, stopped by pid.
class Spinners {
public:
    explicit Spinners(int count) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid < 0) return;
            if (pid == 0)
                for (volatile unsigned long spin = 0;; spin = spin + 1) {
                }
            pids_.push_back(pid);
        }
        started_ = true;
    }
    ~Spinners() { stop(); }
    bool started() const { return started_; }
    void stop() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pids_.clear();
    }

private:
    std::vector<pid_t> pids_;
    bool started_ = false;
};

TEST(SharedCores, TeamsShrinkToOneWhileOtherProcessesFillTheCores) {
    // The test presets keep the host's teams; this test is about the rule.
    const char* teams = std::getenv("GENSIGNAL_TEAMS");
    const std::string saved = teams ? teams : "";
    unsetenv("GENSIGNAL_TEAMS");
    const int processors = omp_get_num_procs();
    Spinners spinners(processors);
    ASSERT_TRUE(spinners.started());
    // Two looks past the recheck interval with the spinners on the cores:
    // a moment's load at one look alone does not count.
    usleep(20000);
    teamOnFreeCores(processors + 1);
    usleep(20000);
    const int loaded = teamOnFreeCores(processors + 1);
    const int team = teamNowFor(int64_t{1} << 30, 1);
    spinners.stop();
    if (teams) setenv("GENSIGNAL_TEAMS", saved.c_str(), 1);
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(team, 1);
    EXPECT_EQ(teamOnFreeCores(1), 1);
}

TEST(SharedCores, HostTeamsStandWhenAskedForWhateverTheLoad) {
    const char* teams = std::getenv("GENSIGNAL_TEAMS");
    const std::string saved = teams ? teams : "";
    setenv("GENSIGNAL_TEAMS", "host", 1);
    const int processors = omp_get_num_procs();
    Spinners spinners(processors);
    ASSERT_TRUE(spinners.started());
    usleep(20000);
    const int loaded = teamOnFreeCores(processors + 1);
    spinners.stop();
    if (teams)
        setenv("GENSIGNAL_TEAMS", saved.c_str(), 1);
    else
        unsetenv("GENSIGNAL_TEAMS");
    EXPECT_EQ(loaded, processors + 1);
}

}  // namespace
