// SPDX-License-Identifier: GPL-3.0-or-later
// The system log on Windows: one event in the Application log under the
// program's event source: the run's line as its text, the history line as
// its second text (what an event export or a forwarded event shows of it)
// and as its data. The installer registers the source; a program run from the
// zip registers it itself the first time it may (as an administrator).
// Unregistered, the events still reach the log, where Event Viewer puts
// "The description for Event ID 1 ... cannot be found" before the line.
#include <windows.h>

#include "device/win_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/records/system_log.h"

namespace {

constexpr DWORD kRunEventId = 1;
constexpr wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\zentrix-update";
// .NET's message file, whose message N is "%1": the event shows its line.
constexpr wchar_t kMessageFile[] = L"%SystemRoot%\\Microsoft.NET\\Framework64\\v4.0.30319\\EventLogMessages.dll";

// The installer's registration of the event source, made where it is
// missing and the user may write it; nothing is said when they may not.
void RegisterMissingSource()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return;
    }
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(kMessageFile),
                   sizeof kMessageFile);
    RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
    RegCloseKey(key);
}

}  // namespace

bool WriteSystemLog(const HistoryRecord& record, const std::string& line, Message& problem, SystemLogRoute)
{
    RegisterMissingSource();
    const std::wstring source = WideText(kSystemLogIdentifier);
    HANDLE log = RegisterEventSourceW(nullptr, source.c_str());
    if (log == nullptr) {
        problem = Message(N_("the event log cannot be opened (error %s)"), {std::to_string(GetLastError())});
        return false;
    }
    const std::wstring message = WideText(RunLogMessage(record));
    const std::wstring recordText = WideText(line);
    LPCWSTR strings[] = {message.c_str(), recordText.c_str()};
    const WORD type = RunFailed(record) ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
    const BOOL reported = ReportEventW(log, type, 0, kRunEventId, nullptr, 2, static_cast<DWORD>(line.size()),
                                       strings, const_cast<char*>(line.data()));
    const DWORD error = GetLastError();
    DeregisterEventSource(log);
    if (!reported) {
        problem = Message(N_("the event log refused the entry (error %s)"), {std::to_string(error)});
        return false;
    }
    return true;
}
