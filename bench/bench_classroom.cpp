// SPDX-License-Identifier: GPL-3.0-or-later
// Many calculators at once: the OS-image phase of 1, 4, 8, 16 and 30 runs
// started by the classroom (one thread and one row port each, the rows read
// by a polling view as the front ends do), each against its own pty whose
// responder takes about 2 ms per reply, as a full-speed USB link does.
// Prints, for each count, the time against one calculator, the CPU time of
// the runs per block, the runs' own allocations per block and the peak
// resident size of the process.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "protocol/catalogue.h"
#include "protocol/codec.h"
#include "shell/session/classroom.h"
#include "shell/session/front_end.h"
#include "update/image_files.h"
#include "update/image_transfer.h"
#include "update/update_run.h"

namespace {

// Counted per thread: each run counts only its own.

constexpr size_t kImageSize = 256u << 10;
using bench::Best;
using bench::ImagePackets;

using bench::Seconds;
constexpr int kRounds = 3;
constexpr auto kReplyDelay = std::chrono::microseconds(2000);

struct Pty {
    int master = -1;
    int slave = -1;
    std::string name;
};


// Reads the rows as a front end does, and shows nothing.
class PollingView : public IClassroomView {
public:
    void ShowRows(const std::vector<ClassroomRow>& rows, const Message&) override { m_rows = rows.size(); }
    ClassroomRequest Serve(uint32_t ms) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return ClassroomRequest::None;
    }
    void ShowSummary(const std::vector<Message>&, const RunTally&) override {}
    void CloseRows() override {}

private:
    size_t m_rows = 0;
};

class NoBoxes : public IFrontEnd {
public:
    int MessageBox(const Message&, const Message&, unsigned, const Message&) override { return IDCANCEL; }
    void PostQuitMessage(int) override {}
    void OpenProgress(const char*, int) override {}
    void StepProgress() override {}
    void SetProgressPos(int) override {}
    void SetProgressRange(int) override {}
    void CloseProgress() override {}
    void Warn(const Message&) override {}
    bool SetCloseEnabled(bool) override { return false; }
    bool KeepWaiting(const ReplyWait&) override { return true; }
};

double ThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Measure {
    double seconds = 0;
    double cpuSeconds = 0;   // of the run threads, in the OS-image phase
    long allocations = 0;    // in the OS-image phases, all runs together
    bool ok = true;
};

// One round: `count` calculators at once through the classroom.
Measure Round(size_t count, const std::string& imagePath)
{
    std::vector<Pty> ptys(count);
    for (Pty& p : ptys) {
        char name[256] = {};
        if (::openpty(&p.master, &p.slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        termios t{};
        tcgetattr(p.slave, &t);
        cfmakeraw(&t);
        tcsetattr(p.slave, TCSANOW, &t);
        p.name = name;
    }
    std::vector<std::unique_ptr<bench::CAckResponder>> responders;
    for (const Pty& p : ptys) {
        responders.push_back(std::make_unique<bench::CAckResponder>(p.master, kReplyDelay));
    }
    std::atomic<long> cpuMicroseconds{0};
    std::atomic<long> allocations{0};
    std::atomic<bool> ok{true};
    std::atomic<long> lastEnd{0};
    std::vector<std::string> names;
    for (const Pty& pty : ptys) {
        names.push_back(pty.name);
    }
    CListedDeviceSource devices(names, [] { return std::make_unique<CUsbChannel>(); }, Message::Raw("the benchmark's ptys"));
    PollingView view;
    NoBoxes boxes;
    CClassroom::Inputs inputs;
    inputs.devices = &devices;
    inputs.frontEnd = &boxes;
    inputs.view = &view;
    // Each run: its calculator opened, then the OS-image phase, measured on
    // the run's own thread.
    inputs.runUpdate = [&](const UpdateRunInputs& in) {
        auto channel = in.devices->NewChannel();
        channel->m_closePauseMs = 0;
        if (channel->Open(in.devicePath.c_str()) != ChannelOk) {
            ok = false;
            return UpdateOutcome{Failed, Message::Raw("cannot open")};
        }
        CUpdateRun run(in, std::move(channel));
        Message problem;
        ImageSnapshot& os = run.m_images.os;
        if (!os.copy.Make(imagePath, "", problem) || !os.copy.QuerySize(os.size)) {
            ok = false;
            return UpdateOutcome{Failed, problem};
        }
        run.m_blockSize = bench::kBlockSize;
        run.m_stubBlockCount = 1;
        const long before = bench::t_news;
        const double cpu = ThreadCpuSeconds();
        const bool written = WriteOsImage(run);
        cpuMicroseconds += static_cast<long>((ThreadCpuSeconds() - cpu) * 1e6);
        allocations += bench::t_news - before;
        // The last run to end sets the time of the whole set.
        const long end = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
        long seen = lastEnd;
        while (seen < end && !lastEnd.compare_exchange_weak(seen, end)) {
        }
        ok = ok && written;
        return UpdateOutcome{written ? Success : Failed, {}};
    };
    Measure m;
    {
        CClassroom classroom(std::move(inputs));
        // From the start of the set to the end of its last OS-image phase:
        // the view's polling period does not round it.
        const long start = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        classroom.RunAllAtOnce();
        m.seconds = static_cast<double>(lastEnd - start) / 1e6;
    }
    responders.clear();
    for (Pty& p : ptys) {
        ::close(p.slave);
        ::close(p.master);
    }
    m.cpuSeconds = static_cast<double>(cpuMicroseconds) / 1e6;
    m.allocations = allocations;
    m.ok = ok;
    return m;
}

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main()
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zx-bench-class-" + std::to_string(::getpid()));
    const std::vector<uint8_t> image = bench::WriteBenchImage(dir, kImageSize);
    const std::string imagePath = (dir / kOsImageFileName).string();
    const double blocks = static_cast<double>(kImageSize / bench::kBlockSize);

    std::printf("classroom: OS-image phase of a %zu KiB image per calculator, replies after %.1f ms, all at once; "
                "best of %d rounds per count\n",
                kImageSize >> 10, std::chrono::duration<double, std::milli>(kReplyDelay).count(), kRounds);
    double one = 0;
    bool allOk = true;
    for (const size_t count : {1u, 4u, 8u, 16u, 30u}) {
        Measure best;
        for (int round = 0; round < kRounds; ++round) {
            const Measure m = Round(count, imagePath);
            allOk = allOk && m.ok;
            if (round == 0 || m.seconds < best.seconds) {
                best = m;
            }
        }
        if (count == 1) {
            one = best.seconds;
        }
        const double totalBlocks = blocks * static_cast<double>(count);
        std::printf("classroom %2zu calculators: %.3f s, time ratio %.2f against one%s; CPU %.1f us per block; "
                    "%.4f allocations per block; peak RSS %ld KiB\n",
                    count, best.seconds, best.seconds / one, count == 8 ? " (target <= 1.25)" : "",
                    best.cpuSeconds / totalBlocks * 1e6, static_cast<double>(best.allocations) / totalBlocks,
                    PeakRssKiB());
    }
    fs::remove_all(dir);
    if (!allOk) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    return 0;
}
