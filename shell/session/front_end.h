// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program shows and asks, in its own terms: the update run's port
// (progress, the Close command, the waits for the calculator) and modal
// message boxes. A front end (the window, the console, a test) implements it.
#include <functional>
#include <string>
#include <vector>

#include "device/device_listing.h"
#include "shell/records/history_record.h"
#include "shell/reports/problem_report.h"
#include "update/update_port.h"

class IClassroomView;

// Message-box results and style bits: the values the launcher's platform
// uses, kept as plain data.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;   // the end of a set: the ones that failed again
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_DEFBUTTON2 = 0x100;
// A warning that asks OK or Cancel, Cancel first: nothing is lost by Enter.
constexpr unsigned kWarningOkCancel = MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

// What the user made of the device chooser.
enum class ChooserAnswer { NotAsked, Chosen, Cancelled };
struct DeviceChooserResult {
    std::vector<size_t> chosen;   // indexes into the candidates, in list order
    bool remember = false;        // "Remember this calculator" was ticked
    // The candidates as the chooser last showed them, when that is not the
    // list it was given (it listed them again as devices came and went, or
    // the user typed a port's path); `chosen` then indexes this list.
    std::vector<ListedDevice> shown;
};

// Lists the candidates again (a chooser that follows what is plugged in).
using CandidateLister = std::function<std::vector<ListedDevice>()>;
// Why the images of a folder cannot be used; empty when they can.
using ImageFolderCheck = std::function<Message(const std::string& folder)>;
// What Name... keeps of a calculator: the name shown for it, and the tag
// the school's inventory knows it by (typed, or scanned by a reader that
// types it); an empty tag leaves its tag as it is.
struct CalculatorNaming {
    std::string label;
    std::string assetTag;
};
using CalculatorNamer = std::function<Message(const std::string& device, const CalculatorNaming& naming)>;

class IFrontEnd : public IUpdatePort {
public:
    // Shows a modal message box; returns IDOK or IDCANCEL, or 0 when the box
    // cannot be shown at all. `details`, when not empty, says why (the reason
    // of a failure); it is shown beside the text, never in place of it.
    virtual int MessageBox(const Message& text, const Message& caption, unsigned style,
                           const Message& details = {}) = 0;

    // The end of a set, when the rows' view cannot ask: `text` (OK: another
    // set, Cancel: done) and, when `retry` is not empty, a third answer that
    // says it ("Update the 2 that failed again"), IDRETRY. A front end that
    // has no third answer asks OK or Cancel.
    virtual int AskAnotherSet(const Message& text, const Message& caption, const Message& /*retry*/)
    {
        return MessageBox(text, caption, MB_OKCANCEL);
    }

    // The box that says a run failed, with its reason in `details`. A front
    // end that can ask where offers to save a problem report there through
    // `writeReport` (when it is set) and keeps the box up; the others show
    // the plain box. Answers as MessageBox does.
    virtual int FailureBox(const Message& text, const Message& caption, const Message& details,
                           const ProblemReportWriter& /*writeReport*/)
    {
        return MessageBox(text, caption, MB_OK | MB_ICONEXCLAMATION, details);
    }

    // A box that ends a run or a set (the completion question, "no
    // calculator was found"): a front end that can show the history
    // offers it there too. Answers as MessageBox does.
    virtual int EndBox(const Message& text, const Message& caption, unsigned style, const Message& details = {})
    {
        return MessageBox(text, caption, style, details);
    }

    // Asks the process to end with `code` once the update loop has returned.
    virtual void PostQuitMessage(int code) = 0;

    // Asks the user for the folder that holds the images (the program was
    // started without one, where there are none); `folder` comes in as the
    // one chosen last time (empty: none), where the chooser starts. A folder
    // that `check` finds wanting is refused with what it says, and the user
    // asked again. False when the user declines; a front end that cannot ask
    // leaves `folder` empty.
    virtual bool ChooseImageFolder(std::string& folder, const ImageFolderCheck& /*check*/)
    {
        folder.clear();
        return true;
    }

    // Lets the user pick the calculator among `candidates` (one, or any
    // number when `several`), before the connect prompt, when none is
    // configured. A front end that asks nothing (the console: scripts must
    // not block) answers NotAsked.
    virtual ChooserAnswer ChooseDevices(const std::vector<ListedDevice>& /*candidates*/, bool /*several*/,
                                        DeviceChooserResult& /*result*/)
    {
        return ChooserAnswer::NotAsked;
    }
    // How a chooser that follows what is plugged in lists the candidates again.
    virtual void SetCandidateLister(CandidateLister /*lister*/) {}
    // How a row's "Name..." gives its calculator a label: DEVICE as a label
    // line names it (device_labels.h), and the name; empty, or why not.
    virtual void SetCalculatorNamer(CalculatorNamer /*namer*/) {}

    // A single update run has ended and `record` is its history record
    // (kept or not); called before its result is reported.
    virtual void RunEnded(const HistoryRecord& /*record*/) {}

    // The rows of many calculators at once (--all, --watch); null for a
    // front end that cannot show them.
    virtual IClassroomView* Classroom() { return nullptr; }

    // Whether the user has the program's window in front of them (a
    // console is always taken to be watched).
    virtual bool WindowActive() { return true; }
};
