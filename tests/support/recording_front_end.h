// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one fake front end of the tests: it answers message boxes from a
// script and writes down everything the program shows and asks, in order:
//   "box CAPTION" ("box CAPTION (close greyed)" while Close is greyed),
//   "close greyed", "close enabled", "quit 18",
//   "open PHASE 0-N", "step", "pos P", "range 0-N", "close", "warn TEXT".
// Ranges are shown as the bar takes them: the low 16 bits of the count.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "shell/session/front_end.h"

class RecordingFrontEnd : public IFrontEnd {
public:
    std::vector<std::string> events;
    // Answers of the boxes to come, in order; a box beyond them answers
    // Cancel and is written down as "box CAPTION (unscripted)".
    std::deque<int> answers;
    // Every box's text, style and details, in order.
    std::vector<std::string> texts;
    std::vector<unsigned> styles;
    std::vector<std::string> details;

    bool hasCloseCommand = true;
    bool closeEnabled = true;
    // 1 while a progress phase is open.
    int openWindows = 0;
    // Called with the phase text whenever a phase opens.
    std::function<void(const std::string&)> onWindowShown;
    // Decides every wait for the calculator; waits go on when unset.
    std::function<bool(const ReplyWait&)> onWait;

    int MessageBox(const Message& text, const Message& caption, unsigned style,
                   const Message& details = {}) override;
    void PostQuitMessage(int code) override { events.push_back("quit " + std::to_string(code)); }
    // Written down as "choose folder"; the user picks each of `triedFolders`,
    // then `chosenFolder`, until one passes the check (each refused one
    // written down as "folder refused: WHY"), or declines when
    // `declineFolder` is set or none passes.
    bool ChooseImageFolder(std::string& folder, const ImageFolderCheck& check) override
    {
        events.push_back("choose folder");
        offeredFolder = folder;
        std::vector<std::string> picks = triedFolders;
        picks.push_back(chosenFolder);
        for (const std::string& pick : picks) {
            const Message refused = check ? check(pick) : Message();
            if (refused.Empty()) {
                folder = pick;
                return !declineFolder;
            }
            events.push_back("folder refused: " + refused.English());
        }
        return false;
    }
    std::vector<std::string> triedFolders;
    std::string chosenFolder;
    std::string offeredFolder;   // where the chooser was to start
    bool declineFolder = false;

    // Written down as "choose device of N" ("... several" for many); answers
    // `chooserAnswer` with `chooserResult`.
    ChooserAnswer ChooseDevices(const std::vector<ListedDevice>& candidates, bool several,
                                DeviceChooserResult& result) override
    {
        events.push_back("choose device of " + std::to_string(candidates.size()) + (several ? " several" : ""));
        result = chooserResult;
        return chooserAnswer;
    }
    ChooserAnswer chooserAnswer = ChooserAnswer::NotAsked;
    DeviceChooserResult chooserResult;

    void OpenProgress(const char* phaseText, int stepCount) override;
    void StepProgress() override { Bar("step"); }
    void SetProgressPos(int pos) override { Bar("pos " + std::to_string(pos)); }
    void SetProgressRange(int upper) override { Bar("range 0-" + std::to_string(upper & 0xFFFF)); }
    void CloseProgress() override;
    void Warn(const Message& text) override { events.push_back("warn " + text.English()); }
    bool SetCloseEnabled(bool enabled) override;
    bool KeepWaiting(const ReplyWait& wait) override { return !onWait || onWait(wait); }

    // The events with every "step" run collapsed to "step xN".
    std::vector<std::string> Summary() const;

private:
    void Bar(const std::string& event);
};
