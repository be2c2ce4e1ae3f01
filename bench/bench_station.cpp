// SPDX-License-Identifier: GPL-3.0-or-later
// The station as a user runs it (zentrix-update --watch in console mode),
// measured from outside: for 8 calculators plugged in one after another (a
// pty of the benchmark's own appearing under a listed name), the time from
// the name appearing to the calculator's first packet, side by side with the
// station's slow rescan period that would find it without the device
// events; then the station's CPU time over 20 s with nothing plugged in, as
// a share of one core.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPlugs = 8;
constexpr double kRescanMs = 5000;   // the station's safety-net rescan
constexpr int kIdleSeconds = 20;

pid_t StartStation(const fs::path& dir, const std::string& devices)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("ZENTRIX_UI", "console", 1);
        setenv("ZENTRIX_DEVICES", devices.c_str(), 1);
        setenv("ZENTRIX_USB_IDS", "", 1);
        setenv("ZENTRIX_REPLY_TIMEOUT", "1", 1);
        setenv("TMPDIR", dir.c_str(), 1);
        // Connect and both warnings answered; the rest of input is silence.
        if (std::freopen("/dev/null", "w", stdout) == nullptr ||
            std::freopen((dir / "station.log").c_str(), "w", stderr) == nullptr ||
            std::freopen((dir / "answers").c_str(), "r", stdin) == nullptr) {
            _exit(126);
        }
        execl(ZENTRIX_UPDATE_BIN, ZENTRIX_UPDATE_BIN, "--watch", (dir / "img").c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

// CPU time (user + system) of a process so far, in seconds.
double CpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = close + 2; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += text[i];
        }
    }
    // Fields after the name start at state (3); utime and stime are 14 and 15.
    return fields.size() > 13 ? (std::stod(fields[11]) + std::stod(fields[12])) / sysconf(_SC_CLK_TCK) : 0;
}

// Plugs a calculator that never answers: the milliseconds from its name
// appearing to its first byte from the station; -1 when none came in 10 s.
double PlugAndTime(const fs::path& name)
{
    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
        return -1;
    }
    const auto start = Clock::now();
    fs::create_symlink(slaveName, name);
    struct pollfd wait = {master, POLLIN, 0};
    const bool came = poll(&wait, 1, 10000) == 1;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    // Unplugged again once the run has given up on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    fs::remove(name);
    close(slave);
    close(master);
    return came ? ms : -1;
}

}  // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-bench-station-" + std::to_string(getpid()));
    fs::create_directories(dir / "img");
    std::ofstream(dir / "answers") << "ok\nok\nok\n";
    const std::string demo = std::string(ZENTRIX_SIM_BIN) + " --write-demo-images " + (dir / "img").string() +
                             " >/dev/null";
    if (std::system(demo.c_str()) != 0) {
        std::fprintf(stderr, "bench_station: cannot write the demo images\n");
        return 1;
    }
    std::string devices;
    for (int i = 0; i < kPlugs; ++i) {
        devices += (dir / ("port-" + std::to_string(i))).string() + ";";
    }
    const pid_t station = StartStation(dir, devices);
    std::this_thread::sleep_for(std::chrono::seconds(2));   // past the prompts

    const double idleStart = CpuSeconds(station);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const double idleCpu = CpuSeconds(station) - idleStart;

    std::vector<double> latencies;
    for (int i = 0; i < kPlugs; ++i) {
        latencies.push_back(PlugAndTime(dir / ("port-" + std::to_string(i))));
    }
    kill(station, SIGTERM);
    waitpid(station, nullptr, 0);
    fs::remove_all(dir);

    const bool allCame = std::none_of(latencies.begin(), latencies.end(), [](double ms) { return ms < 0; });
    std::sort(latencies.begin(), latencies.end());
    std::printf("station idle: %.2f s of CPU in %d s, %.2f %% of one core\n", idleCpu, kIdleSeconds,
                100.0 * idleCpu / kIdleSeconds);
    if (!allCame) {
        std::printf("plug to first packet: some of %d calculators got no packet within 10 s\n", kPlugs);
        return 1;
    }
    std::printf("plug to first packet over %d plugs: median %.0f ms, max %.0f ms; "
                "ratio to the %.0f ms rescan period: median %.3f, max %.3f\n",
                kPlugs, latencies[kPlugs / 2], latencies.back(), kRescanMs, latencies[kPlugs / 2] / kRescanMs,
                latencies.back() / kRescanMs);
    return 0;
}
