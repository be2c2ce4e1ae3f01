// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/session_images.h"

#include <chrono>
#include <thread>

#include "i18n/message.h"
#include "i18n/text_format.h"

namespace {

constexpr int64_t kNsPerMs = 1000000;

// Changed less than `stillMs` ago (or up to as much in the future: a clock
// set back a little still counts as a fresh change).
bool Recent(const ImageFileState& state, uint32_t stillMs, int64_t nowNs)
{
    const int64_t age = nowNs - state.modifiedNs;
    const int64_t still = static_cast<int64_t>(stillMs) * kNsPerMs;
    return age < still && age > -still;
}

// "N seconds" for `ms`, rounded up to whole seconds.
Message WholeSecondsText(uint32_t ms)
{
    const uint32_t seconds = (ms + 999) / 1000;
    return Message::Count("%d second", "%d seconds", seconds, {std::to_string(seconds)});
}

}  // namespace

bool CSessionImages::Look(ImageFileState& stub, ImageFileState& os) const
{
    return QueryImageFileState(m_stubPath, stub) && QueryImageFileState(m_osPath, os);
}

bool CSessionImages::WaitSlice(IUpdatePort& port, const std::string& changed, int64_t deadlineNs,
                               Message& problem)
{
    if (FileClockNowNs() >= deadlineNs) {
        problem = Message(N_("image %s kept changing for %s: it is still being written; start the update "
                                "again once it has been copied completely"),
                             {changed, WholeSecondsText(m_policy.giveUpMs)});
        return false;
    }
    if (!m_saidWaiting) {
        m_saidWaiting = true;
        port.Warn(Message(N_("image %s is being written: waiting until it has not changed for %s"),
                             {changed, WholeSecondsText(m_policy.stillMs)}));
    }
    if (!port.KeepWaiting(ReplyWait{})) {
        problem = Message(N_("stopped while waiting for image %s to be written completely"), {changed});
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(m_policy.sliceMs));
    return true;
}

int64_t CSessionImages::StartWaiting(const std::string& baseDir, const StillnessPolicy& policy)
{
    m_policy = policy;
    m_saidWaiting = false;
    m_stubPath = ImagePath(baseDir, kStubFileName);
    m_osPath = ImagePath(baseDir, kOsImageFileName);
    return FileClockNowNs() + static_cast<int64_t>(policy.giveUpMs) * kNsPerMs;
}

bool CSessionImages::Take(const std::string& baseDir, const std::string& tempDir, IUpdatePort& port,
                          Message& problem, const StillnessPolicy& policy)
{
    const int64_t deadline = StartWaiting(baseDir, policy);
    for (;;) {
        ImageFileState stub, os;
        const bool there = Look(stub, os);
        const int64_t now = FileClockNowNs();
        if (there && (Recent(stub, policy.stillMs, now) || Recent(os, policy.stillMs, now))) {
            if (!WaitSlice(port, Recent(stub, policy.stillMs, now) ? m_stubPath : m_osPath, deadline, problem)) {
                return false;
            }
            continue;
        }
        const bool copied = TakeImageSnapshots(baseDir, tempDir, m_images, problem);
        ImageFileState stubAfter, osAfter;
        const bool settled = there && Look(stubAfter, osAfter) && stubAfter == stub && osAfter == os;
        if (settled && !copied) {
            return false;   // the files as they are cannot be sent
        }
        if (settled && m_images.stub.size == stub.size && m_images.os.size == os.size) {
            m_stubState = stub;
            m_osState = os;
            return true;
        }
        if (!there && !copied) {
            return false;   // an image missing or unreadable: the copy said why
        }
        // A file changed while it was copied: what was copied may be half of it.
        const std::string changed = !there || stubAfter == stub ? m_osPath : m_stubPath;
        if (!WaitSlice(port, changed, deadline, problem)) {
            m_images.stub.copy.Discard();
            m_images.os.copy.Discard();
            return false;
        }
    }
}

bool CSessionImages::AwaitStill(const std::string& baseDir, IUpdatePort& port, Message& problem,
                                const StillnessPolicy& policy)
{
    const int64_t deadline = StartWaiting(baseDir, policy);
    for (;;) {
        ImageFileState stub, os;
        const int64_t now = FileClockNowNs();
        if (!Look(stub, os) || !(Recent(stub, policy.stillMs, now) || Recent(os, policy.stillMs, now))) {
            return true;
        }
        if (!WaitSlice(port, Recent(stub, policy.stillMs, now) ? m_stubPath : m_osPath, deadline, problem)) {
            return false;
        }
    }
}

bool CSessionImages::FolderChanged() const
{
    ImageFileState stub, os;
    return !Look(stub, os) || !(stub == m_stubState) || !(os == m_osState);
}
