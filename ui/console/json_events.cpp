// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/json_events.h"

#include <cstdint>

#include "shell/session/front_end.h"
#include "update/identity_check.h"
#include "update/image_files.h"

namespace {

constexpr auto kProgressPeriod = std::chrono::milliseconds(250);

// `, "name": VALUE`: the pieces of an event after its name.
std::string Raw(const char* name, const std::string& json)
{
    return std::string(", \"") + name + "\": " + json;
}

std::string Text(const char* name, const std::string& value)
{
    return Raw(name, JsonString(value));
}

// An empty text is one not known: null.
std::string ValueOrNull(const std::string& value)
{
    return value.empty() ? "null" : JsonString(value);
}

std::string TextOrNull(const char* name, const std::string& value)
{
    return Raw(name, ValueOrNull(value));
}

std::string Number(const char* name, int value)
{
    return Raw(name, std::to_string(value));
}

// A box's text as the console shows it: its lines end in a line feed alone.
std::string BoxText(const char* text)
{
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] != '\r' || p[1] != '\n') {
            out += *p;
        }
    }
    return out;
}

const char* AnswerWord(int answer)
{
    return answer == IDOK ? "ok" : "cancel";
}

}  // namespace

void CJsonEvents::Write(const std::string& fields, const char* event)
{
    m_out << "{\"schema_version\": 1, \"event\": \"" << event << '"' << fields << "}\n";
    m_out.flush();
}

void CJsonEvents::Started(const std::string& programVersion, const char* mode, const std::string& baseDir)
{
    Write(Text("program_version", programVersion) + Text("mode", mode) +
              Raw("images", "{\"os_image\": " + ValueOrNull(OsImageVersion(baseDir)) + "}"),
          "started");
}

void CJsonEvents::Prompt(const PromptEvent& prompt)
{
    const bool hasCancel = (prompt.style & 0xFu) == MB_OKCANCEL;
    const bool cancelIsDefault = hasCancel && (prompt.style & 0xF00u) == MB_DEFBUTTON2;
    const bool exclamation = (prompt.style & 0xF0u) == MB_ICONEXCLAMATION;
    const std::string details = prompt.details != nullptr ? *prompt.details : std::string();
    Write(Text("title", prompt.caption) + Text("text", BoxText(prompt.text)) +
              Text("buttons", hasCancel ? "ok-cancel" : "ok") + Text("default", cancelIsDefault ? "cancel" : "ok") +
              Text("icon", exclamation ? "exclamation" : "none") + TextOrNull("details", details) +
              Text("answer", AnswerWord(prompt.answer)) +
              Text("answered_by", prompt.source == AnswerSource::AssumeYes ? "yes"
                                  : prompt.source == AnswerSource::Stop    ? "stop"
                                                                           : "input"),
          "prompt");
}

void CJsonEvents::RunStarted(const std::string& device, const UsbLocation& usb)
{
    Write(TextOrNull("device", device) + TextOrNull("usb_ids", usb.ids) + TextOrNull("usb_serial", usb.serial) +
              TextOrNull("usb_port", usb.port) + TextOrNull("label", usb.label),
          "run-started");
}

void CJsonEvents::Phase(const std::string& device, const std::string& phase)
{
    FlushProgress(device);
    m_progress.erase(device);
    Write(TextOrNull("device", device) + Text("phase", phase), "phase");
}

void CJsonEvents::Progress(const std::string& device, int done, int total, Clock::time_point now)
{
    ProgressState& state = m_progress[device];
    state.done = done;
    state.total = total;
    if ((state.writtenDone < 0 || now - state.written >= kProgressPeriod) && WriteProgress(device, state)) {
        state.written = now;
    }
}

void CJsonEvents::FlushProgress(const std::string& device)
{
    const auto found = m_progress.find(device);
    if (found != m_progress.end()) {
        WriteProgress(device, found->second);
    }
}

bool CJsonEvents::WriteProgress(const std::string& device, ProgressState& state)
{
    if (state.done < 0 || (state.done == state.writtenDone && state.total == state.writtenTotal)) {
        return false;
    }
    state.writtenDone = state.done;
    state.writtenTotal = state.total;
    Write(TextOrNull("device", device) + Number("done", state.done) + Number("total", state.total), "progress");
    return true;
}

void CJsonEvents::Warning(const std::string& device, const std::string& text)
{
    Write(TextOrNull("device", device) + Text("text", text), "warning");
}

void CJsonEvents::RunEnded(const std::string& device, const HistoryRecord& record)
{
    FlushProgress(device);
    m_progress.erase(device);
    Write(Raw("record", FormatHistoryLine(record)), "run-ended");
}

void CJsonEvents::Summary(const RunTally& tally)
{
    Write(Number("checked", tally.checked) +
              Number("calculators", tally.updated + tally.current + tally.unsupported + tally.failed + tally.checked) +
              Number("updated", tally.updated) + Number("current", tally.current) +
              Number("unsupported", tally.unsupported) + Number("failed", tally.failed) +
              Number("not_connected", tally.notConnected) +
              Number("exit_code", tally.ExitCode()),
          "summary");
}
