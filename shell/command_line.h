// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The launcher's command line: `zentrix-update [DIR] [OWNER]`.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "i18n/message.h"

class MoCatalogue;

// What the command line says. The first plain argument that is not empty
// names the image directory; the last argument, when it is plain, is the
// owner window's number.
class CUpdaterCommandLineInfo {
public:
    // Called once per argument, in order. `param` is the argument without its
    // flag character, `isFlag` says it began with one, `isLast` marks the
    // final argument. Flags have no meaning for this program.
    void ParseParam(const char* param, bool isFlag, bool isLast);

    std::string m_strFileName;      // the image directory, as given
    std::string m_strPrinterName;   // the owner-window text, as given
};

// Feeds the launcher's arguments (those after the program name, without the
// values of our options) to `info.ParseParam`. An argument is a flag when it
// begins with '-'; '/' begins absolute paths here. The last argument counts
// as the owner only when there are at least two plain arguments (the
// launcher always passes both): a lone argument is the image directory,
// whatever it looks like.
void ParseCommandLine(const std::vector<std::string>& launcherArguments, CUpdaterCommandLineInfo& info);

// The program's own options; any other argument beginning with '-' is
// ignored, as the launcher's contract says.
// All and Watch choose how calculators are updated; the others print and exit.
enum class ProgramOption { None, Help, Version, ListDevices, All, Watch };

// Everything of ours on the command line. Without --yes, --json or
// --report-problem unknown options are never refused (the launcher's
// command line must keep working); each one is a warning.
struct ProgramOptions {
    ProgramOption option = ProgramOption::None;   // the first of ours given
    CUpdaterCommandLineInfo launcher;   // the image directory and the owner
    std::vector<std::string> devices;   // --device PATH, in order
    std::vector<std::string> usbIds;    // --usb-id VVVV:PPPP, lower case
    std::optional<std::string> grantAccess;   // --grant-access VVVV:PPPP, as given
    std::optional<std::string> group;         // --group NAME, as given: with --grant-access
    bool assumeYes = false;             // --yes, -y: nobody answers the boxes
    bool json = false;                  // --json: standard output is JSON Lines events
    bool noSystemLog = false;           // --no-system-log: runs are not written to the system log
    bool check = false;                 // --check: the calculators' versions are read, nothing written
    // --image-sha256 HEX, in lower case; a malformed HEX is `badPin`, a
    // wrong command line whatever else is given.
    std::optional<std::string> imageSha256;
    Message badPin;
    // --report-problem [FILE]: the report's file, "-" for standard output.
    std::optional<std::string> reportProblem;
    std::vector<Message> warnings;      // one line each, without a line feed
    // The first argument that cannot be followed as given (an unknown
    // option, one without its value or with a malformed one), as the usage
    // error it is with --yes or --json, where nobody reads the warnings;
    // empty when there is none.
    Message refused;

    // The command line must be exact: nobody is there to read a warning,
    // or a file would be written.
    bool Strict() const { return assumeYes || json || reportProblem.has_value(); }
};

// Reads the whole command line (program name first) once: the program's
// options and the launcher's arguments. `--device`, `--usb-id` and
// `--grant-access` take the next argument (or `--device=PATH`);
// `--report-problem` takes the next one when it is plain or "-". Past DIR
// and OWNER (past the report's FILE with --report-problem) a plain argument
// is refused when the command line must be exact.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments);

// What --help prints.
std::string UsageText(const MoCatalogue* texts = nullptr);
// What --version prints.
std::string VersionText(const char* version);

// The platform's directory separator: "/" on Linux (a backslash would be
// part of a file name there), a backslash on Windows.
#ifdef _WIN32
inline constexpr char kDirectorySeparator = '\\';
#else
inline constexpr char kDirectorySeparator = '/';
#endif

// The base directory for an image directory: empty for none, otherwise the
// directory followed by one separator, whether or not it already ends in one.
std::string BaseDirectoryFor(const std::string& fileName);

// The owner-window number in `text`, read as a decimal integer the way atoi
// reads it (leading white space and a sign allowed, stops at the first
// non-digit, 0 when there are no digits); values beyond the int range are
// held at its ends instead of overflowing.
int OwnerNumberFromText(const std::string& text);

