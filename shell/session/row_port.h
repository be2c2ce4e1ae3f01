// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port of one run of a set or station: the run's thread writes its row,
// the front end's thread copies it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "shell/records/history_record.h"
#include "shell/screen/progress_ctrl.h"
#include "shell/session/classroom_row.h"
#include "update/update_port.h"

// The port of one run: a row under a lock. The run's thread writes it, the
// front end's thread copies it.
class CRowPort : public IUpdatePort {
public:
    // `now` tells the time its row's durations are measured by.
    using Clock = std::chrono::steady_clock::time_point (*)();
    explicit CRowPort(std::string device, uint32_t number = 0, Clock now = std::chrono::steady_clock::now);

    void OpenProgress(const char* phaseText, int stepCount) override;
    void StepProgress() override;
    void SetProgressPos(int pos) override;
    void SetProgressRange(int upper) override;
    void CloseProgress() override;
    void Warn(const Message& text) override;
    void DeviceTaken(const std::string& path, const UsbLocation& usb) override;
    void DeviceReturned(const std::string& path, const UsbLocation& usb) override;
    // Where the row's calculator answered after its restart; empty: where it was.
    std::string PathNow() const;
    // Where the row's calculator is and its label, before its run takes it.
    void Locate(const UsbLocation& usb);
    // A row has no Close command of its own.
    bool SetCloseEnabled(bool) override { return false; }
    // False once the run was asked to stop: it ends through the abandon path.
    bool KeepWaiting(const ReplyWait& wait) override;

    void Abandon() { m_abandon = true; }
    // The run begins now: its row says how long it took once it ends.
    void Began();
    // `record`: the run's history record, when one was made.
    void Finish(const UpdateOutcome& outcome, std::optional<HistoryRecord> record = std::nullopt);
    // A row of a set whose run could not start: "not started" and why.
    void NotStarted(const Message& reason);
    // A row whose calculator is not to be touched: `why`, and it counts as none.
    void Skipped(const Message& why);
    // A row waiting for a place in the station.
    void Waiting(const Message& reason);
    void OfferNext(bool offer);
    bool Finished() const { return m_finished; }
    ClassroomRow Row() const;

private:
    // How long the OS image has been written before what is left is judged.
    static constexpr std::chrono::milliseconds kJudgeAfter{5000};
    // What is left of the run by the pace of its OS image; -1: not known yet.
    int LeftSeconds(int pos, int upper) const;

    mutable std::mutex m_lock;
    ClassroomRow m_row;
    CProgressCtrl m_bar;
    std::atomic<bool> m_abandon{false};
    std::atomic<bool> m_finished{false};
    std::optional<std::chrono::steady_clock::time_point> m_began;
    std::string m_pathNow;
    Clock m_now;
    std::chrono::steady_clock::time_point m_phaseBegan;
    bool m_inOsPhase = false;
    bool m_osPhaseDone = false;
};
