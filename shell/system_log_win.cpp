// SPDX-License-Identifier: GPL-3.0-or-later
// The system log on Windows: one event in the Application log under the
// program's event source (the installer registers it), the run's line as
// its text and the history line as its data.
#include <windows.h>

#include "device/win_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/system_log.h"

namespace {
constexpr DWORD kRunEventId = 1;
}  // namespace

bool WriteSystemLog(const HistoryRecord& record, const std::string& line, Message& problem)
{
    const std::wstring source = WideText(kSystemLogIdentifier);
    HANDLE log = RegisterEventSourceW(nullptr, source.c_str());
    if (log == nullptr) {
        problem = Message(N_("the event log cannot be opened (error %s)"), {std::to_string(GetLastError())});
        return false;
    }
    const std::wstring message = WideText(RunLogMessage(record));
    LPCWSTR strings[] = {message.c_str()};
    const WORD type = RunFailed(record) ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
    const BOOL reported = ReportEventW(log, type, 0, kRunEventId, nullptr, 1, static_cast<DWORD>(line.size()),
                                       strings, const_cast<char*>(line.data()));
    const DWORD error = GetLastError();
    DeregisterEventSource(log);
    if (!reported) {
        problem = Message(N_("the event log refused the entry (error %s)"), {std::to_string(error)});
        return false;
    }
    return true;
}
