// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A port that shows nothing and always waits on: for measurements and
// fuzzing, where nobody watches and nothing may be allocated per block.
#include "update/update_port.h"

class CQuietPort : public IUpdatePort {
public:
    void OpenProgress(const char*, int) override {}
    void StepProgress() override {}
    void SetProgressPos(int) override {}
    void SetProgressRange(int) override {}
    void CloseProgress() override {}
    void Warn(const Message&) override {}
    bool SetCloseEnabled(bool) override { return true; }
    bool KeepWaiting(const ReplyWait&) override { return true; }
};
