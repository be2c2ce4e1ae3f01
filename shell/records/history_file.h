// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history file: where it is, and appending one line to it under a lock
// that several programs share.
#include <functional>
#include <string>

#include "i18n/message.h"

// $XDG_STATE_HOME/zentrix-update/history.jsonl, else the same under
// ~/.local/state; %LOCALAPPDATA%\zentrix-update\history.jsonl on Windows.
// Empty when the environment names no such folder.
std::string HistoryFilePath();

// The platform's part. Appends `line` and a line feed to the file at `path`
// (made, with its folder, when missing; for the user's eyes only) under an
// exclusive lock, after a line feed of its own when the file's last line was
// left torn; flushed to the disk before it returns. A link or a file that is
// not a regular file is refused. A lock held by another program is waited
// for a few seconds at most, and no longer than `keepTrying` (may be empty)
// answers true. False with `problem` when it cannot.
bool AppendHistoryLine(const std::string& path, const std::string& line, const std::function<bool()>& keepTrying,
                       Message& problem);
// One try at the history's lock, as the platform's part makes it.
enum class LockTry { Taken, Busy, Failed };
// Tries `tryLock` again while another program holds the lock (Busy), for a
// few seconds at most and while `keepTrying` (may be empty) answers true.
// Busy when it gave up waiting.
LockTry RetryLock(const std::function<LockTry()>& tryLock, const std::function<bool()>& keepTrying);
// The name of this computer; empty when it cannot be had.
std::string HostName();
