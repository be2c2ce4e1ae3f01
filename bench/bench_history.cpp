// SPDX-License-Identifier: GPL-3.0-or-later
// `zentrix-update --history` as a user runs it, on histories of three sizes
// made here: 1 MB of records (the yardstick), 40 MB of lines that are not
// records, and 300 MB of records. For each, the peak memory (resident set)
// and the time of the table, the JSON and the CSV forms, printed side by
// side with the yardstick's as ratios: the memory ratio stays near 1
// however large the file, as the history is read a line at a time.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "measured_run.h"

namespace fs = std::filesystem;

namespace {


// Writes about `bytes` of history to `file`: records, or lines that are not.
void MakeHistory(const fs::path& file, uint64_t bytes, bool records)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    std::string line;
    for (uint64_t written = 0, n = 0; written < bytes; written += line.size(), ++n) {
        const std::string serial = "ZX-" + std::to_string(n % 3000);
        line = records ? R"({"started": "2026-12-01T08:00:00Z", "ended": "2026-12-01T08:01:10Z", )"
                         R"("device": "usb:1:)" + std::to_string(n % 128) + R"(", "usb_serial": ")" + serial +
                             R"(", "usb_port": "1-2.3", "model": "365E", "os_before": "01.00.0000", )"
                             R"("os_image": "01.05.0000", "route": "os", "block_size": 1024, )"
                             R"("result": "updated", "reason": null, "mode": "all", "host": "lab", )"
                             R"("program_version": "1.0.0.1"})" "\n"
                       : "{\"started\": \"2026-12-01T0 torn by a power cut " + std::to_string(n) + "\n";
        out << line;
    }
}

bench::Measure RunHistory(const fs::path& state, const char* form)
{
    return bench::RunMeasured({ZENTRIX_UPDATE_BIN, "--history", form}, state.string());
}

}  // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-bench-history-" + std::to_string(getpid()));
    const struct {
        const char* name;
        uint64_t bytes;
        bool records;
    } sizes[] = {{"1 MB of records", 1u << 20, true},
                 {"40 MB of bad lines", 40u << 20, false},
                 {"300 MB of records", 300u << 20, true}};
    int failed = 0;
    for (const char* form : {"--table", "--json", "--csv"}) {
        bench::Measure yardstick;
        for (const auto& size : sizes) {
            const fs::path state = dir / size.name;
            if (!fs::exists(state)) {
                MakeHistory(state / "zentrix-update" / "history.jsonl", size.bytes, size.records);
            }
            // The table is --history alone.
            const bench::Measure m = RunHistory(state, std::string(form) == "--table" ? "--history" : form);
            if (&size == &sizes[0]) {
                yardstick = m;
            }
            failed |= m.exitCode != 0;
            std::printf("--history %-7s %-20s %7.2f s  peak %7ld KiB   ratio to 1 MB: time %6.1fx  memory %4.2fx\n",
                        form == std::string("--table") ? "" : form, size.name, m.seconds, m.peakKiB,
                        m.seconds / yardstick.seconds, static_cast<double>(m.peakKiB) / yardstick.peakKiB);
        }
    }
    fs::remove_all(dir);
    return failed;
}
