// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The --json event stream: one JSON object a line on the output stream,
// each {"schema_version": 1, "event": NAME, ...}, described by
// docs/zentrix-update-events.schema.json. Nothing in a line depends on the
// terminal or the locale; a run's end is its history record as the history
// writes it.
#include <chrono>
#include <map>
#include <ostream>
#include <string>

#include "device/usb_location.h"
#include "shell/records/history_record.h"
#include "shell/session/run_tally.h"

// How a box was answered: by --yes, or by standard input (its end included).
// Who answered a box: --yes, a line of input, or nobody because the
// program was being ended (the box took its Escape answer unasked).
enum class AnswerSource { AssumeYes, Input, Stop };

struct PromptEvent {
    const char* text = "";
    const char* caption = "";
    unsigned style = 0;
    int answer = 0;   // IDOK or IDCANCEL
    AnswerSource source = AnswerSource::Input;
    const std::string* details = nullptr;
};

class CJsonEvents {
public:
    using Clock = std::chrono::steady_clock;
    explicit CJsonEvents(std::ostream& out) : m_out(out) {}

    // `mode` is "single", "all" or "watch"; the image versions are read from
    // the images in `baseDir`.
    void Started(const std::string& programVersion, const char* mode, const std::string& baseDir);
    void Prompt(const PromptEvent& prompt);
    // An empty `device` is written as null (not known yet).
    void RunStarted(const std::string& device, const UsbLocation& usb);
    void Phase(const std::string& device, const std::string& phase);
    // At most one line every 250 ms for a device; the last state held back
    // is written by FlushProgress.
    void Progress(const std::string& device, int done, int total, Clock::time_point now = Clock::now());
    void FlushProgress(const std::string& device);
    void Warning(const std::string& device, const std::string& text);
    void RunEnded(const std::string& device, const HistoryRecord& record);
    void Summary(const RunTally& tally);

private:
    struct ProgressState {
        int done = -1;
        int total = -1;
        int writtenDone = -1;
        int writtenTotal = -1;
        Clock::time_point written{};
    };
    // False when there was nothing new to write.
    bool WriteProgress(const std::string& device, ProgressState& state);
    void Write(const std::string& fields, const char* event);

    std::ostream& m_out;
    std::map<std::string, ProgressState> m_progress;
};
