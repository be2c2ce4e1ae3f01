// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/command_line.h"

#include <cctype>
#include <climits>

void CUpdaterCommandLineInfo::ParseParam(const char* param, bool isFlag, bool isLast)
{
    if (!isFlag && m_strFileName.empty()) {
        m_strFileName = param;   // an empty argument leaves the slot open
    }
    if (!isFlag && isLast) {
        m_strPrinterName = param;
    }
}

namespace {

bool IsFlag(const std::string& argument)
{
    return !argument.empty() && argument[0] == '-';
}

}  // namespace

void ParseCommandLine(const std::vector<std::string>& arguments, CUpdaterCommandLineInfo& info)
{
    size_t plain = 0;
    for (size_t i = 1; i < arguments.size(); ++i) {
        plain += IsFlag(arguments[i]) ? 0 : 1;
    }
    const bool ownerGiven = plain >= 2;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool isFlag = IsFlag(argument);
        const char* param = argument.c_str() + (isFlag ? 1 : 0);
        info.ParseParam(param, isFlag, ownerGiven && i + 1 == arguments.size());
    }
}

ProgramOption FindProgramOption(const std::vector<std::string>& arguments)
{
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help" || a == "-h") {
            return ProgramOption::Help;
        }
        if (a == "--version" || a == "-V") {
            return ProgramOption::Version;
        }
        if (a == "--list-devices") {
            return ProgramOption::ListDevices;
        }
        if (a == "--all") {
            return ProgramOption::All;
        }
        if (a == "--watch") {
            return ProgramOption::Watch;
        }
    }
    return ProgramOption::None;
}

std::string UsageText()
{
    return "Usage: zentrix-update [DIR [OWNER]]\n"
           "       zentrix-update --all | --watch [DIR]\n"
           "       zentrix-update --help | --version | --list-devices\n"
           "\n"
           "Replaces the operating system of a Zentrix graphing calculator connected by USB\n"
           "or a serial cable with the images in DIR: UpdateExe.bin (the updater stub) and\n"
           "UpdateCode.bin (the OS image); without DIR, the current directory. All data in\n"
           "the calculator's Main Memory is erased: you are warned twice first.\n"
#ifdef _WIN32
           "OWNER is the window handle, in decimal, of the launching program's window (read\n"
           "only when two plain arguments are given). Other arguments starting with '-'\n"
           "are ignored.\n"
#else
           "OWNER is the X window id of the launching program's window (read only when two\n"
           "plain arguments are given). Other arguments starting with '-' are ignored.\n"
#endif
           "\n"
           "Options:\n"
           "  -h, --help        show this help and exit\n"
           "  -V, --version     show the version and exit\n"
           "  --list-devices    list the calculators the program can see and exit\n"
           "  --all             update every connected calculator at the same time\n"
           "  --watch           station mode: update each calculator as it is connected,\n"
           "                    until Close or Ctrl+C\n"
           "  --history [--json | --csv] [--since DATE]\n"
           "                    show the record of every update run and exit\n"
           "\n"
#ifdef _WIN32
           "Started from a command prompt, or on a console without a window, the program\n"
           "uses the console; from Explorer or the Start menu, it is a window. In\n"
#else
           "A window is shown when a display can be reached; console mode otherwise. In\n"
#endif
           "console mode each message box is printed on standard output and answered by\n"
           "one line on standard input (ok/o/yes/y, cancel/c/no/n, empty for the default);\n"
           "progress and the reason of a failure go to standard error. Ctrl+C answers\n"
           "Cancel at a prompt, and stops an update whose calculator has not answered for\n"
           "10 s.\n"
           "\n"
           "Environment:\n"
           "  ZENTRIX_DEVICES        device paths to try first, separated by ';'\n"
#ifdef _WIN32
           "                         (a serial port such as \\\\.\\COM3)\n"
#else
           "                         (a serial port such as /dev/ttyUSB0)\n"
#endif
           "  ZENTRIX_USB_IDS        USB vvvv:pppp ID pairs of calculators, separated by ','\n"
           "  ZENTRIX_UI             gui or console\n"
           "  ZENTRIX_TRACE          file that every byte to and from the calculator is\n"
           "                         appended to\n"
           "  ZENTRIX_REPLY_TIMEOUT  seconds of calculator silence that end a run\n"
           "                         (unset or 0: wait without limit)\n"
#ifndef _WIN32
           "  TMPDIR                 where the private copies of the images are made\n"
#endif
           "\n"
           "Exit status: 18 when the update loop has ended (read its last message),\n"
           "0 for --help, --version, --list-devices, or an OWNER that names no window.\n"
#ifndef _WIN32
           "\n"
           "See zentrix-update(1) (man zentrix-update) for more.\n"
#endif
           ;
}

std::string VersionText(const char* version)
{
    return std::string("zentrix-update ") + version + "\n";
}

std::string BaseDirectoryFor(const std::string& fileName)
{
    if (fileName.empty()) {
        return {};
    }
    return fileName + kDirectorySeparator;
}

int OwnerNumberFromText(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value >= limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

std::optional<uint32_t> ReplyTimeoutMs(const std::string& seconds)
{
    constexpr uint32_t kMaxSeconds = 24 * 3600;
    if (seconds.empty() || seconds.size() > 5) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (const char c : seconds) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > kMaxSeconds) {
        return std::nullopt;
    }
    return value * 1000;
}
