// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The launcher's command line: `zentrix-update [DIR] [OWNER]`.
#include <chrono>
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

enum class HistoryFormat { Table, Json, Csv };

// The problem report's file when --report-problem names none, in the
// current folder; also the name a window proposes when saving one.
inline constexpr const char* kDefaultProblemReportFile = "zentrix-problem-report.txt";

// --history and the options that go with it.
struct HistoryOptions {
    bool asked = false;                  // --history
    bool window = false;                 // --history-window: in a window where one can be shown
    // --summary (with --by-calculator --needs): one line, and exit status 1
    // when any calculator needs the version, for a detection script.
    bool summary = false;
    HistoryFormat format = HistoryFormat::Table;   // --json or --csv
    std::string since;                   // --since DATE, as given; empty: every record
    std::string sinceTime;               // the moment it names, as the records write their times
    std::vector<std::string> from;       // --from FILE, in order; none: the user's history
    bool byCalculator = false;           // --by-calculator
    std::optional<std::string> needs;    // --needs VERSION: with --by-calculator
    // --not-seen-since DATE: with --by-calculator, only the calculators whose
    // last run ended before it (as the records write their times); empty: all.
    std::string notSeenSinceTime;
    std::string reasonCode;              // --reason CODE: only the records of that code; empty: every one
};

// Everything of ours on the command line. Each option belongs to some of
// the program's modes (updating one calculator, a set with --all, a station
// with --watch, --check, --history, --report-problem, --list-devices,
// --grant-access); one given in a mode it does not belong to is a wrong
// command line (`misplaced`). Without --yes, --json, --report-problem or
// --history unknown options are never refused (the launcher's command line
// must keep working); each one is a warning.
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
    bool debug = false;                 // --debug: each decision said on standard error
    bool stationStatus = false;         // --station-status: the running station's rows, then exit
    std::optional<std::string> metricsFile;   // --metrics-file PATH
    bool check = false;                 // --check: the calculators' versions are read, nothing written
    bool confirm = false;               // --confirm: read back even the launcher's single update
    std::optional<int> confirmTimeout;  // --confirm-timeout SECONDS
    // --retry-failed [last|SET_ID]: with --all or --watch, only the
    // calculators that set did not update; "last" for the last set.
    std::optional<std::string> retryFailed;
    // --image-sha256 HEX, in lower case; a malformed HEX is `badPin`, a
    // wrong command line whatever else is given.
    std::optional<std::string> imageSha256;
    Message badPin;
    // --report-problem [FILE]: the report's file, "-" for standard output.
    std::optional<std::string> reportProblem;
    HistoryOptions history;
    std::vector<Message> warnings;      // one line each, without a line feed
    // The first argument that cannot be followed as given (an unknown
    // option, one without its value or with a malformed one), as the usage
    // error it is where the command line must be exact (Strict), nobody
    // reading the warnings; empty when there is none.
    Message refused;
    // The first option given in a mode it does not belong to (--device
    // with --history, --csv without it): a usage error whatever else is
    // given; empty when there is none.
    Message misplaced;

    // The command line must be exact: nobody is there to read a warning,
    // or a file would be written, or (--history) what is shown depends on
    // every option.
    bool Strict() const { return assumeYes || json || reportProblem.has_value() || history.asked; }
};

// Reads the whole command line (program name first) once, for every mode:
// the program's options and the launcher's arguments. An option with a
// value takes the next argument (or `--device=PATH`); `--report-problem`
// takes the next one when it is plain or "-". Past DIR and OWNER (past the
// report's FILE with --report-problem, none with --history) a plain
// argument is refused when the command line must be exact. `now` reads
// --since's relative dates.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments);
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments, std::chrono::sys_seconds now);

// The options' lines of --help, in the order they are declared.
std::string OptionHelpText(const MoCatalogue* texts);

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

