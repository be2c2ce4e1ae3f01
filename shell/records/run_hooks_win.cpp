// SPDX-License-Identifier: GPL-3.0-or-later
// A hook on Windows: cmd.exe /c COMMAND in a job of its own (ended whole at
// its time limit), its standard output on the program's standard error.
#include <windows.h>

#include <map>

#include "device/win_text.h"
#include "shell/records/run_hooks.h"

namespace {

// The program's environment with `added` in place of any variable of the
// same name (names compared without case, as Windows does), as the block
// CreateProcessW takes.
std::wstring EnvironmentBlock(const HookEnvironment& added)
{
    std::map<std::wstring, std::wstring> entries;   // upper-case name -> "Name=value"
    const auto upper = [](std::wstring name) {
        CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
        return name;
    };
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
            const std::wstring text = entry;
            const size_t equals = text.find(L'=', 1);   // "=C:=C:\..." entries start with one
            entries[upper(text.substr(0, equals))] = text;
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : added) {
        entries[upper(WideText(name))] = WideText(name) + L"=" + WideText(value);
    }
    std::wstring block;
    for (const auto& [name, entry] : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

}  // namespace

Message RunHookCommand(const std::string& command, const std::string& input, const HookEnvironment& environment,
                       std::chrono::milliseconds timeout)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return Message::Raw("no pipe: error " + std::to_string(GetLastError()));
    }
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != nullptr) {
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring line = L"cmd.exe /d /s /c \"" + WideText(command) + L"\"";
    std::wstring block = EnvironmentBlock(environment);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | CREATE_NO_WINDOW,
                                        block.data(), nullptr, &startup, &process);
    const DWORD startError = GetLastError();
    CloseHandle(readEnd);
    if (!started) {
        CloseHandle(writeEnd);
        if (job != nullptr) {
            CloseHandle(job);
        }
        return Message::Raw("it cannot be started: error " + std::to_string(startError));
    }
    if (job != nullptr) {
        AssignProcessToJobObject(job, process.hProcess);
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    DWORD written = 0;
    WriteFile(writeEnd, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);   // far below a pipe's size
    CloseHandle(writeEnd);
    Message problem;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_TIMEOUT) {
        if (job != nullptr) {
            TerminateJobObject(job, 1);
        }
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        problem = Message(N_("it was still running after %d s and was ended"),
                          {std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeout).count())});
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        if (code != 0) {
            problem = Message::Raw("exit status " + std::to_string(code));
        }
    }
    CloseHandle(process.hProcess);
    if (job != nullptr) {
        CloseHandle(job);
    }
    return problem;
}
