// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_front_end.h"

int RecordingFrontEnd::MessageBox(const Message& text, const Message& caption, unsigned style,
                                  const Message& detail)
{
    texts.push_back(text.English());
    styles.push_back(style);
    details.push_back(detail.English());
    std::string event = "box " + caption.English() + (closeEnabled ? "" : " (close greyed)");
    if (answers.empty()) {
        events.push_back(event + " (unscripted)");
        return IDCANCEL;
    }
    events.push_back(event);
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingFrontEnd::OpenProgress(const char* phaseText, int stepCount)
{
    if (openWindows > 0) {
        events.push_back("close");
    }
    openWindows = 1;
    events.push_back(std::string("open ") + phaseText + " 0-" + std::to_string(stepCount & 0xFFFF));
    if (onWindowShown) {
        onWindowShown(phaseText);
    }
}

void RecordingFrontEnd::CloseProgress()
{
    if (openWindows > 0) {
        openWindows = 0;
        events.push_back("close");
    }
}

bool RecordingFrontEnd::SetCloseEnabled(bool enabled)
{
    events.push_back(enabled ? "close enabled" : "close greyed");
    closeEnabled = enabled;
    return hasCloseCommand;
}

void RecordingFrontEnd::Bar(const std::string& event)
{
    if (openWindows == 0) {
        events.push_back(event + " (no phase open)");
        return;
    }
    events.push_back(event);
}

std::vector<std::string> RecordingFrontEnd::Summary() const
{
    std::vector<std::string> out;
    int steps = 0;
    auto flush = [&] {
        if (steps > 0) {
            out.push_back("step x" + std::to_string(steps));
            steps = 0;
        }
    };
    for (const std::string& e : events) {
        if (e == "step") {
            ++steps;
            continue;
        }
        flush();
        out.push_back(e);
    }
    flush();
    return out;
}
