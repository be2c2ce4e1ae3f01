// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own options on the command line: one declaration each (its
// name and value, the modes it belongs to, what it does with its value and
// its lines in --help), read by one parser for every mode; and what is said
// of the ones it does not know or that are given in the wrong mode.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "device/device_choice.h"
#include "device/device_labels.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/startup/command_line.h"
#include "shell/startup/config_file.h"
#include "shell/startup/set_id.h"
#include "shell/startup/os_version_text.h"
#include "shell/startup/since_option.h"
#include "update/run_values.h"
#include "update/sha256.h"

namespace {

// How much of an argument a warning echoes: enough to recognise it.
constexpr size_t kShownArgumentChars = 60;

// The modes of the program. Each option belongs to some of them; the
// command line's mode is that of its mode option (--history first, then
// --report-problem, then --grant-access, then the first of --help,
// --version, --list-devices, --all and --watch, then --check), updating
// one calculator without any.
enum Mode : unsigned {
    kUpdate = 1u << 0,    // one calculator
    kSet = 1u << 1,       // --all
    kStation = 1u << 2,   // --watch
    kCheck = 1u << 3,     // --check: the versions read, nothing written
    kHistory = 1u << 4,   // --history
    kReport = 1u << 5,    // --report-problem
    kList = 1u << 6,      // --list-devices
    kGrant = 1u << 7,     // --grant-access
    kHelp = 1u << 8,      // --help, --version: printed whatever else is given
    kStatus = 1u << 9,    // --station-status
};
constexpr unsigned kUpdating = kUpdate | kSet | kStation | kCheck;
constexpr unsigned kNotHistory = kUpdating | kReport | kList | kGrant;
constexpr unsigned kUsingDevices = kUpdating | kReport | kList;

struct Reading;

// What is said of an argument that cannot be followed: the warning that it
// is ignored, and the usage error it is where the command line must be
// exact (the warning, when there is none).
struct Refusal {
    Message warning;
    Message problem;
};

// One option of the program, declared once: the parser, the modes' checks,
// the suggestions for a mistyped option and --help all read it.
struct OptionDeclaration {
    std::string_view name;
    std::string_view shortName;   // "-h"; empty: none
    // What its value is called ("PATH"); empty: a switch. `optionalValue`:
    // the next argument is its value only when it is plain or "-".
    std::string_view valueName;
    bool optionalValue;
    unsigned modes;     // the modes it belongs to
    unsigned selects;   // the mode it chooses; 0: none
    // Takes the option and its value; false, with what is said of it, when
    // the value cannot be used.
    bool (*take)(Reading& reading, const std::string& value, Refusal& refusal);
    // Its lines in --help (whole lines, the columns lined up); null when
    // another option's lines tell of it.
    const char* help;
    // An optional value: whether the next argument is one; null: any plain one.
    bool (*isValue)(const std::string& argument) = nullptr;
};

// A command line as it is read.
struct Reading {
    ProgramOptions& options;
    std::chrono::sys_seconds now;
    std::vector<std::string> updateModes;   // --all and --watch, in order
};

void Choose(Reading& reading, ProgramOption option)
{
    if (reading.options.option == ProgramOption::None) {
        reading.options.option = option;
    }
}

template <ProgramOption option>
bool TakeChoice(Reading& reading, const std::string& /*value*/, Refusal& /*refusal*/)
{
    Choose(reading, option);
    if (option == ProgramOption::All || option == ProgramOption::Watch) {
        reading.updateModes.push_back(option == ProgramOption::All ? "--all" : "--watch");
    }
    return true;
}

template <bool ProgramOptions::*flag>
bool TakeSwitch(Reading& reading, const std::string& /*value*/, Refusal& /*refusal*/)
{
    reading.options.*flag = true;
    return true;
}

bool TakeDevice(Reading& reading, const std::string& value, Refusal& refusal)
{
    if (value.empty()) {
        refusal = {Message(N_("--device with an empty path ignored")), Message(N_("--device with an empty path"))};
        return false;
    }
    // A stable USB name without its serial number or port names nothing,
    // and is no file either.
    if (value == kUsbSerialPrefix || value == kUsbPortPrefix) {
        refusal = {Message(N_("--device %s ignored: a serial number or port follows the colon"), {value}),
                   Message(N_("--device %s names no calculator: a serial number or port follows the colon"), {value})};
        return false;
    }
    reading.options.devices.push_back(value);
    return true;
}

bool TakeUsbId(Reading& reading, const std::string& value, Refusal& refusal)
{
    const std::string id = NormalizedUsbId(value);
    if (id.empty()) {
        const std::string shown = SafeText(value, kShownArgumentChars);
        refusal = {Message(N_("--usb-id %s ignored: not a VVVV:PPPP pair of four hex digits each"), {shown}),
                   Message(N_("--usb-id %s is not a VVVV:PPPP pair of four hex digits each"), {shown})};
        return false;
    }
    reading.options.usbIds.push_back(id);
    return true;
}

// A malformed pin is a wrong command line whatever else is given: it is
// said apart from the other faults.
bool TakeImageSha256(Reading& reading, const std::string& value, Refusal& /*refusal*/)
{
    ProgramOptions& options = reading.options;
    std::string pin;
    if (ParseSha256Hex(value, pin)) {
        options.imageSha256 = pin;
    } else if (options.badPin.Empty()) {
        options.badPin = Message(N_("--image-sha256 %s is not a SHA-256 of 64 hex digits: nothing was done"),
                                 {SafeText(value, kShownArgumentChars)});
    }
    return true;
}

bool TakeReportFile(Reading& reading, const std::string& value, Refusal& /*refusal*/)
{
    reading.options.reportProblem = value.empty() ? std::string(kDefaultProblemReportFile) : value;
    return true;
}

// The moment `value` names, as the records write their times, into
// `into`; false with `unreadable` (its value's pattern) when it names none.
bool TakeMoment(const Reading& reading, const std::string& value, std::string& into, const char* unreadable,
                Refusal& refusal)
{
    const std::optional<std::chrono::sys_seconds> at = ParseSinceValue(value, reading.now);
    if (!at) {
        refusal.problem = Message(unreadable, {SafeText(value)});
        return false;
    }
    into = RecordTimeText(*at);
    return true;
}

bool TakeSince(Reading& reading, const std::string& value, Refusal& refusal)
{
    if (!TakeMoment(reading, value, reading.options.history.sinceTime,
                    N_("--since %s cannot be read: give YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] (with Z or +HH:MM for "
                       "a time not local), today, yesterday or Nd (N days ago)"),
                    refusal)) {
        return false;
    }
    reading.options.history.since = value;
    return true;
}

bool TakeNotSeenSince(Reading& reading, const std::string& value, Refusal& refusal)
{
    return TakeMoment(reading, value, reading.options.history.notSeenSinceTime,
                      N_("--not-seen-since %s cannot be read: give YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] (with Z or "
                         "+HH:MM for a time not local), today, yesterday or Nd (N days ago)"),
                      refusal);
}

bool TakeReason(Reading& reading, const std::string& value, Refusal& refusal)
{
    std::string known;
    for (int code = static_cast<int>(ReasonCode::NoCalculator); code <= static_cast<int>(ReasonCode::Other); ++code) {
        const char* word = ReasonCodeWord(static_cast<ReasonCode>(code));
        if (value == word) {
            reading.options.history.reasonCode = value;
            return true;
        }
        known += (known.empty() ? "" : ", ") + std::string(word);
    }
    refusal.problem = Message(N_("--reason %s is not a reason code: give one of %s"), {SafeText(value), known});
    return false;
}

bool TakeConfirmTimeout(Reading& reading, const std::string& value, Refusal& refusal)
{
    const std::optional<int> seconds = SettingSeconds(value);
    if (!seconds) {
        refusal.problem = Message(N_("--confirm-timeout %s is not a whole number of seconds from 1 to 3600"),
                                  {SafeText(value, kShownArgumentChars)});
        return false;
    }
    reading.options.confirmTimeout = seconds;
    return true;
}

bool TakeRetryFailed(Reading& reading, const std::string& value, Refusal& refusal)
{
    if (!value.empty() && value != "last" && !IsSetId(value)) {
        refusal.problem = Message(N_("--retry-failed %s names no set: give last or a set_id from the history"),
                                  {SafeText(value, kShownArgumentChars)});
        return false;
    }
    reading.options.retryFailed = value.empty() ? "last" : value;
    return true;
}

// What --retry-failed takes as its value: the next argument only when it
// is one (an image folder after it stays the folder).
bool RetryValue(const std::string& argument) { return argument == "last" || IsSetId(argument); }

bool TakeNeeds(Reading& reading, const std::string& value, Refusal& refusal)
{
    if (!IsVersionText(value)) {
        refusal.problem =
            Message(N_("--needs %s is not a version: give numbers between dots, as 01.05.0000"), {SafeText(value)});
        return false;
    }
    reading.options.history.needs = value;
    return true;
}

#ifdef _WIN32
constexpr const char* PosixHelp(const char* /*help*/) { return nullptr; }
#else
constexpr const char* PosixHelp(const char* help) { return help; }
#endif

// Every option, in the order --help shows them.
constexpr OptionDeclaration kOptions[] = {
    {"--help", "-h", "", false, kNotHistory, kHelp, TakeChoice<ProgramOption::Help>,
     N_("  -h, --help        show this help and exit\n")},
    {"--version", "-V", "", false, kNotHistory, kHelp, TakeChoice<ProgramOption::Version>,
     N_("  -V, --version     show the version and exit\n")},
    {"--list-devices", "", "", false, kList, kList, TakeChoice<ProgramOption::ListDevices>,
     N_("  --list-devices    list the calculators the program can see and exit\n")},
    // --all and --watch given together: the first wins, with a warning.
    {"--all", "", "", false, kSet | kStation, kSet, TakeChoice<ProgramOption::All>,
     N_("  --all             update every connected calculator at the same time\n")},
    {"--watch", "", "", false, kSet | kStation, kStation, TakeChoice<ProgramOption::Watch>,
     N_("  --watch           station mode: update each calculator as it is connected,\n"
        "                    until Close or Ctrl+C\n")},
    {"--yes", "-y", "", false, kNotHistory, 0, TakeSwitch<&ProgramOptions::assumeYes>,
     N_("  -y, --yes         always console mode: answer OK to the connect prompt and the\n"
        "                    warnings, Cancel to \"continue?\" and \"another set?\"; never\n"
        "                    read standard input (with --watch: until SIGINT/SIGTERM)\n")},
    // Not with --list-devices: its lines are for a person, and a program
    // that asked for JSON must not take them for events.
    {"--json", "", "", false, (kNotHistory & ~kList) | kHistory, 0, TakeSwitch<&ProgramOptions::json>,
     N_("  --json            always console mode: standard output carries only JSON Lines\n"
        "                    events (the boxes, the runs, their progress and records,\n"
        "                    the counts), the same on a terminal as in a pipe; answers\n"
        "                    still come from standard input unless --yes is given\n")},
    {"--device", "", "PATH", false, kUsingDevices, 0, TakeDevice,
     N_("  --device PATH     look for the calculator at PATH (may repeat; tried in order)\n")},
    {"--usb-id", "", "VVVV:PPPP", false, kUsingDevices, 0, TakeUsbId,
     N_("  --usb-id VVVV:PPPP  look for USB calculators with these hex IDs (may repeat)\n")},
    {"--grant-access", "", "VVVV:PPPP", false, kGrant, kGrant,
     [](Reading& r, const std::string& value, Refusal&) { r.options.grantAccess = value; return true; },
     PosixHelp(N_("  --grant-access VVVV:PPPP  let the user at the seat open that USB calculator:\n"
                  "                    installs a udev rule (asks for an administrator)\n"))},
    {"--group", "", "NAME", false, kGrant, 0,
     [](Reading& r, const std::string& value, Refusal&) { r.options.group = value; return true; },
     PosixHelp(N_("  --group NAME      with --grant-access: members of the group NAME may open it\n"
                  "                    too, from anywhere (the station service's zentrix-station)\n"))},
    {"--history", "", "", false, kHistory, kHistory,
     [](Reading& r, const std::string&, Refusal&) { return r.options.history.asked = true; },
     N_("  --history [--json | --csv] [--since DATE]\n"
        "                    show the record of every update run and exit\n")},
    {"--history-window", "", "", false, kHistory, kHistory,
     [](Reading& r, const std::string&, Refusal&) { return r.options.history.asked = r.options.history.window = true; },
     N_("  --history-window  show the record in a window (the desktop menu's History);\n"
        "                    without a display, as --history does\n")},
    {"--station-status", "", "", false, kStatus, kStatus, TakeSwitch<&ProgramOptions::stationStatus>,
     N_("  --station-status  show the rows of the station running on this computer (each\n"
        "                    calculator's phase, how far it is, how long it has been\n"
        "                    silent) and exit; exit status 3 when no station runs\n")},
    {"--report-problem", "", "FILE", true, kReport, kReport, TakeReportFile,
     N_("  --report-problem [FILE]\n"
        "                    write the last run's record and trace, the version, the\n"
        "                    platform and the calculators seen into FILE (default\n"
        "                    zentrix-problem-report.txt; - for standard output) for a\n"
        "                    developer, and exit\n")},
    {"--from", "", "FILE", false, kHistory, 0,
     [](Reading& r, const std::string& value, Refusal&) { r.options.history.from.push_back(value); return true; },
     N_("  --history --from FILE  read the records of FILE instead (may repeat; - for\n"
        "                    standard input; a journal export is read too), merged in\n"
        "                    time order\n")},
    {"--reason", "", "CODE", false, kHistory, 0, TakeReason,
     N_("  --history --reason CODE  only the runs whose reason has that code (link-lost,\n"
        "                    not-answering, wrong-model, ...: see the manual page)\n")},
    {"--by-calculator", "", "", false, kHistory, 0,
     [](Reading& r, const std::string&, Refusal&) { return r.options.history.byCalculator = true; },
     N_("  --history --by-calculator [--needs VERSION]  one line per calculator: its OS\n"
        "                    now and last run; with --needs, only those below VERSION or\n"
        "                    whose last run failed\n")},
    {"--debug", "", "", false, kNotHistory | kHistory, 0, TakeSwitch<&ProgramOptions::debug>,
     N_("  --debug           say on standard error why each calculator was taken or\n"
        "                    passed over, which file set each setting, why a run\n"
        "                    ended (also ZENTRIX_DEBUG=1)\n")},
    {"--metrics-file", "", "PATH", false, kUpdating, 0,
     [](Reading& r, const std::string& value, Refusal&) { r.options.metricsFile = value; return true; },
     N_("  --metrics-file PATH  keep the counts for monitoring in PATH, in Prometheus'\n"
        "                    text format (also 'metrics-file = PATH')\n")},
    {"--no-system-log", "", "", false, kUpdating, 0, TakeSwitch<&ProgramOptions::noSystemLog>,
     N_("  --no-system-log   do not write each run to the system log as well\n")},
    {"--check", "", "", false, kUpdating, kCheck, TakeSwitch<&ProgramOptions::check>,
     N_("  --check           read each calculator's OS version and, with DIR, whether it\n"
        "                    needs the image; nothing is written (also with --all, --watch)\n")},
    {"--image-sha256", "", "HEX", false, kUpdating, 0, TakeImageSha256,
     N_("  --image-sha256 HEX  send only an OS image with this SHA-256 (also\n"
        "                    'image-sha256 = HEX' in a configuration file)\n")},
    {"--confirm", "", "", false, kUpdate | kSet | kStation, 0, TakeSwitch<&ProgramOptions::confirm>,
     N_("  --confirm         read each updated calculator back after its restart, also\n"
        "                    in a single update with questions (the default elsewhere;\n"
        "                    'confirm = off' turns it off)\n")},
    {"--confirm-timeout", "", "SECONDS", false, kUpdate | kSet | kStation, 0, TakeConfirmTimeout,
     N_("  --confirm-timeout SECONDS  how long a restarting calculator is waited for\n"
        "                    (default 60; also 'confirm-timeout = SECONDS')\n")},
    {"--retry-failed", "", "SET", true, kSet | kStation, 0, TakeRetryFailed,
     N_("  --retry-failed [last|SET]  with --all or --watch: only the calculators the\n"
        "                    last set (or the set SET) did not update or find current\n"),
     RetryValue},
    // Told of in --history's lines.
    {"--csv", "", "", false, kHistory, 0,
     [](Reading& r, const std::string&, Refusal&) { r.options.history.format = HistoryFormat::Csv; return true; }, nullptr},
    {"--since", "", "DATE", false, kHistory, 0, TakeSince, nullptr},
    {"--needs", "", "VERSION", false, kHistory, 0, TakeNeeds, nullptr},
    {"--not-seen-since", "", "DATE", false, kHistory, 0, TakeNotSeenSince,
     N_("  --history --by-calculator --not-seen-since DATE  only the calculators with no\n"
        "                    record since DATE (a date, or Nd: N days ago)\n")},
    {"--summary", "", "", false, kHistory, 0,
     [](Reading& r, const std::string&, Refusal&) { return r.options.history.summary = true; },
     N_("  --history --by-calculator --needs VERSION --summary  one line: how many need\n"
        "                    VERSION; exit status 1 when any does, 0 when none does\n")},
};

const OptionDeclaration& Declared(std::string_view name)
{
    for (const OptionDeclaration& option : kOptions) {
        if (option.name == name) {
            return option;
        }
    }
    std::abort();   // only the names above are asked for
}

// "--group NAME", "--all": how an option is written with its value.
std::string Written(const OptionDeclaration& option)
{
    std::string text(option.name);
    if (!option.valueName.empty()) {
        text += (option.optionalValue ? " [" : " ") + std::string(option.valueName) + (option.optionalValue ? "]" : "");
    }
    return text;
}

// Edits (insert, delete, replace) that turn `a` into `b`.
size_t EditDistance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string_view WithoutDashes(std::string_view text)
{
    const size_t first = text.find_first_not_of('-');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// The long option `unknown` was most likely meant to be, or empty.
std::string Suggestion(const std::string& unknown)
{
    std::string_view best;
    size_t bestDistance = 3;   // more edits than this is no suggestion
    for (const OptionDeclaration& option : kOptions) {
        const std::string_view name = option.name;
        const size_t distance = WithoutDashes(unknown) == WithoutDashes(name) ? 0 : EditDistance(unknown, name);
        if (distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    return std::string(best);
}

// An argument that cannot be followed as given: the warning that it is
// ignored, and, for the first one, the usage error it is where the command
// line must be exact (worded for the mode when the whole line is read).
void Refuse(ProgramOptions& options, Message& refused, const Refusal& refusal)
{
    options.warnings.push_back(refusal.warning.Empty() ? refusal.problem : refusal.warning);
    if (refused.Empty()) {
        refused = refusal.problem;
    }
}

Refusal UnknownOption(const std::string& argument)
{
    const std::string shown = SafeText(argument, kShownArgumentChars);
    Refusal refusal{Message(N_("unknown option %s ignored"), {shown}), Message(N_("unknown option %s"), {shown})};
    const std::string suggestion = Suggestion(argument.substr(0, argument.find('=')));
    if (!suggestion.empty()) {
        refusal.warning = Message(N_("%s (did you mean %s?)"), {refusal.warning, suggestion});
        refusal.problem = Message(N_("%s (did you mean %s?)"), {refusal.problem, suggestion});
    }
    return refusal;
}

// The declared option `argument` names (`--device=PATH` names --device), or
// null.
const OptionDeclaration* FindOption(const std::string& argument)
{
    for (const OptionDeclaration& option : kOptions) {
        if (argument == option.name || (!option.shortName.empty() && argument == option.shortName)) {
            return &option;
        }
        if (!option.valueName.empty() && argument.size() > option.name.size() &&
            argument.compare(0, option.name.size(), option.name) == 0 && argument[option.name.size()] == '=') {
            return &option;
        }
    }
    return nullptr;
}

// One of our options as given, its value taken.
struct GivenOption {
    const OptionDeclaration* option;   // null: unknown
    std::string argument;
    std::string value;
    bool valueMissing = false;
};

// The value of `option` at `i`, after '=' or the next argument (moving `i`
// past it); an optional value only when that argument is plain or "-".
void TakeValue(const std::vector<std::string>& arguments, size_t& i, GivenOption& given)
{
    const std::string& argument = arguments[i];
    const OptionDeclaration& option = *given.option;
    if (option.valueName.empty()) {
        return;
    }
    if (argument.size() > option.name.size()) {
        given.value = argument.substr(option.name.size() + 1);
        return;
    }
    const bool next = i + 1 < arguments.size();
    if (option.optionalValue) {
        const bool plain = next && (arguments[i + 1] == "-" || (!arguments[i + 1].empty() && arguments[i + 1][0] != '-'));
        if (plain && (option.isValue == nullptr || option.isValue(arguments[i + 1]))) {
            given.value = arguments[++i];
        }
        return;
    }
    if (!next) {
        given.valueMissing = true;
        return;
    }
    given.value = arguments[++i];
}

// The command line's mode, from the mode options given.
unsigned ModeOf(const std::vector<GivenOption>& given)
{
    unsigned selected = 0;
    unsigned first = 0;   // the first of --help, --version, --list-devices, --all, --watch
    for (const GivenOption& g : given) {
        if (g.option != nullptr) {
            selected |= g.option->selects;
            if (first == 0 && (g.option->selects & (kHelp | kList | kSet | kStation)) != 0) {
                first = g.option->selects;
            }
        }
    }
    for (const unsigned mode : {unsigned(kHistory), unsigned(kReport), unsigned(kGrant), unsigned(kStatus)}) {
        if ((selected & mode) != 0) {
            return mode;
        }
    }
    return first != 0 ? first : (selected & kCheck) != 0 ? kCheck : kUpdate;
}

// The option that chooses `mode`.
const OptionDeclaration* ChooserOf(unsigned mode)
{
    for (const OptionDeclaration& option : kOptions) {
        if ((option.selects & mode) != 0) {
            return &option;
        }
    }
    return nullptr;
}

// Said of `option`, given in `mode`, which it does not belong to: the mode
// option it goes with when it belongs to one alone (--csv, --group), what it
// does not go with else.
Message Misplaced(const OptionDeclaration& option, unsigned mode)
{
    const OptionDeclaration* home = ChooserOf(option.modes);
    if ((option.modes & ~(kHistory | kReport | kList | kGrant | kStatus)) == 0 && home != nullptr) {
        return Message(N_("%s goes with %s: nothing was done"), {Written(option), Written(*home)});
    }
    const OptionDeclaration* chooser = ChooserOf(mode);
    return Message(N_("%s does not go with %s: nothing was done"),
                   {std::string(option.name), std::string(chooser != nullptr ? chooser->name : option.name)});
}

// What no single option says: how --history's options go together.
void CheckHistory(ProgramOptions& options)
{
    HistoryOptions& history = options.history;
    if (options.json && history.format == HistoryFormat::Csv) {
        options.misplaced = Message(N_("%s does not go with %s: nothing was done"),
                                    {std::string("--csv"), std::string("--json")});
    } else if (history.needs && !history.byCalculator) {
        options.misplaced = Message(N_("%s goes with %s: nothing was done"),
                                    {Written(Declared("--needs")), Written(Declared("--by-calculator"))});
    } else if (!history.notSeenSinceTime.empty() && !history.byCalculator) {
        options.misplaced = Message(N_("%s goes with %s: nothing was done"),
                                    {Written(Declared("--not-seen-since")), Written(Declared("--by-calculator"))});
    } else if (history.summary && !history.needs) {
        options.misplaced = Message(N_("%s goes with %s: nothing was done"),
                                    {Written(Declared("--summary")), Written(Declared("--needs"))});
    } else if (history.summary && history.format != HistoryFormat::Table) {
        options.misplaced = Message(N_("%s does not go with %s: nothing was done"),
                                    {std::string("--summary"),
                                     std::string(history.format == HistoryFormat::Csv ? "--csv" : "--json")});
    } else if (std::count(history.from.begin(), history.from.end(), "-") > 1) {
        options.misplaced = Message(N_("%s can be given only once: nothing was done"), {std::string("--from -")});
    }
    if (options.json) {
        history.format = HistoryFormat::Json;
    }
}

// The plain arguments past those the program reads (DIR and OWNER; none
// beside a report's FILE or with --history): refused when the command line
// must be exact, left unread otherwise, as the launcher's contract has it.
void RefuseExtraPlain(const ProgramOptions& options, const std::vector<std::string>& launcherArguments,
                      Message& refused)
{
    size_t allowed = options.reportProblem || options.history.asked ? 0 : 2;
    for (const std::string& argument : launcherArguments) {
        if (!argument.empty() && argument[0] == '-') {
            continue;
        }
        if (allowed == 0) {
            if (refused.Empty()) {
                refused = Message(N_("unexpected argument %s"), {SafeText(argument, kShownArgumentChars)});
            }
            return;
        }
        --allowed;
    }
}

// --all and --watch ask for two ways of working: the first given wins.
void NoteContradiction(ProgramOptions& options, const std::vector<std::string>& modes)
{
    for (size_t i = 1; i < modes.size(); ++i) {
        if (modes[i] != modes[0]) {
            options.warnings.push_back(
                Message(N_("%s and %s cannot both be used; %s (given first) wins"), {modes[0], modes[i], modes[0]}));
            return;
        }
    }
}

bool IsFlag(const std::string& argument)
{
    return !argument.empty() && argument[0] == '-';
}

}  // namespace

void CUpdaterCommandLineInfo::ParseParam(const char* param, bool isFlag, bool isLast)
{
    if (!isFlag && m_strFileName.empty()) {
        m_strFileName = param;   // an empty argument leaves the slot open
    }
    if (!isFlag && isLast) {
        m_strPrinterName = param;
    }
}

void ParseCommandLine(const std::vector<std::string>& launcherArguments, CUpdaterCommandLineInfo& info)
{
    size_t plain = 0;
    for (const std::string& argument : launcherArguments) {
        plain += IsFlag(argument) ? 0 : 1;
    }
    const bool ownerGiven = plain >= 2;
    for (size_t i = 0; i < launcherArguments.size(); ++i) {
        const std::string& argument = launcherArguments[i];
        const bool isFlag = IsFlag(argument);
        const char* param = argument.c_str() + (isFlag ? 1 : 0);
        info.ParseParam(param, isFlag, ownerGiven && i + 1 == launcherArguments.size());
    }
}

ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments, std::chrono::sys_seconds now)
{
    ProgramOptions options;
    std::vector<GivenOption> given;
    std::vector<std::string> launcherArguments;   // every argument but our options' values
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        launcherArguments.push_back(argument);
        if (argument.empty() || argument[0] != '-') {
            continue;
        }
        GivenOption g{FindOption(argument), argument, {}};
        if (g.option != nullptr) {
            TakeValue(arguments, i, g);
        }
        given.push_back(std::move(g));
    }
    // The mode is known once the whole line is read; each option is then
    // taken in order.
    const unsigned mode = ModeOf(given);
    Reading reading{options, now, {}};
    Message refused;
    for (const GivenOption& g : given) {
        if (g.option == nullptr) {
            Refuse(options, refused, UnknownOption(g.argument));
            continue;
        }
        if (mode != kHelp && (g.option->modes & mode) == 0) {
            if (options.misplaced.Empty()) {
                options.misplaced = Misplaced(*g.option, mode);
            }
            continue;
        }
        if (g.valueMissing) {
            const std::string shown = SafeText(g.argument, kShownArgumentChars);
            Refuse(options, refused,
                   {Message(N_("%s needs a value; ignored"), {shown}), Message(N_("%s needs a value"), {shown})});
            continue;
        }
        Refusal refusal;
        if (!g.option->take(reading, g.value, refusal)) {
            Refuse(options, refused, refusal);
        }
    }
    if (mode == kHistory && options.misplaced.Empty()) {
        CheckHistory(options);
    }
    NoteContradiction(options, reading.updateModes);
    RefuseExtraPlain(options, launcherArguments, refused);
    if (!refused.Empty()) {
        // --history is exact whatever else is given: its faults are said as they are.
        options.refused = mode == kHistory ? refused
                                           : Message(N_("%s: nothing was done (with --yes, --json or "
                                                        "--report-problem the command line must be exact)"),
                                                     {refused});
    }
    ParseCommandLine(launcherArguments, options.launcher);
    return options;
}

ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments)
{
    return ParseProgramOptions(arguments,
                               std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
}

std::string OptionHelpText(const MoCatalogue* texts)
{
    std::string text;
    for (const OptionDeclaration& option : kOptions) {
        if (option.help != nullptr) {
            text += Message(option.help).Render(texts);
        }
    }
    return text;
}
