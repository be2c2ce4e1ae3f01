// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the computer from sleeping or shutting down while calculators are
// written. Linux: one logind inhibitor ("sleep:shutdown", mode "block") on
// the system bus, taken when a run starts writing (naming how many then
// write) and held while any run of the process writes; asked for without
// holding any run, within a limit, and never waited for at the program's
// end. Without logind or a bus the runs go on, and a run that writes notes
// why in its trace, once. Windows: each writing run's thread asks
// the system to stay on (SetThreadExecutionState) until that run ends.
#include <functional>
#include <memory>

#include "device/decision_log.h"
#include "update/write_guard.h"

// `decisions` is told when the program ends without waiting for logind.
std::unique_ptr<IWriteGuard> MakeKeepAwake(DecisionLog decisions = {});

#ifdef _WIN32
// The Windows guard; `setState` is SetThreadExecutionState (tests record it).
class CExecutionStateGuard final : public IWriteGuard {
public:
    using SetStateFn = std::function<unsigned long(unsigned long flags)>;
    explicit CExecutionStateGuard(SetStateFn setState) : m_setState(std::move(setState)) {}
    std::string BeginWriting() override;
    void EndWriting() override;

private:
    SetStateFn m_setState;
};
#endif
