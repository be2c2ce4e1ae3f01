// SPDX-License-Identifier: GPL-3.0-or-later
// The station's status file read back: the first file whose station still
// runs is shown; a torn file, someone else's, or one left by a station that
// did not end is passed over, and with nothing else "no station" is said.
#include "shell/reports/station_status_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "shell/records/station_status.h"

namespace {

namespace fs = std::filesystem;

TEST(StationStatus, TheFirstFileOfARunningStationIsShownAndEveryOtherPassedOver)
{
    const fs::path dir = fs::temp_directory_path() / ("zx-status-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    StationStatus running;
    running.pid = ThisProcessId();
    running.heading = Message::Raw("Station (2 updated)");
    StationStatusRow silent;
    silent.name = Message::Raw("Calculator \"A\"\tone");   // as written, escaped on the way
    silent.phase = Message(N_("Sending the OS image..."));
    silent.percent = 42;
    silent.silentSeconds = 12;
    StationStatusRow done;
    done.name = Message::Raw("usb 1-1.2");
    done.phase = Message(N_("updated"));
    done.percent = 100;
    done.finished = true;
    running.rows = {silent, done};
    StationStatus ended = running;
    ended.pid = 0x7ffffffe;   // no such process
    const std::string whole = StationStatusText(running);
    const struct {
        const char* name;
        std::string text;
    } files[] = {
        {"torn", whole.substr(0, whole.size() / 2)},
        {"not ours", "{\"pid\": 1, \"rows\": [1, 2]}\n"},
        {"left behind", StationStatusText(ended)},
        {"running", whole},
    };
    std::vector<std::string> candidates = {(dir / "missing").string()};
    for (const auto& f : files) {
        std::ofstream(dir / f.name, std::ios::binary) << f.text;
        candidates.push_back((dir / f.name).string());
    }
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(ReportStationStatus(candidates, nullptr, 0, out, COwnLines(err, nullptr)), 0) << err.str();
    EXPECT_EQ(out.str(), "Station (process " + std::to_string(running.pid) +
                             "), as of " + IsoUtc(running.written) + ": Station (2 updated)\n"
                             "calculator           phase                    done   silent\n"
                             "Calculator \"A\"\\tone  Sending the OS image...  42 %   12 s\n"
                             "usb 1-1.2            updated\n")
        << out.str();
    EXPECT_EQ(err.str(), "");

    candidates.pop_back();   // only the files no running station stands behind
    std::ostringstream none;
    EXPECT_EQ(ReportStationStatus(candidates, nullptr, 0, none, COwnLines(err, nullptr)), kExitNoStation);
    EXPECT_EQ(none.str(), "");
    EXPECT_NE(err.str().find("no station is running on this computer"), std::string::npos) << err.str();
    fs::remove_all(dir);
}

TEST(StationStatus, AStationWritesWhereItsServiceOrItsUserKeepsRunningFiles)
{
#ifndef _WIN32
    const std::optional<StationStatusPlace> service = StationStatusPlaceFor("/run/zentrix-update-station", "/run/user/1000");
    ASSERT_TRUE(service);
    EXPECT_EQ(service->path, "/run/zentrix-update-station/station-status");
    EXPECT_EQ(service->mode, 0644u);   // for an administrator who is not the service
    const std::optional<StationStatusPlace> user = StationStatusPlaceFor(nullptr, "/run/user/1000");
    ASSERT_TRUE(user);
    EXPECT_EQ(user->path, "/run/user/1000/zentrix-update-station-status");
    EXPECT_EQ(user->mode, 0600u);
    EXPECT_FALSE(StationStatusPlaceFor("", ""));
    EXPECT_EQ(StationStatusCandidates(nullptr, "/run/user/1000"),
              (std::vector<std::string>{"/run/zentrix-update-station/station-status",
                                        "/run/user/1000/zentrix-update-station-status"}));
#endif
}

}  // namespace
