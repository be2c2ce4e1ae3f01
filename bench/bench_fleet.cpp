// SPDX-License-Identifier: GPL-3.0-or-later
// `zentrix-update --history --by-calculator` over a district's records:
// the histories of 50 hosts read with --from, merged and reduced to one
// line per calculator. Four sets of files made here: 10,000 records of
// 3,000 calculators (the yardstick), 1,000,000 records of the same 3,000,
// 1,000,000 records of 30,000, and 1,000,000 records of as many
// calculators. For each, the time and the peak memory (resident set) with
// their ratios to the yardstick's: the memory grows with the calculators,
// not with the records. The last says what a calculator costs, and fails
// the benchmark past 400 MB for the million.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "measured_run.h"

namespace fs = std::filesystem;

namespace {

constexpr int kHosts = 50;
constexpr long kMillionCalculatorsMostKiB = 400L * 1000 * 1000 / 1024;


std::string Two(long n)
{
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// The history of host `host`: `records` runs, one a minute, of calculators
// taken in turn from `calculators`.
void MakeHostHistory(const fs::path& file, int host, long records, long calculators)
{
    std::ofstream out(file, std::ios::binary);
    for (long n = 0; n < records; ++n) {
        const long minute = n;   // every host's clock runs alike: the merge interleaves them all
        const std::string time = "2026-" + Two(1 + minute / 43200 % 12) + "-" + Two(1 + minute / 1440 % 28) + "T" +
                                 Two(minute / 60 % 24) + ":" + Two(minute % 60) + ":";
        const long calculator = (n * kHosts + host) % calculators;
        out << R"({"started": ")" << time << R"(00Z", "ended": ")" << time << R"(40Z", "device": "usb:1:7", )"
            << R"("usb_serial": "ZX-)" << calculator << R"(", "usb_port": "1-2.3", "model": "365E", )"
            << R"("os_before": "01.00.0000", "os_image": "01.05.0000", "route": "os", "block_size": 1024, )"
            << R"("result": ")" << (n % 7 == 0 ? "failed" : "success") << R"(", "reason": null, "mode": "all", )"
            << R"("host": "school-)" << host << R"(", "program_version": "1.0.0.1"})" << "\n";
    }
}

std::vector<std::string> MakeDistrict(const fs::path& dir, long records, long calculators)
{
    fs::create_directories(dir);
    std::vector<std::string> files;
    for (int host = 0; host < kHosts; ++host) {
        files.push_back((dir / ("host-" + std::to_string(host) + ".jsonl")).string());
        if (!fs::exists(files.back())) {
            MakeHostHistory(files.back(), host, records / kHosts, calculators);
        }
    }
    return files;
}

bench::Measure RunFleet(const std::vector<std::string>& files, const fs::path& state)
{
    std::vector<std::string> arguments = {ZENTRIX_UPDATE_BIN, "--history", "--by-calculator"};
    for (const std::string& file : files) {
        arguments.insert(arguments.end(), {"--from", file});
    }
    return bench::RunMeasured(arguments, state.string());
}

}  // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-bench-fleet-" + std::to_string(getpid()));
    const struct {
        const char* name;
        long records;
        long calculators;
    } districts[] = {{"10,000 records, 3,000 calculators", 10'000, 3'000},
                     {"1,000,000 records, 3,000 calculators", 1'000'000, 3'000},
                     {"1,000,000 records, 30,000 calculators", 1'000'000, 30'000},
                     {"1,000,000 records, 1,000,000 calculators", 1'000'000, 1'000'000}};
    int failed = 0;
    bench::Measure yardstick;
    for (const auto& district : districts) {
        const std::vector<std::string> files =
            MakeDistrict(dir / district.name, district.records, district.calculators);
        const bench::Measure m = RunFleet(files, dir / "state");
        if (&district == &districts[0]) {
            yardstick = m;
        }
        failed |= m.exitCode != 0;
        std::printf("--history --by-calculator, %d hosts, %-38s %7.2f s  peak %7ld KiB   ratio to 10,000 records: "
                    "time %6.1fx  memory %4.2fx\n",
                    kHosts, district.name, m.seconds, m.peakKiB, m.seconds / yardstick.seconds,
                    static_cast<double>(m.peakKiB) / yardstick.peakKiB);
        fs::remove_all(dir / district.name);
        if (district.calculators == 1'000'000) {
            failed |= m.peakKiB > kMillionCalculatorsMostKiB;
            std::printf("--history --by-calculator, 1,000,000 calculators: peak %.0f MB, %.0f bytes a calculator "
                        "(at most 400 MB: %s)\n",
                        m.peakKiB * 1024.0 / 1e6, m.peakKiB * 1024.0 / 1e6, m.peakKiB <= kMillionCalculatorsMostKiB ? "yes" : "no");
        }
    }
    fs::remove_all(dir);
    return failed;
}
