// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an update run is given, and what it gives back.
#include <cstdint>
#include <string>

#include "device/claimed_device_list.h"
#include "device/device_source.h"
#include "i18n/message.h"
#include "update/image_files.h"
#include "update/update_port.h"
#include "update/write_guard.h"

enum UpdateResult : int32_t {
    Success = 0,
    Failed = 1,
    UnsupportedModel = 2,
    AlreadyCurrent = 3,
    Checked = 4,   // --check: the calculator's version was read, nothing written
};

// The one word that names a result in the record and in a set's summary
// lines: updated, current, unsupported, failed or checked.
const char* ResultWord(UpdateResult result);

// Why a run did not update its calculator, as a word that is the same in
// every language and every version (the record's reason_code), for a
// district that counts causes across schools.
enum class ReasonCode {
    None,             // updated, or read by a check
    NoCalculator,     // "no-calculator": none found where the program looked
    OpenRefused,      // "open-refused": the system refused the port (permissions)
    OpenFailed,       // "open-failed": the port could not be opened otherwise
    ImagesUnusable,   // "images-unusable": the images could not be read or sent
    LinkLost,         // "link-lost": the link broke (unplugged, cable)
    NotAnswering,     // "not-answering": silent past the limit
    Stalled,          // "stalled": stopped taking data past the limit
    Stopped,          // "stopped": the user or the system ended the run
    OutOfStep,        // "out-of-step": the calculator answered what was not asked
    WrongModel,       // "wrong-model": a model the program or the image is not for
    AlreadyCurrent,   // "already-current": at or above the image's version
    UnreadableVersion,// "unreadable-version": a version that cannot be read
    ImageRejected,    // "image-rejected": the calculator rejected the image's check
    OsNotTaken,       // "os-not-taken": after its restart it runs another version, or none
    NotConfirmed,     // "not-confirmed": updated, but it did not answer after its restart
    Other,            // "other"
};

// The word of a code; null for None.
const char* ReasonCodeWord(ReasonCode code);

// How long the run waits for a silent calculator.
struct ReplyWaitPolicy {
    // Silence after which the run ends by itself; 0 waits without limit (a
    // slow flash erase must never be cut short).
    uint32_t silenceLimitMs = 0;
    // Where that limit comes from, for the reason of a run it ended; empty:
    // ZENTRIX_REPLY_TIMEOUT.
    Message silenceLimitSource;
    // Silence after which the user may end the wait.
    uint32_t userMayEndAfterMs = 10000;
    // The calculator's last word after PKT_TERMINATE is never examined; it
    // is waited for this long at most.
    uint32_t finalReplyMs = 2000;
    // Once the user has ended a wait on a calculator that was already
    // silent, the abandon path's PKT_TERMINATE_04 is still sent, but given
    // only this long: the calculator has shown it takes nothing, and Stop
    // must end the run at once.
    uint32_t afterUserEndedMs = 250;
};

// What the run's trace says of the program, and where the last run's copy
// of it goes.
struct RunTraceSettings {
    std::string programVersion;
    std::string lastRunCopy;   // empty: no copy
    std::string tracePath;     // every run's trace appended there too; empty: none
};

// Whether an updated calculator is read back after its restart, and how
// long it is waited for.
struct ConfirmPolicy {
    bool enabled = false;
    uint32_t timeoutMs = 60000;
};

// Everything a run needs; nothing of it is kept after the run.
struct UpdateRunInputs {
    std::string baseDir;   // empty, or the image directory followed by "/"
    std::string tempDir;   // where scratch copies go; empty: TMPDIR, else /tmp
    IDeviceSource* devices = nullptr;
    CClaimedDeviceList* claimed = nullptr;   // shared by the runs of a process
    // The calculator this run talks to, already claimed in `claimed` by
    // whoever started the run, who also gives it back; empty: the run claims
    // the first free path `devices` offers and gives it back at its end.
    std::string devicePath;
    ReplyWaitPolicy wait;
    IUpdatePort* port = nullptr;
    // The session's copies of the images (see CSessionImages), read by the
    // run through readers of its own; null: the run copies them itself.
    const ImageSnapshots* images = nullptr;
    RunTraceSettings trace;
    // Told when the run starts writing its calculator and when it ends;
    // null: nobody keeps the computer awake.
    IWriteGuard* writeGuard = nullptr;
    // Read the calculator's version and end as an already-current run ends:
    // no stub, no OS image. With `images` the run also says whether the
    // calculator needs them; without, nothing is copied.
    bool checkOnly = false;
    ConfirmPolicy confirm;
};

// What a run learned on its way, for the record of it; an empty text or a
// block size of 0 means it was not learned. Texts are as the calculator,
// the system or the image gave them, not made safe for showing.
struct UpdateFacts {
    std::string device;      // the path of the calculator the run took
    std::string usbSerial;   // USB only: the serial number it reports
    std::string usbPort;     // USB only: its bus and port chain ("1-2.3")
    std::string model;       // the model code from the identity stream
    std::string osBefore;    // the calculator's OS version (the OS route only)
    std::string osImage;     // the version in the OS image's header
    std::string route;       // "os" or "stub", once the calculator said which
    uint32_t blockSize = 0;  // once probed
    // A check with images: "true" or "false" (the calculator's OS is older
    // than the image's, or not), "unsupported" (the image is for another model).
    std::string needsUpdate;
    std::string imageSha256;  // fingerprints of the OS image and the updater stub
    std::string stubSha256;
    std::string label;       // the name the user gave it, made fit to be shown; empty when none
    bool opened = false;     // its port was opened: the run reached a calculator
    // Read back after the update's restart: the version it reported then,
    // and "true" when that is the image's, "false" when it is not or none
    // was read; both empty when the run did not read it back.
    std::string osAfter;
    std::string confirmed;
    std::string assetTag;    // its tag in the inventory, made fit to be shown; empty when none
};

// The result and, unless it is Success, why: what was being done, what went
// wrong, and where it helps, what to do about it.
struct UpdateOutcome {
    UpdateResult result = Failed;
    Message reason;
    ReasonCode code = ReasonCode::None;   // set with the reason by the run
    UpdateFacts facts = {};   // set by the run; {result, reason} leaves it empty
};
