// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The images of one session (one single update, one --all set, one station):
// copied once, and only when neither file is being written, then read by
// every run of the session through readers of its own (see
// ImageSnapshots::ShareFrom). A file is taken as finished when it has not
// changed for a while and did not change while it was copied.
#include <cstdint>
#include "i18n/message.h"
#include <string>

#include "update/image_files.h"
#include "update/update_port.h"

struct StillnessPolicy {
    uint32_t stillMs = 2000;     // a file changed more recently is still being written
    uint32_t giveUpMs = 60000;   // the longest wait for the files to be still
    uint32_t sliceMs = 100;      // the port is served this often meanwhile
};

class CSessionImages {
public:
    // Copies both images of `baseDir` into `tempDir` (see TakeImageSnapshots)
    // once both have stayed unchanged for `stillMs`, copying again when one
    // changed during the copy. A wait is said once through the port's Warn,
    // and the port is served (KeepWaiting) while it lasts. False with
    // `problem` telling why: an image that cannot be used, a wait the port
    // ended, or files still changing after `giveUpMs`.
    bool Take(const std::string& baseDir, const std::string& tempDir, IUpdatePort& port, Message& problem,
              const StillnessPolicy& policy = {});

    // Waits, as Take does, until neither image of `baseDir` has changed for
    // `stillMs`; true at once when one is missing (the copy will say why).
    // False with `problem` when the port ended the wait or the files kept
    // changing for `giveUpMs`.
    bool AwaitStill(const std::string& baseDir, IUpdatePort& port, Message& problem,
                    const StillnessPolicy& policy = {});

    const ImageSnapshots& Images() const { return m_images; }
    // True once either image file differs from the one copied (changed,
    // replaced or removed): the session goes on with its copy.
    bool FolderChanged() const;

private:
    // One look at both files: true when both are there.
    bool Look(ImageFileState& stub, ImageFileState& os) const;
    // The paths and policy of a wait that starts now; its deadline.
    int64_t StartWaiting(const std::string& baseDir, const StillnessPolicy& policy);
    // Waits a slice; false (with `problem`) when the wait is over.
    bool WaitSlice(IUpdatePort& port, const std::string& changed, int64_t deadlineNs, Message& problem);

    ImageSnapshots m_images;
    std::string m_stubPath;
    std::string m_osPath;
    ImageFileState m_stubState;
    ImageFileState m_osState;
    StillnessPolicy m_policy;
    bool m_saidWaiting = false;
};
