// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/records/station_status.h"

#include <algorithm>
#include <filesystem>

#include "i18n/safe_text.h"
#include "shell/files/safe_file.h"
#include "i18n/json_text.h"
#include "i18n/stored_message.h"
#include "shell/records/history_record.h"

namespace {

// The shortest time between two writes: a station's rows change at every
// block, its readers look now and then.
constexpr auto kWritePeriod = std::chrono::seconds(1);

void AppendField(std::string& line, const char* name, std::string_view value)
{
    line += line.empty() ? "{" : ", ";
    AppendJsonString(line, name);
    line += ": ";
    AppendJsonString(line, value);
}

void AppendMessage(std::string& line, const char* name, const char* storedName, const Message& message)
{
    AppendField(line, name, message.English());
    AppendField(line, storedName, StoreMessage(message).value_or(""));
}

}  // namespace

namespace {

constexpr const char* kStatusFileName = "station-status";

std::string FirstFolder(const char* folders)
{
    const std::string text = folders != nullptr ? folders : "";
    return text.substr(0, text.find(':'));   // the service manager may list several
}

std::string InFolder(const std::string& folder)
{
#ifdef _WIN32
    return folder + "\\zentrix-update\\" + kStatusFileName;
#else
    return folder + "/zentrix-update-station-status";
#endif
}

}  // namespace

std::optional<StationStatusPlace> StationStatusPlaceFor(const char* runtimeDirectory, const char* userRuntimeDir)
{
    const std::string service = FirstFolder(runtimeDirectory);
    if (!service.empty()) {
        return StationStatusPlace{service + "/" + kStatusFileName, 0644};
    }
    const std::string user = userRuntimeDir != nullptr ? userRuntimeDir : "";
    if (!user.empty()) {
        return StationStatusPlace{InFolder(user), 0600};
    }
    return std::nullopt;
}

std::vector<std::string> StationStatusCandidates(const char* runtimeDirectory, const char* userRuntimeDir)
{
    std::vector<std::string> places;
    const std::string own = FirstFolder(runtimeDirectory);
    if (!own.empty()) {
        places.push_back(own + "/" + kStatusFileName);
    }
#ifndef _WIN32
    const std::string service = std::string("/run/zentrix-update-station/") + kStatusFileName;
    if (places.empty() || places.front() != service) {
        places.push_back(service);
    }
#endif
    if (userRuntimeDir != nullptr && *userRuntimeDir != '\0') {
        const std::string user = InFolder(userRuntimeDir);
        if (std::find(places.begin(), places.end(), user) == places.end()) {
            places.push_back(user);
        }
    }
    return places;
}

std::string StationStatusText(const StationStatus& status)
{
    std::string head;
    AppendField(head, "pid", std::to_string(status.pid));
    AppendField(head, "written", IsoUtc(status.written));
    AppendMessage(head, "heading", "heading_message", status.heading);
    std::string text = head + "}\n";
    for (const StationStatusRow& row : status.rows) {
        std::string line;
        AppendMessage(line, "name", "name_message", row.name);
        AppendMessage(line, "phase", "phase_message", row.phase);
        AppendField(line, "percent", std::to_string(row.percent));
        AppendField(line, "silent_seconds", row.silentSeconds ? std::to_string(*row.silentSeconds) : "");
        AppendField(line, "finished", row.finished ? "yes" : "no");
        text += line + "}\n";
    }
    return text;
}

CStationStatusFile::CStationStatusFile(std::string path, unsigned mode) : m_path(std::move(path)), m_mode(mode)
{
    StationStatus first;
    first.pid = ThisProcessId();
    first.written = std::chrono::system_clock::now();
    m_firstProblem = Write(first);
    m_writer = std::thread([this] { WriteChanges(); });
}

CStationStatusFile::~CStationStatusFile()
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_writer.join();
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);   // a link is removed, never followed
}

void CStationStatusFile::Publish(Message heading, std::vector<StationStatusRow> rows)
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        StationStatus& status = m_waiting.emplace();
        status.pid = ThisProcessId();
        status.heading = std::move(heading);
        status.rows = std::move(rows);
    }
    m_changed.notify_all();
}

void CStationStatusFile::WriteChanges()
{
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_changed.wait(hold, [this] { return m_stopping || m_waiting; });
        if (m_stopping) {
            return;
        }
        StationStatus status = std::move(*m_waiting);
        m_waiting.reset();
        hold.unlock();
        status.written = std::chrono::system_clock::now();
        (void)Write(status);   // the next change tries again
        hold.lock();
        m_changed.wait_for(hold, kWritePeriod, [this] { return m_stopping; });
    }
}

Message CStationStatusFile::Write(const StationStatus& status) const
{
    CReplacingFile file(m_path);
    std::string why;
    if (!file.Open(why, m_mode) || !file.Write(StationStatusText(status), why) || !file.Commit(why)) {
        return Message(N_("the station's status file %s cannot be written: %s"), {SafeText(m_path), why});
    }
    return {};
}
