// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/command_line.h"

#include <cctype>
#include <climits>

#include "i18n/message.h"
#include "i18n/text_format.h"

std::string UsageText(const MoCatalogue* texts)
{
    // Each piece is one entry of the catalogue (whole lines, the columns
    // lined up in each language); the blank lines between them are not.
    const auto t = [texts](const char* english) { return Message(english).Render(texts); };
    std::string text = t(N_("Usage: zentrix-update [DIR [OWNER]]\n"
                            "       zentrix-update --all | --watch [DIR]\n"
                            "       zentrix-update --check [--all | --watch] [DIR]\n"
                            "       zentrix-update --history [...] | --history-window\n"
                            "       zentrix-update --report-problem [FILE]\n"
                            "       zentrix-update --help | --version | --list-devices\n"));
#ifndef _WIN32
    text += "       zentrix-update --grant-access VVVV:PPPP [--group NAME]\n";
#endif
    text += "\n";
    text += t(N_("Replaces the operating system of a Zentrix graphing calculator connected by USB\n"
                 "or a serial cable with the images in DIR: UpdateExe.bin (the updater stub) and\n"
                 "UpdateCode.bin (the OS image); without DIR, the current directory. All data in\n"
                 "the calculator's Main Memory is erased: you are warned twice first.\n"));
#ifdef _WIN32
    text += t(N_("OWNER is the window handle, in decimal, of the launching program's window (read\n"
                 "only when two plain arguments are given). Other arguments starting with '-'\n"
                 "are ignored, each with a warning.\n"));
#else
    text += t(N_("OWNER is the X window id of the launching program's window (read only when two\n"
                 "plain arguments are given). Other arguments starting with '-' are ignored, each\n"
                 "with a warning.\n"));
#endif
    text += "\n";
    text += t(N_("Options:\n"));
    text += OptionHelpText(texts);
    text += "\n";
#ifdef _WIN32
    text += t(N_("Which calculators are looked for: those named on the command line; if none,\n"
                 "those of ZENTRIX_DEVICES and ZENTRIX_USB_IDS; if none, those of the user's\n"
                 "configuration file %LOCALAPPDATA%\\zentrix-update\\zentrix-update.conf; if none,\n"
                 "those of the machine's, %PROGRAMDATA%\\zentrix-update\\zentrix-update.conf.\n"));
#else
    text += t(N_("Which calculators are looked for: those named on the command line; if none,\n"
                 "those of ZENTRIX_DEVICES and ZENTRIX_USB_IDS; if none, those of the user's\n"
                 "configuration file $XDG_CONFIG_HOME/zentrix-update/zentrix-update.conf (default\n"
                 "~/.config/...); if none, those of the machine's file\n"
                 "/etc/zentrix-update/zentrix-update.conf.\n"));
#endif
    text += t(N_("The first source that names any is used alone. A configuration file has lines\n"
                 "'device = PATH' (a port, usb-serial:SERIAL or usb-port:PORT) and\n"
                 "'usb-id = VVVV:PPPP' (each may repeat), 'label = DEVICE = NAME',\n"
                 "'image-folder = DIR' (in the machine's file: the folder used when none is\n"
                 "given), '#' comments and blank lines.\n"));
    text += "\n";
#ifdef _WIN32
    text += t(N_("Started from a command prompt, or on a console without a window, the program\n"
                 "uses the console; from Explorer or the Start menu, it is a window. In\n"
                 "console mode each message box is printed on standard output and answered by\n"
                 "one line on standard input (ok/o/yes/y, cancel/c/no/n, empty for the default);\n"
                 "progress and the reason of a failure go to standard error. Ctrl+C answers\n"
                 "Cancel at a prompt, and stops an update whose calculator has not answered for\n"
                 "10 s.\n"));
#else
    text += t(N_("A window is shown when a display can be reached; console mode otherwise. In\n"
                 "console mode each message box is printed on standard output and answered by\n"
                 "one line on standard input (ok/o/yes/y, cancel/c/no/n, empty for the default);\n"
                 "progress and the reason of a failure go to standard error. Ctrl+C answers\n"
                 "Cancel at a prompt, and stops an update whose calculator has not answered for\n"
                 "10 s.\n"));
#endif
    text += t(N_("With --all or --watch in console mode, a row whose calculator has not answered\n"
                 "for 10 s says its number: type it and press Enter to stop that calculator's\n"
                 "update alone; the others go on.\n"));
    text += "\n";
    text += t(N_("Environment:\n"
                 "  ZENTRIX_DEVICES        device paths to try first, separated by ';'\n"));
#ifdef _WIN32
    text += t(N_("                         (a serial port such as \\\\.\\COM3)\n"));
#else
    text += t(N_("                         (a serial port such as /dev/ttyUSB0)\n"));
#endif
    text += t(N_("  ZENTRIX_USB_IDS        USB vvvv:pppp ID pairs of calculators, separated by ','\n"
                 "  ZENTRIX_MACHINE_CONFIG_DIR  folder holding the machine's zentrix-update.conf\n"
                 "                         in place of the usual one\n"
                 "  ZENTRIX_UI             gui or console\n"
                 "  ZENTRIX_TRACE          file that every byte to and from the calculator is\n"
                 "                         appended to\n"
                 "  ZENTRIX_REPLY_TIMEOUT  seconds of calculator silence that end a run (0: wait\n"
                 "                         without limit); unset: the configuration files'\n"
                 "                         'reply-timeout = SECONDS', else 60 with --yes or\n"
                 "                         --json and no limit without them\n"));
    text += t(N_("  ZENTRIX_LANG           language of the texts (de, fr, es), before the locale\n"));
#ifndef _WIN32
    text += t(N_("  TMPDIR                 where the private copies of the images are made\n"));
    text += t(N_("  XDG_CONFIG_HOME        folder of the user's configuration file (~/.config)\n"
                 "  XDG_STATE_HOME         folder of the history, zentrix-update/history.jsonl\n"
                 "                         (~/.local/state)\n"
                 "  DISPLAY, WAYLAND_DISPLAY  the display the window is shown on\n"));
#endif
    text += "\n";
    text += t(N_("Exit status: 18 when the update loop has ended (read its last message),\n"
                 "0 for --help, --version, --list-devices, or an OWNER that names no window.\n"
                 "With --yes or --json: 0 every calculator offered was updated or already\n"
                 "current, 1 at least one failed or is not supported, 2 usage error (an unknown\n"
                 "option, a missing or malformed value, an argument past DIR and OWNER, or\n"
                 "ZENTRIX_UI=gui), 3 no calculator was there, 4 the images cannot be used\n"
                 "(checked before any calculator is opened: nothing was sent).\n"));
    text += t(N_("With --check: 0 every calculator was read, 1 some could not be read, 3 none\n"
                 "was there, 4 DIR was given and its images cannot be used.\n"));
    text += t(N_("--history: 0, 1 when the history cannot be read, 2 for a wrong command line.\n"));
    text += t(N_("--report-problem: 0, 1 when the report cannot be written, 2 for a wrong\n"
                 "command line (as strict as with --yes).\n"));
#ifndef _WIN32
    text += "\n";
    text += t(N_("The events of --json are described by the JSON Schema (draft 7)\n"
                 "/usr/share/doc/zentrix-update/zentrix-update-events.schema.json.\n"));
    text += t(N_("See zentrix-update(1) (man zentrix-update) for more.\n"));
#else
    text += "\n";
    text += t(N_("The events of --json are described by the JSON Schema (draft 7)\n"
                 "zentrix-update-events.schema.json beside the program.\n"));
#endif
    return text;
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
