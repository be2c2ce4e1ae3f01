// SPDX-License-Identifier: GPL-3.0-or-later
// The history file, the part every platform shares: waiting for the lock
// another program holds. Locking and appending are the platform's
// (history_file_posix.cpp, history_file_win.cpp).
#include <chrono>
#include <thread>

#include "shell/records/history_file.h"

LockTry RetryLock(const std::function<LockTry()>& tryLock, const std::function<bool()>& keepTrying)
{
    // A held lock is usually let go within milliseconds: tried often, but
    // never for longer than a person waits for a result.
    constexpr auto kPatience = std::chrono::seconds(3);
    constexpr auto kRetry = std::chrono::milliseconds(2);
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        const LockTry got = tryLock();
        if (got != LockTry::Busy || std::chrono::steady_clock::now() >= giveUp || (keepTrying && !keepTrying())) {
            return got;
        }
        std::this_thread::sleep_for(kRetry);
    }
}
